#include "platform/window/TerminationSignals.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <thread>
#include <vector>

#include "tests/support/Application.h"

namespace {

using testing_support::App;

using Handler = void (*)(int);

Handler Disposition(int signal) {
    struct sigaction current {};
    ::sigaction(signal, nullptr, &current);
    return current.sa_handler;
}

// Restores a signal's disposition when the test ends, whatever it changed.
class KeepDisposition {
  public:
    explicit KeepDisposition(int signal) : m_signal(signal) {
        ::sigaction(signal, nullptr, &m_saved);
    }
    ~KeepDisposition() { ::sigaction(m_signal, &m_saved, nullptr); }
    KeepDisposition(const KeepDisposition&) = delete;
    KeepDisposition& operator=(const KeepDisposition&) = delete;

  private:
    int m_signal;
    struct sigaction m_saved {};
};

TEST(TerminationSignals, ASignalOnAnyThreadReachesTheCallbackOnTheEventLoopAndIsCaughtOnce) {
    App();
    const KeepDisposition keepInt(SIGINT), keepTerm(SIGTERM), keepHup(SIGHUP);
    ::signal(SIGHUP, SIG_IGN);

    std::vector<int> seen;
    std::vector<std::thread::id> threads;
    QEventLoop loop;
    {
        window::TerminationSignals caught([&](int signal) {
            seen.push_back(signal);
            threads.push_back(std::this_thread::get_id());
            loop.quit();
        });
        ASSERT_TRUE(caught.Installed());
        for (int signal : window::TerminationSignals::kSignals)
            EXPECT_NE(Disposition(signal), SIG_DFL) << signal;

        // Raised on a thread of its own: the handler may run on any thread.
        std::thread raiser([] { ::raise(SIGTERM); });
        raiser.join();
        QTimer::singleShot(10000, &loop, [&] { loop.exit(1); });
        EXPECT_EQ(loop.exec(), 0) << "the signal never reached the callback";

        EXPECT_EQ(seen, std::vector<int>{SIGTERM});
        EXPECT_EQ(threads, std::vector<std::thread::id>{std::this_thread::get_id()});
        // A second SIGTERM would end the program; the other signals are still caught.
        EXPECT_EQ(Disposition(SIGTERM), SIG_DFL);
        EXPECT_NE(Disposition(SIGINT), SIG_DFL);
    }
    // Whatever was in place before comes back.
    EXPECT_EQ(Disposition(SIGHUP), SIG_IGN);
    EXPECT_EQ(Disposition(SIGINT), SIG_DFL);
}

TEST(TerminationSignalsDeathTest, EndBySignalEndsTheProcessAsTheSignalWould) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Neither a handler of its own nor a blocked signal keeps the process alive.
    EXPECT_EXIT(
        {
            ::signal(SIGTERM, [](int) {});
            sigset_t blocked;
            sigemptyset(&blocked);
            sigaddset(&blocked, SIGTERM);
            ::pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
            window::EndBySignal(SIGTERM);
        },
        ::testing::KilledBySignal(SIGTERM), "");
    EXPECT_EXIT(window::EndBySignal(SIGINT), ::testing::KilledBySignal(SIGINT), "");
}

}  // namespace
