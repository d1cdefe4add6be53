#include "tools/peers/PortDirectory.h"

#include <filesystem>

namespace testing_support {

PortDirectory::PortDirectory()
    : m_path(m_dir.Path().string()), m_map(std::make_shared<serial_port::PortMap>(m_path)) {}

std::string PortDirectory::Entry(unsigned n) const {
    return m_dir / ("COM" + std::to_string(n));
}

void PortDirectory::Map(unsigned n, const std::string& device) {
    Unmap(n);
    std::filesystem::create_symlink(device, Entry(n));
}

void PortDirectory::Unmap(unsigned n) {
    std::error_code ignored;
    std::filesystem::remove(Entry(n), ignored);
}

void PortDirectory::MakeAgain() {
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directory(m_path);
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all);
}

std::function<std::optional<std::string>(std::string_view)> PortDirectory::Resolver() const {
    return [map = m_map](std::string_view name) { return map->ResolveName(name); };
}

}  // namespace testing_support
