#include "serial/CSerialLink.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>

#include <atomic>
#include <climits>
#include <numeric>
#include <optional>
#include <thread>
#include <tuple>

#include "platform/posix/UniqueFd.h"
#include "tests/serial/LinkTestSupport.h"

namespace {

using namespace link_test;
using serial_port::PseudoTerminal;

constexpr std::uint32_t kMask = 3;  // received bytes and the flag character
constexpr unsigned kBuffer = 512;

// A key must not wait behind a flood. Instrumented builds run the watch loop many times slower,
// so they get a wider bound; a starved key never arrives at all.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr auto kKeyDelayBound = std::chrono::milliseconds(1000);
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr auto kKeyDelayBound = std::chrono::milliseconds(1000);
#else
constexpr auto kKeyDelayBound = std::chrono::milliseconds(100);
#endif
#else
constexpr auto kKeyDelayBound = std::chrono::milliseconds(100);
#endif

class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        m_link.SetFailureReporter(m_boxes.Reporter());
        m_ports.Serve(m_link);
    }
    void TearDown() override { m_link.Close(); }

    int OpenPort(unsigned n, std::uint32_t mask = kMask, int baud = 9600, char parity = 'N',
                 int dataBits = 8, int stopBits = 1) {
        return m_link.Open(&m_owner, n, baud, parity, dataBits, stopBits, mask, kBuffer);
    }
    int OpenAndWatch(unsigned n, std::uint32_t mask = kMask) {
        const int opened = OpenPort(n, mask);
        if (opened == 1) {
            EXPECT_EQ(m_link.StartWatch(), 1);
        }
        return opened;
    }
    static std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }
    // The thread has run its start (including its first purge) once it has served a send.
    void SyncWithThread(PseudoTerminal& peer) {
        const std::uint8_t mark = '#';
        ASSERT_EQ(m_link.SendBytes(&mark, 1), 1);
        ASSERT_EQ(peer.ReadExactly(1, kDeadline), Bytes("#"));
    }

    // First, so that the owner is made after the application and its event loop serves it.
    QCoreApplication& m_app = App();
    PortDirectory m_ports;
    RecordingOwner m_owner;
    BoxRecorder m_boxes;
    CSerialLink m_link;
};

TEST_F(LinkTest, EveryByteArrivesAloneInOrderWithThePortNumber) {
    PseudoTerminal& peer = m_ports.AddPort(7);
    ASSERT_EQ(OpenAndWatch(7), 1);
    SyncWithThread(peer);
    std::vector<std::uint8_t> sent(256);
    std::iota(sent.begin(), sent.end(), 0);
    ASSERT_TRUE(peer.Write(sent));
    // The mask names the flag character, which follows every completed wait, the last one too.
    ASSERT_TRUE(PumpUntil(m_owner, [&] {
        return m_owner.Count(PN_BYTE) >= sent.size() && m_owner.messages.back().id == PN_FLAG_CHAR;
    }));
    m_link.Close();
    // Zero-extended: 0xFF arrives as 255.
    EXPECT_EQ(m_owner.Bytes(), sent);
    EXPECT_EQ(m_owner.messages.front().id, PN_BYTE);
    for (const Message& m : m_owner.messages) {
        EXPECT_TRUE(m.id == PN_BYTE || (m.id == PN_FLAG_CHAR && m.w == 0)) << m.id;
        EXPECT_EQ(m.l, 7);
    }
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(LinkTest, ABurstOfTwentyThousandBytesArrivesWhole) {
    PseudoTerminal& peer = m_ports.AddPort(1);
    ASSERT_EQ(OpenAndWatch(1), 1);
    SyncWithThread(peer);
    std::vector<std::uint8_t> sent(20000);
    for (std::size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<std::uint8_t>(i * 7 % 251);
    bool written = false;
    // The peer writes faster than the owner handles, so the line's buffers fill and drain.
    std::thread writer([&] { written = peer.Write(sent); });
    // One hand-over per byte: under the thread checker on a busy machine that takes a while.
    const bool all = PumpUntil(
        m_owner, [&] { return m_owner.Count(PN_BYTE) >= sent.size(); }, std::chrono::seconds(90));
    if (!all)
        m_link.Close();  // lets a writer stuck on a full line go
    writer.join();
    ASSERT_TRUE(all);
    EXPECT_TRUE(written);
    EXPECT_EQ(m_owner.Bytes(), sent);
}

// A peer that writes as fast as the line goes keeps the port ready at every wait.
TEST_F(LinkTest, KeysGoOutPromptlyWhileInputFloodsIn) {
    PseudoTerminal& peer = m_ports.AddPort(22);
    ASSERT_EQ(OpenAndWatch(22), 1);
    SyncWithThread(peer);
    auto pattern = [](std::size_t i) { return static_cast<std::uint8_t>(i % 251); };
    std::atomic<bool> stop{false}, stopped{false};
    std::size_t flooded = 0;
    std::thread flood([&] {
        std::vector<std::uint8_t> chunk(1024);
        while (!stop.load()) {
            for (std::uint8_t& b : chunk)
                b = pattern(flooded++);
            if (!peer.Write(chunk))
                break;
        }
        stopped = true;
        window::Wake(m_owner);
    });
    using Clock = std::chrono::steady_clock;
    std::vector<std::pair<std::uint8_t, Clock::time_point>> arrived;
    std::thread keys([&] {
        while (arrived.size() < 10) {
            const auto got = peer.Read(kDeadline);
            if (got.empty())
                return;
            for (std::uint8_t b : got)
                arrived.emplace_back(b, Clock::now());
        }
    });
    ASSERT_TRUE(PumpUntil(m_owner, [&] { return m_owner.Count(PN_BYTE) > 4096; }));
    std::vector<Clock::time_point> requested;
    for (std::uint8_t k = 0; k < 10; ++k) {
        const std::uint8_t key = static_cast<std::uint8_t>('0' + k);
        requested.push_back(Clock::now());
        ASSERT_EQ(m_link.SendBytes(&key, 1), 1);
        window::PumpThreadFor(50ms);
    }
    keys.join();
    stop = true;
    ASSERT_TRUE(PumpUntil(m_owner, [&] { return stopped.load(); }));
    flood.join();
    m_link.Close();

    ASSERT_EQ(arrived.size(), 10u);
    for (std::size_t k = 0; k < 10; ++k) {
        EXPECT_EQ(arrived[k].first, '0' + k);
        EXPECT_LT(arrived[k].second - requested[k], kKeyDelayBound) << "key " << k;
    }
    // Each send discards what was not read yet; what was read came in the peer's order.
    std::size_t at = 0;
    for (std::uint8_t b : m_owner.Bytes()) {
        while (at < flooded && pattern(at) != b)
            ++at;
        ASSERT_LT(at, flooded) << "a byte out of order";
        ++at;
    }
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

// The peer reads nothing until the end, so the line holds everything sent meanwhile.
TEST_F(LinkTest, EveryByteOfACompletedWriteReachesASlowPeer) {
    PseudoTerminal& peer = m_ports.AddPort(23);
    constexpr unsigned kBlock = 8192;
    ASSERT_EQ(m_link.Open(&m_owner, 23, 9600, 'N', 8, 1, kMask, kBlock), 1);
    ASSERT_EQ(m_link.StartWatch(), 1);
    // More than the peer's side of the line takes in before it is read. Once its first bytes
    // are there, the write is under way and no later request replaces it.
    const std::vector<std::uint8_t> block(kBlock, 'p');
    ASSERT_EQ(m_link.SendBytes(block.data(), kBlock), 1);
    pollfd ready{peer.Descriptor(), POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 20000), 1);
    for (int i = 0; i < 2000; ++i) {
        const std::uint8_t key = static_cast<std::uint8_t>(i);
        ASSERT_EQ(m_link.SendBytes(&key, 1), 1);
        window::PumpThreadFor(1ms);
    }
    m_link.Close();
    const std::size_t sent = m_link.BytesSent();
    EXPECT_GE(sent, kBlock);
    EXPECT_EQ(peer.ReadExactly(sent, kDeadline).size(), sent);
    EXPECT_TRUE(peer.Read(0ms).empty());
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

// Stands in for a driver's line events, which a pseudo-terminal has none of.
class InjectedLines : public serial_port::LineEventSource {
  public:
    InjectedLines() : m_signal(std::move(*serial_port::Event::Create())) {}
    void Raise(std::uint32_t events) {
        m_pending |= events;
        m_signal.Set();
    }
    // Reports everything raised, whatever the mask: limiting is the engine's part too.
    std::uint32_t TakeEvents(std::uint32_t) override {
        m_signal.Reset();
        return m_pending.exchange(0);
    }
    int WaitDescriptor() const override { return m_signal.WaitDescriptor(); }

  private:
    serial_port::Event m_signal;
    std::atomic<std::uint32_t> m_pending{0};
};

TEST_F(LinkTest, LineEventsOfTheMaskAreNotifiedWhenTheyHappen) {
    PseudoTerminal& peer = m_ports.AddPort(24);
    InjectedLines* lines = nullptr;
    m_link.SetLineEventSource([&](const serial_port::SerialPort&, std::uint32_t) {
        auto source = std::make_unique<InjectedLines>();
        lines = source.get();
        return source;
    });
    using namespace serial_port;
    ASSERT_EQ(OpenAndWatch(24, kEventRxChar | kEventCts | kEventBreak | kEventRing), 1);
    ASSERT_NE(lines, nullptr);
    SyncWithThread(peer);
    // No byte comes with them; events outside the mask are dropped.
    lines->Raise(kEventRing | kEventError | kEventBreak | kEventCts | kEventDsr);
    ASSERT_TRUE(PumpUntil(m_owner, [&] { return m_owner.messages.size() == 3; }));
    lines->Raise(kEventError);
    lines->Raise(kEventCts);
    ASSERT_TRUE(PumpUntil(m_owner, [&] { return m_owner.messages.size() == 4; }));
    m_link.Close();
    std::vector<window::MessageId> ids;
    for (const Message& m : m_owner.messages) {
        ids.push_back(m.id);
        EXPECT_EQ(m.w, 0);
        EXPECT_EQ(m.l, 24);
    }
    EXPECT_EQ(ids, (std::vector<window::MessageId>{PN_CTS, PN_BREAK, PN_RING, PN_CTS}));
}

TEST_F(LinkTest, ASendWritesExactlyItsBytes) {
    PseudoTerminal& peer = m_ports.AddPort(2);
    ASSERT_EQ(OpenAndWatch(2), 1);
    const std::uint8_t key = 0x05;
    ASSERT_EQ(m_link.SendBytes(&key, 1), 1);
    EXPECT_EQ(peer.ReadExactly(1, kDeadline), std::vector<std::uint8_t>{0x05});
    ASSERT_EQ(m_link.SendText("HELLO"), 1);
    // No terminating zero follows the text: the next send's byte comes right after it.
    EXPECT_EQ(peer.ReadExactly(5, kDeadline), Bytes("HELLO"));
    const std::uint8_t mark = 0xC4;
    ASSERT_EQ(m_link.SendBytes(&mark, 1), 1);
    EXPECT_EQ(peer.ReadExactly(1, kDeadline), std::vector<std::uint8_t>{0xC4});
}

TEST_F(LinkTest, SendRequestsOutsideTheBufferAreRefused) {
    m_ports.AddPort(3);
    const std::uint8_t byte = 1;
    EXPECT_EQ(m_link.SendBytes(&byte, 1), 0);  // before any Open there is no buffer
    ASSERT_EQ(m_link.Open(&m_owner, 3, 9600, 'N', 8, 1, kMask, 4), 1);
    const std::uint8_t four[4] = {1, 2, 3, 4};
    EXPECT_EQ(m_link.SendBytes(four, 0), 0);
    EXPECT_EQ(m_link.SendBytes(four, -1), 0);
    EXPECT_EQ(m_link.SendBytes(four, 5), 0);
    EXPECT_EQ(m_link.SendBytes(nullptr, 1), 0);
    EXPECT_EQ(m_link.SendBytes(four, 4), 1);
    EXPECT_EQ(m_link.SendText("abcd"), 0);  // with its zero it needs 5
    EXPECT_EQ(m_link.SendText("abc"), 1);
    EXPECT_EQ(m_link.WriteBufferCapacity(), 4u);
    EXPECT_EQ(m_link.EventMask(), kMask);
}

TEST_F(LinkTest, ASendDiscardsInputThatWasNotRead) {
    PseudoTerminal& peer = m_ports.AddPort(4);
    // Without input events nothing is read, so the input stays queued until the send.
    ASSERT_EQ(OpenAndWatch(4, 0), 1);
    SyncWithThread(peer);
    ASSERT_TRUE(peer.Write(Bytes("stale")));
    ASSERT_TRUE(peer.WaitQueuedAtDevice(kDeadline));
    const std::uint8_t key = 'T';
    ASSERT_EQ(m_link.SendBytes(&key, 1), 1);
    EXPECT_EQ(peer.ReadExactly(1, kDeadline), Bytes("T"));
    EXPECT_EQ(peer.QueuedAtDevice(), 0u);
}

TEST_F(LinkTest, OfTwoQuickSendsOnlyTheSecondGoesOut) {
    PseudoTerminal& peer = m_ports.AddPort(5);
    ASSERT_EQ(OpenAndWatch(5), 1);
    SyncWithThread(peer);
    ASSERT_EQ(m_link.PauseWatch(), 1);
    ASSERT_EQ(m_link.SendText("first"), 1);
    ASSERT_EQ(m_link.SendText("2nd"), 1);
    ASSERT_EQ(m_link.ResumeWatch(), 1);
    EXPECT_EQ(peer.ReadExactly(3, kDeadline), Bytes("2nd"));
    // Sent once: the next thing on the line is the next request.
    ASSERT_EQ(m_link.SendText("!"), 1);
    EXPECT_EQ(peer.ReadExactly(1, kDeadline), Bytes("!"));
}

TEST_F(LinkTest, PausesCountAndAPausedThreadSendsAndDeliversNothing) {
    PseudoTerminal& peer = m_ports.AddPort(6);
    ASSERT_EQ(OpenAndWatch(6), 1);
    SyncWithThread(peer);
    // A resume of a running thread is not kept for later.
    m_link.ResumeWatch();
    m_link.PauseWatch();
    m_link.PauseWatch();
    m_link.ResumeWatch();
    const std::uint8_t key = 'K';
    ASSERT_EQ(m_link.SendBytes(&key, 1), 1);
    EXPECT_TRUE(peer.Read(200ms).empty());
    m_link.ResumeWatch();
    EXPECT_EQ(peer.ReadExactly(1, kDeadline), Bytes("K"));

    m_link.PauseWatch();
    ASSERT_TRUE(peer.Write(Bytes("ab")));
    ASSERT_TRUE(peer.WaitQueuedAtDevice(kDeadline));
    EXPECT_FALSE(window::WaitForMessage(m_owner, 200ms));
    m_link.ResumeWatch();
    ASSERT_TRUE(PumpUntil(m_owner, [&] { return m_owner.Count(PN_BYTE) == 2; }));
    EXPECT_EQ(m_owner.Bytes(), Bytes("ab"));
}

// The thread is inside a notification (the owner has not handled it yet) when a send and a stop
// come; the stop wins and the queued data is never sent, and Close does not deadlock.
TEST_F(LinkTest, AStopAndASendTogetherSendNothing) {
    PseudoTerminal& peer = m_ports.AddPort(8);
    ASSERT_EQ(OpenAndWatch(8), 1);
    SyncWithThread(peer);
    ASSERT_TRUE(peer.Write(Bytes("a")));
    ASSERT_TRUE(window::WaitForMessage(m_owner, kDeadline));
    const std::uint8_t key = 'Z';
    ASSERT_EQ(m_link.SendBytes(&key, 1), 1);
    m_link.Close();
    EXPECT_FALSE(m_link.IsWatching());
    EXPECT_EQ(m_owner.Bytes(), Bytes("a"));
    // Close waited for the thread, and a write is complete when its bytes have left: anything
    // sent would be here now.
    EXPECT_TRUE(peer.Read(0ms).empty());
}

TEST_F(LinkTest, CloseDuringAStreamEndsPromptlyWithTheBytesHandledSoFar) {
    PseudoTerminal& peer = m_ports.AddPort(9);
    ASSERT_EQ(OpenAndWatch(9), 1);
    SyncWithThread(peer);
    std::vector<std::uint8_t> sent(2000, 'x');
    ASSERT_TRUE(peer.Write(sent));
    ASSERT_TRUE(window::WaitForMessage(m_owner, kDeadline));
    m_link.Close();
    EXPECT_FALSE(m_link.IsPortHeld());
    EXPECT_GE(m_owner.Count(PN_BYTE), 1u);
    EXPECT_LE(m_owner.Count(PN_BYTE), sent.size());
    EXPECT_EQ(window::PendingMessages(m_owner), 0u);
}

TEST_F(LinkTest, CloseWithoutAThreadMakesOnePassAndFreesThePort) {
    m_ports.AddPort(10);
    ASSERT_EQ(OpenPort(10), 1);
    // Two messages from elsewhere wait for the owner; one pass handles at most one.
    std::thread a([&] { window::SendMessage(m_owner, window::kUserMessage + 20, 1, 0); });
    std::thread b([&] { window::SendMessage(m_owner, window::kUserMessage + 20, 2, 0); });
    ASSERT_TRUE(window::WaitForMessage(m_owner, kDeadline, 2));
    m_link.Close();
    EXPECT_EQ(m_owner.messages.size(), 1u);
    EXPECT_FALSE(m_link.IsPortHeld());
    window::PumpOwner(m_owner);
    a.join();
    b.join();
    CSerialLink other;
    other.SetFailureReporter(m_boxes.Reporter());
    m_ports.Serve(other);
    EXPECT_EQ(other.Open(nullptr, 10, 9600, 'N', 8, 1, kMask, kBuffer), 1);
}

TEST_F(LinkTest, OpenWhileWatchingStopsTheThreadFirst) {
    PseudoTerminal& first = m_ports.AddPort(11);
    PseudoTerminal& second = m_ports.AddPort(12);
    ASSERT_EQ(OpenAndWatch(11), 1);
    SyncWithThread(first);
    ASSERT_TRUE(first.Write(Bytes("a")));
    // The thread waits inside a notification while Open comes.
    ASSERT_TRUE(window::WaitForMessage(m_owner, kDeadline));
    ASSERT_EQ(OpenPort(12), 1);
    EXPECT_FALSE(m_link.IsWatching());
    EXPECT_EQ(m_owner.Bytes(), Bytes("a"));
    EXPECT_EQ(m_link.DevicePath().substr(m_link.DevicePath().size() - 6), "/COM12");
    // Nothing is read until a new StartWatch.
    ASSERT_TRUE(second.Write(Bytes("b")));
    ASSERT_TRUE(second.WaitQueuedAtDevice(kDeadline));
    EXPECT_EQ(window::PumpOwner(m_owner), 0);
    ASSERT_EQ(m_link.StartWatch(), 1);
    // The new thread starts with a purge, so the peer sends again after it ran.
    SyncWithThread(second);
    ASSERT_TRUE(second.Write(Bytes("c")));
    ASSERT_TRUE(PumpUntil(m_owner, [&] { return m_owner.Count(PN_BYTE) == 2; }));
    EXPECT_EQ(m_owner.Bytes(), Bytes("ac"));
}

TEST_F(LinkTest, AStopRightAfterTheStartStillWaitsForTheThread) {
    m_ports.AddPort(13);
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(OpenPort(13), 1);
        ASSERT_EQ(m_link.StartWatch(), 1);
        m_link.Close();
        EXPECT_FALSE(m_link.IsWatching());
        EXPECT_FALSE(m_link.IsPortHeld());
    }
}

TEST_F(LinkTest, ASecondEngineCannotOpenAHeldPort) {
    m_ports.AddPort(14);
    ASSERT_EQ(OpenPort(14), 1);
    CSerialLink second;
    second.SetFailureReporter(m_boxes.Reporter());
    m_ports.Serve(second);
    EXPECT_EQ(second.Open(nullptr, 14, 9600, 'N', 8, 1, kMask, kBuffer), 0);
    EXPECT_FALSE(second.IsPortHeld());
    EXPECT_EQ(second.OpenError().kind, serial_port::ErrorKind::kBusy);
    // Refused silently: the caller decides what to show.
    EXPECT_TRUE(m_boxes.Boxes().empty());
    m_link.Close();
    EXPECT_EQ(second.Open(nullptr, 14, 9600, 'N', 8, 1, kMask, kBuffer), 1);
}

TEST_F(LinkTest, PortNumbersResolveThroughTheirNamesShortAndLong) {
    m_ports.AddPort(9);
    m_ports.AddPort(10);
    m_ports.AddPort(32);
    for (unsigned n : {9u, 10u, 32u}) {
        EXPECT_EQ(OpenPort(n), 1) << n;
        m_link.Close();
    }
    // Entries for numbers outside 1..32 stand for nothing.
    m_ports.Map(0, m_ports.AddPort(20).DevicePath());
    m_ports.Map(33, m_ports.AddPort(21).DevicePath());
    for (unsigned n : {0u, 33u, 4u}) {
        EXPECT_EQ(OpenPort(n), 0) << n;
        EXPECT_EQ(m_link.OpenError().kind, serial_port::ErrorKind::kNotFound) << n;
        EXPECT_FALSE(m_link.IsPortHeld());
    }
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

struct ConfigFailure {
    const char* name;
    std::uint32_t mask;
    int baud;
    char parity;
    int dataBits;
    int stopBits;
    const char* operation;
    const char* systemText;
};

TEST_F(LinkTest, AFailedConfigurationStepShowsOneBoxAndOpenStillSucceeds) {
    const ConfigFailure cases[] = {
        {"unknown event bits", 0x80000003u, 9600, 'N', 8, 1, "SetCommMask()", "Invalid argument"},
        {"unknown parity", kMask, 9600, 'X', 8, 1, "BuildCommDCB()", "Invalid argument"},
        {"no parity letter", kMask, 9600, '\0', 8, 1, "BuildCommDCB()", "Invalid argument"},
        {"zero baud", kMask, 0, 'N', 8, 1, "BuildCommDCB()", "Invalid argument"},
        // Any positive rate passes the text; the device refuses one it cannot run at.
        {"rate the line refuses", kMask, 12345, 'N', 8, 1, "SetCommState()", "Invalid argument"},
        {"nine data bits", kMask, 9600, 'N', 9, 1, "BuildCommDCB()", "Invalid argument"},
        {"three stop bits", kMask, 9600, 'N', 8, 3, "BuildCommDCB()", "Invalid argument"},
        {"settings too long", kMask, INT_MIN, 'N', INT_MIN, INT_MIN, "BuildCommDCB()",
         "Invalid argument"},
        // A pseudo-terminal keeps 8 data bits without parity whatever it is told.
        {"parity the line refuses", kMask, 9600, 'E', 8, 1, "SetCommState()", "Invalid argument"},
    };
    PseudoTerminal& peer = m_ports.AddPort(15);
    for (const ConfigFailure& c : cases) {
        BoxRecorder boxes;
        m_link.SetFailureReporter(boxes.Reporter());
        EXPECT_EQ(OpenPort(15, c.mask, c.baud, c.parity, c.dataBits, c.stopBits), 1) << c.name;
        EXPECT_TRUE(m_link.IsPortHeld()) << c.name;
        const auto shown = boxes.Boxes();
        ASSERT_EQ(shown.size(), 1u) << c.name;
        EXPECT_EQ(shown[0].caption, "Application Error");
        EXPECT_EQ(shown[0].text, std::string("WARNING:  ") + c.operation +
                                     " Failed with the following error: \n" + c.systemText +
                                     "\nPort: 15\n")
            << c.name;
        m_link.Close();
    }
    // The port stays usable with what was applied.
    m_link.SetFailureReporter(m_boxes.Reporter());
    ASSERT_EQ(OpenPort(15, kMask, 9600, 'X'), 1);
    ASSERT_EQ(m_link.StartWatch(), 1);
    SyncWithThread(peer);
    ASSERT_TRUE(peer.Write(Bytes("ok")));
    ASSERT_TRUE(PumpUntil(m_owner, [&] { return m_owner.Count(PN_BYTE) == 2; }));
    EXPECT_EQ(m_owner.Bytes(), Bytes("ok"));
}

TEST_F(LinkTest, LineSettingsReflectWhatOpenAppliedAndAnswerDuringABox) {
    m_ports.AddPort(16);
    // The box of a failed step is shown while the engine holds its port lock.
    std::optional<serial_port::LineState> duringBox;
    m_link.SetFailureReporter([&](const std::string&, const std::string&) {
        duringBox = m_link.LineSettings();
        EXPECT_EQ(m_link.EventMask(), kMask);
        EXPECT_EQ(m_link.WriteBufferCapacity(), kBuffer);
    });
    ASSERT_EQ(OpenPort(16, kMask, 9600, 'X'), 1);
    ASSERT_TRUE(duringBox.has_value());
    EXPECT_EQ(duringBox->rtsControl, serial_port::RtsControl::kEnable);
    m_link.Close();

    m_link.SetFailureReporter(m_boxes.Reporter());
    ASSERT_EQ(OpenPort(16, kMask, 19200, 'N', 8, 2), 1);
    const serial_port::LineState s = m_link.LineSettings();
    EXPECT_EQ(s.baud, 19200u);
    EXPECT_EQ(s.parity, serial_port::Parity::kNone);
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.stopBits, serial_port::StopBits::kTwo);
    EXPECT_EQ(s.rtsControl, serial_port::RtsControl::kEnable);
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(LinkTest, ClosingGivesTheLineBackTheSettingsItHadBeforeOpen) {
    PseudoTerminal& peer = m_ports.AddPort(17);
    // Another program keeps the line open, without a lock, at 4800 baud, canonical, with echo.
    const posix::UniqueFd other(::open(peer.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(other);
    termios tio{};
    ASSERT_EQ(::tcgetattr(other.Get(), &tio), 0);
    ::cfsetispeed(&tio, B4800);
    ::cfsetospeed(&tio, B4800);
    tio.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(::tcsetattr(other.Get(), TCSANOW, &tio), 0);
    const auto lineOf = [&] {
        termios now{};
        EXPECT_EQ(::tcgetattr(other.Get(), &now), 0);
        return std::tuple(::cfgetospeed(&now), (now.c_lflag & ICANON) != 0,
                          (now.c_lflag & ECHO) != 0);
    };

    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(OpenAndWatch(17), 1);
        // While open the line is exactly as configured.
        EXPECT_EQ(lineOf(), std::tuple(speed_t{B9600}, false, false));
        m_link.Close();
        EXPECT_EQ(lineOf(), std::tuple(speed_t{B4800}, true, true)) << round;
    }
}

TEST_F(LinkTest, APeerThatHangsUpIsReportedOnceAndTheThreadThenSleeps) {
    PseudoTerminal& peer = m_ports.AddPort(17);
    ASSERT_EQ(OpenAndWatch(17), 1);
    SyncWithThread(peer);
    peer.HangUp();
    // The loss is told first, then the box.
    ASSERT_TRUE(PumpUntil(m_owner, [&] { return m_owner.Count(PN_DEVICE_LOST) == 1; }));
    EXPECT_EQ(m_owner.messages.back().l, 17);
    ASSERT_TRUE(PumpUntil(m_owner, [&] { return !m_boxes.Boxes().empty(); }));
    const auto shown = m_boxes.Boxes();
    ASSERT_EQ(shown.size(), 1u);
    // Named after whichever step noticed the loss first: the wait, or a status read or write
    // still under way when the peer hung up.
    const std::string tail = " Failed with the following error: \nInput/output error\nPort: 17\n";
    EXPECT_TRUE(shown[0].text == "WARNING:  WaitCommEvent()" + tail ||
                shown[0].text == "WARNING:  ReadFile()" + tail ||
                shown[0].text == "WARNING:  WriteFile()" + tail)
        << shown[0].text;

    // A thread that kept waiting on the dead port would wake without end.
    const auto wakeups = m_link.WatchWakeups();
    window::PumpThreadFor(100ms);
    EXPECT_EQ(m_link.WatchWakeups(), wakeups);

    // Sends after the loss go nowhere and raise nothing new.
    const std::uint8_t key = 'D';
    EXPECT_EQ(m_link.SendBytes(&key, 1), 1);
    m_link.Close();
    EXPECT_FALSE(m_link.IsPortHeld());
    EXPECT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(m_owner.Count(PN_DEVICE_LOST), 1u);
}

TEST_F(LinkTest, DestroyingAWatchingEngineDoesNotWaitForTheOwner) {
    PseudoTerminal& peer = m_ports.AddPort(18);
    auto link = std::make_unique<CSerialLink>();
    link->SetFailureReporter(m_boxes.Reporter());
    m_ports.Serve(*link);
    ASSERT_EQ(link->Open(&m_owner, 18, 9600, 'N', 8, 1, kMask, kBuffer), 1);
    ASSERT_EQ(link->StartWatch(), 1);
    const std::uint8_t mark = '#';
    ASSERT_EQ(link->SendBytes(&mark, 1), 1);
    ASSERT_EQ(peer.ReadExactly(1, kDeadline), Bytes("#"));
    ASSERT_TRUE(peer.Write(Bytes("a")));
    ASSERT_TRUE(window::WaitForMessage(m_owner, kDeadline));
    link.reset();
    // The notification was answered without the handler.
    EXPECT_EQ(window::PumpOwner(m_owner), 0);
    EXPECT_TRUE(m_owner.messages.empty());
}

TEST_F(LinkTest, AFailureBoxOnTheWatchThreadCanBeShownByTheOwnerThread) {
    PseudoTerminal& peer = m_ports.AddPort(19);
    std::thread::id shownOn;
    m_link.SetFailureReporter([&](const std::string&, const std::string&) {
        window::Invoke(m_owner, [&] { shownOn = std::this_thread::get_id(); });
    });
    ASSERT_EQ(OpenAndWatch(19), 1);
    SyncWithThread(peer);
    peer.HangUp();
    ASSERT_TRUE(PumpUntil(m_owner, [&] { return shownOn != std::thread::id(); }));
    EXPECT_EQ(shownOn, std::this_thread::get_id());
}

}  // namespace
