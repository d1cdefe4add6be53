#include "read/ScaleLink.h"

#include <chrono>

#include "record/Forms.h"
#include "scale/Protocol.h"

namespace reader {
namespace {

// The line and the probe, as the panel uses them.
constexpr int kBaud = 9600;
constexpr char kParity = 'N';
constexpr int kDataBits = 8;
constexpr int kStopBits = 1;
constexpr std::uint32_t kEventMask = 3;
constexpr unsigned kSendBufferSize = 512;
constexpr auto kProbeWait = std::chrono::milliseconds(150);
constexpr int kReconnectTries = 10;
constexpr auto kReconnectRetry = std::chrono::seconds(1);
// Bytes after the answer's second byte until the answer fills the window's first two places.
constexpr int kAnswerAtFront = static_cast<int>(scale::kFrameSize) - 2;

}  // namespace

ScaleLink::ScaleLink(serial_port::PortMap& ports, Events events)
    : m_ports(ports), m_events(std::move(events)), m_watcher(ports, {}) {
    m_link.SetPortResolver([this](std::string_view name) { return m_ports.ResolveName(name); });
    m_link.SetFailureReporter(
        [say = m_events.say](const std::string& caption, const std::string& text) {
            say(caption + ": " + text);
        });
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] { TryReconnect(); });
    connect(&m_watcher, &PortWatcher::portsChanged, this, [this] {
        m_retries = 0;
        TryReconnect();
    });
    m_watcher.Start();
}

ScaleLink::~ScaleLink() {
    m_link.Close();
}

bool ScaleLink::OpenWatched(unsigned port) {
    if (!m_link.Open(this, port, kBaud, kParity, kDataBits, kStopBits, kEventMask, kSendBufferSize))
        return false;
    if (m_link.StartWatch())
        return true;
    m_link.Close();
    return false;
}

bool ScaleLink::Probe(unsigned port) {
    if (!OpenWatched(port))
        return false;
    m_probe.Begin();
    const std::uint8_t probe = scale::kProbe;
    m_link.SendBytes(&probe, 1);
    if (window::WaitWhilePumping(
            *this, [this] { return m_probe.Answered(); }, kProbeWait))
        return true;
    m_link.Close();
    return false;
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
    return m_link.SendBytes(&byte, 1) != 0;
}

window::LResult ScaleLink::HandleMessage(window::MessageId id, window::WParam w, window::LParam l) {
    if (id == PN_DEVICE_LOST) {
        OnDeviceLost(static_cast<int>(l));
        return 0;
    }
    if (id != PN_BYTE)
        return 0;
    const auto byte = static_cast<std::uint8_t>(w & 0xFF);
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
    return 0;
}

void ScaleLink::OnDeviceLost(int port) {
    if (port != m_port || m_lost || m_port == 0)
        return;
    m_lost = true;
    m_events.say(record::PortName(m_port) + " (" + m_device +
                 "): the device went away; waiting for it to come back");
    if (m_events.portState)
        m_events.portState({scale::PortState::Change::kLost, m_port, m_device});
    // The watch thread waits for this handler to return: close once it has.
    QTimer::singleShot(0, this, [this] {
        m_link.Close();
        m_retries = 0;
        TryReconnect();
    });
}

void ScaleLink::TryReconnect() {
    if (!m_lost || m_link.IsPortHeld())
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
        return;
    }
    m_lost = false;
    Kept(port);
    m_events.say(record::PortName(m_port) + " (" + m_device + "): back; reading again");
    if (m_events.portState)
        m_events.portState({scale::PortState::Change::kOpened, m_port, m_device});
}

}  // namespace reader
