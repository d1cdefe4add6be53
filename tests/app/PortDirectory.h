#pragma once

// A private port directory for one test: COMn is whatever the test maps it to, nothing else
// exists. Map() is the port map a panel is handed; a child program gets Path() as its folder.

#include <QTemporaryDir>

#include <memory>
#include <string>

#include "CSerialLink.h"
#include "platform/serial/PortMap.h"

namespace apptest {

class PortDirectory {
  public:
    PortDirectory();
    ~PortDirectory();
    PortDirectory(const PortDirectory&) = delete;
    PortDirectory& operator=(const PortDirectory&) = delete;

    // COM`n` stands for `device` from now on.
    void Map(int n, const std::string& device);
    void Unmap(int n);
    QString Path() const { return m_dir.path(); }
    const std::shared_ptr<serial_port::PortMap>& Ports() const { return m_map; }
    // For an engine of the test's own.
    PortResolver Resolver() const {
        return [map = m_map](std::string_view name) { return map->ResolveName(name); };
    }

  private:
    QTemporaryDir m_dir;
    std::shared_ptr<serial_port::PortMap> m_map;
};

}  // namespace apptest
