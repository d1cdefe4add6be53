#include "platform/window/HangUpSignal.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace window {

namespace {

volatile std::sig_atomic_t g_hangUpFd = -1;

extern "C" void OnHangUp(int) {
    const int savedErrno = errno;
    const unsigned char one = 1;
    // A full pipe already holds a hang-up that the UI thread will see.
    [[maybe_unused]] const ssize_t written = ::write(g_hangUpFd, &one, 1);
    errno = savedErrno;
}

}  // namespace

HangUpSignal::HangUpSignal(std::function<void()> onHangUp) : m_onHangUp(std::move(onHangUp)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readFd = fds[0];
    m_writeFd = fds[1];
    g_hangUpFd = m_writeFd;
    m_notifier = std::make_unique<QSocketNotifier>(m_readFd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { OnReadable(); });
    struct sigaction action {};
    action.sa_handler = OnHangUp;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    m_installed = ::sigaction(SIGHUP, &action, &m_previous) == 0;
}

HangUpSignal::~HangUpSignal() {
    if (m_installed)
        ::sigaction(SIGHUP, &m_previous, nullptr);
    m_notifier.reset();
    g_hangUpFd = -1;
    if (m_readFd >= 0)
        ::close(m_readFd);
    if (m_writeFd >= 0)
        ::close(m_writeFd);
}

void HangUpSignal::OnReadable() {
    unsigned char drained[64];
    bool any = false;
    while (::read(m_readFd, drained, sizeof drained) > 0)
        any = true;
    // Several hang-ups before the loop came round ask for one reopening.
    if (any && m_onHangUp)
        m_onHangUp();
}

}  // namespace window
