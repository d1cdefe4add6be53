// Frame decoding in the receive handler: which bytes update the display, with what.

#include <gtest/gtest.h>

#include "tests/app/PanelHarness.h"
#include "tools/scalesim/ScaleFrames.h"

namespace apptest {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Update {
    std::size_t atByte;  // index of the byte whose arrival made the update
    std::array<int, 9> values;
};

struct DecodeCase {
    const char* name;
    Bytes stream;
    std::vector<Update> updates;
};

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kFrame = {0x06, 0xAA, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 9};

const DecodeCase kCases[] = {
    {"one frame updates once at its twelfth byte; the spare byte is not passed on",
     {0x06, 0xAA, 0x77, 1, 2, 3, 4, 5, 6, 7, 8, 9},
     {{11, {1, 2, 3, 4, 5, 6, 7, 8, 9}}}},
    {"bytes before a frame change nothing",
     Concat({{0x11, 0x06, 0x22, 0xAA, 0x06}, kFrame}),
     {{16, {1, 2, 3, 4, 5, 6, 7, 8, 9}}}},
    {"two frames back to back update twice",
     Concat({kFrame, {0x06, 0xAA, 0x00, 9, 8, 7, 6, 5, 4, 3, 2, 1}}),
     {{11, {1, 2, 3, 4, 5, 6, 7, 8, 9}}, {23, {9, 8, 7, 6, 5, 4, 3, 2, 1}}}},
    {"a header pair inside the values updates again ten bytes after the pair",
     Concat({{0x06, 0xAA, 0x00, 1, 2, 3, 4, 0x06, 0xAA, 8, 9, 10}, {11, 12, 13, 14, 15, 16, 17}}),
     {{11, {1, 2, 3, 4, 0x06, 0xAA, 8, 9, 10}}, {18, {9, 10, 11, 12, 13, 14, 15, 16, 17}}}},
    {"a cut frame combines with the next one",
     Concat({{0x06, 0xAA, 0x00, 1, 2, 3},
             {0x06, 0xAA, 0x00, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19}}),
     {{11, {1, 2, 3, 0x06, 0xAA, 0x00, 0x11, 0x12, 0x13}},
      {17, {0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19}}}},
    {"values above 0x7F arrive as 128..255",
     {0x06, 0xAA, 0x00, 0x80, 0x81, 0xC0, 0xFE, 0xFF, 0x7F, 0x00, 0x90, 0xAA},
     {{11, {128, 129, 192, 254, 255, 127, 0, 144, 170}}}},
    {"a partial frame waits for its remaining bytes", {0x06, 0xAA, 0x00, 1, 2}, {}},
};

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, UpdatesExactlyAtTheExpectedBytes) {
    PanelHarness h;
    ASSERT_EQ(h.panel->CreateDisplayControl(), component::kOk);
    h.ClearWindow();

    const DecodeCase& c = GetParam();
    std::vector<DisplayCall> expected;
    std::size_t next = 0;
    for (std::size_t i = 0; i < c.stream.size(); ++i) {
        h.panel->OnPortByte(c.stream[i], 5);
        if (next < c.updates.size() && c.updates[next].atByte == i) {
            const auto update = FrameUpdate(c.updates[next].values);
            expected.insert(expected.end(), update.begin(), update.end());
            ++next;
        }
        ASSERT_EQ(h.log->calls, expected) << "after byte " << i;
    }
    EXPECT_EQ(next, c.updates.size());
}

INSTANTIATE_TEST_SUITE_P(Frames, DecodeTest, ::testing::ValuesIn(kCases),
                         [](const auto& param) { return "case" + std::to_string(param.index); });

TEST(DecodeSimulatorFrames, EachSlotOfTheSimulatorsFrameReachesItsDisplayMethod) {
    PanelHarness h;
    ASSERT_EQ(h.panel->CreateDisplayControl(), component::kOk);
    h.ClearWindow();
    scalesim::DisplaySlots shown;
    shown.wm = scalesim::BarMask(3) | scalesim::kWmOverLoad;
    shown.sign = scalesim::kSignStable;
    shown.unit = scalesim::kUnitKg | scalesim::kUnitNet;
    shown.hex = *scalesim::FormatWeight("-12.345");
    const scalesim::Frame frame = scalesim::EncodeFrame(shown);
    h.Feed(Bytes(frame.begin(), frame.end()));
    EXPECT_EQ(h.log->calls,
              FrameUpdate({shown.wm, shown.sign, shown.unit, shown.hex[0], shown.hex[1],
                           shown.hex[2], shown.hex[3], shown.hex[4], shown.hex[5]}));
}

TEST(DecodeAck, SetByABackToBackPairAnywhereAndOnlyThen) {
    struct AckCase {
        Bytes stream;
        bool ack;
    };
    const AckCase cases[] = {
        {{0x06, 0xAA}, true},
        {{0x01, 0x02, 0x06, 0xAA, 0x03}, true},
        {{0x06, 0x00, 0xAA}, false},
        {{0xAA, 0x06}, false},
        {{0x06}, false},
    };
    for (const AckCase& c : cases) {
        PanelHarness h;
        h.ClearWindow();
        ASSERT_FALSE(h.panel->AckReceived());
        h.Feed(c.stream);
        EXPECT_EQ(h.panel->AckReceived(), c.ack) << ::testing::PrintToString(c.stream);
        // Nothing clears it again.
        h.Feed(Bytes(30, 0x00));
        EXPECT_EQ(h.panel->AckReceived(), c.ack);
    }
}

TEST(DecodeWindow, IsOneForTheProgramAndCarriesOverBetweenPanels) {
    {
        PanelHarness first;
        first.ClearWindow();
        first.Feed({0x06, 0xAA, 0x00, 1, 2, 3});
    }
    PanelHarness second;
    ASSERT_EQ(second.panel->CreateDisplayControl(), component::kOk);
    second.Feed({4, 5, 6, 7, 8});
    EXPECT_TRUE(second.log->calls.empty());
    second.Feed({9});
    EXPECT_EQ(second.log->calls, FrameUpdate({1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(DecodeWithoutDisplay, FramesReachingAnUnattachedDisplayAreDropped) {
    PanelHarness h;
    ASSERT_EQ(h.panel->CreateDisplayControl(), component::kOk);
    h.ClearWindow();
    h.panel->OnDestroy();
    h.Feed(kFrame);
    EXPECT_TRUE(h.log->calls.empty());
    EXPECT_EQ(h.log->liveObjects, 0);
}

}  // namespace
}  // namespace apptest
