#pragma once

// A private port directory for one test: COMn is whatever the test maps it to, nothing else
// exists. Sets KARVEL_PORT_DIR for its lifetime.

#include <QTemporaryDir>

#include <string>

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

  private:
    QTemporaryDir m_dir;
};

}  // namespace apptest
