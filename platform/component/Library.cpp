#include "platform/component/Library.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/component/ErrorText.h"

namespace component {

namespace {

bool ReadAt(int fd, void* buffer, std::size_t size, off_t offset) {
    return ::pread(fd, buffer, size, offset) == static_cast<ssize_t>(size);
}

// The loader maps a library's segments as its program headers describe them, and a file that is
// shorter (an interrupted copy) makes the process die of SIGBUS when the missing part is touched.
// Returns an empty string when every loadable segment lies within the file, else why not. Files
// that are no library of this machine's kind pass: the loader refuses them with its own reason.
std::string MissingSegments(int fd, const struct stat& st) {
    ElfW(Ehdr) header{};
    if (!ReadAt(fd, &header, sizeof header, 0) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) ||
        header.e_phentsize != sizeof(ElfW(Phdr)))
        return {};
    const auto size = static_cast<unsigned long long>(st.st_size);
    auto cutOff = [&](unsigned long long needed) {
        return "the file is cut off: it has " + std::to_string(size) +
               " bytes, but its program headers need " + std::to_string(needed);
    };
    const unsigned long long headersEnd =
        header.e_phoff + static_cast<unsigned long long>(header.e_phnum) * sizeof(ElfW(Phdr));
    if (headersEnd > size)
        return cutOff(headersEnd);
    for (unsigned i = 0; i < header.e_phnum; ++i) {
        ElfW(Phdr) segment{};
        if (!ReadAt(fd, &segment, sizeof segment,
                    static_cast<off_t>(header.e_phoff + i * sizeof segment)))
            return cutOff(headersEnd);
        const unsigned long long end =
            static_cast<unsigned long long>(segment.p_offset) + segment.p_filesz;
        if (segment.p_type == PT_LOAD && end > size)
            return cutOff(end);
    }
    return {};
}

// A resident library keeps the name it was loaded by, /proc/self/fd/N, which must go on naming
// its file (dladdr reports it): the descriptor of a library whose handle is closed is kept open
// here until the process ends.
void KeepOpen(posix::UniqueFd fd) {
    static std::mutex mutex;
    static std::vector<posix::UniqueFd> kept;
    std::lock_guard lock(mutex);
    kept.push_back(std::move(fd));
}

}  // namespace

Library Library::Open(posix::TrustedFile file, std::string* error) {
    Library library;
    if (!file) {
        *error = file.Reason();
        return library;
    }
    if (std::string missing = MissingSegments(file.Fd(), file.Status()); !missing.empty()) {
        *error = std::move(missing);
        return library;
    }
    const std::string name = "/proc/self/fd/" + std::to_string(file.Fd());
    dlerror();
    library.m_handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library.m_handle) {
        const char* text = dlerror();
        std::string reason = text ? text : "the loader gave no reason";
        if (reason.starts_with(name + ": "))
            reason.erase(0, name.size() + 2);
        *error = Printable(reason);
        return library;
    }
    library.m_path = file.CanonicalPath();
    library.m_file = file.TakeFd();
    return library;
}

Library::Library(Library&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)),
      m_path(std::move(other.m_path)),
      m_file(std::move(other.m_file)) {}

Library& Library::operator=(Library&& other) noexcept {
    if (this != &other) {
        std::swap(m_handle, other.m_handle);
        std::swap(m_path, other.m_path);
        std::swap(m_file, other.m_file);
    }
    return *this;
}

Library::~Library() {
    if (m_handle) {
        dlclose(m_handle);
        KeepOpen(std::move(m_file));
    }
}

void* Library::Export(const char* name) const {
    if (!m_handle)
        return nullptr;
    return dlsym(m_handle, name);
}

}  // namespace component
