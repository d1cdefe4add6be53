// The back-ends on the key sequences they send: the portal's calls, the virtual keyboard's keys
// and its error without access, the keysyms, and the typing thread's rules (one sequence after
// the other, never while a key is held, nothing of a dropped queue).

#include <linux/input-event-codes.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusObjectPath>

#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "platform/posix/SystemError.h"
#include "tests/support/ChildProcess.h"
#include "tools/peers/TestFiles.h"
#include "wedge/Keysyms.h"
#include "wedge/PortalSink.h"
#include "wedge/TypingSink.h"
#include "wedge/Typist.h"
#include "wedge/UinputSink.h"
#include "wedge/Wedge.h"

namespace wedge {
namespace {

constexpr auto kPatience = std::chrono::seconds(20);

Strokes Chars(std::u32string_view text) {
    Strokes strokes;
    for (const char32_t c : text)
        strokes.push_back({Stroke::Kind::kChar, c});
    return strokes;
}

TEST(Keysyms, Latin1IsItselfTheRestIsUnicodeTabAndEnterAreKeys) {
    const struct {
        Stroke stroke;
        std::uint32_t keysym;
    } cases[] = {
        {{Stroke::Kind::kChar, U'1'}, 0x31},           {{Stroke::Kind::kChar, U','}, 0x2C},
        {{Stroke::Kind::kChar, U'~'}, 0x7E},           {{Stroke::Kind::kChar, U'\u00B5'}, 0xB5},
        {{Stroke::Kind::kChar, U'\u20AC'}, 0x10020AC}, {{Stroke::Kind::kTab, 0}, 0xFF09},
        {{Stroke::Kind::kEnter, 0}, 0xFF0D},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KeysymOf(c.stroke), c.keysym) << static_cast<std::uint32_t>(c.stroke.ch);
}

TEST(Uinput, FiguresAndTheSignsComeFromTheKeypad) {
    Strokes strokes = Chars(U"-12.30, +9");
    strokes.push_back({Stroke::Kind::kTab, 0});
    strokes.push_back({Stroke::Kind::kEnter, 0});
    std::string error;
    const auto keys = UinputKeys(strokes, &error);
    ASSERT_TRUE(keys) << error;
    EXPECT_EQ(*keys, (std::vector<unsigned>{KEY_KPMINUS, KEY_KP1, KEY_KP2, KEY_KPDOT, KEY_KP3,
                                            KEY_KP0, KEY_KPCOMMA, KEY_SPACE, KEY_KPPLUS, KEY_KP9,
                                            KEY_TAB, KEY_ENTER}));
    for (const std::u32string_view refused : {U"12 kg", U"1\u20AC"}) {
        error.clear();
        EXPECT_FALSE(UinputKeys(Chars(refused), &error));
        EXPECT_NE(error.find("figures"), std::string::npos) << error;
    }
}

TEST(Uinput, WithoutWriteAccessTheErrorNamesTheGroup) {
    testing_support::TempDir dir;
    const std::string device = dir / "uinput";
    testing_support::WriteFile(device, "");
    ::chmod(device.c_str(), 0600);
    ::chmod(dir.Path().c_str(), 0755);
    const testing_support::ChildOutcome child = testing_support::RunAsNobody([&](std::string& r) {
        std::string error;
        if (UinputSink::Open(device, &error))
            return 1;
        r = error;
        return 0;
    });
    ASSERT_EQ(child.exitStatus, 0) << child.report;
    EXPECT_EQ(child.report, UinputOpenError(device, EACCES));
    EXPECT_NE(child.report.find("no write access to " + device), std::string::npos);
    EXPECT_NE(child.report.find("group 'karvel-typing'"), std::string::npos) << child.report;
    std::string error;
    EXPECT_FALSE(UinputSink::Open(dir / "missing", &error));
    EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
}

TEST(Uinput, TheVirtualKeyboardComesAndTypesWhereTheDeviceIsWritable) {
    if (::access(kUinputPath, W_OK) != 0)
        GTEST_SKIP() << kUinputPath << " is not writable here (" << posix::ErrnoText(errno)
                     << "): the virtual keyboard was not tried";
    std::string error;
    auto sink = UinputSink::Open(kUinputPath, &error);
    ASSERT_TRUE(sink) << error;
    std::ifstream devices("/proc/bus/input/devices");
    const std::string listed((std::istreambuf_iterator<char>(devices)), {});
    EXPECT_NE(listed.find("Karvel typing keyboard"), std::string::npos);
    for (const Stroke& stroke : Chars(U"12.345"))
        EXPECT_TRUE(sink->Type(stroke, &error)) << error;
}

// A portal that answers every request, and keeps every call.
class RecordingBus final : public PortalBus {
  public:
    struct Made {
        QString method;
        QVariantList args;
        QVariantMap options;
    };
    std::vector<Made>* made;
    unsigned devices = kPortalKeyboard;
    QString refuse;  // the method whose request is declined

    explicit RecordingBus(std::vector<Made>* log) : made(log) {}
    std::optional<QVariantMap> Request(const QString& method, QVariantList args,
                                       QVariantMap options, std::string* error) override {
        made->push_back({method, args, options});
        if (method == refuse) {
            *error = "declined";
            return std::nullopt;
        }
        if (method == QLatin1String("CreateSession"))
            return QVariantMap{{"session_handle", "/org/freedesktop/portal/desktop/session/1_2/k"}};
        if (method == QLatin1String("Start"))
            return QVariantMap{{"devices", devices}};
        return QVariantMap{};
    }
    bool Call(const QString& method, const QVariantList& args, std::string*) override {
        made->push_back({method, args, {}});
        return true;
    }
};

TEST(Portal, AKeyboardSessionThenOneKeysymPressAndReleasePerStroke) {
    std::vector<RecordingBus::Made> made;
    std::string error;
    auto sink = PortalSink::Open(std::make_unique<RecordingBus>(&made), &error);
    ASSERT_TRUE(sink) << error;
    ASSERT_EQ(made.size(), 3u);
    EXPECT_EQ(made[0].method, "CreateSession");
    EXPECT_TRUE(made[0].options.contains("session_handle_token"));
    const QString session = "/org/freedesktop/portal/desktop/session/1_2/k";
    EXPECT_EQ(made[1].method, "SelectDevices");
    EXPECT_EQ(made[1].args.value(0).value<QDBusObjectPath>().path(), session);
    EXPECT_EQ(made[1].options.value("types").toUInt(), kPortalKeyboard);
    EXPECT_EQ(made[1].options.value("types").metaType(), QMetaType::fromType<unsigned>());
    EXPECT_EQ(made[2].method, "Start");
    EXPECT_EQ(made[2].args.value(1).toString(), "");  // no parent window

    made.clear();
    ASSERT_TRUE(sink->Type({Stroke::Kind::kChar, U'1'}, &error));
    ASSERT_TRUE(sink->Type({Stroke::Kind::kEnter, 0}, &error));
    const std::vector<std::pair<int, unsigned>> expected = {
        {0x31, 1}, {0x31, 0}, {0xFF0D, 1}, {0xFF0D, 0}};
    ASSERT_EQ(made.size(), expected.size());
    for (std::size_t i = 0; i < made.size(); ++i) {
        EXPECT_EQ(made[i].method, "NotifyKeyboardKeysym");
        const QVariantList& args = made[i].args;
        ASSERT_EQ(args.size(), 4);
        EXPECT_EQ(args[0].value<QDBusObjectPath>().path(), session);
        EXPECT_EQ(args[2].metaType(), QMetaType::fromType<int>());
        EXPECT_EQ(args[3].metaType(), QMetaType::fromType<unsigned>());
        EXPECT_EQ(std::make_pair(args[2].toInt(), args[3].toUInt()), expected[i]) << i;
    }
}

TEST(Portal, ADeclinedRequestOrNoKeyboardOpensNothing) {
    for (const char* refuse : {"CreateSession", "SelectDevices", "Start", ""}) {
        std::vector<RecordingBus::Made> made;
        auto bus = std::make_unique<RecordingBus>(&made);
        bus->refuse = refuse;
        bus->devices = 2;  // a pointer only, for the last case
        std::string error;
        EXPECT_FALSE(PortalSink::Open(std::move(bus), &error)) << refuse;
        EXPECT_FALSE(error.empty()) << refuse;
    }
}

// A back-end that records what it types; it can hold a key down and stop at a gate.
class FakeSink final : public KeySink {
  public:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::string typed;
        bool held = false;
        int heldChecks = 0;
        bool gateClosed = false;
        bool atGate = false;
        std::size_t focusMovesAfter = 0;  // strokes typed before the focus moves; 0: never
    };
    explicit FakeSink(Shared& shared) : m_shared(shared) {}
    std::string CannotType(const Strokes& strokes) const override {
        return strokes.empty() ? "nothing to type" : "";
    }
    bool Type(const Stroke& stroke, std::string*) override {
        std::unique_lock lock(m_shared.mutex);
        m_shared.atGate = true;
        m_shared.changed.notify_all();
        m_shared.changed.wait(lock, [this] { return !m_shared.gateClosed; });
        m_shared.typed += AsText({stroke});
        ++m_strokes;
        return true;
    }
    std::optional<unsigned long> Focus() override {
        const std::lock_guard lock(m_shared.mutex);
        return m_shared.focusMovesAfter != 0 && m_strokes >= m_shared.focusMovesAfter ? 2 : 1;
    }
    bool UserHoldsKey() override {
        const std::lock_guard lock(m_shared.mutex);
        ++m_shared.heldChecks;
        m_shared.changed.notify_all();
        return m_shared.held;
    }

  private:
    Shared& m_shared;
    std::size_t m_strokes = 0;
};

template <typename Done>
bool WaitFor(FakeSink::Shared& shared, Done done) {
    std::unique_lock lock(shared.mutex);
    return shared.changed.wait_for(lock, kPatience, done);
}

TEST(Typist, NothingIsTypedWhileAKeyIsHeldAndAllOfItAfter) {
    FakeSink::Shared shared;
    shared.held = true;
    std::vector<std::string> said;
    std::mutex sayMutex;
    Typist typist(std::make_unique<FakeSink>(shared), [&](const std::string& text) {
        const std::lock_guard lock(sayMutex);
        said.push_back(text);
    });
    ASSERT_TRUE(typist.Submit(Chars(U"12.345")));
    ASSERT_TRUE(WaitFor(shared, [&] { return shared.heldChecks >= 3; }));
    {
        const std::lock_guard lock(shared.mutex);
        EXPECT_EQ(shared.typed, "");
        shared.held = false;
    }
    ASSERT_TRUE(typist.WaitIdle(kPatience));
    EXPECT_EQ(shared.typed, "12.345");
    EXPECT_EQ(typist.Typed(), 1u);
    const std::lock_guard lock(sayMutex);
    EXPECT_EQ(said, std::vector<std::string>{"waiting to type: a key is held down"});
}

TEST(Typist, SequencesFollowEachOtherWholeAndADroppedQueueIsNotTyped) {
    FakeSink::Shared shared;
    shared.gateClosed = true;
    Typist typist(std::make_unique<FakeSink>(shared), [](const std::string&) {});
    ASSERT_TRUE(typist.Submit(Chars(U"1")));
    ASSERT_TRUE(WaitFor(shared, [&] { return shared.atGate; }));
    // While the first is being typed: two more wait, then the port they came from is lost.
    ASSERT_TRUE(typist.Submit(Chars(U"2")));
    ASSERT_TRUE(typist.Submit(Chars(U"3")));
    typist.DropPending();
    ASSERT_TRUE(typist.Submit(Chars(U"45")));
    {
        const std::lock_guard lock(shared.mutex);
        shared.gateClosed = false;
    }
    shared.changed.notify_all();
    ASSERT_TRUE(typist.WaitIdle(kPatience));
    EXPECT_EQ(shared.typed, "145");
    EXPECT_EQ(typist.Typed(), 2u);
}

// Keys for the window that had the focus never go on into another; the next value goes whole
// where the focus is now.
TEST(Typist, AValueIsNotTypedOnWhenTheFocusMoves) {
    FakeSink::Shared shared;
    shared.focusMovesAfter = 2;
    std::vector<std::string> said;
    Typist typist(std::make_unique<FakeSink>(shared),
                  [&](const std::string& text) { said.push_back(text); });
    ASSERT_TRUE(typist.Submit(Chars(U"12.345")));
    ASSERT_TRUE(typist.WaitIdle(kPatience));
    ASSERT_TRUE(typist.Submit(Chars(U"7.5")));
    ASSERT_TRUE(typist.WaitIdle(kPatience));
    EXPECT_EQ(shared.typed, "127.5");
    EXPECT_EQ(typist.Typed(), 1u);
    EXPECT_EQ(said, std::vector<std::string>{"not typed: the focus moved"});
}

TEST(Typist, AFullQueueTakesNoMore) {
    FakeSink::Shared shared;
    shared.gateClosed = true;
    Typist typist(std::make_unique<FakeSink>(shared), [](const std::string&) {});
    ASSERT_TRUE(typist.Submit(Chars(U"1")));
    ASSERT_TRUE(WaitFor(shared, [&] { return shared.atGate; }));
    for (std::size_t i = 0; i < Typist::kMaxWaiting; ++i)
        ASSERT_TRUE(typist.Submit(Chars(U"2")));
    EXPECT_FALSE(typist.Submit(Chars(U"3")));
    {
        const std::lock_guard lock(shared.mutex);
        shared.gateClosed = false;
    }
    shared.changed.notify_all();
    ASSERT_TRUE(typist.WaitIdle(kPatience));
    EXPECT_EQ(shared.typed, "1" + std::string(Typist::kMaxWaiting, '2'));
}

TEST(Wedge, AReadingWithoutANumberIsSkippedAndSaidOnce) {
    FakeSink::Shared shared;
    std::vector<std::string> said;
    std::mutex sayMutex;
    TypeOptions options;
    Wedge wedge(options, std::make_unique<FakeSink>(shared), [&](const std::string& text) {
        const std::lock_guard lock(sayMutex);
        said.push_back(text);
    });
    record::CapturedReading none;
    none.reading.text = "----";
    EXPECT_EQ(wedge.Offer(none), Wedge::Outcome::kNoNumber);
    EXPECT_EQ(wedge.Offer(none), Wedge::Outcome::kNoNumber);
    record::CapturedReading weight;
    weight.reading.text = "2.5";
    weight.reading.number = scale::Number{"2.5", 2.5};
    EXPECT_EQ(wedge.Offer(weight), Wedge::Outcome::kQueued);
    ASSERT_TRUE(wedge.WaitIdle(kPatience));
    EXPECT_EQ(shared.typed, "2.5\n");
    const std::lock_guard lock(sayMutex);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("readings without a number"), std::string::npos) << said[0];
}

// The typing sink as both programs use it: nothing is typed without a back-end, while the gate
// holds readings back (a window of the panel has the focus) or from a port just lost.
TEST(TypingSink, TypesOnlyWhatTheBackEndTheGateAndThePortLetThrough) {
    FakeSink::Shared shared;
    bool open = true;
    TypingSink sink(
        nullptr, [](const std::string&) {}, kPatience, [&open] { return open; });
    const struct {
        bool backEnd;
        bool gate;
        bool lost;
        const char* text;
    } steps[] = {
        {false, true, false, "1"},
        {true, false, false, "2"},
        {true, true, true, "3"},
        {true, true, false, "4"},
    };
    for (const auto& step : steps) {
        if (step.backEnd != sink.Typing())
            sink.SetWedge(step.backEnd ? std::make_unique<Wedge>(TypeOptions{},
                                                                 std::make_unique<FakeSink>(shared),
                                                                 [](const std::string&) {})
                                       : nullptr);
        open = step.gate;
        sink.PortLost(step.lost);
        record::CapturedReading reading;
        reading.reading.text = step.text;
        reading.reading.number = scale::Number{step.text, static_cast<double>(step.text[0] - '0')};
        EXPECT_TRUE(sink.Take(record::Captured(reading, "")));
    }
    EXPECT_EQ(sink.Finish(0), 0);
    EXPECT_EQ(shared.typed, "4\n");
}

}  // namespace
}  // namespace wedge
