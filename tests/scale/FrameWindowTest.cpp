// The frame window, the probe's answer and the observer list.

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "scale/FrameObserver.h"
#include "scale/FrameWindow.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(FrameWindow, CompletesWhenTheHeaderReachesTheOldestEnd) {
    scale::FrameWindow window;
    const Bytes stream = {0x06, 0x06, 0xAA, 0x77, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x55};
    std::vector<std::size_t> completed;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        if (window.Push(stream[i]))
            completed.push_back(i);
    }
    EXPECT_EQ(completed, std::vector<std::size_t>{12});
    // The window has moved on by one byte; the frame's values were those before it.
    EXPECT_EQ(window.Bytes()[11], 0x55);
    const scale::Slots expected{2, 3, 4, {5, 6, 7, 8, 9, 0x55}};
    EXPECT_EQ(window.FrameSlots(), expected);
    EXPECT_FALSE(window.HoldsFrame());
}

// -1 in a stream: a probe begins.
constexpr int kProbe = -1;

TEST(ProbeAnswer, CountsOnlyAPairReceivedSinceTheProbe) {
    struct Case {
        const char* name;
        std::vector<int> stream;
        bool answered;
    };
    const Case cases[] = {
        {"before any probe every pair counts", {0x06, 0xAA}, true},
        {"a pair after the probe", {0x01, kProbe, 0x06, 0xAA, 0x00}, true},
        {"a pair split by the probe", {0x06, kProbe, 0xAA}, false},
        {"an answer before the probe is forgotten", {kProbe, 0x06, 0xAA, kProbe, 0x00}, false},
        {"not back to back", {kProbe, 0x06, 0x00, 0xAA}, false},
        {"the wrong order", {kProbe, 0xAA, 0x06}, false},
        {"the second probe's answer", {kProbe, 0x06, kProbe, 0x06, 0xAA}, true},
    };
    for (const Case& c : cases) {
        scale::FrameWindow window;
        scale::ProbeAnswer probe;
        for (const int b : c.stream) {
            if (b == kProbe)
                probe.Begin();
            else
                window.Push(static_cast<std::uint8_t>(b), &probe);
        }
        EXPECT_EQ(probe.Answered(), c.answered) << c.name;
    }
}

// -2 in a stream: the port is opened again.
constexpr int kReopen = -2;

Bytes Frame(std::uint8_t tag) {
    const scale::FrameBytes f = scale::FrameOf({tag, 0, 0, {tag, tag, tag, tag, tag, tag}});
    return Bytes(f.begin(), f.end());
}

std::vector<int> Join(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

std::vector<int> Ints(const Bytes& bytes) {
    return {bytes.begin(), bytes.end()};
}

TEST(FrameWindow, TellsAsSentOnlyFramesWhollyAfterTheOpeningAndTheProbesAnswer) {
    const std::vector<int> answer = {0x06, 0xAA};
    const Bytes cut = {0x06, 0xAA, 0x00, 1, 2, 3};
    struct Case {
        const char* name;
        std::vector<int> stream;
        std::vector<int> complete;  // the WM byte of each complete window
        std::vector<int> sent;      // of those told as sent
    };
    const Case cases[] = {
        {"frames after an opening",
         Join({{kReopen}, Ints(Frame(1)), Ints(Frame(2))}),
         {1, 2},
         {1, 2}},
        {"a frame cut by a new opening combines, but is not sent",
         Join({Ints(cut), {kReopen}, Ints(Frame(7))}),
         {1, 7},
         {7}},
        {"the answer followed at once by a frame",
         Join({{kProbe}, answer, Ints(Frame(5)), Ints(Frame(6))}),
         {0xAA, 5, 6},
         {5, 6}},
        {"a streaming scale answers after the frame in flight",
         Join({{kProbe}, Ints(Frame(4)), answer, Ints(Frame(5))}),
         {4, 0xAA, 5},
         {5}},
        {"an answer followed by other bytes, then frames",
         Join({{kProbe}, answer, {0x11, 0x22, 0x33}, Ints(Frame(5))}),
         {0x22, 5},
         {5}},
        {"before any probe a pair is no answer",
         Join({answer, Ints(Frame(5))}),
         {0xAA, 5},
         {0xAA, 5}},
    };
    for (const Case& c : cases) {
        scale::FrameWindow window;
        scale::ProbeAnswer probe;
        std::vector<int> complete, sent;
        for (const int b : c.stream) {
            if (b == kProbe) {
                probe.Begin();
            } else if (b == kReopen) {
                window.Restart();
            } else if (window.Push(static_cast<std::uint8_t>(b), &probe)) {
                complete.push_back(window.FrameSlots().wm);
                if (window.HoldsSentFrame())
                    sent.push_back(window.FrameSlots().wm);
            }
        }
        EXPECT_EQ(complete, c.complete) << c.name;
        EXPECT_EQ(sent, c.sent) << c.name;
    }
}

struct Notes : scale::FrameObserver {
    void OnFrame(const scale::Frame& frame) override {
        frames.push_back(frame.bytes[11]);
        if (onFrame)
            onFrame();
    }
    void OnPortState(const scale::PortState& state) override { ports.push_back(state.port); }
    std::vector<int> frames;
    std::vector<int> ports;
    std::function<void()> onFrame;
};

scale::Frame FrameEnding(std::uint8_t last) {
    scale::Frame frame{};
    frame.bytes[11] = last;
    return frame;
}

TEST(FrameObservers, TellsEachAttachedObserverOnceInOrderOfAttaching) {
    scale::FrameObservers observers;
    Notes first, second;
    std::vector<Notes*> told;
    first.onFrame = [&] { told.push_back(&first); };
    second.onFrame = [&] { told.push_back(&second); };
    observers.Attach(&first);
    observers.Attach(&second);
    observers.Attach(&first);
    observers.TellFrame(FrameEnding(1));
    observers.TellPortState({scale::PortState::Change::kOpened, 3, "/dev/x"});
    EXPECT_EQ(told, (std::vector<Notes*>{&first, &second}));
    EXPECT_EQ(second.ports, std::vector<int>{3});
    observers.Detach(&first);
    observers.TellFrame(FrameEnding(2));
    EXPECT_EQ(first.frames, std::vector<int>{1});
    EXPECT_EQ(second.frames, (std::vector<int>{1, 2}));
}

TEST(FrameObservers, OneDetachedWhileTellingIsNotToldAgain) {
    scale::FrameObservers observers;
    Notes first, second;
    first.onFrame = [&] { observers.Detach(&second); };
    observers.Attach(&first);
    observers.Attach(&second);
    observers.TellFrame(FrameEnding(1));
    EXPECT_TRUE(second.frames.empty());
    EXPECT_EQ(first.frames, std::vector<int>{1});
}

}  // namespace
