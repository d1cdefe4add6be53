#include "link/Reconnect.h"

#include <QTimer>

#include <utility>

namespace scale_link {

Reconnect::Reconnect(DeviceFollower& follower, Hooks hooks)
    : m_follower(follower), m_hooks(std::move(hooks)) {}

void Reconnect::Say(const std::string& text) const {
    if (m_hooks.say)
        m_hooks.say(m_hooks.named() + text);
}

void Reconnect::Lost(int port, const std::string& why) {
    m_follower.Lost(port);
    Say(": the device went away (" + why + "); waiting for it to come back");
    QTimer::singleShot(0, &m_context, [this] {
        m_follower.ResetTries();
        if (!m_follower.Postponed())
            Try();
    });
}

void Reconnect::PortsChanged() {
    if (m_hooks.reading() && m_follower.EntryMoved()) {
        m_follower.Lost(m_follower.Current().port);
        Say(" leads to another device now; reading that one");
        m_hooks.leave();
    }
    m_follower.ResetTries();
    Try();
}

void Reconnect::Try() {
    if (m_dialling || !m_follower.Following() || (m_hooks.ready && !m_hooks.ready()))
        return;
    const int port = m_follower.PortNow();
    if (port == 0)
        return;  // not back yet: the next change tells
    if (m_hooks.mayOpen && !m_hooks.mayOpen(port))
        return;
    if (m_hooks.dial && m_hooks.dial(port)) {
        m_dialling = true;
        return;
    }
    Opened(port, m_hooks.open(port));
}

void Reconnect::Dialled(int port, const posix::Status& dialled) {
    m_dialling = false;
    // The user may have taken the port over meanwhile.
    if (m_follower.Following() && (!m_hooks.ready || m_hooks.ready()))
        Opened(port, dialled ? m_hooks.open(port) : dialled);
}

void Reconnect::Opened(int port, const posix::Status& opened) {
    if (!opened) {
        if (!m_follower.OpenFailed() && m_hooks.say)
            m_hooks.say(m_follower.Ports().NameOf(static_cast<unsigned>(port)) +
                        " is back but cannot be opened (" + opened.Error().Describe() +
                        "); waiting for the next change of the ports");
        return;
    }
    m_follower.Forget();
    m_hooks.back(port);
    Say(": back; reading again");
}

}  // namespace scale_link
