// Ports that cannot be had: a COM number re-pointed to another device between two opens, a
// device this user may not open, a device that another program holds during the scan.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include <gtest/gtest.h>

#include "app/PortDescription.h"
#include "platform/serial/PseudoTerminal.h"
#include "tests/app/PortsFixture.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DeviceHolding.h"
#include "tools/peers/TestFiles.h"

namespace faulttest {
namespace {

using namespace std::chrono_literals;
using testing_support::ChildOutcome;
using testing_support::DeviceHolder;
using testing_support::DeviceLock;
using testing_support::IsHeld;
using testing_support::PumpUntil;
using testing_support::RunAsNobody;
using Bytes = std::vector<std::uint8_t>;

class PortAccessTest : public apptest::PortsFixture {
  protected:
    void PressOpenClose() { h.panel->OpenCloseButton().click(); }
    void Choose(int p) {
        h.panel->PortList().setCurrentIndex(p - 1);
        emit h.panel->PortList().activated(p - 1);
    }
    // A key press reaches exactly `peer`.
    bool TareReaches(testing_support::PtyPeer& peer) {
        peer.ClearReceived();
        h.panel->KeyButton(1003)->click();
        return peer.WaitForBytes(1) && peer.Received() == Bytes{0x54};
    }
};

TEST_F(PortAccessTest, EachOpenUsesTheDeviceTheComNumberStandsForThen) {
    testing_support::PtyPeer& first = Add(1, Role::Scale);
    h.Start();
    ASSERT_EQ(h.panel->Port(), 1);

    // Re-pointed while open: the open port stays with the device it opened.
    auto second = std::make_unique<testing_support::PtyPeer>(Role::Scale);
    ports.Map(1, second->DevicePath());
    EXPECT_TRUE(TareReaches(first));
    EXPECT_TRUE(second->Received().empty());

    // CLOSE, then OPEN: the new device.
    PressOpenClose();
    PressOpenClose();
    ASSERT_FALSE(h.panel->IsShownClosed());
    EXPECT_FALSE(Held(1));
    EXPECT_TRUE(IsHeld(second->DevicePath()));
    first.ClearReceived();
    EXPECT_TRUE(TareReaches(*second));
    EXPECT_TRUE(first.Received().empty());
    const std::size_t before = h.log->calls.size();
    ASSERT_TRUE(second->Send(testing_support::ScaleFrame({3, 3, 3, 3, 3, 3, 3, 3, 3})));
    EXPECT_TRUE(PumpUntil([&] { return h.log->calls.size() >= before + 10; }));

    // Back to the first device by a choice in the list, which closes and opens in one step.
    ports.Map(1, first.DevicePath());
    Choose(1);
    ASSERT_FALSE(h.panel->IsShownClosed());
    EXPECT_TRUE(Held(1));
    EXPECT_FALSE(IsHeld(second->DevicePath()));
    EXPECT_TRUE(TareReaches(first));
    EXPECT_TRUE(h.boxes.empty());
}

TEST_F(PortAccessTest, ReplacedByWhatIsNoSerialDeviceTheOpenFailsAndSaysWhy) {
    Add(1, Role::Scale);
    h.Start();
    ASSERT_EQ(h.panel->Port(), 1);
    const std::string plainFile = ports.Path() + "/not-a-tty";
    testing_support::WriteFile(plainFile, "text\n");
    struct Case {
        const char* name;
        std::string target;
        const char* because;
    } cases[] = {
        {"a plain file", plainFile, "is not a serial port"},
        {"a device that is gone", ports.Path() + "/pts-gone", "no such device"},
        {"a directory", ports.Path(), "Is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ports.Map(1, c.target);
        Choose(1);
        ASSERT_EQ(h.boxes.size(), 1u);
        EXPECT_EQ(h.boxes[0].request.text, "Did not find the serial port");
        EXPECT_TRUE(h.boxes[0].request.detail.contains(c.because))
            << h.boxes[0].request.detail.toStdString();
        h.boxes.clear();
        EXPECT_TRUE(h.panel->IsShownClosed());
        EXPECT_EQ(h.Status(), "Not found serial port or serial occupied");
        EXPECT_FALSE(h.panel->SerialPort().IsPortHeld());
    }
    // A serial device again: OPEN works.
    ports.Map(1, Peer(1).DevicePath());
    PressOpenClose();
    EXPECT_FALSE(h.panel->IsShownClosed());
    EXPECT_TRUE(TareReaches(Peer(1)));
}

// The advice names a group only when its members may open the device and it is not root.
TEST(PortPermission, ARefusedOpenSaysWhoMayOpenTheDeviceAndHow) {
    struct Case {
        const char* name;
        gid_t group;
        mode_t mode;
        std::vector<const char*> says;
        std::vector<const char*> never;
    };
    std::vector<Case> cases;
    if (::geteuid() == 0) {
        // Root opens everything: the refused user is nobody, who may look into the port
        // directory but not open the device.
        cases = {
            {"group tty may", 5, 0660, {"group 'tty'", "usermod -aG tty"}, {"udev"}},
            {"only root's group may",
             0,
             0660,
             {"the user 'root' and the group 'root'", "udev rule", "uaccess"},
             {"usermod"}},
            {"only root may", 5, 0600, {"only the user 'root'", "uaccess"}, {"usermod", "'tty'"}},
        };
    } else {
        cases = {{"nobody may", ::getegid(), 0, {"the administrator", "uaccess"}, {"usermod"}}};
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A plain pseudo-terminal: no thread of this test runs while the child is forked off.
        auto device = serial_port::PseudoTerminal::Create();
        ASSERT_TRUE(device);
        testing_support::PortDirectory ports;
        ports.Map(1, device->DevicePath());
        const std::string path = device->DevicePath();

        auto explain = [&ports](std::string& report) {
            CSerialLink link;
            link.SetPortResolver(ports.Resolver());
            const int opened = link.Open(nullptr, 1, 9600, 'N', 8, 1, 3, 512);
            report = ExplainOpenFailure(*ports.Ports(), 1, link.OpenError()).toStdString();
            const bool denied = link.OpenError().kind == serial_port::ErrorKind::kPermissionDenied;
            return opened == 0 && denied ? 0 : 1;
        };
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        ChildOutcome outcome;
        if (::geteuid() == 0) {
            ASSERT_TRUE(QFile::setPermissions(QString::fromStdString(ports.Path()),
                                              QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ExeOwner | QFile::ReadOther |
                                                  QFile::ExeOther));
            ASSERT_EQ(::chown(path.c_str(), 0, c.group), 0);
            outcome = RunAsNobody(explain);
        } else {
            outcome.exitStatus = explain(outcome.report);
        }
        EXPECT_EQ(outcome.exitStatus, 0) << outcome.report;
        const QString message = QString::fromStdString(outcome.report);
        EXPECT_TRUE(message.startsWith("Permission denied for ")) << outcome.report;
        EXPECT_TRUE(message.contains(QString::fromStdString(ports.Path() + "/COM1")))
            << outcome.report;
        for (const char* part : c.says)
            EXPECT_TRUE(message.contains(part)) << part << "\n" << outcome.report;
        for (const char* part : c.never)
            EXPECT_FALSE(message.contains(part)) << part << "\n" << outcome.report;
    }
}

class HeldDuringScanTest : public apptest::PortsFixture {};

TEST_F(HeldDuringScanTest, APortLockedByAnotherDescriptorIsSkipped) {
    Add(1, Role::Scale);
    Add(2, Role::Scale);
    DeviceLock other(Peer(1).DevicePath());
    ASSERT_TRUE(other.Locked());
    h.Start();
    EXPECT_EQ(h.panel->Port(), 2);
    EXPECT_EQ(h.Status(), "STATUS:COM2  OPENED,9600,N,8,1");
    EXPECT_TRUE(h.boxes.empty());
    EXPECT_TRUE(Peer(1).Received().empty());
    EXPECT_TRUE(IsHeld(Peer(1).DevicePath()));
    // The list says why the scan passed it by, and who holds it.
    const QString tip = h.panel->PortList().itemData(0, Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.contains("could not be opened")) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("(process %1 of user").arg(::getpid())))
        << tip.toStdString();
}

TEST(HeldDuringScan, APortLockedByAnotherProcessIsSkipped) {
    testing_support::PortDirectory ports;
    auto held = serial_port::PseudoTerminal::Create();
    ASSERT_TRUE(held);
    ports.Map(1, held->DevicePath());
    // Forked before any thread of this test runs.
    DeviceHolder otherProgram(held->DevicePath());
    ASSERT_TRUE(otherProgram.Holding());

    testing_support::PtyPeer scale(testing_support::PtyPeer::Role::Scale);
    ports.Map(2, scale.DevicePath());
    apptest::PanelHarness h(ports.Ports());
    h.Start();
    EXPECT_EQ(h.panel->Port(), 2);
    EXPECT_EQ(h.Status(), "STATUS:COM2  OPENED,9600,N,8,1");
    EXPECT_TRUE(h.boxes.empty());
    // No probe byte went to the held port, and its holder still holds it.
    EXPECT_TRUE(held->Read(0ms).empty());
    EXPECT_TRUE(IsHeld(held->DevicePath()));

    // Chosen by hand, it is reported as in use by another program.
    h.panel->PortList().setCurrentIndex(0);
    emit h.panel->PortList().activated(0);
    ASSERT_EQ(h.boxes.size(), 1u);
    EXPECT_TRUE(h.boxes[0].request.detail.contains("in use by another program: fault_test"))
        << h.boxes[0].request.detail.toStdString();
    h.panel.reset();
}

}  // namespace
}  // namespace faulttest
