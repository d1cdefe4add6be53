#include "tests/weighing/BellWatch.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <cerrno>

namespace benchtest {

struct BellWatch::Connection {
    Display* display = nullptr;
    int xkbEvent = 0;  // XKB's event type on this server
};

BellWatch::BellWatch(const std::string& display) : m_x(std::make_unique<Connection>()) {
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    int reason = 0;
    m_x->display =
        XkbOpenDisplay(display.c_str(), &m_x->xkbEvent, nullptr, &major, &minor, &reason);
    if (m_x->display == nullptr)
        return;
    if (!XkbSelectEvents(m_x->display, XkbUseCoreKbd, XkbBellNotifyMask, XkbBellNotifyMask)) {
        XCloseDisplay(m_x->display);
        m_x->display = nullptr;
        return;
    }
    XSync(m_x->display, False);
}

BellWatch::~BellWatch() {
    if (m_x->display != nullptr)
        XCloseDisplay(m_x->display);
}

bool BellWatch::Connected() const {
    return m_x->display != nullptr;
}

void BellWatch::Take() {
    while (XPending(m_x->display) > 0) {
        XkbEvent event;
        XNextEvent(m_x->display, &event.core);
        if (event.type == m_x->xkbEvent && event.any.xkb_type == XkbBellNotify)
            ++m_bells;
    }
}

int BellWatch::Bells() {
    if (!Connected())
        return 0;
    XSync(m_x->display, False);
    Take();
    return m_bells;
}

bool BellWatch::WaitFor(int count, std::chrono::milliseconds patience) {
    if (!Connected())
        return false;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (Bells() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd ready{ConnectionNumber(m_x->display), POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left.count())) < 0 && errno != EINTR)
            return false;
    }
    return true;
}

}  // namespace benchtest
