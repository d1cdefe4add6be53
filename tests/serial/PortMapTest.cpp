// Which device each COM number stands for: a port folder, a device named on the command line,
// and the machine's devices numbered in order or kept by the live table.

#include "platform/serial/PortMap.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/serial/PseudoTerminal.h"

namespace {

namespace fs = std::filesystem;

class PortMapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/karvel-map-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        for (const char* label : {"a", "b", "c"}) {
            auto pty = serial_port::PseudoTerminal::Create();
            ASSERT_TRUE(pty);
            m_ptys.emplace(label, std::move(*pty));
        }
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Path(const std::string& label) {
        const auto it = m_ptys.find(label);
        return it != m_ptys.end() ? it->second.DevicePath() : (m_dir / label).string();
    }
    serial_port::SerialDevice Device(const std::string& label) {
        serial_port::SerialDevice d;
        d.node = Path(label);
        d.name = label;
        d.usb = true;
        d.byId = "/dev/serial/by-id/" + label;
        return d;
    }
    // "COM1=a COM3=DIR/COM3": the map's list, each number also checked through Resolve.
    std::string Render(const serial_port::PortMap& map) {
        std::string text;
        std::map<unsigned, std::string> listed;
        for (const auto& p : map.List()) {
            listed[p.number] = p.device;
            std::string device = p.device;
            for (const auto& [label, pty] : m_ptys) {
                if (device == pty.DevicePath())
                    device = label;
            }
            if (device.rfind(m_dir.string(), 0) == 0)
                device = "DIR" + device.substr(m_dir.string().size());
            text += (text.empty() ? "" : " ") + ("COM" + std::to_string(p.number)) + "=" + device;
        }
        for (unsigned n = 0; n <= 33; ++n) {
            const auto it = listed.find(n);
            EXPECT_EQ(map.Resolve(n),
                      it == listed.end() ? std::nullopt : std::optional<std::string>(it->second))
                << "COM" << n;
        }
        return text;
    }

    fs::path m_dir;
    std::map<std::string, serial_port::PseudoTerminal> m_ptys;
};

TEST_F(PortMapTest, AFolderNamesThePortsAndADeviceNamedByTheUserTakesItsNumber) {
    struct Case {
        const char* choose;  // a label ("a": the pseudo-terminal, "DIR/COM1": an entry) or a name
        unsigned number;     // what Choose answers
        const char* ports;
    };
    const Case cases[] = {
        {"", 0, "COM1=DIR/COM1 COM3=DIR/COM3"},
        {"c", 2, "COM1=DIR/COM1 COM2=c COM3=DIR/COM3"},  // the lowest number no port has
        {"a", 1, "COM1=DIR/COM1 COM3=DIR/COM3"},         // the port it already is
        {"COM1", 1, "COM1=DIR/COM1 COM3=DIR/COM3"},      // the folder's entry itself
        {"COM7", 7, "COM1=DIR/COM1 COM3=DIR/COM3"},
        {"\\\\.\\COM12", 12, "COM1=DIR/COM1 COM3=DIR/COM3"},
        {"ttyS0", 0, "COM1=DIR/COM1 COM3=DIR/COM3"},
    };
    fs::create_symlink(Path("a"), m_dir / "COM1");
    fs::create_symlink(Path("b"), m_dir / "COM3");
    fs::create_symlink(m_dir / "gone", m_dir / "COM2");  // a device that went away
    serial_port::PortMap map(m_dir.string());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choose);
        const std::string name = c.choose;
        const std::string argument = m_ptys.count(name) ? Path(name)
                                     : name == "COM1"   ? (m_dir / "COM1").string()
                                                        : name;
        EXPECT_EQ(map.Choose(argument), c.number);
        EXPECT_EQ(Render(map), c.ports);
    }
    map.ForgetChosen();
    EXPECT_EQ(Render(map), "COM1=DIR/COM1 COM3=DIR/COM3");
    // Following devices changes nothing in a folder.
    map.FollowDevices([this] { return std::vector<serial_port::SerialDevice>{Device("c")}; });
    EXPECT_FALSE(map.FollowsDevices());
    EXPECT_EQ(Render(map), "COM1=DIR/COM1 COM3=DIR/COM3");
}

TEST_F(PortMapTest, MachineDevicesAreNumberedInOrderOrKeptByTheLiveTable) {
    std::vector<std::string> present = {"a", "b"};
    serial_port::PortMap map({}, [&] {
        std::vector<serial_port::SerialDevice> devices;
        for (const auto& label : present)
            devices.push_back(Device(label));
        return devices;
    });
    struct Step {
        const char* what;
        std::function<void()> act;
        const char* ports;
    };
    const Step steps[] = {
        {"in order", [] {}, "COM1=a COM2=b"},
        {"a goes, c comes: numbered anew",
         [&] {
             present = {"b", "c"};
         },
         "COM1=b COM2=c"},
        {"followed: a table", [&] { map.FollowDevices(); }, "COM1=b COM2=c"},
        {"b goes, a comes: c keeps COM2",
         [&] {
             present = {"a", "c"};
             map.RefreshDevices();
         },
         "COM2=c COM3=a"},
        {"b back: its old number",
         [&] {
             present = {"a", "b", "c"};
             map.RefreshDevices();
         },
         "COM1=b COM2=c COM3=a"},
        {"a device path named by the user stands for its number",
         [&] { EXPECT_EQ(map.Choose(m_dir / "elsewhere"), 4u); },
         "COM1=b COM2=c COM3=a COM4=DIR/elsewhere"},
        {"no longer followed: in order again",
         [&] {
             map.ForgetChosen();
             map.StopFollowing();
         },
         "COM1=a COM2=b COM3=c"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_EQ(Render(map), step.ports);
    }
}

// A number Choose made up for a path means nothing to whoever named the path.
TEST_F(PortMapTest, APortIsCalledByThePathTheUserNamedOnlyWhenItsNumberWasMadeUp) {
    serial_port::PortMap map({},
                             [&] { return std::vector<serial_port::SerialDevice>{Device("a")}; });
    const std::string elsewhere = (m_dir / "ttyUSB7").string();
    const struct {
        std::string named;
        unsigned number;
        std::string name;
        std::string withDevice;  // of the path it resolves to
    } cases[] = {
        {"COM3", 3, "COM3", ""},
        {Path("a"), 1, "COM1", "COM1 (" + Path("a") + ")"},
        {elsewhere, 2, elsewhere, elsewhere},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.named);
        ASSERT_EQ(map.Choose(c.named), c.number);
        EXPECT_EQ(map.NameOf(c.number), c.name);
        if (!c.withDevice.empty()) {
            EXPECT_EQ(map.NameWithDevice(c.number, map.Resolve(c.number).value()), c.withDevice);
        }
        // Every other number keeps its COM name.
        EXPECT_EQ(map.NameOf(c.number + 1), "COM" + std::to_string(c.number + 1));
    }
}

}  // namespace

// Whoever can change the folder could point COM1 at a line of their own.
TEST_F(PortMapTest, AFolderThatAnotherUserCanChangeNamesNoPort) {
    struct Case {
        const char* what;
        fs::perms folder;
        fs::perms parent;
        bool otherOwner;
        bool used;
    };
    using P = fs::perms;
    const P sticky = P::all | P::sticky_bit;
    const Case cases[] = {
        {"private", P::owner_all, P::owner_all, false, true},
        {"under a sticky folder everyone writes", P::owner_all, sticky, false, true},
        {"everyone writes it", P::all, P::owner_all, false, false},
        {"everyone writes it, sticky", sticky, P::owner_all, false, false},
        {"under a folder everyone writes", P::owner_all, P::all, false, false},
        {"another user's", P::owner_all, P::owner_all, true, false},
    };
    const fs::path parent = m_dir / "parent";
    const fs::path folder = parent / "ports";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::create_directories(folder);
        fs::create_symlink(Path("a"), folder / "COM1");
        fs::permissions(folder, c.folder);
        fs::permissions(parent, c.parent);
        if (c.otherOwner && ::chown(folder.c_str(), 65534, static_cast<gid_t>(-1)) != 0) {
            fs::remove_all(parent);
            continue;  // only root can give a folder away
        }
        const serial_port::PortMap map(folder.string());
        EXPECT_EQ(Render(map), c.used ? "COM1=DIR/parent/ports/COM1" : "");
        const std::string refusal = map.FolderRefusal();
        EXPECT_EQ(refusal.empty(), c.used) << refusal;
        fs::remove_all(parent);
    }
}
