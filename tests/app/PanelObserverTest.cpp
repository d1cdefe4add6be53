// What an observer attached to the panel sees: frames after the display, and the port's state.

#include <gtest/gtest.h>

#include "tests/app/PortsFixture.h"

namespace apptest {
namespace {

using Change = scale::PortState::Change;

// Notes what it is told, and how many display calls had been made by then.
struct Observer : scale::FrameObserver {
    explicit Observer(const DisplayLog& shown) : log(shown) {}
    void OnFrame(const scale::Frame& frame) override {
        frames.push_back(frame);
        callsBefore.push_back(log.calls.size());
    }
    void OnPortState(const scale::PortState& state) override { ports.push_back(state); }

    const DisplayLog& log;
    std::vector<scale::Frame> frames;
    std::vector<std::size_t> callsBefore;
    std::vector<scale::PortState> ports;
};

TEST(PanelObserver, SeesEachFrameOnceInOrderAfterTheDisplay) {
    PanelHarness h;
    ASSERT_EQ(h.panel->CreateDisplayControl(), component::kOk);
    h.ClearWindow();
    Observer observer(*h.log);
    h.panel->AttachObserver(&observer);
    const scale::FrameBytes first = {0x06, 0xAA, 0x77, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    const scale::FrameBytes second = {0x06, 0xAA, 0x00, 9, 8, 7, 6, 5, 4, 3, 2, 1};
    h.Feed(std::vector<std::uint8_t>(first.begin(), first.end()));
    h.Feed({0x06, 0x11, 0xAA});  // no header
    h.Feed(std::vector<std::uint8_t>(second.begin(), second.end()));
    ASSERT_EQ(observer.frames.size(), 2u);
    EXPECT_EQ(observer.frames[0].bytes, first);
    EXPECT_EQ(observer.frames[1].bytes, second);
    EXPECT_EQ(observer.frames[1].values, scale::SlotsOf(second));
    EXPECT_LE(observer.frames[0].steadyTime, observer.frames[1].steadyTime);
    // Nine values and the repaint per frame, all made before the observer is told.
    EXPECT_EQ(observer.callsBefore, (std::vector<std::size_t>{10, 20}));

    h.panel->DetachObserver(&observer);
    h.Feed(std::vector<std::uint8_t>(first.begin(), first.end()));
    EXPECT_EQ(observer.frames.size(), 2u);
}

class PanelObserverPorts : public PortsFixture {};

TEST_F(PanelObserverPorts, SeesThePortOpenedByTheScanAndClosedByTheUser) {
    Add(3, Role::Scale);
    Observer observer(*h.log);
    h.panel->AttachObserver(&observer);
    h.Start();
    ASSERT_EQ(h.panel->Port(), 3);
    // The path the panel opened: the port folder's link.
    const std::string device = h.panel->SerialPort().DevicePath();
    ASSERT_TRUE(device.ends_with("/COM3")) << device;
    h.panel->OpenCloseButton().click();
    ASSERT_EQ(observer.ports.size(), 2u);
    EXPECT_EQ(observer.ports[0].change, Change::kOpened);
    EXPECT_EQ(observer.ports[1].change, Change::kClosed);
    for (const scale::PortState& state : observer.ports) {
        EXPECT_EQ(state.port, 3);
        EXPECT_EQ(state.device, device);
    }
    h.panel->DetachObserver(&observer);
}

}  // namespace
}  // namespace apptest
