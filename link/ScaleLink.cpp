#include "link/ScaleLink.h"

#include <QTimer>

#include <chrono>
#include <utility>

#include "link/PortScan.h"
#include "scale/Protocol.h"

namespace scale_link {

ScaleLink::ScaleLink(serial_port::PortMap& ports, Events events, std::string program)
    : m_ports(ports),
      m_events(std::move(events)),
      m_program(std::move(program)),
      m_link({[this](std::span<const std::uint8_t> bytes) { OnBytes(bytes); },
              [this](const std::string& why) { OnDeviceLost(why); },
              [this] { TellDroppedKeys(); }}),
      m_watcher(ports, {}),
      m_follower(ports, [this] { TryReconnect(); }),
      m_findFailures(m_program) {
    connect(&m_watcher, &PortWatcher::folderMadeAgain, this,
            [this] { m_follower.FolderMadeAgain(); });
    connect(&m_watcher, &PortWatcher::portsChanged, this, [this] {
        if (m_link.IsOpen() && !m_probing && m_port != 0 && m_follower.EntryMoved())
            LeaveMovedEntry();
        m_follower.ResetTries();
        TryReconnect();
    });
    m_watcher.Start();
}

ScaleLink::~ScaleLink() = default;

bool ScaleLink::OpenWatched(int port) {
    m_tried = port;
    m_openFailure.clear();
    m_openError = {};
    const auto device = m_ports.Resolve(static_cast<unsigned>(port));
    if (!device) {
        m_openFailure = m_ports.NameOf(static_cast<unsigned>(port)) + " does not exist";
        m_openError.kind = serial_port::ErrorKind::kNotFound;
        return false;
    }
    if (!m_link.Open(*device, &m_openError)) {
        m_openFailure = m_openError.Describe();
        return false;
    }
    // What the window holds came from before: no frame of this line.
    m_window.Restart();
    return true;
}

std::string ScaleLink::Name() const {
    return m_ports.NameOf(static_cast<unsigned>(m_port));
}

std::string ScaleLink::Named() const {
    return m_ports.NameWithDevice(static_cast<unsigned>(m_port), Device());
}

std::string ScaleLink::OpenAdvice() const {
    return ExplainOpenFailure(m_ports, m_tried, m_openError, m_program);
}

bool ScaleLink::Probe(int port) {
    if (!OpenWatched(port)) {
        m_findFailures.Note(m_ports, port, m_openError);
        return false;
    }
    m_probe.Begin();
    m_held.clear();
    m_probing = true;
    const bool answered = AwaitAnswer();
    m_probing = false;
    if (answered) {
        QTimer::singleShot(0, this, [this] { DeliverHeld(); });
        return true;
    }
    m_held.clear();
    m_link.Close();
    return false;
}

bool ScaleLink::AwaitAnswer() {
    if (m_link.Send(scale::kProbe) != DirectPort::SendResult::kSent)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + scale::kProbeWait;
    while (!m_probe.Answered() && m_link.IsOpen()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        m_link.ReadWithin(left);
    }
    return m_probe.Answered();
}

int ScaleLink::Find(unsigned onlyPort) {
    m_probe.Forget();
    m_findFailures = ScanFailures(m_program);
    return Kept(FirstPort(m_ports, onlyPort, [this](int port) { return Probe(port); }));
}

int ScaleLink::OpenUnprobed(unsigned onlyPort) {
    return Kept(FirstPort(m_ports, onlyPort, [this](int port) { return OpenWatched(port); }));
}

int ScaleLink::Kept(int port) {
    if (port != 0) {
        m_port = port;
        m_follower.Opened(port, m_link.DevicePath());
    }
    return port;
}

bool ScaleLink::SendKey(std::uint8_t byte) {
    if (m_port == 0 || m_follower.Following())
        return false;
    switch (m_link.Send(byte)) {
        case DirectPort::SendResult::kSent:
            return true;
        case DirectPort::SendResult::kDropped:
            if (m_keysDropped++ == 0)
                m_events.say("keys: the scale takes none in; " + std::to_string(kKeyQueueBound) +
                             " wait, and more are dropped until it does");
            return false;
        case DirectPort::SendResult::kFailed:
            break;
    }
    return false;
}

void ScaleLink::TellDroppedKeys() {
    if (m_keysDropped == 0)
        return;
    m_events.say("keys: " + std::to_string(m_keysDropped) +
                 (m_keysDropped == 1 ? " key was" : " keys were") +
                 " dropped while the scale took none in");
    m_keysDropped = 0;
}

void ScaleLink::OnBytes(std::span<const std::uint8_t> bytes) {
    DeliverHeld();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (m_probing && m_probe.Answered()) {
            m_held.assign(bytes.begin() + static_cast<std::ptrdiff_t>(i), bytes.end());
            return;
        }
        OnByte(bytes[i]);
    }
}

void ScaleLink::DeliverHeld() {
    if (m_probing || m_held.empty())
        return;
    const std::vector<std::uint8_t> held = std::exchange(m_held, {});
    for (const std::uint8_t byte : held)
        OnByte(byte);
}

void ScaleLink::OnByte(std::uint8_t byte) {
    const std::uint8_t previous = m_window.Bytes()[scale::kFrameSize - 1];
    m_window.Push(byte, &m_probe);
    if (m_events.byte)
        m_events.byte(byte, scale::StartsFrame(previous, byte));
    if (m_window.HoldsSentFrame() && m_events.frame)
        m_events.frame(scale::StampFrame(m_window.Bytes()));
}

void ScaleLink::OnDeviceLost(const std::string& why) {
    if (m_follower.Following() || m_port == 0)
        return;
    m_follower.Lost(m_port);
    TellDroppedKeys();
    m_events.say(Named() + ": the device went away (" + why + "); waiting for it to come back");
    if (m_events.portState)
        m_events.portState({scale::PortState::Change::kLost, m_port, Device(), Name()});
    // Called from the port's own read: open anew once that has returned.
    QTimer::singleShot(0, this, [this] {
        m_follower.ResetTries();
        TryReconnect();
    });
}

void ScaleLink::LeaveMovedEntry() {
    m_link.Close();
    m_follower.Lost(m_port);
    TellDroppedKeys();
    m_events.say(Named() + " leads to another device now; reading that one");
    if (m_events.portState)
        m_events.portState({scale::PortState::Change::kLost, m_port, Device(), Name()});
}

void ScaleLink::TryReconnect() {
    if (!m_follower.Following() || m_link.IsOpen())
        return;
    const int port = m_follower.PortNow();
    if (port == 0)
        return;  // not back yet: the next change tells
    if (!OpenWatched(port)) {
        if (!m_follower.OpenFailed())
            m_events.say(m_ports.NameOf(static_cast<unsigned>(port)) +
                         " is back but cannot be opened (" + m_openFailure +
                         "); waiting for the next change of the ports");
        return;
    }
    m_follower.Forget();
    Kept(port);
    m_events.say(Named() + ": back; reading again");
    if (m_events.portState)
        m_events.portState({scale::PortState::Change::kOpened, m_port, Device(), Name()});
}

}  // namespace scale_link
