#pragma once

// A private port folder for one test: COMn is whatever the test links it to, nothing else
// exists. Ports() is the port map a panel is handed, Resolver() what an engine of the test's
// own is handed; a child program gets Path() as its folder.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/serial/PortMap.h"
#include "tools/peers/TestFiles.h"

namespace testing_support {

class PortDirectory {
  public:
    // Throws when no folder can be made.
    PortDirectory();
    PortDirectory(const PortDirectory&) = delete;
    PortDirectory& operator=(const PortDirectory&) = delete;

    // COM`n` stands for `device` from now on; any number, also one no map accepts.
    void Map(unsigned n, const std::string& device);
    void Unmap(unsigned n);
    // The folder is removed with its entries and made again, empty, under the same name.
    void MakeAgain();
    const std::string& Path() const { return m_path; }
    const std::shared_ptr<serial_port::PortMap>& Ports() const { return m_map; }
    std::function<std::optional<std::string>(std::string_view)> Resolver() const;

  private:
    std::string Entry(unsigned n) const;

    TempDir m_dir;
    std::string m_path;
    std::shared_ptr<serial_port::PortMap> m_map;
};

}  // namespace testing_support
