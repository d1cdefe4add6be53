#include "platform/serial/PortMap.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/posix/UniqueFd.h"
#include "platform/serial/SerialDevices.h"
#include "tools/peers/PortDirectory.h"

namespace {

namespace fs = std::filesystem;

class PortDirectory : public ::testing::Test {
  protected:
    void Link(const std::string& name, const std::string& target) {
        fs::create_symlink(target, m_dir / name);
    }
    testing_support::PortDirectory m_ports;
    const fs::path m_dir{m_ports.Path()};
    serial_port::PortMap* const m_map = m_ports.Ports().get();
};

TEST_F(PortDirectory, ANumberResolvesToItsEntryAndNothingElseExists) {
    Link("COM9", "/dev/null");
    Link("COM10", "/dev/zero");
    Link("COM0", "/dev/null");
    Link("COM33", "/dev/null");
    EXPECT_EQ(m_map->Resolve(9), (m_dir / "COM9").string());
    EXPECT_EQ(m_map->Resolve(10), (m_dir / "COM10").string());
    EXPECT_EQ(m_map->Resolve(1), std::nullopt);
    // Outside 1..32 nothing resolves, whatever the directory holds.
    EXPECT_EQ(m_map->Resolve(0), std::nullopt);
    EXPECT_EQ(m_map->Resolve(33), std::nullopt);
}

TEST_F(PortDirectory, ALinkWhoseDeviceWentAwayIsNoPort) {
    Link("COM2", (m_dir / "vanished").string());
    EXPECT_EQ(m_map->Resolve(2), std::nullopt);
    EXPECT_TRUE(m_map->List().empty());
}

TEST_F(PortDirectory, ListingShowsEachPortWithItsTarget) {
    Link("COM3", "/dev/null");
    Link("COM1", "/dev/zero");
    Link("COM40", "/dev/zero");
    const auto ports = m_map->List();
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].number, 1u);
    EXPECT_EQ(ports[0].device, (m_dir / "COM1").string());
    EXPECT_EQ(ports[0].description, "link to /dev/zero");
    EXPECT_EQ(ports[1].number, 3u);
    EXPECT_EQ(serial_port::PortLine(ports[0]),
              "COM1  " + (m_dir / "COM1").string() + "  link to /dev/zero");
}

TEST_F(PortDirectory, ListingNamesWhatKindOfFileAnEntryIs) {
    ASSERT_EQ(::mkfifo((m_dir / "COM1").c_str(), 0600), 0);
    { std::ofstream((m_dir / "COM2").string()) << "x"; }
    fs::create_directory(m_dir / "COM3");
    const posix::UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (m_dir / "COM4").string();
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(::bind(sock.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::mknod((m_dir / "COM5").c_str(), S_IFCHR | 0600, ::makedev(1, 3)) == 0,
              ::geteuid() == 0);
    std::vector<std::string> kinds;
    for (const auto& port : m_map->List())
        kinds.push_back(port.description);
    std::vector<std::string> expected = {"FIFO", "regular file", "folder", "socket"};
    if (::geteuid() == 0)
        expected.push_back("device node");
    EXPECT_EQ(kinds, expected);
}

TEST(PortMapSnapshot, AScanOfEveryNumberEnumeratesTheDevicesOnce) {
    const serial_port::PortMap machine;
    {
        const serial_port::PortMap::Snapshot scan(machine);
        for (unsigned n = 1; n <= 32; ++n)
            machine.Resolve(n);
        machine.List();
    }
    EXPECT_EQ(machine.Enumerations(), 1u);
    // Without a snapshot each question looks again, so a device plugged in meanwhile counts.
    machine.Resolve(1);
    machine.Resolve(2);
    EXPECT_EQ(machine.Enumerations(), 3u);
}

TEST_F(PortDirectory, EachNameResolvesOnlyInItsOwnForm) {
    Link("COM10", "/dev/null");
    Link("COM9", "/dev/null");
    EXPECT_EQ(m_map->ResolveName("\\\\.\\COM10"), (m_dir / "COM10").string());
    EXPECT_EQ(m_map->ResolveName("COM9"), (m_dir / "COM9").string());
    EXPECT_EQ(m_map->ResolveName("\\\\.\\COM9"), std::nullopt);
    EXPECT_EQ(m_map->ResolveName("COM10"), std::nullopt);
}

TEST(PortNumber, NamesTable) {
    struct Case {
        const char* name;
        std::optional<unsigned> number;
    };
    const Case cases[] = {
        {"COM1", 1u},      {"COM9", 9u},   {"\\\\.\\COM32", 32u}, {"\\\\.\\COM10", 10u},
        {"COM10", {}},     {"COM32", {}},  {"\\\\.\\COM9", {}},   {"\\\\.\\COM1", {}},
        {"COM0", {}},      {"COM33", {}},  {"COM01", {}},         {"COM", {}},
        {"com1", {}},      {"COM1 ", {}},  {"COM-1", {}},         {"\\\\.\\", {}},
        {"\\\\.COM1", {}}, {"COM100", {}}, {"LPT1", {}},          {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(serial_port::PortNumberOf(c.name), c.number) << c.name;
}

TEST(SerialDeviceOrder, UsbFirstThenOnBoardEachInNaturalOrder) {
    using serial_port::SerialDevice;
    std::vector<SerialDevice> devices = {
        {"/dev/ttyS1", "ttyS1", "", false, {}, {}},
        {"/dev/ttyUSB10", "ttyUSB10", "", true, {}, {}},
        {"/dev/ttyS0", "ttyS0", "", false, {}, {}},
        {"/dev/ttyUSB2", "ttyUSB2", "", true, {}, {}},
        {"/dev/ttyACM0", "ttyACM0", "", true, {}, {}},
        {"/dev/ttyAMA0", "ttyAMA0", "", false, {}, {}},
    };
    std::sort(devices.begin(), devices.end(), serial_port::ComesBefore);
    std::vector<std::string> names;
    for (const auto& d : devices)
        names.push_back(d.name);
    EXPECT_EQ(names, (std::vector<std::string>{"ttyACM0", "ttyUSB2", "ttyUSB10", "ttyAMA0", "ttyS0",
                                               "ttyS1"}));
}

TEST(SerialDeviceDiscovery, FindsOnlyDevicesThatExistInAStableOrder) {
    const serial_port::PortMap machine;
    const auto first = serial_port::FindSerialDevices();
    for (const auto& d : first) {
        EXPECT_TRUE(fs::exists(d.node)) << d.node;
        EXPECT_FALSE(d.description.empty()) << d.node;
    }
    EXPECT_TRUE(std::is_sorted(first.begin(), first.end(), serial_port::ComesBefore));
    const auto ports = machine.List();
    ASSERT_EQ(ports.size(), std::min<std::size_t>(first.size(), 32));
    for (std::size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(ports[i].number, i + 1);
        EXPECT_EQ(ports[i].device, first[i].node);
        EXPECT_EQ(machine.Resolve(ports[i].number), ports[i].device);
    }
}

}  // namespace
