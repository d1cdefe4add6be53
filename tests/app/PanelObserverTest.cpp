// What an observer attached to the panel sees: frames after the display, and the port's state.

#include <gtest/gtest.h>

#include "app/readings/Recorder.h"
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

// What --log keeps: a row for every frame the panel tells.
struct LogRows {
    explicit LogRows(CScalePanelDlg& panel) : recorder(record::CaptureRule::kEvery) {
        QObject::connect(&recorder, &Recorder::captured,
                         [this](const record::CapturedReading& row) { rows.push_back(row.bytes); });
        panel.AttachObserver(&recorder);
    }
    Recorder recorder;
    std::vector<scale::FrameBytes> rows;
};

scale::FrameBytes BytesOf(const std::vector<std::uint8_t>& frame) {
    scale::FrameBytes bytes{};
    std::copy(frame.begin(), frame.end(), bytes.begin());
    return bytes;
}

TEST_F(PanelObserverPorts, TheProbesAnswerGluedToAFrameIsDrawnButNoRowOfTheLog) {
    PtyPeer& scale = Add(1, std::make_unique<PtyPeer>(std::vector<std::uint8_t>{0x06, 0xAA}));
    LogRows log(*h.panel);
    h.Start();
    ASSERT_EQ(h.panel->Port(), 1);
    const std::vector<std::uint8_t> frame = ScaleFrame({1, 2, 3, 4, 5, 6, 7, 8, 9});
    ASSERT_TRUE(scale.Send(frame));
    ASSERT_TRUE(PumpUntil([&] { return !log.rows.empty(); }));
    // The window the answer began is drawn as ever, ten bytes into the frame.
    const std::vector<DisplayCall> glued = FrameUpdate({0xAA, 0, 1, 2, 3, 4, 5, 6, 7});
    EXPECT_NE(std::search(h.log->calls.begin(), h.log->calls.end(), glued.begin(), glued.end()),
              h.log->calls.end());
    EXPECT_EQ(log.rows, std::vector<scale::FrameBytes>{BytesOf(frame)});
    h.panel->DetachObserver(&log.recorder);
}

TEST_F(PanelObserverPorts, AFrameCutByReopeningThePortIsNoRowOfTheLog) {
    Add(1, Role::Scale);
    LogRows log(*h.panel);
    h.Start();
    ASSERT_EQ(h.panel->Port(), 1);
    // Received before CLOSE: the start of a frame that never ends.
    h.Feed({0x06, 0xAA, 0x00, 0x31, 0x32, 0x33});
    h.panel->OpenCloseButton().click();
    h.panel->OpenCloseButton().click();
    ASSERT_FALSE(h.panel->IsShownClosed());
    const std::array<std::uint8_t, 9> values = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    ASSERT_TRUE(FrameReachesDisplay(1, values));
    ASSERT_FALSE(log.rows.empty());
    for (const scale::FrameBytes& row : log.rows)
        EXPECT_EQ(row, BytesOf(ScaleFrame(values)));
    h.panel->DetachObserver(&log.recorder);
}

}  // namespace
}  // namespace apptest
