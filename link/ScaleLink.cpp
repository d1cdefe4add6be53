#include "link/ScaleLink.h"

#include <QTimer>

#include <chrono>
#include <utility>

#include "link/PortScan.h"
#include "scale/Protocol.h"

namespace scale_link {
namespace {

namespace families = scale::families;

// The described scale's keys: the panel's four, each with a second function.
std::optional<std::uint8_t> DescribedKeyByte(KeyPress press) {
    std::uint8_t byte = 0;
    switch (press.key) {
        case families::Key::kData:
            byte = scale::kKeyData;
            break;
        case families::Key::kMode:
            byte = scale::kKeyMode;
            break;
        case families::Key::kTare:
            byte = scale::kKeyTare;
            break;
        case families::Key::kOnOff:
            byte = scale::kKeyOnOff;
            break;
        default:
            return std::nullopt;
    }
    return static_cast<std::uint8_t>(press.twice ? byte | scale::kDoubleClick : byte);
}

// "TARE", "ON/OFF double": a key's name as labelled (upper case), blanks around it.
std::optional<KeyPress> DescribedKeyNamed(std::string_view line) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const std::size_t first = line.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return std::nullopt;
    line = line.substr(first, line.find_last_not_of(kBlanks) - first + 1);
    const std::string_view name = line.substr(0, line.find_first_of(" \t"));
    const std::string_view rest = line.substr(name.size());
    const bool twice = !rest.empty();
    if (twice && rest.substr(rest.find_first_not_of(kBlanks)) != "double")
        return std::nullopt;
    const std::optional<families::Key> key = families::KeyOfName(name);
    if (!key || families::KeyName(*key) != name || !DescribedKeyByte({*key, twice}))
        return std::nullopt;
    return KeyPress{*key, twice};
}

}  // namespace

ScaleLink::ScaleLink(serial_port::PortMap& ports, SourceEvents events, std::string program)
    : PortSource(ports, std::move(events), nullptr),
      m_program(std::move(program)),
      m_findFailures(m_program) {}

posix::Status ScaleLink::Reopen(int port) {
    if (!OpenWatched(port))
        return posix::SystemError::Because(m_openFailure);
    return posix::Success();
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

posix::SystemError ScaleLink::CannotOpen(unsigned only) const {
    return posix::SystemError::Because(
        "cannot open " + m_ports.NameOf(only) + ": " + m_openFailure,
        ExplainOpenFailure(m_ports, m_tried, m_openError, m_program));
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

int ScaleLink::Probed(unsigned onlyPort) {
    m_probe.Forget();
    m_findFailures = ScanFailures(m_program);
    return Kept(FirstPort(m_ports, onlyPort, [this](int port) { return Probe(port); }));
}

int ScaleLink::OpenUnprobed(unsigned onlyPort) {
    return Kept(FirstPort(m_ports, onlyPort, [this](int port) { return OpenWatched(port); }));
}

posix::Result<int> ScaleLink::Find(unsigned only) {
    if (const int port = Probed(only); port != 0)
        return port;
    if (only == 0)
        return posix::SystemError::Because("no scale answered on COM1 to COM32");
    // The chosen port's own failure is told with its advice, not among the scan's.
    m_findFailures = ScanFailures(m_program);
    if (OpenUnprobed(only) == 0)
        return CannotOpen(only);
    m_events.say(m_ports.NameOf(only) + ": no answer to the probe; reading what it sends");
    return Port();
}

posix::Result<int> ScaleLink::Open(unsigned only) {
    if (const int port = OpenUnprobed(only); port != 0)
        return port;
    if (only == 0)
        return posix::SystemError::Because("no serial port could be opened");
    return CannotOpen(only);
}

std::vector<std::string> ScaleLink::Unopened() const {
    std::vector<std::string> lines;
    for (const auto& [port, reason] : m_findFailures.Reasons(m_ports))
        lines.push_back(serial_port::PortName(port) + " could not be opened. " + reason);
    return lines;
}

std::optional<KeyPress> ScaleLink::KeyNamed(std::string_view line) const {
    return DescribedKeyNamed(line);
}

std::string ScaleLink::KeyNames() const {
    return "DATA, MODE, TARE or ON/OFF [double]";
}

bool ScaleLink::SendKey(KeyPress key) {
    const std::optional<std::uint8_t> byte = DescribedKeyByte(key);
    return byte && SendByte(*byte);
}

bool ScaleLink::SendByte(std::uint8_t byte) {
    if (Away())
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

void ScaleLink::TellDropped() {
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
    if (m_window.HoldsSentFrame() && m_events.reading)
        m_events.reading(scale::StampFrame(m_window.Bytes()));
}

}  // namespace scale_link
