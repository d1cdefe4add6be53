#include "serial/PortNames.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "serial/SerialDevices.h"

namespace {

namespace fs = std::filesystem;

class PortDirectory : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/karvel-ports-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        ::setenv("KARVEL_PORT_DIR", m_dir.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("KARVEL_PORT_DIR");
        fs::remove_all(m_dir);
    }
    void Link(const std::string& name, const std::string& target) {
        fs::create_symlink(target, m_dir / name);
    }
    fs::path m_dir;
};

TEST_F(PortDirectory, ANumberResolvesToItsEntryAndNothingElseExists) {
    Link("COM9", "/dev/null");
    Link("COM10", "/dev/zero");
    Link("COM0", "/dev/null");
    Link("COM33", "/dev/null");
    EXPECT_EQ(serial_port::ResolvePort(9), (m_dir / "COM9").string());
    EXPECT_EQ(serial_port::ResolvePort(10), (m_dir / "COM10").string());
    EXPECT_EQ(serial_port::ResolvePort(1), std::nullopt);
    // Outside 1..32 nothing resolves, whatever the directory holds.
    EXPECT_EQ(serial_port::ResolvePort(0), std::nullopt);
    EXPECT_EQ(serial_port::ResolvePort(33), std::nullopt);
}

TEST_F(PortDirectory, ALinkWhoseDeviceWentAwayIsNoPort) {
    Link("COM2", (m_dir / "vanished").string());
    EXPECT_EQ(serial_port::ResolvePort(2), std::nullopt);
    EXPECT_TRUE(serial_port::ListPorts().empty());
}

TEST_F(PortDirectory, ListingShowsEachPortWithItsTarget) {
    Link("COM3", "/dev/null");
    Link("COM1", "/dev/zero");
    Link("COM40", "/dev/zero");
    const auto ports = serial_port::ListPorts();
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].number, 1u);
    EXPECT_EQ(ports[0].device, (m_dir / "COM1").string());
    EXPECT_EQ(ports[0].description, "link to /dev/zero");
    EXPECT_EQ(ports[1].number, 3u);
    EXPECT_EQ(serial_port::PortLine(ports[0]),
              "COM1  " + (m_dir / "COM1").string() + "  link to /dev/zero");
}

TEST_F(PortDirectory, LongAndShortNamesResolveAlike) {
    Link("COM10", "/dev/null");
    Link("COM9", "/dev/null");
    EXPECT_EQ(serial_port::ResolvePortName("\\\\.\\COM10"), (m_dir / "COM10").string());
    EXPECT_EQ(serial_port::ResolvePortName("COM9"), (m_dir / "COM9").string());
    EXPECT_EQ(serial_port::ResolvePortName("\\\\.\\COM9"), (m_dir / "COM9").string());
}

TEST(PortNumber, NamesTable) {
    struct Case {
        const char* name;
        std::optional<unsigned> number;
    };
    const Case cases[] = {
        {"COM1", 1u},      {"COM9", 9u},   {"COM32", 32u}, {"\\\\.\\COM10", 10u},
        {"COM0", {}},      {"COM33", {}},  {"COM01", {}},  {"COM", {}},
        {"com1", {}},      {"COM1 ", {}},  {"COM-1", {}},  {"\\\\.\\", {}},
        {"\\\\.COM1", {}}, {"COM100", {}}, {"LPT1", {}},   {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(serial_port::PortNumberOf(c.name), c.number) << c.name;
}

TEST(SerialDeviceOrder, UsbFirstThenOnBoardEachInNaturalOrder) {
    using serial_port::SerialDevice;
    std::vector<SerialDevice> devices = {
        {"/dev/ttyS1", "ttyS1", "", false},    {"/dev/ttyUSB10", "ttyUSB10", "", true},
        {"/dev/ttyS0", "ttyS0", "", false},    {"/dev/ttyUSB2", "ttyUSB2", "", true},
        {"/dev/ttyACM0", "ttyACM0", "", true}, {"/dev/ttyAMA0", "ttyAMA0", "", false},
    };
    std::sort(devices.begin(), devices.end(), serial_port::ComesBefore);
    std::vector<std::string> names;
    for (const auto& d : devices)
        names.push_back(d.name);
    EXPECT_EQ(names, (std::vector<std::string>{"ttyACM0", "ttyUSB2", "ttyUSB10", "ttyAMA0", "ttyS0",
                                               "ttyS1"}));
}

TEST(SerialDeviceDiscovery, FindsOnlyDevicesThatExistInAStableOrder) {
    ::unsetenv("KARVEL_PORT_DIR");
    const auto first = serial_port::FindSerialDevices();
    for (const auto& d : first) {
        EXPECT_TRUE(fs::exists(d.node)) << d.node;
        EXPECT_FALSE(d.description.empty()) << d.node;
    }
    EXPECT_TRUE(std::is_sorted(first.begin(), first.end(), serial_port::ComesBefore));
    const auto ports = serial_port::ListPorts();
    ASSERT_EQ(ports.size(), std::min<std::size_t>(first.size(), 32));
    for (std::size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(ports[i].number, i + 1);
        EXPECT_EQ(ports[i].device, first[i].node);
        EXPECT_EQ(serial_port::ResolvePort(ports[i].number), ports[i].device);
    }
}

}  // namespace
