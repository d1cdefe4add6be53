#pragma once

// Turns the signals that ask a program to end (SIGINT from Ctrl+C, SIGTERM, SIGHUP) into a call
// on the UI thread, so that the program can end the way it does when its window is closed and
// leave nothing behind. Each signal is caught once: a second one ends the program at once, as
// if nothing were installed, so that a program stuck while ending can still be interrupted.
//
// Thread: UI thread, after the application object exists. At most one instance at a time.

#include <array>
#include <csignal>
#include <functional>
#include <memory>

#include "platform/posix/UniqueFd.h"

class QSocketNotifier;

namespace window {

class TerminationSignals {
  public:
    // `onSignal` runs on this thread's event loop with the signal's number.
    explicit TerminationSignals(std::function<void(int signal)> onSignal);
    // Restores the dispositions that were in place before.
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // False when the signals could not be caught (they then end the program as before).
    bool Installed() const { return m_installed; }

    static constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};

  private:
    void OnReadable();

    std::function<void(int)> m_onSignal;
    // Closed after the handler stopped writing (the destructor's body).
    posix::UniqueFd m_readFd;
    posix::UniqueFd m_writeFd;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::array<struct sigaction, kSignals.size()> m_previous{};
    bool m_installed = false;
};

// Ends the process as `signal` would have ended it without a handler, so that the shell that
// started it sees why it ended (a script run with Ctrl+C stops instead of going on).
[[noreturn]] void EndBySignal(int signal);

}  // namespace window
