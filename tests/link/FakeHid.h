#pragma once

// A USB HID scale for tests: hidraw0 in a made sysfs folder with a report descriptor and a name,
// its /dev node a link to a pseudo-terminal that carries real report bytes.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/peers/Pty.h"
#include "tools/peers/TestFiles.h"

namespace hidtest {

using Bytes = std::vector<std::uint8_t>;

inline void WriteFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

class FakeHid {
  public:
    explicit FakeHid(const Bytes& descriptor) {
        const std::string device = Sys() + "/class/hidraw/hidraw0/device";
        WriteFile(device + "/report_descriptor", std::string(descriptor.begin(), descriptor.end()));
        WriteFile(device + "/uevent", "HID_ID=0003:00001234:00005678\nHID_NAME=Bench Scale\n");
        std::filesystem::create_directories(m_folder / "dev");
        Plug();
    }
    std::string Sys() const { return m_folder / "sys"; }
    std::string Dev() const { return m_folder / "dev"; }
    std::string Node() const { return m_folder / "dev/hidraw0"; }
    // The node's device comes (again): a new pseudo-terminal behind it.
    void Plug() {
        m_pty.emplace(testing_support::MakePty());
        std::filesystem::remove(Node());
        std::filesystem::create_symlink(m_pty->DevicePath(), Node());
    }
    void Unplug() { m_pty->HangUp(); }
    void Send(const Bytes& report) { ASSERT_TRUE(m_pty->Write(report)); }
    Bytes Received(std::size_t count) {
        return m_pty->ReadExactly(count, std::chrono::seconds(10));
    }

  private:
    testing_support::TempDir m_folder;
    std::optional<serial_port::PseudoTerminal> m_pty;
};

}  // namespace hidtest
