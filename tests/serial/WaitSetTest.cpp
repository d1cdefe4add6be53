#include "platform/serial/WaitSet.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/serial/Event.h"
#include "platform/serial/LineCounters.h"
#include "platform/serial/PortTypes.h"

namespace {

using namespace std::chrono_literals;
using serial_port::Event;
using serial_port::WaitResult;

Event MakeEvent() {
    auto e = Event::Create();
    EXPECT_TRUE(e.has_value());
    return std::move(*e);
}

TEST(Event, StaysSignalledUntilReset) {
    Event e = MakeEvent();
    const serial_port::Waitable* set[] = {&e};
    EXPECT_FALSE(e.IsSet());
    EXPECT_EQ(serial_port::WaitForAny(set, 0ms).status, WaitResult::Status::kTimedOut);
    e.Set();
    e.Set();
    EXPECT_TRUE(e.IsSet());
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(serial_port::WaitForAny(set, 0ms).status, WaitResult::Status::kSignalled);
    e.Reset();
    EXPECT_FALSE(e.IsSet());
    EXPECT_EQ(serial_port::WaitForAny(set, 0ms).status, WaitResult::Status::kTimedOut);
}

TEST(WaitForAny, TheLowestSignalledPositionWinsAndGapsAreSkipped) {
    Event a = MakeEvent(), b = MakeEvent(), c = MakeEvent();
    const serial_port::Waitable* set[] = {&a, nullptr, &b, &c};
    c.Set();
    EXPECT_EQ(serial_port::WaitForAny(set, 0ms).index, 3u);
    b.Set();
    EXPECT_EQ(serial_port::WaitForAny(set, 0ms).index, 2u);
    a.Set();
    EXPECT_EQ(serial_port::WaitForAny(set, 0ms).index, 0u);
}

TEST(WaitForAny, WakesWhenAnotherThreadSignals) {
    Event a = MakeEvent(), b = MakeEvent();
    const serial_port::Waitable* set[] = {&a, &b};
    std::thread t([&] { b.Set(); });
    const auto r = serial_port::WaitForAny(set);
    t.join();
    EXPECT_EQ(r.status, WaitResult::Status::kSignalled);
    EXPECT_EQ(r.index, 1u);
    EXPECT_FALSE(r.hungUp);
}

TEST(LineCounters, ChangedCountersBecomeEventsOfTheMask) {
    using namespace serial_port;
    const LineCounters zero;
    struct Case {
        LineCounters after;
        std::uint32_t mask;
        std::uint32_t events;
    };
    auto with = [](auto member, std::uint64_t v) {
        LineCounters c;
        c.*member = v;
        return c;
    };
    const Case cases[] = {
        {zero, kKnownEvents, 0},
        {with(&LineCounters::cts, 1), kKnownEvents, kEventCts},
        {with(&LineCounters::cts, 1), kEventRxChar, 0},
        {with(&LineCounters::dsr, 2), kKnownEvents, kEventDsr},
        {with(&LineCounters::carrier, 1), kKnownEvents, kEventRlsd},
        {with(&LineCounters::ring, 1), kEventRing, kEventRing},
        {with(&LineCounters::breaks, 1), kKnownEvents, kEventBreak},
        {with(&LineCounters::frameErrors, 1), kKnownEvents, kEventError},
        {with(&LineCounters::overruns, 3), kEventError, kEventError},
        {with(&LineCounters::parityErrors, 1), kEventError, kEventError},
        {with(&LineCounters::bufferOverruns, 1), kEventBreak, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EventsBetween(zero, c.after, c.mask), c.events);
}

}  // namespace
