#include "read/ScaleLink.h"

#include <chrono>
#include <utility>

#include "record/Forms.h"
#include "scale/Protocol.h"

namespace reader {
namespace {

constexpr auto kProbeWait = std::chrono::milliseconds(150);
constexpr int kReconnectTries = 10;
constexpr auto kReconnectRetry = std::chrono::seconds(1);
// Bytes after the answer's second byte until the answer fills the window's first two places.
constexpr int kAnswerAtFront = static_cast<int>(scale::kFrameSize) - 2;

}  // namespace

ScaleLink::ScaleLink(serial_port::PortMap& ports, Events events)
    : m_ports(ports),
      m_events(std::move(events)),
      m_link({[this](std::span<const std::uint8_t> bytes) { OnBytes(bytes); },
              [this](const std::string& why) { OnDeviceLost(why); }}),
      m_watcher(ports, {}) {
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] { TryReconnect(); });
    connect(&m_watcher, &PortWatcher::portsChanged, this, [this] {
        m_retries = 0;
        TryReconnect();
    });
    m_watcher.Start();
}

ScaleLink::~ScaleLink() = default;

bool ScaleLink::OpenWatched(unsigned port) {
    m_openFailure.clear();
    const auto device = m_ports.Resolve(port);
    if (!device) {
        m_openFailure = record::PortName(static_cast<int>(port)) + " does not exist";
        return false;
    }
    return m_link.Open(*device, &m_openFailure);
}

bool ScaleLink::Probe(unsigned port) {
    if (!OpenWatched(port))
        return false;
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
    if (!m_link.Send(scale::kProbe))
        return false;
    const auto deadline = std::chrono::steady_clock::now() + kProbeWait;
    while (!m_probe.Answered() && m_link.IsOpen()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        m_link.ReadWithin(left);
    }
    return m_probe.Answered();
}

int ScaleLink::FirstPort(unsigned onlyPort, const std::function<bool(unsigned)>& take) {
    const serial_port::PortMap::Snapshot devices(m_ports);
    const unsigned first = onlyPort != 0 ? onlyPort : serial_port::kFirstPortNumber;
    const unsigned last = onlyPort != 0 ? onlyPort : serial_port::kLastPortNumber;
    for (unsigned port = first; port <= last; ++port) {
        if (take(port)) {
            Kept(port);
            return m_port;
        }
    }
    return 0;
}

int ScaleLink::Find(unsigned onlyPort) {
    m_probe.Forget();
    return FirstPort(onlyPort, [this](unsigned port) { return Probe(port); });
}

int ScaleLink::OpenUnprobed(unsigned onlyPort) {
    return FirstPort(onlyPort, [this](unsigned port) { return OpenWatched(port); });
}

void ScaleLink::Kept(unsigned port) {
    m_port = static_cast<int>(port);
    m_device = m_link.DevicePath();
    m_identity.clear();
    m_byId.clear();
    for (const serial_port::PortInfo& info : m_ports.List()) {
        if (info.number == port && info.device == m_device) {
            m_identity = info.identity;
            m_byId = info.byId;
        }
    }
}

bool ScaleLink::SendKey(std::uint8_t byte) {
    if (m_port == 0 || m_lost)
        return false;
    return m_link.Send(byte);
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
    const bool answeredBefore = m_probe.Answered();
    bool complete = m_window.Push(byte, &m_probe);
    if (!answeredBefore && m_probe.Answered())
        m_bytesAfterAnswer = 0;
    else if (m_bytesAfterAnswer <= kAnswerAtFront)
        ++m_bytesAfterAnswer;
    // The probe's answer is no frame: when it reaches the front of the window, what follows it
    // is the start of the first real frame, not values.
    if (complete && m_bytesAfterAnswer == kAnswerAtFront)
        complete = false;
    if (m_events.byte)
        m_events.byte(byte, scale::StartsFrame(previous, byte));
    if (complete && m_events.frame) {
        const scale::FrameBytes& bytes = m_window.Bytes();
        m_events.frame({bytes, scale::SlotsOf(bytes), std::chrono::system_clock::now(),
                        std::chrono::steady_clock::now()});
    }
}

void ScaleLink::OnDeviceLost(const std::string& why) {
    if (m_lost || m_port == 0)
        return;
    m_lost = true;
    m_events.say(record::PortName(m_port) + " (" + m_device + "): the device went away (" + why +
                 "); waiting for it to come back");
    if (m_events.portState)
        m_events.portState({scale::PortState::Change::kLost, m_port, m_device});
    // Called from the port's own read: open anew once that has returned.
    QTimer::singleShot(0, this, [this] {
        m_retries = 0;
        TryReconnect();
    });
}

void ScaleLink::TryReconnect() {
    if (!m_lost || m_link.IsOpen())
        return;
    unsigned port = 0;
    for (const serial_port::PortInfo& info : m_ports.List()) {
        if (m_identity.empty() ? info.device == m_device : info.identity == m_identity)
            port = info.number;
    }
    if (port == 0)
        return;  // not back yet: the next change tells
    if (!OpenWatched(port)) {
        if (++m_retries < kReconnectTries)
            m_retry.start(kReconnectRetry);
        else
            m_events.say(record::PortName(static_cast<int>(port)) +
                         " is back but cannot be opened (" + m_openFailure +
                         "); waiting for the next change of the ports");
        return;
    }
    m_lost = false;
    Kept(port);
    m_events.say(record::PortName(m_port) + " (" + m_device + "): back; reading again");
    if (m_events.portState)
        m_events.portState({scale::PortState::Change::kOpened, m_port, m_device});
}

}  // namespace reader
