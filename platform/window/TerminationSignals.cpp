#include "platform/window/TerminationSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstdlib>

namespace window {

namespace {

// Written by the handler, which may run on any thread and may only make async-signal-safe calls.
volatile std::sig_atomic_t g_writeFd = -1;

extern "C" void OnTerminationSignal(int signal) {
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds a signal that the UI thread will see.
    [[maybe_unused]] const ssize_t written = ::write(g_writeFd, &number, 1);
    errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal)
    : m_onSignal(std::move(onSignal)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readFd = posix::UniqueFd(fds[0]);
    m_writeFd = posix::UniqueFd(fds[1]);
    g_writeFd = m_writeFd.Get();
    m_notifier = std::make_unique<QSocketNotifier>(m_readFd.Get(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { OnReadable(); });

    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    // SA_RESETHAND: the next one of the same signal takes its default course.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &m_previous[i]);
    m_installed = true;
}

TerminationSignals::~TerminationSignals() {
    if (m_installed) {
        for (std::size_t i = 0; i < kSignals.size(); ++i)
            ::sigaction(kSignals[i], &m_previous[i], nullptr);
    }
    m_notifier.reset();
    g_writeFd = -1;
}

void TerminationSignals::OnReadable() {
    unsigned char number = 0;
    while (::read(m_readFd.Get(), &number, 1) == 1) {
        if (m_onSignal)
            m_onSignal(number);
    }
}

void EndBySignal(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
    ::raise(signal);
    // A signal whose default is not to end the process still ends it, with the shell's code.
    std::_Exit(128 + signal);
}

}  // namespace window
