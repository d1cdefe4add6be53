// The peer hangs up: while the panel watches the port, while a probe of the start-up scan waits
// for the answer, and while a key byte is being written.

#include <gtest/gtest.h>

#include <thread>

#include "tests/app/PortsFixture.h"
#include "tests/fault/ObservedPanel.h"

namespace faulttest {
namespace {

using namespace std::chrono_literals;
using testing_support::PumpUntil;

class HangUpTest : public apptest::PortsFixture {
  protected:
    void PressOpenClose() { h.panel->OpenCloseButton().click(); }

    // The panel shows the port closed, holds nothing, and its watch thread has ended.
    void ExpectClosed(int port) {
        EXPECT_EQ(h.panel->Port(), port);
        EXPECT_TRUE(h.panel->IsShownClosed());
        EXPECT_EQ(h.panel->OpenCloseButton().text(), "OPEN");
        EXPECT_EQ(LampImage(), DarkLamp());
        EXPECT_FALSE(h.panel->SerialPort().IsPortHeld());
        EXPECT_FALSE(h.panel->SerialPort().IsWatching());
    }

    // The panel shows Closed at once and lets the port go once the loss box is gone.
    bool ClosedAfterLoss() {
        return PumpUntil(
            [&] { return h.panel->IsShownClosed() && !h.panel->SerialPort().IsPortHeld(); });
    }

    // At most one box, and the one there is tells what happened on which port; forgets it.
    void ExpectAtMostOneLossBox(int port) {
        ASSERT_LE(h.boxes.size(), 1u);
        if (!h.boxes.empty()) {
            const MessageBoxRequest& box = h.boxes[0].request;
            EXPECT_EQ(box.caption, "Application Error");
            EXPECT_TRUE(box.text.contains("Failed with the following error"))
                << box.text.toStdString();
            EXPECT_TRUE(box.text.contains(QStringLiteral("Port: %1").arg(port)))
                << box.text.toStdString();
        }
        h.boxes.clear();
    }
};

TEST_F(HangUpTest, WhileWatchingThePanelGoesClosedAfterOneBoxAndTheThreadSleeps) {
    ObservedPanel& panel = Observe(h);
    int losses = 0;
    panel.afterMessage = [&](window::MessageId id, window::WParam) {
        losses += id == PN_DEVICE_LOST;
    };
    Add(1, Role::Scale);
    h.Start();
    ASSERT_FALSE(h.panel->IsShownClosed());
    Peer(1).HangUp();

    // Only the engine's messages are handled here, not the panel's queued work: the watch
    // thread has reported the loss and its box, and lives on until the panel closes the port.
    ASSERT_TRUE(window::WaitWhilePumping(
        panel, [&] { return losses > 0 && !h.boxes.empty(); }, 20s));
    ASSERT_TRUE(h.panel->SerialPort().IsWatching());
    const auto wakeups = h.panel->SerialPort().WatchWakeups();
    // A thread that still waited on the dead port would wake without end, and report again.
    EXPECT_FALSE(window::WaitForMessage(panel, 200ms));
    EXPECT_EQ(h.panel->SerialPort().WatchWakeups(), wakeups);

    ASSERT_TRUE(ClosedAfterLoss());
    ExpectClosed(1);
    EXPECT_EQ(h.Status(), "STATUS:COM Port Closed");
    EXPECT_EQ(losses, 1);
    ASSERT_EQ(h.boxes.size(), 1u);
    ExpectAtMostOneLossBox(1);

    // The keys do nothing now, and nothing more is reported.
    h.panel->KeyButton(1003)->click();
    EXPECT_TRUE(h.boxes.empty());
}

TEST_F(HangUpTest, APeerThatHangsUpOnTheProbeIsPassedOverAndTheScanGoesOn) {
    Add(1, Role::Silent);
    Add(2, Role::Scale);
    // Hangs up as soon as the probe byte has come, while the probe waits for an answer.
    std::thread unplug([&] {
        if (Peer(1).WaitForBytes(1, 20s))
            Peer(1).HangUp();
    });
    h.Start();
    unplug.join();

    EXPECT_EQ(h.panel->Port(), 2);
    EXPECT_EQ(h.Status(), "STATUS:COM2  OPENED,9600,N,8,1");
    EXPECT_FALSE(h.panel->IsShownClosed());
    EXPECT_TRUE(Held(2));
    EXPECT_EQ(Peer(1).Received(), std::vector<std::uint8_t>{0x05});
    // Whatever the engine noticed of COM1 is behind us; COM2 stays open and mirrored.
    EXPECT_TRUE(FrameReachesDisplay(2, {2, 2, 2, 2, 2, 2, 2, 2, 2}));
    EXPECT_FALSE(h.panel->IsShownClosed());
    ExpectAtMostOneLossBox(1);
}

TEST_F(HangUpTest, APeerThatAnswersAndThenHangsUpLeavesThePanelClosed) {
    ObservedPanel& panel = Observe(h);
    Add(1, Role::Scale);
    Add(2, Role::Scale);
    // The scale answers the probe and is unplugged right after the panel has seen the answer,
    // while the probe still waits.
    panel.afterMessage = [&](window::MessageId id, window::WParam) {
        if (id == PN_BYTE && panel.AckReceived() && peers.count(1))
            peers.erase(1);
    };
    h.Start();
    panel.afterMessage = nullptr;

    // The scan kept COM1, whose scale answered; the panel then learns that it is gone.
    ASSERT_TRUE(ClosedAfterLoss())
        << h.Status().toStdString() << ", " << h.boxes.size() << " box(es)";
    ExpectClosed(1);
    EXPECT_EQ(h.Status(), "STATUS:COM Port Closed");
    EXPECT_FALSE(Held(2));
    EXPECT_TRUE(Peer(2).Received().empty());
    ExpectAtMostOneLossBox(1);

    // The user can go on with the other scale.
    h.panel->PortList().setCurrentIndex(1);
    emit h.panel->PortList().activated(1);
    PressOpenClose();
    EXPECT_FALSE(h.panel->IsShownClosed());
    EXPECT_TRUE(FrameReachesDisplay(2, {5, 5, 5, 5, 5, 5, 5, 5, 5}));
}

TEST_F(HangUpTest, APeerThatHangsUpWhileAKeyIsWrittenLeavesThePanelClosedEachTime) {
    Add(1, Role::Scale);
    h.Start();
    ASSERT_EQ(h.panel->Port(), 1);
    // The hang-up races the watch thread's purge and write of the key byte: the line may go
    // before, during or after the write, and the outcome is the same every time.
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        ASSERT_FALSE(h.panel->IsShownClosed());
        h.panel->KeyButton(1001 + round % 4)->click();
        Peer(1).HangUp();
        ASSERT_TRUE(ClosedAfterLoss());
        ExpectClosed(1);
        ExpectAtMostOneLossBox(1);

        // The scale comes back on the same COM number and the user opens it again.
        peers.erase(1);
        Add(1, Role::Scale);
        PressOpenClose();
        EXPECT_EQ(h.Status(), QString("STATUS:COM1 OPENED") + QChar(0xFF0C) + "9600,N,8,1");
        EXPECT_TRUE(h.boxes.empty());
    }
    EXPECT_TRUE(FrameReachesDisplay(1, {1, 1, 1, 1, 1, 1, 1, 1, 1}));
}

}  // namespace
}  // namespace faulttest
