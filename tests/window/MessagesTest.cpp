#include "platform/window/Messages.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "tests/support/Application.h"

namespace {

using namespace std::chrono_literals;
constexpr auto kDeadline = 10s;

using testing_support::App;

struct Received {
    window::MessageId id;
    window::WParam w;
    window::LParam l;
    std::thread::id thread;
};

class RecordingOwner : public window::MessageOwner {
  public:
    window::LResult HandleMessage(window::MessageId id, window::WParam w,
                                  window::LParam l) override {
        received.push_back({id, w, l, std::this_thread::get_id()});
        if (onMessage)
            onMessage(id);
        return static_cast<window::LResult>(w) * 2;
    }
    std::vector<Received> received;
    std::function<void(window::MessageId)> onMessage;
};

class MessagesTest : public ::testing::Test {
  protected:
    void SetUp() override { App(); }
};

TEST_F(MessagesTest, OnTheOwnerThreadASendIsADirectCall) {
    RecordingOwner owner;
    EXPECT_EQ(window::SendMessage(owner, 0x401, 21, -5), 42);
    ASSERT_EQ(owner.received.size(), 1u);
    EXPECT_EQ(owner.received[0].l, -5);
    EXPECT_EQ(window::PendingMessages(owner), 0u);
}

TEST_F(MessagesTest, SenderOnAnotherThreadWaitsForTheHandlerAndGetsItsResult) {
    RecordingOwner owner;
    std::atomic<bool> returned{false};
    window::LResult result = 0;
    std::thread sender([&] {
        result = window::SendMessage(owner, 0x407, 7, 3);
        returned = true;
    });
    ASSERT_TRUE(window::WaitForMessage(owner, kDeadline));
    // Queued but not handled: the sender must still be waiting.
    EXPECT_FALSE(returned.load());
    EXPECT_TRUE(owner.received.empty());
    EXPECT_EQ(window::PumpOwner(owner), 1);
    sender.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(result, 14);
    ASSERT_EQ(owner.received.size(), 1u);
    EXPECT_EQ(owner.received[0].thread, std::this_thread::get_id());
    EXPECT_EQ(owner.received[0].w, 7u);
}

TEST_F(MessagesTest, MessagesFromOneSenderArriveInOrder) {
    RecordingOwner owner;
    constexpr int kCount = 2000;
    std::thread sender([&] {
        for (int i = 0; i < kCount; ++i)
            window::SendMessage(owner, 0x407, static_cast<window::WParam>(i), 0);
    });
    window::WaitWhilePumping(owner, [&] { return owner.received.size() == kCount; });
    sender.join();
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(owner.received[i].w, static_cast<window::WParam>(i));
}

// The event loop's wake-up is signalled once per batch; a lost one leaves the sender waiting for
// ever, which the guard turns into a failure. A sender may promise the next message (a read's
// bytes) and keep, break or break-and-say its promise.
TEST_F(MessagesTest, TheEventLoopKeepsUpWithAFastSender) {
    using Send = std::function<void(RecordingOwner&, std::size_t)>;
    const std::vector<std::pair<const char*, Send>> senders = {
        {"plain", [](RecordingOwner& o, std::size_t i) { window::SendMessage(o, 0x407, i, 0); }},
        {"promising",
         [](RecordingOwner& o, std::size_t i) {
             // Every 12th message ends a read; every 600th promise is broken, half of them said.
             if (i % 12 == 11) {
                 window::SendMessage(o, 0x407, i, 0);
                 return;
             }
             window::SendMessageBeforeMore(o, 0x407, i, 0);
             if (i % 600 == 5)
                 window::Wake(o);
             if (i % 600 == 5 || i % 600 == 305)
                 std::this_thread::sleep_for(3ms);  // the promise lapses
         }},
    };
    for (const auto& [name, send] : senders) {
        SCOPED_TRACE(name);
        RecordingOwner owner;
        constexpr std::size_t kCount = 20000;
        QEventLoop loop;
        owner.onMessage = [&](window::MessageId) {
            if (owner.received.size() == kCount)
                loop.quit();
        };
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, &loop, [&] { loop.exit(1); });
        guard.start(std::chrono::duration_cast<std::chrono::milliseconds>(kDeadline));
        std::thread sender([&, send = send] {
            for (std::size_t i = 0; i < kCount; ++i)
                send(owner, i);
        });
        const int result = loop.exec();
        if (result != 0)
            window::WaitWhilePumping(owner, [&] { return owner.received.size() == kCount; });
        sender.join();
        EXPECT_EQ(result, 0);
        ASSERT_EQ(owner.received.size(), kCount);
        for (std::size_t i = 0; i < kCount; ++i)
            ASSERT_EQ(owner.received[i].w, i);
    }
}

// A promise never kept must not hold the event loop: its timers still run.
TEST_F(MessagesTest, ABrokenPromiseLeavesTheEventLoopFree) {
    RecordingOwner owner;
    std::atomic<bool> sent{false};
    std::thread sender([&] {
        window::SendMessageBeforeMore(owner, 0x407, 1, 0);
        sent = true;
    });
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (sent.load())
            loop.quit();
    });
    tick.start(1);
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, &loop, [&] { loop.exit(1); });
    guard.start(std::chrono::duration_cast<std::chrono::milliseconds>(kDeadline));
    EXPECT_EQ(loop.exec(), 0);
    sender.join();
    EXPECT_EQ(owner.received.size(), 1u);
}

TEST_F(MessagesTest, PumpOwnerHandlesAtMostItsLimit) {
    RecordingOwner owner;
    std::thread a([&] { window::SendMessage(owner, 1, 0, 0); });
    std::thread b([&] { window::SendMessage(owner, 2, 0, 0); });
    ASSERT_TRUE(window::WaitForMessage(owner, kDeadline, 2));
    EXPECT_EQ(window::PumpOwner(owner, 1), 1);
    EXPECT_EQ(window::PendingMessages(owner), 1u);
    EXPECT_EQ(window::PumpOwner(owner, 0), 0);
    EXPECT_EQ(window::PumpOwner(owner), 1);
    a.join();
    b.join();
    EXPECT_EQ(owner.received.size(), 2u);
}

TEST_F(MessagesTest, WaitWhilePumpingReturnsOnWakeWithoutAnyMessage) {
    RecordingOwner owner;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        done = true;
        window::Wake(owner);
    });
    window::WaitWhilePumping(owner, [&] { return done.load(); });
    worker.join();
    EXPECT_TRUE(owner.received.empty());
}

TEST_F(MessagesTest, WaitWhilePumpingGivesUpAfterItsTimeout) {
    RecordingOwner owner;
    EXPECT_FALSE(window::WaitWhilePumping(
        owner, [] { return false; }, 20ms));
}

TEST_F(MessagesTest, TheEventLoopDeliversAlsoInsideANestedModalLoop) {
    RecordingOwner owner;
    std::thread sender;
    // The outer loop stands for the application, the inner one for a modal dialog's exec().
    QEventLoop outer;
    QEventLoop modal;
    QTimer::singleShot(0, &outer, [&] {
        sender = std::thread([&] { window::SendMessage(owner, 0x407, 1, 0); });
        owner.onMessage = [&](window::MessageId) { modal.quit(); };
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, &modal, [&] { modal.exit(1); });
        guard.start(std::chrono::duration_cast<std::chrono::milliseconds>(kDeadline));
        EXPECT_EQ(modal.exec(), 0);
        outer.quit();
    });
    outer.exec();
    sender.join();
    ASSERT_EQ(owner.received.size(), 1u);
}

TEST_F(MessagesTest, AHandlerRunningAModalLoopStillGetsOtherSendersMessages) {
    RecordingOwner owner;
    std::thread first, second;
    QEventLoop outer;
    QEventLoop modal;
    int nestedResult = -1;
    owner.onMessage = [&](window::MessageId id) {
        if (id == 2) {
            modal.quit();
            return;
        }
        // Inside the first message's handler: a modal loop that ends with the second message.
        second = std::thread([&] { window::SendMessage(owner, 2, 0, 0); });
        QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(kDeadline), &modal,
                           [&] { modal.exit(1); });
        nestedResult = modal.exec();
        outer.quit();
    };
    QTimer::singleShot(0, &outer,
                       [&] { first = std::thread([&] { window::SendMessage(owner, 1, 0, 0); }); });
    outer.exec();
    first.join();
    second.join();
    EXPECT_EQ(nestedResult, 0);
    ASSERT_EQ(owner.received.size(), 2u);
}

TEST_F(MessagesTest, PumpThreadForRunsPostedMessages) {
    RecordingOwner owner;
    std::thread sender([&] { window::SendMessage(owner, 0x405, 0, 0); });
    ASSERT_TRUE(window::WaitForMessage(owner, kDeadline));
    window::PumpThreadFor(1ms);
    sender.join();
    EXPECT_EQ(owner.received.size(), 1u);
}

TEST_F(MessagesTest, InvokeRunsOnTheOwnerThread) {
    RecordingOwner owner;
    std::thread::id ranOn;
    bool ok = false;
    std::thread caller(
        [&] { ok = window::Invoke(owner, [&] { ranOn = std::this_thread::get_id(); }); });
    window::WaitWhilePumping(owner, [&] { return ranOn != std::thread::id(); });
    caller.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(MessagesTest, RefusingAnswersWithoutRunningHandlers) {
    RecordingOwner owner;
    std::atomic<bool> finished{false};
    window::LResult result = -1;
    bool invoked = true;
    bool ran = false;
    std::thread worker([&] {
        result = window::SendMessage(owner, 0x407, 9, 0);
        invoked = window::Invoke(owner, [&] { ran = true; });
        finished = true;
        window::Wake(owner);
    });
    window::WaitWhileRefusing(owner, [&] { return finished.load(); });
    worker.join();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(invoked);
    EXPECT_FALSE(ran);
    EXPECT_TRUE(owner.received.empty());
}

TEST_F(MessagesTest, DestroyingTheOwnerReleasesAWaitingSender) {
    auto owner = std::make_unique<RecordingOwner>();
    window::LResult result = -1;
    std::thread sender([&] { result = window::SendMessage(*owner, 0x407, 4, 0); });
    ASSERT_TRUE(window::WaitForMessage(*owner, kDeadline));
    owner.reset();
    sender.join();
    EXPECT_EQ(result, 0);
}

}  // namespace
