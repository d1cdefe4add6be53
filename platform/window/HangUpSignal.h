#pragma once

// Turns each SIGHUP into a call on the UI thread, for a program that reopens its files when
// asked (as logrotate asks after renaming a log). Unlike TerminationSignals every SIGHUP is
// caught, for as long as the instance lives; it takes SIGHUP over from whatever handled it and
// gives it back when destroyed.
//
// Thread: UI thread, after the application object exists. At most one instance at a time.

#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace window {

class HangUpSignal {
  public:
    explicit HangUpSignal(std::function<void()> onHangUp);
    ~HangUpSignal();
    HangUpSignal(const HangUpSignal&) = delete;
    HangUpSignal& operator=(const HangUpSignal&) = delete;

    bool Installed() const { return m_installed; }

  private:
    void OnReadable();

    std::function<void()> m_onHangUp;
    int m_readFd = -1;
    int m_writeFd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_previous {};
    bool m_installed = false;
};

}  // namespace window
