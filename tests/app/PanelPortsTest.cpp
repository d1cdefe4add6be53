// Choosing, opening and closing ports after start-up; keys; a device that goes away; shutdown.

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <utility>

#include "tests/app/PortsFixture.h"
#include "tests/support/FakeDevices.h"

namespace apptest {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing_support::FakeDevices;

const QString kFullWidthComma = QString(QChar(0xFF0C));

// Whether a descriptor of this process still leads to `device`, also once the device is gone.
bool HeldHere(const std::string& device) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (target == device || target == device + " (deleted)")
            return true;
    }
    return false;
}

class PortSelectionTest : public PortsFixture {
  protected:
    // The user picks COM`p` in the list.
    void Choose(int p) {
        h.panel->PortList().setCurrentIndex(p - 1);
        emit h.panel->PortList().activated(p - 1);
    }
    void PressOpenClose() { h.panel->OpenCloseButton().click(); }

    // Start-up found the scale on COM3 (COM1 and COM2 do not exist).
    void StartOpenedOn3() {
        Add(3, Role::Scale);
        h.Start();
        ASSERT_EQ(h.panel->Port(), 3);
        ASSERT_FALSE(h.panel->IsShownClosed());
    }

    void ExpectOpened(int port, const QString& status) {
        EXPECT_EQ(h.panel->Port(), port);
        EXPECT_FALSE(h.panel->IsShownClosed());
        EXPECT_EQ(h.Status(), status);
        EXPECT_EQ(LampImage(), LitLamp());
        EXPECT_EQ(h.panel->Lamp().accessibleName(), "Port open");
        EXPECT_EQ(h.panel->OpenCloseButton().text(), "CLOSE");
        EXPECT_TRUE(Held(port));
    }
    void ExpectClosedShown(int port, const QString& status) {
        EXPECT_EQ(h.panel->Port(), port);
        EXPECT_TRUE(h.panel->IsShownClosed());
        EXPECT_EQ(h.Status(), status);
        EXPECT_EQ(LampImage(), DarkLamp());
        EXPECT_EQ(h.panel->Lamp().accessibleName(), "Port closed");
        EXPECT_EQ(h.panel->OpenCloseButton().text(), "OPEN");
    }
    void ExpectOneOpenFailureBox() {
        ASSERT_EQ(h.boxes.size(), 1u);
        const ShownBox& box = h.boxes[0];
        EXPECT_EQ(box.parent, h.panel.get());
        EXPECT_EQ(box.request.icon, QMessageBox::Warning);
        // The application name: here the test program's file name.
        EXPECT_EQ(box.request.caption,
                  QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
        EXPECT_EQ(box.request.text, "Did not find the serial port");
        EXPECT_FALSE(box.request.detail.isEmpty());
        h.boxes.clear();
    }
    // A key press reaches COM`n`'s peer as exactly these bytes.
    bool TareReaches(int n) {
        Peer(n).ClearReceived();
        h.panel->KeyButton(1003)->click();
        return Peer(n).WaitForBytes(1) && Peer(n).Received() == Bytes{0x54};
    }
};

TEST_F(PortSelectionTest, OpenedChoosingAnotherPortThatOpensStaysOpened) {
    StartOpenedOn3();
    Add(4, Role::Silent);  // exists, no scale: no probe is made, OPENED all the same
    Choose(4);
    ExpectOpened(4, "STATUS:COM4 OPENED,9600,N,8,1");
    EXPECT_FALSE(Held(3));
    EXPECT_TRUE(h.boxes.empty());
    EXPECT_TRUE(FrameReachesDisplay(4, {4, 4, 4, 4, 4, 4, 4, 4, 4}));
    EXPECT_TRUE(TareReaches(4));
    EXPECT_TRUE(Peer(4).Received() == Bytes{0x54});  // no probe byte before it
}

TEST_F(PortSelectionTest, OpenedChoosingAPortThatFailsEndsClosedWithABox) {
    StartOpenedOn3();
    Choose(4);  // no such port
    ExpectOneOpenFailureBox();
    ExpectClosedShown(4, "Not found serial port or serial occupied");
    EXPECT_FALSE(Held(3));
    EXPECT_FALSE(h.panel->SerialPort().IsPortHeld());
}

TEST_F(PortSelectionTest, ClosedChoosingAPortHoldsItWithoutWatchingUntilOpen) {
    StartOpenedOn3();
    PressOpenClose();
    ExpectClosedShown(3, "STATUS:COM Port Closed");
    EXPECT_FALSE(Held(3));

    Add(4, Role::Silent);
    Choose(4);
    ExpectClosedShown(4, "STATUS:COM4 CLOSED,9600,N,8,1");
    EXPECT_TRUE(Held(4));
    EXPECT_TRUE(h.boxes.empty());

    // Chosen-closed to chosen-closed: the held port is let go first.
    Add(5, Role::Silent);
    Choose(5);
    ExpectClosedShown(5, "STATUS:COM5 CLOSED,9600,N,8,1");
    EXPECT_FALSE(Held(4));
    EXPECT_TRUE(Held(5));

    // Keys do nothing while the panel shows the port closed.
    h.panel->KeyButton(1003)->click();
    h.panel->KeyButton(1001)->click();

    PressOpenClose();
    ExpectOpened(5, "STATUS:COM5 OPENED" + kFullWidthComma + "9600,N,8,1");
    EXPECT_TRUE(FrameReachesDisplay(5, {5, 5, 5, 5, 5, 5, 5, 5, 5}));
    EXPECT_TRUE(Peer(5).Received().empty()) << "a key byte was sent while closed";
    EXPECT_TRUE(TareReaches(5));
}

TEST_F(PortSelectionTest, ClosedChoosingABusyPortFailsAndOpenLaterRetriesIt) {
    StartOpenedOn3();
    PressOpenClose();
    Add(6, Role::Silent);
    {
        DeviceLock otherProgram(Peer(6).DevicePath());
        ASSERT_TRUE(otherProgram.Locked());
        Choose(6);
        ExpectOneOpenFailureBox();
        ExpectClosedShown(6, "Not found serial port or serial occupied");
    }
    PressOpenClose();
    ExpectOpened(6, "STATUS:COM6 OPENED" + kFullWidthComma + "9600,N,8,1");
    EXPECT_TRUE(h.boxes.empty());
}

TEST_F(PortSelectionTest, CloseThenOpenReopensTheSamePort) {
    StartOpenedOn3();
    const std::size_t callsBefore = h.log->calls.size();
    PressOpenClose();
    ExpectClosedShown(3, "STATUS:COM Port Closed");
    EXPECT_FALSE(h.panel->SerialPort().IsPortHeld());
    PressOpenClose();
    ExpectOpened(3, "STATUS:COM3 OPENED" + kFullWidthComma + "9600,N,8,1");
    // Neither handler touches the display.
    EXPECT_EQ(h.log->calls.size(), callsBefore);
    EXPECT_TRUE(TareReaches(3));
}

TEST_F(PortSelectionTest, OpenOfAPortThatWentAwayFailsWithABox) {
    StartOpenedOn3();
    PressOpenClose();
    ports.Unmap(3);
    PressOpenClose();
    ExpectOneOpenFailureBox();
    ExpectClosedShown(3, "Not found serial port or serial occupied");
}

TEST_F(PortSelectionTest, OpenAfterAStartUpThatFoundNothingFailsUntilAPortIsChosen) {
    Add(2, Role::Silent);
    h.Start();
    ASSERT_EQ(h.panel->Port(), 0);
    PressOpenClose();
    ExpectOneOpenFailureBox();
    ExpectClosedShown(0, "Not found serial port or serial occupied");
    EXPECT_FALSE(Held(2));

    Choose(2);
    ExpectClosedShown(2, "STATUS:COM2 CLOSED,9600,N,8,1");
    PressOpenClose();
    ExpectOpened(2, "STATUS:COM2 OPENED" + kFullWidthComma + "9600,N,8,1");
}

TEST_F(PortSelectionTest, ChoosingTheOpenPortAgainReopensIt) {
    StartOpenedOn3();
    Choose(3);
    ExpectOpened(3, "STATUS:COM3 OPENED,9600,N,8,1");
    EXPECT_TRUE(h.boxes.empty());
    EXPECT_TRUE(FrameReachesDisplay(3, {3, 3, 3, 3, 3, 3, 3, 3, 3}));
}

TEST_F(PortSelectionTest, NoItemSelectedMeansPortZeroAndFails) {
    StartOpenedOn3();
    h.panel->PortList().setCurrentIndex(-1);
    h.panel->OnPortSelEndOk();
    ExpectOneOpenFailureBox();
    ExpectClosedShown(0, "Not found serial port or serial occupied");
    EXPECT_FALSE(Held(3));
}

class StartPortTest : public PortSelectionTest {};

TEST_F(StartPortTest, OnlyTheNamedPortIsOpenedAndWatched) {
    Add(1, Role::Scale);
    Add(2, Role::Silent);
    Add(3, Role::Scale);
    h.panel->SetStartPort("COM2");
    h.Start();
    ExpectOpened(2, "STATUS:COM2 OPENED" + kFullWidthComma + "9600,N,8,1");
    EXPECT_EQ(h.panel->PortList().currentText(), "COM2");
    EXPECT_TRUE(h.boxes.empty());
    EXPECT_TRUE(Peer(2).Received().empty()) << "a probe was sent";
    EXPECT_TRUE(FrameReachesDisplay(2, {2, 2, 2, 2, 2, 2, 2, 2, 2}));
    EXPECT_TRUE(TareReaches(2));
    for (int n : {1, 3}) {
        EXPECT_FALSE(Held(n)) << n;
        EXPECT_TRUE(Peer(n).Received().empty()) << n;
    }
}

TEST_F(StartPortTest, ADevicePathIsItsPortsNumberOrTheLowestFreeOne) {
    Add(1, Role::Silent);
    Add(2, Role::Silent);
    EXPECT_EQ(ports.Ports()->Choose(Peer(2).DevicePath()), 2u);
    EXPECT_EQ(ports.Ports()->Choose(ports.Path() + "/COM1"), 1u);
    EXPECT_EQ(ports.Ports()->Choose("COM7"), 7u);

    PtyPeer outside(Role::Silent);  // a device the port folder does not name
    h.panel->SetStartPort(QString::fromStdString(outside.DevicePath()));
    h.Start();
    EXPECT_EQ(h.panel->Port(), 3);
    EXPECT_FALSE(h.panel->IsShownClosed());
    // Called by the path it was named by, not by the number it was given.
    const QString path = QString::fromStdString(outside.DevicePath());
    EXPECT_EQ(h.Status(), "STATUS:" + path + " OPENED" + kFullWidthComma + "9600,N,8,1");
    EXPECT_EQ(h.panel->PortList().itemText(2), path);
    EXPECT_TRUE(IsHeld(outside.DevicePath()));
    EXPECT_TRUE(h.panel->PortList()
                    .itemData(2, Qt::ToolTipRole)
                    .toString()
                    .contains(QString::fromStdString(outside.DevicePath())));
    h.panel->KeyButton(1001)->click();
    EXPECT_TRUE(outside.WaitForBytes(1));
    EXPECT_FALSE(Held(1));
    EXPECT_FALSE(Held(2));
}

TEST_F(StartPortTest, APortThatCannotBeOpenedGivesTheBoxAndTheClosedState) {
    Add(1, Role::Scale);
    h.panel->SetStartPort("COM4");
    h.Start();
    ExpectOneOpenFailureBox();
    ExpectClosedShown(4, "Not found serial port or serial occupied");
    EXPECT_EQ(h.panel->PortList().currentText(), "COM4");
    EXPECT_FALSE(Held(1));
    EXPECT_TRUE(Peer(1).Received().empty());
}

TEST_F(StartPortTest, AMissingDevicePathIsExplainedByThatPath) {
    const QString path = QString::fromStdString(ports.Path()) + "-elsewhere/ttyUSB7";
    h.panel->SetStartPort(path);
    h.Start();
    ASSERT_EQ(h.boxes.size(), 1u);
    EXPECT_EQ(h.boxes[0].request.detail, path + " does not exist (no such device; unplugged?).");
    EXPECT_EQ(h.panel->PortList().currentText(), path);
    EXPECT_TRUE(h.panel->PortList()
                    .itemData(h.panel->PortList().currentIndex(), Qt::ToolTipRole)
                    .toString()
                    .startsWith(path + " (named on the command line)"));
}

class KeyTest : public PortSelectionTest {
  protected:
    void SetUp() override {
        StartOpenedOn3();
        h.panel->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(h.panel.get()));
        Peer(3).ClearReceived();
    }
    QPoint KeyCentre(int id) { return h.panel->KeyButton(id)->geometry().center(); }
};

TEST_F(KeyTest, EachKeySendsItsLetterOnAClick) {
    const std::pair<int, std::uint8_t> keys[] = {
        {1001, 'D'}, {1002, 'M'}, {1003, 'T'}, {1004, 'O'}};
    for (const auto& [id, byte] : keys) {
        Peer(3).ClearReceived();
        QTest::mouseClick(h.panel->windowHandle(), Qt::LeftButton, {}, KeyCentre(id));
        ASSERT_TRUE(Peer(3).WaitForBytes(1)) << id;
        EXPECT_EQ(Peer(3).Received(), Bytes{byte}) << id;
    }
}

TEST_F(KeyTest, DoubleClickSendsTheLetterThenTheLetterWithBit7) {
    const std::pair<int, std::uint8_t> keys[] = {
        {1001, 0xC4}, {1002, 0xCD}, {1003, 0xD4}, {1004, 0xCF}};
    for (const auto& [id, second] : keys) {
        CKeyButton* key = h.panel->KeyButton(id);
        Peer(3).ClearReceived();
        // A double-click is a click, then a double-click notification. The engine sends only the
        // latest request, so the test lets the first byte go out before the second press.
        QTest::mouseClick(key, Qt::LeftButton);
        ASSERT_TRUE(Peer(3).WaitForBytes(1));
        QTest::mouseDClick(key, Qt::LeftButton);
        QTest::mouseRelease(key, Qt::LeftButton);
        ASSERT_TRUE(Peer(3).WaitForBytes(2)) << id;
        EXPECT_EQ(Peer(3).Received(), (Bytes{static_cast<std::uint8_t>(second & 0x7F), second}))
            << id;
    }
}

class DeviceLostTest : public PortSelectionTest {};

TEST_F(DeviceLostTest, APeerThatHangsUpLeavesThePanelClosedAndOpenRetriesLater) {
    StartOpenedOn3();
    Peer(3).HangUp();
    ASSERT_TRUE(PumpUntil([&] { return !h.panel->SerialPort().IsPortHeld(); }));
    ExpectClosedShown(3, "STATUS:COM Port Closed");
    EXPECT_FALSE(h.panel->SerialPort().IsPortHeld());
    EXPECT_LE(h.boxes.size(), 1u);
    h.boxes.clear();

    // The device comes back under the same COM number.
    peers.erase(3);
    Add(3, Role::Silent);
    PressOpenClose();
    ExpectOpened(3, "STATUS:COM3 OPENED" + kFullWidthComma + "9600,N,8,1");
    EXPECT_TRUE(h.boxes.empty());
    EXPECT_TRUE(TareReaches(3));
    EXPECT_TRUE(FrameReachesDisplay(3, {7, 7, 7, 7, 7, 7, 7, 7, 7}));
}

TEST_F(DeviceLostTest, TheClosedStateIsShownWhileTheLossBoxIs) {
    StartOpenedOn3();
    bool closedShown = false;
    bool heldDuringBox = false;
    h.onBox = [&](const MessageBoxRequest& box) {
        EXPECT_EQ(box.caption, "Application Error");
        closedShown = h.panel->IsShownClosed() && h.Status() == "STATUS:COM Port Closed" &&
                      h.panel->OpenCloseButton().text() == "OPEN" && LampImage() == DarkLamp();
        // A real box runs the event loop while it is up: the port must not be closed from in
        // there, since the watch thread waits for the box.
        QCoreApplication::processEvents();
        heldDuringBox = h.panel->SerialPort().IsPortHeld();
    };
    Peer(3).HangUp();
    ASSERT_TRUE(PumpUntil([&] { return !h.boxes.empty(); }));
    EXPECT_TRUE(closedShown);
    EXPECT_TRUE(heldDuringBox);
    ASSERT_TRUE(PumpUntil([&] { return !h.panel->SerialPort().IsPortHeld(); }));
    ExpectClosedShown(3, "STATUS:COM Port Closed");
    EXPECT_EQ(h.boxes.size(), 1u);
}

class ReconnectTest : public PortSelectionTest {
  protected:
    // The scale on COM1 is found, then unplugged: its pseudo-terminal closes and its link goes.
    void StartThenUnplug() {
        Add(1, Role::Scale);
        h.Start();
        ASSERT_EQ(h.panel->Port(), 1);
        Peer(1).HangUp();
        ports.Unmap(1);
        ASSERT_TRUE(PumpUntil([&] { return !h.panel->SerialPort().IsPortHeld(); }));
        ExpectClosedShown(1, "STATUS:COM Port Closed");
        ASSERT_EQ(h.boxes.size(), 1u);
        h.boxes.clear();
        peers.erase(1);
    }
    QString Tip(int n) { return h.panel->PortList().itemData(n - 1, Qt::ToolTipRole).toString(); }
};

TEST_F(ReconnectTest, TheScaleLinkedAsCom1AgainIsOpenedAndWatched) {
    StartThenUnplug();
    Add(1, Role::Scale);  // plugged in again: a new pseudo-terminal linked as COM1
    ASSERT_TRUE(PumpUntil([&] { return !h.panel->IsShownClosed(); }, std::chrono::seconds(5)));
    ExpectOpened(1, "STATUS:COM1 OPENED" + kFullWidthComma + "9600,N,8,1");
    EXPECT_TRUE(h.boxes.empty());
    EXPECT_TRUE(FrameReachesDisplay(1, {1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_TRUE(TareReaches(1));
}

TEST_F(ReconnectTest, TheScaleBackWhileTheLossBoxIsUpClosesTheBoxAndIsReopened) {
    Add(1, Role::Scale);
    h.Start();
    ASSERT_EQ(h.panel->Port(), 1);
    bool closedByPanel = false;
    // Nobody clicks: the box stays up, with its own event loop, until the panel closes it.
    h.onBox = [&](const MessageBoxRequest& box) {
        ASSERT_NE(box.closer, nullptr);
        QEventLoop loop;
        QObject::connect(box.closer, &BoxCloser::closeRequested, &loop, [&] {
            closedByPanel = true;
            loop.quit();
        });
        QTimer::singleShot(std::chrono::seconds(10), &loop, &QEventLoop::quit);
        peers.erase(1);
        Add(1, Role::Scale);  // plugged in again while the box is up
        loop.exec();
    };
    Peer(1).HangUp();
    ports.Unmap(1);
    ASSERT_TRUE(PumpUntil([&] { return closedByPanel && !h.panel->IsShownClosed(); }));
    ExpectOpened(1, "STATUS:COM1 OPENED" + kFullWidthComma + "9600,N,8,1");
    EXPECT_EQ(h.boxes.size(), 1u);
    EXPECT_TRUE(FrameReachesDisplay(1, {1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST_F(ReconnectTest, TheScaleIsReopenedInAPortFolderRemovedAndMadeAgain) {
    StartThenUnplug();
    ports.MakeAgain();
    Add(1, Role::Scale);
    ASSERT_TRUE(PumpUntil([&] { return !h.panel->IsShownClosed(); }));
    ExpectOpened(1, "STATUS:COM1 OPENED" + kFullWidthComma + "9600,N,8,1");
}

// Runs `remake` when the panel tells of the loss: before the engine's box is up.
struct RemakeWhenLost : scale::FrameObserver {
    std::function<void()> remake;
    void OnFrame(const scale::Frame&) override {}
    void OnPortState(const scale::PortState& state) override {
        if (state.change == scale::PortState::Change::kLost && remake)
            std::exchange(remake, nullptr)();
    }
};

// Nobody clicks the loss box: the panel closes it itself once COM1 leads to a device again, here
// a new one in a folder made again, seen before the box is up or while it is, and lets go of the
// old device.
TEST_F(ReconnectTest, ANewDeviceInAFolderMadeAgainClosesTheLossBoxAndIsReadInstead) {
    for (const bool beforeTheBox : {true, false}) {
        SCOPED_TRACE(beforeTheBox ? "seen before the box" : "seen under the box");
        h.Build({});
        peers.clear();
        Add(1, Role::Scale);
        h.Start();
        ASSERT_EQ(h.panel->Port(), 1);
        const std::string oldDevice = Peer(1).DevicePath();
        // Made while the old one still stands, so that it cannot be given the old one's number.
        auto next = std::make_unique<PtyPeer>(Role::Scale);
        const std::string newDevice = next->DevicePath();
        const auto remake = [&] {
            ports.MakeAgain();
            Add(1, std::move(next));
        };
        RemakeWhenLost observer;
        if (beforeTheBox) {
            observer.remake = [&] {
                remake();
                ASSERT_TRUE(
                    PumpUntil([&] { return Tip(1).contains(QString::fromStdString(newDevice)); }));
            };
        }
        h.panel->AttachObserver(&observer);
        bool closedByPanel = false;
        h.onBox = [&](const MessageBoxRequest& box) {
            ASSERT_NE(box.closer, nullptr);
            QEventLoop loop;
            QObject::connect(box.closer, &BoxCloser::closeRequested, &loop, [&] {
                closedByPanel = true;
                loop.quit();
            });
            QTimer::singleShot(std::chrono::seconds(20), &loop, &QEventLoop::quit);
            if (!beforeTheBox)
                remake();
            loop.exec();
        };
        h.boxes.clear();
        Peer(1).HangUp();
        ASSERT_TRUE(PumpUntil([&] { return !h.boxes.empty(); }));
        EXPECT_TRUE(closedByPanel);
        ASSERT_TRUE(PumpUntil([&] { return Held(1); }, std::chrono::seconds(20)));
        ExpectOpened(1, "STATUS:COM1 OPENED" + kFullWidthComma + "9600,N,8,1");
        EXPECT_TRUE(FrameReachesDisplay(1, {1, 2, 3, 4, 5, 6, 7, 8, 9}));
        EXPECT_FALSE(HeldHere(oldDevice));
        ASSERT_EQ(h.boxes.size(), 1u);
        EXPECT_EQ(h.boxes[0].request.caption, "Application Error");
        EXPECT_TRUE(h.boxes[0].request.text.contains("Failed with the following error"));
        h.panel->DetachObserver(&observer);
        h.onBox = nullptr;
    }
}

// The same entry is the same port: the old device, still there, is let go for the new one.
TEST_F(ReconnectTest, ANewDeviceLinkedAsCom1InAFolderMadeAgainTakesTheOldOnesPlace) {
    Add(1, Role::Scale);
    h.Start();
    ASSERT_EQ(h.panel->Port(), 1);
    const std::unique_ptr<PtyPeer> old = std::move(peers[1]);
    ports.MakeAgain();
    Add(1, Role::Scale);
    ASSERT_TRUE(PumpUntil([&] { return Held(1); }));
    EXPECT_FALSE(IsHeld(old->DevicePath()));
    ExpectOpened(1, "STATUS:COM1 OPENED" + kFullWidthComma + "9600,N,8,1");
    EXPECT_TRUE(h.boxes.empty());
    EXPECT_TRUE(FrameReachesDisplay(1, {1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST_F(ReconnectTest, NothingIsReopenedAfterTheUserPressedTheButtonMeanwhile) {
    StartThenUnplug();
    PressOpenClose();  // nothing there yet
    ExpectOneOpenFailureBox();
    Add(1, Role::Scale);
    // The panel has seen the device come: the list names it.
    ASSERT_TRUE(
        PumpUntil([&] { return Tip(1).contains(QString::fromStdString(Peer(1).DevicePath())); }));
    EXPECT_FALSE(Held(1));
    ExpectClosedShown(1, "Not found serial port or serial occupied");
    EXPECT_TRUE(h.boxes.empty());
}

// Outside a port folder, with udev's events as a test makes them.
class DeviceEventsTest : public ReconnectTest {
  protected:
    DeviceEventsTest() { h.Build(devices.Sources(), std::make_shared<serial_port::PortMap>()); }
    serial_port::SerialDevice& Plug(PtyPeer& peer, const char* name, const std::string& byId) {
        serial_port::SerialDevice d;
        d.node = peer.DevicePath();
        d.name = name;
        d.description = "USB serial adapter";
        d.usb = true;
        d.byId = byId;
        devices.Plug(d);
        return last = d;
    }
    FakeDevices devices;
    serial_port::SerialDevice last;
};

TEST_F(DeviceEventsTest, AReplugedAdapterGetsItsComNumberBackAndIsReopened) {
    const std::string scaleId = "/dev/serial/by-id/usb-Scale_Co_S1_A1B2-if00-port0";
    PtyPeer gps(Role::Silent);
    Plug(gps, "ttyUSB0", "/dev/serial/by-id/usb-GPS_G7-if00");
    auto scale = std::make_unique<PtyPeer>(Role::Scale);
    Plug(*scale, "ttyUSB1", scaleId);
    h.Start();
    ASSERT_EQ(h.panel->Port(), 2);
    EXPECT_TRUE(Tip(2).contains(QString::fromStdString(scaleId))) << Tip(2).toStdString();

    scale->HangUp();
    devices.Unplug(scale->DevicePath());
    ASSERT_TRUE(PumpUntil([&] { return !h.panel->SerialPort().IsPortHeld(); }));
    ExpectClosedShown(2, "STATUS:COM Port Closed");
    h.boxes.clear();

    // Another adapter meanwhile takes a new number: COM2 is kept for the scale.
    PtyPeer other(Role::Silent);
    Plug(other, "ttyUSB2", "/dev/serial/by-id/usb-Other_O1-if00");
    ASSERT_TRUE(
        PumpUntil([&] { return Tip(3).contains(QString::fromStdString(other.DevicePath())); }));
    EXPECT_TRUE(Tip(2).contains("no device")) << Tip(2).toStdString();
    EXPECT_TRUE(h.panel->IsShownClosed());

    // The scale comes back under another kernel name, with the same by-id name.
    auto again = std::make_unique<PtyPeer>(Role::Scale);
    Plug(*again, "ttyUSB3", scaleId);
    ASSERT_TRUE(PumpUntil([&] { return !h.panel->IsShownClosed(); }, std::chrono::seconds(5)));
    EXPECT_EQ(h.panel->Port(), 2);
    EXPECT_EQ(h.Status(), "STATUS:COM2 OPENED" + kFullWidthComma + "9600,N,8,1");
    EXPECT_TRUE(IsHeld(again->DevicePath()));
    EXPECT_TRUE(Tip(2).contains(QString::fromStdString(again->DevicePath())));
    EXPECT_TRUE(FrameReachesDisplay(*again, {2, 2, 2, 2, 2, 2, 2, 2, 2}));
    EXPECT_TRUE(h.boxes.empty());
    EXPECT_TRUE(gps.Received() == std::vector<std::uint8_t>{0x05});  // the scan's probe only
    EXPECT_TRUE(other.Received().empty());
    h.panel.reset();
}

class ShutdownTest : public PortSelectionTest {};

// Ends the modal loop as soon as the panel is shown.
class RejectWhenShown : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            QMetaObject::invokeMethod(static_cast<QDialog*>(watched), &QDialog::reject,
                                      Qt::QueuedConnection);
        return false;
    }
};

TEST_F(ShutdownTest, ThePortIsClosedAfterTheDisplayIsGone) {
    Add(2, Role::Scale);
    bool portHeldWhenDisplayWent = false;
    h.log->onDeactivate = [&] { portHeldWhenDisplayWent = h.panel->SerialPort().IsPortHeld(); };
    RejectWhenShown closer;
    h.panel->installEventFilter(&closer);

    component::Result created = component::kFail;
    h.panel->DoModal(&created);
    EXPECT_EQ(created, component::kOk);
    EXPECT_EQ(h.panel->Port(), 2);
    EXPECT_EQ(h.log->deactivations, 1);
    EXPECT_TRUE(portHeldWhenDisplayWent);
    EXPECT_FALSE(h.panel->SerialPort().IsPortHeld());
    EXPECT_FALSE(Held(2));
    EXPECT_EQ(h.log->liveObjects, 0);
    EXPECT_TRUE(h.boxes.empty());
}

TEST_F(ShutdownTest, APortHeldButNotWatchedIsClosedTheSameWay) {
    StartOpenedOn3();
    PressOpenClose();
    Add(4, Role::Silent);
    Choose(4);
    ASSERT_TRUE(Held(4));
    h.panel.reset();
    EXPECT_FALSE(Held(4));
    EXPECT_EQ(h.log->liveObjects, 0);
}

}  // namespace
}  // namespace apptest
