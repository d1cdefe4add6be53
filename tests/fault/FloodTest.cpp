// The peer floods the line with a megabyte of random bytes.

#include <QTimer>

#include <gtest/gtest.h>

#include "tests/app/PortsFixture.h"
#include "tests/fault/FloodPeer.h"
#include "tests/fault/ObservedPanel.h"
#include "tests/fault/ProcessMemory.h"

namespace faulttest {
namespace {

using namespace std::chrono_literals;
using testing_support::PumpUntil;

constexpr std::size_t kFloodBytes = 1 << 20;
constexpr std::size_t kMegabyte = 1 << 20;

class FloodTest : public apptest::PortsFixture {
  protected:
    void PressOpenClose() { h.panel->OpenCloseButton().click(); }
    // Opens COM1 by hand: the flood gives no answer to a probe.
    void OpenCom1() {
        h.panel->PortList().setCurrentIndex(0);
        emit h.panel->PortList().activated(0);
        PressOpenClose();
    }
};

TEST_F(FloodTest, ThePanelStaysResponsiveAndItsMemoryFlat) {
    ObservedPanel& panel = Observe(h);
    std::size_t received = 0;
    panel.afterMessage = [&](window::MessageId id, window::WParam) { received += id == PN_BYTE; };
    h.Start();
    FloodPeer flood(kFloodBytes, 20240601);
    ports.Map(1, flood.DevicePath());
    OpenCom1();
    ASSERT_FALSE(h.panel->IsShownClosed());
    const std::size_t residentBefore = ResidentBytes();
    ASSERT_GT(residentBefore, 0u);

    // The panel watches the port and takes every byte, one at a time.
    flood.Start();
    ASSERT_TRUE(PumpUntil([&] { return flood.Written() >= 32 * 1024; }, 60s))
        << flood.Written() << " bytes written";
    // Work queued for the UI thread runs in between the bytes.
    bool handled = false;
    bool floodRunning = false;
    QObject context;
    QMetaObject::invokeMethod(
        &context,
        [&] {
            handled = true;
            floodRunning = !flood.Done();
        },
        Qt::QueuedConnection);
    ASSERT_TRUE(PumpUntil([&] { return handled; }, 10s));
    EXPECT_TRUE(floodRunning);
    EXPECT_GT(received, 1000u);

    // The user keeps pressing CLOSE and OPEN. Each CLOSE stops the watch thread in the middle
    // of the stream; each OPEN throws away what piled up meanwhile, which lets the rest of the
    // megabyte through.
    int presses = 0;
    QTimer toggle;
    QObject::connect(&toggle, &QTimer::timeout, [&] {
        PressOpenClose();
        ++presses;
    });
    toggle.start(10);
    ASSERT_TRUE(PumpUntil([&] { return flood.Done(); }, 60s))
        << flood.Written() << " bytes written";
    toggle.stop();
    EXPECT_GT(presses, 2);

    // Nothing was kept from the stream but the receive window.
    const std::size_t residentAfter = ResidentBytes();
    EXPECT_LT(residentAfter, residentBefore + 20 * kMegabyte)
        << "before " << residentBefore << ", after " << residentAfter;
    // Random bytes are no failure.
    EXPECT_TRUE(h.boxes.empty());
    // The panel shows what it holds.
    EXPECT_EQ(h.panel->SerialPort().IsPortHeld(), !h.panel->IsShownClosed());
    EXPECT_EQ(h.panel->OpenCloseButton().text(), h.panel->IsShownClosed() ? "OPEN" : "CLOSE");

    // And after the flood, a frame is mirrored as ever.
    if (h.panel->IsShownClosed())
        PressOpenClose();
    ASSERT_FALSE(h.panel->IsShownClosed());
    const std::size_t callsBefore = h.log->calls.size();
    const std::vector<std::uint8_t> frame =
        testing_support::ScaleFrame({1, 2, 3, 4, 5, 6, 7, 8, 9});
    QTimer repeat;  // the watch thread purges what came before it started
    QObject::connect(&repeat, &QTimer::timeout, [&] { flood.Send(frame); });
    repeat.start(100);
    const std::vector<apptest::DisplayCall> expected =
        apptest::FrameUpdate({1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_TRUE(PumpUntil([&] {
        const auto& calls = h.log->calls;
        return calls.size() >= callsBefore + expected.size() &&
               std::equal(expected.begin(), expected.end(), calls.end() - 10);
    }));
}

}  // namespace
}  // namespace faulttest
