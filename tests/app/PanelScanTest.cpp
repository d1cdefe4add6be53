// The start-up scan: which ports are tried, which one is kept, what the panel then shows.

#include <gtest/gtest.h>

#include "tests/app/PortsFixture.h"

namespace apptest {
namespace {

using Bytes = std::vector<std::uint8_t>;

class ScanTest : public PortsFixture {};

TEST_F(ScanTest, NoPortAtAllShowsNotFoundWithCom1Selected) {
    h.Start();
    EXPECT_EQ(h.panel->Port(), 0);
    EXPECT_TRUE(h.panel->IsShownClosed());
    EXPECT_EQ(h.Status(), "STATUS:Not found serial port or serial occupied");
    EXPECT_EQ(h.panel->PortList().currentIndex(), 0);
    EXPECT_EQ(h.panel->PortList().currentText(), "COM1");
    EXPECT_EQ(h.panel->OpenCloseButton().text(), "OPEN");
    EXPECT_EQ(LampImage(), DarkLamp());
    EXPECT_FALSE(h.panel->SerialPort().IsPortHeld());
    EXPECT_TRUE(h.boxes.empty());
}

TEST_F(ScanTest, TheDisplayIsColouredAndClearedBeforeTheScanWithoutARepaintRequest) {
    h.Start();
    const std::vector<DisplayCall> expected = {
        LongCall(11, 0x0000FF00), LongCall(12, 0), ShortCall(1, 0), ShortCall(2, 0),
        ShortCall(3, 0),          ShortCall(4, 0), ShortCall(5, 0), ShortCall(6, 0),
        ShortCall(7, 0),          ShortCall(8, 0), ShortCall(9, 0),
    };
    EXPECT_EQ(h.log->calls, expected);
    ASSERT_EQ(h.log->loads.size(), 1u);
    EXPECT_EQ(h.log->loads[0], resources::PanelDisplayState());
}

TEST_F(ScanTest, ScaleOnCom5BehindFourSilentPorts) {
    for (int n = 1; n <= 4; ++n)
        Add(n, Role::Silent);
    Add(5, Role::Scale);
    Add(6, Role::Scale);
    h.Start();

    EXPECT_EQ(h.panel->Port(), 5);
    EXPECT_FALSE(h.panel->IsShownClosed());
    EXPECT_EQ(h.Status(), "STATUS:COM5  OPENED,9600,N,8,1");
    EXPECT_EQ(h.panel->PortList().currentText(), "COM5");
    // Each item tells which device its number stands for.
    const auto tip = [&](int n) {
        return h.panel->PortList().itemData(n - 1, Qt::ToolTipRole).toString().toStdString();
    };
    EXPECT_NE(tip(5).find(Peer(5).DevicePath()), std::string::npos) << tip(5);
    EXPECT_NE(tip(7).find("no device"), std::string::npos) << tip(7);
    EXPECT_EQ(h.panel->OpenCloseButton().text(), "CLOSE");
    EXPECT_EQ(LampImage(), LitLamp());
    EXPECT_TRUE(h.boxes.empty());

    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE(n);
        ASSERT_TRUE(Peer(n).WaitForBytes(1));
        EXPECT_FALSE(Held(n));
    }
    EXPECT_TRUE(Held(5));
    EXPECT_EQ(Peer(5).Received(), Bytes{0x05});
    // Still watched: a frame from the scale reaches the display.
    EXPECT_TRUE(FrameReachesDisplay(5, {1, 2, 3, 4, 5, 6, 7, 8, 9}));

    // By now every probe byte has long arrived: exactly one each, and none past the scale.
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(Peer(n).Received(), Bytes{0x05}) << n;
    EXPECT_TRUE(Peer(6).Received().empty());
    EXPECT_FALSE(Held(6));
}

TEST_F(ScanTest, TwoScalesKeepTheLowerPort) {
    Add(2, Role::Scale);
    Add(7, Role::Scale);
    h.Start();
    EXPECT_EQ(h.panel->Port(), 2);
    EXPECT_EQ(h.Status(), "STATUS:COM2  OPENED,9600,N,8,1");
    EXPECT_TRUE(Held(2));
    EXPECT_FALSE(Held(7));
    EXPECT_TRUE(FrameReachesDisplay(2, {9, 9, 9, 9, 9, 9, 9, 9, 9}));
    EXPECT_TRUE(Peer(7).Received().empty());
}

TEST_F(ScanTest, ALateAnswerFromAnEarlierPortDoesNotMakeTheNextPortAnswer) {
    Add(1, Role::Silent);
    h.Start();
    ASSERT_EQ(h.panel->Port(), 0);
    // The pair arrives after its probe's wait, while the port is being closed.
    h.panel->OnPortByte(0x06, 1);
    h.panel->OnPortByte(0xAA, 1);
    ASSERT_TRUE(h.panel->AckReceived());
    EXPECT_EQ(h.panel->ProbePort(1), -1);
    EXPECT_FALSE(Held(1));
}

TEST_F(ScanTest, APairSplitOverTwoPortsIsNoAnswer) {
    // COM1 leaves 0x06 as the newest byte received; COM2 answers with a lone 0xAA.
    Add(1, std::make_unique<PtyPeer>(Bytes{0x06}));
    Add(2, std::make_unique<PtyPeer>(Bytes{0xAA}));
    Add(3, Role::Scale);
    h.Start();
    EXPECT_EQ(h.panel->Port(), 3);
    EXPECT_FALSE(Held(2));
    EXPECT_TRUE(Held(3));
}

TEST_F(ScanTest, ABusyPortIsSkippedAsIfAbsent) {
    Add(1, Role::Scale);
    Add(3, Role::Scale);
    DeviceLock otherProgram(Peer(1).DevicePath());
    ASSERT_TRUE(otherProgram.Locked());
    h.Start();
    EXPECT_EQ(h.panel->Port(), 3);
    EXPECT_EQ(h.Status(), "STATUS:COM3  OPENED,9600,N,8,1");
    EXPECT_TRUE(h.boxes.empty());
    EXPECT_TRUE(FrameReachesDisplay(3, {1, 1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_TRUE(Peer(1).Received().empty());
}

TEST_F(ScanTest, AScaleAboveCom9IsFoundLikeAnyOther) {
    Add(12, Role::Scale);
    h.Start();
    EXPECT_EQ(h.panel->Port(), 12);
    EXPECT_EQ(h.Status(), "STATUS:COM12  OPENED,9600,N,8,1");
    EXPECT_EQ(h.panel->PortList().currentText(), "COM12");
    EXPECT_TRUE(Held(12));
}

TEST_F(ScanTest, SilentPortsOnlyEndNotFoundWithEveryPortReleased) {
    Add(1, Role::Silent);
    Add(32, Role::Silent);
    h.Start();
    EXPECT_EQ(h.panel->Port(), 0);
    EXPECT_EQ(h.Status(), "STATUS:Not found serial port or serial occupied");
    ASSERT_TRUE(Peer(1).WaitForBytes(1));
    ASSERT_TRUE(Peer(32).WaitForBytes(1));
    EXPECT_FALSE(Held(1));
    EXPECT_FALSE(Held(32));
    EXPECT_FALSE(h.panel->SerialPort().IsPortHeld());
}

TEST_F(ScanTest, WithoutItsDisplayControlThePanelEndsBeforeTouchingAnyPort) {
    Add(1, Role::Scale);
    auto log = std::make_shared<DisplayLog>();
    PanelServices services;
    services.ports = ports.Ports();
    services.createControl = RecordingCreator(log, component::kClassNotRegistered);
    services.presenter = [](QWidget*, const MessageBoxRequest&) { FAIL() << "no box expected"; };
    CScalePanelDlg panel(services);
    component::Result result = component::kOk;
    EXPECT_EQ(panel.DoModal(&result), -1);
    EXPECT_EQ(result, component::kClassNotRegistered);
    EXPECT_FALSE(Held(1));
    EXPECT_TRUE(Peer(1).Received().empty());
}

}  // namespace
}  // namespace apptest
