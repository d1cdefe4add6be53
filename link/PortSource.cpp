#include "link/PortSource.h"

#include <utility>

#include "platform/net/WireAddress.h"

namespace scale_link {

PortSource::PortSource(serial_port::PortMap& ports, SourceEvents events, PortWatcher* watcher)
    : m_ports(ports),
      m_events(std::move(events)),
      m_link({[this](std::span<const std::uint8_t> bytes) { OnBytes(bytes); },
              [this](const std::string& why) { OnDeviceLost(why); }, [this] { KeysTaken(); }}),
      m_follower(ports, [this] { m_reconnect.Try(); }),
      m_reconnect(m_follower, ReconnectHooks()) {
    if (!watcher) {
        m_ownWatcher = std::make_unique<PortWatcher>(ports, PortWatcher::Sources{});
        watcher = m_ownWatcher.get();
    }
    connect(watcher, &PortWatcher::folderMadeAgain, this, [this] { m_follower.FolderMadeAgain(); });
    connect(watcher, &PortWatcher::portsChanged, this, [this] { m_reconnect.PortsChanged(); });
    if (m_ownWatcher)
        m_ownWatcher->Start();
}

PortSource::~PortSource() = default;

std::string PortSource::Name() const {
    const std::uint64_t changed = m_ports.NamesChanged();
    if (m_name.port != m_port || m_name.namesChanged != changed)
        m_name = {m_port, changed, m_ports.NameOf(static_cast<unsigned>(m_port))};
    return m_name.name;
}

std::string PortSource::Named() const {
    return m_ports.NameWithDevice(static_cast<unsigned>(m_port), Device());
}

int PortSource::Kept(int port) {
    if (port != 0) {
        m_port = port;
        m_follower.Opened(port, m_link.DevicePath());
    }
    return port;
}

void PortSource::TellState(scale::PortState::Change change) {
    if (m_events.portState)
        m_events.portState({change, m_port, Device(), Name()});
}

void PortSource::OnDeviceLost(const std::string& why) {
    Halted();
    // While it is looked for, a port that goes is one where nothing was found.
    if (Away())
        return;
    m_reconnect.Lost(m_port, why);
    TellState(scale::PortState::Change::kLost);
}

void PortSource::LeaveMovedEntry() {
    // The same entry is the same port: its new device is read in place of the old.
    m_link.Close();
    Halted();
    TellState(scale::PortState::Change::kLost);
}

bool PortSource::Dial(int port) {
    const auto device = m_ports.Resolve(static_cast<unsigned>(port));
    if (!device || !net::NamesWire(*device))
        return false;
    const scale::LineSettings line = ReopenLine();
    return m_dial.Start(*device, line,
                        [this, port, device = *device, line](std::shared_ptr<Wire> wire,
                                                             const serial_port::PortError& error) {
                            if (!wire) {
                                m_reconnect.Dialled(port, posix::SystemError(error));
                                return;
                            }
                            // Read only where nothing else is read yet.
                            if (!m_link.IsOpen())
                                m_link.Offer(std::move(wire), device, line);
                            m_reconnect.Dialled(port, posix::Success());
                        });
}

Reconnect::Hooks PortSource::ReconnectHooks() {
    Reconnect::Hooks hooks;
    hooks.ready = [this] { return !m_link.IsOpen(); };
    hooks.open = [this](int port) { return Reopen(port); };
    hooks.dial = [this](int port) { return Dial(port); };
    hooks.back = [this](int port) {
        Kept(port);
        Reopened();
        TellState(scale::PortState::Change::kOpened);
    };
    hooks.reading = [this] { return m_link.IsOpen() && !m_probing && m_port != 0; };
    hooks.leave = [this] { LeaveMovedEntry(); };
    hooks.say = [this](const std::string& text) { m_events.say(text); };
    hooks.named = [this] { return Named(); };
    return hooks;
}

}  // namespace scale_link
