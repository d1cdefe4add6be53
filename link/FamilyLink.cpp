#include "link/FamilyLink.h"

#include <array>

#include "link/OpenAdvice.h"
#include "link/PortScan.h"
#include "scale/families/Listener.h"

namespace scale_link {

namespace {

namespace families = scale::families;

// Where unknown scales are listened for, most common first. A 7-bit character with parity is
// ten bits on the wire as an 8N1 one is, so listening at 8N1 hears 7E1 and 7O1 lines too (the
// decoders drop the parity bit).
constexpr std::array<int, 5> kListenSpeeds = {9600, 4800, 2400, 1200, 19200};

// "SI", "ESC P": a query as the user reads it.
std::string QueryName(const std::string& query) {
    std::string name;
    for (const char c : query) {
        if (c == '\x1b')
            name += "ESC ";
        else if (c != '\r' && c != '\n')
            name += c;
    }
    return name;
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : ", ") + part;
    return text;
}

}  // namespace

FamilyLink::FamilyLink(serial_port::PortMap& ports, SourceEvents events, Choice choice, Waits waits,
                       PortWatcher* watcher, std::string program)
    : PortSource(ports, std::move(events), watcher),
      m_choice(std::move(choice)),
      m_waits(waits),
      m_program(std::move(program)) {
    m_poll.setInterval(m_waits.poll);
    connect(&m_poll, &QTimer::timeout, this, [this] { SendText(m_family->query); });
}

FamilyLink::~FamilyLink() = default;

posix::Result<int> FamilyLink::Find(unsigned only) {
    if (Kept(FirstPort(m_ports, only, [this](int port) { return Detect(port); })) != 0)
        return Port();
    return posix::SystemError::Because("no scale found on " +
                                       (only != 0 ? m_ports.NameOf(only) : "COM1 to COM32"));
}

bool FamilyLink::Open(const std::string& device, const scale::LineSettings& line) {
    serial_port::PortError& error = m_openError;
    if (m_link.Open(device, &error, line)) {
        m_openLine = line;
        m_framingRefused = false;
        return true;
    }
    // A pseudo-terminal takes only 8N1. A 7-bit character with parity is ten bits as an 8N1
    // one is, so the line is read the same at 8N1 (the decoders drop the parity bit).
    const scale::LineSettings plain{line.baud, 'N', 8, 1};
    if (error.kind == serial_port::ErrorKind::kInvalidArgument &&
        families::LineText(line) != families::LineText(plain) &&
        m_link.Open(device, &error, plain)) {
        m_openLine = line;
        m_framingRefused = true;
        return true;
    }
    m_openFailure = error.Describe();
    return false;
}

void FamilyLink::ReadFor(std::chrono::milliseconds limit, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done() && m_link.IsOpen()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        m_link.ReadWithin(left);
    }
}

bool FamilyLink::Detect(int port) {
    const auto device = m_ports.Resolve(static_cast<unsigned>(port));
    if (!device)
        return false;
    m_trying = port;
    const std::string name = m_ports.NameOf(static_cast<unsigned>(port));
    if (!Open(*device, scale::kLine)) {
        m_events.say(name + " could not be opened. " +
                     ExplainOpenFailure(m_ports, port, m_openError, m_program));
        return false;
    }
    std::vector<const Family*> candidates;
    std::vector<scale::LineSettings> lines;
    if (m_choice.family) {
        candidates = {m_choice.family};
        lines = m_choice.line ? std::vector{*m_choice.line} : m_choice.family->lines;
    } else {
        if (Probe(*device))
            return Keep(*families::Find("karvel"), scale::kLine, {}, false);
        for (const Family& family : families::All()) {
            if (family.name != "karvel" && !family.needsPattern)
                candidates.push_back(&family);
        }
        if (m_choice.line)
            lines = {*m_choice.line};
        else {
            for (const int baud : kListenSpeeds)
                lines.push_back({baud, 'N', 8, 1});
        }
    }
    std::string heard;
    if (Listen(*device, candidates, lines, &heard))
        return true;
    std::string asked;
    // A port that sends something is no silent balance waiting for a question.
    if (heard.empty() && Ask(*device, candidates, &asked))
        return true;
    m_link.Close();
    std::vector<std::string> tried;
    for (const scale::LineSettings& line : lines)
        tried.push_back(m_choice.family ? families::LineText(line) : std::to_string(line.baud));
    const std::string where =
        m_choice.family ? " at " + Joined(tried) : " at " + Joined(tried) + " baud";
    if (!heard.empty())
        m_events.say(name + ": unreadable (" + heard + ", no " +
                     (m_choice.family ? std::string(m_choice.family->name) : "family's") +
                     " lines" + where + ")");
    else
        m_events.say(name + ": silent (listened" + where +
                     (asked.empty() ? "" : "; no answer to " + asked) + ")");
    return false;
}

bool FamilyLink::Probe(const std::string& device) {
    bool answered = false;
    std::uint8_t previous = 0;
    m_hear = [&](std::span<const std::uint8_t> bytes) {
        for (const std::uint8_t byte : bytes) {
            answered |= scale::StartsFrame(previous, byte);
            previous = byte;
        }
    };
    if (m_link.IsOpen() || Open(device, scale::kLine)) {
        const std::uint8_t probe[] = {scale::kProbe};
        if (m_link.Send(probe))
            ReadFor(scale::kProbeWait, [&] { return answered; });
    }
    m_hear = {};
    return answered;
}

bool FamilyLink::Listen(const std::string& device, std::span<const Family* const> candidates,
                        std::span<const scale::LineSettings> lines, std::string* heard) {
    std::size_t bytes = 0;
    for (const scale::LineSettings& line : lines) {
        if (!Open(device, line))
            continue;
        families::Listener listener(
            candidates, line,
            m_choice.line ? families::Framing::kAsSet : families::Framing::kFamilys,
            m_choice.pattern);
        m_hear = [&](std::span<const std::uint8_t> received) { listener.Push(received); };
        ReadFor(m_waits.listen, [&] { return listener.Found() != nullptr; });
        m_hear = {};
        bytes += listener.Heard();
        if (const Family* found = listener.Found()) {
            // The family's own framing at the speed it was heard, for what is sent to it.
            scale::LineSettings kept = line;
            for (const scale::LineSettings& usual : found->lines) {
                if (!m_choice.line && usual.baud == line.baud) {
                    kept = usual;
                    break;
                }
            }
            return Keep(*found, kept, listener.Readings(), false);
        }
    }
    if (bytes > 0)
        *heard = std::to_string(bytes) + " bytes";
    return false;
}

bool FamilyLink::Ask(const std::string& device, std::span<const Family* const> candidates,
                     std::string* asked) {
    std::vector<std::string> queries;
    for (const Family* family : candidates) {
        if (family->query.empty())
            continue;
        queries.push_back(QueryName(family->query));
        const std::vector<scale::LineSettings> lines =
            m_choice.line ? std::vector{*m_choice.line} : family->lines;
        for (const scale::LineSettings& line : lines) {
            if (!Open(device, line))
                continue;
            const Family* const one[] = {family};
            families::Listener listener(one, line, families::Framing::kAsSet, m_choice.pattern, 1);
            m_hear = [&](std::span<const std::uint8_t> received) { listener.Push(received); };
            if (SendText(family->query))
                ReadFor(m_waits.answer, [&] { return listener.Found() != nullptr; });
            m_hear = {};
            if (listener.Found())
                return Keep(*family, line, listener.Readings(), true);
        }
    }
    *asked = Joined(queries);
    return false;
}

bool FamilyLink::Keep(const Family& family, const scale::LineSettings& line,
                      std::vector<families::Decoded> first, bool poll) {
    std::string error;
    m_decoder = families::MakeDecoder(family, line, m_choice.pattern, &error, first);
    if (!m_decoder) {
        m_events.say(error);
        return false;
    }
    if (families::LineText(line) != families::LineText(m_openLine) &&
        !Open(m_link.DevicePath(), line))
        return false;
    m_family = &family;
    m_line = line;
    m_events.say(m_ports.NameOf(static_cast<unsigned>(m_trying)) + ": " + std::string(family.name) +
                 " at " + families::LineText(line) +
                 (m_framingRefused ? " (the device takes 8N1 only: read and written so)" : ""));
    // Told from the event loop, once whoever asked is ready for readings.
    QTimer::singleShot(0, this, [this, first = std::move(first)] {
        for (const families::Decoded& decoded : first)
            Tell(decoded);
    });
    m_polling = poll && !family.query.empty();
    if (m_polling)
        m_poll.start();
    return true;
}

void FamilyLink::OnBytes(std::span<const std::uint8_t> bytes) {
    if (m_hear) {
        m_hear(bytes);
        return;
    }
    if (!m_decoder)
        return;
    m_scratch.clear();
    m_decoder->Push(bytes, &m_scratch);
    for (const families::Decoded& decoded : m_scratch)
        Tell(decoded);
}

void FamilyLink::Tell(const families::Decoded& decoded) {
    scale::FrameBytes bytes{};
    // The panel's own scale found as a family: its frame as it stands.
    const bool frame = m_family->name == "karvel" && decoded.bytes.size() == bytes.size();
    if (frame)
        std::copy(decoded.bytes.begin(), decoded.bytes.end(), bytes.begin());
    scale::Frame told = scale::StampFrame(bytes);
    told.familyReading = decoded.reading;
    told.protocol = m_family->name;
    told.familyBytes = decoded.bytes;
    m_events.reading(told);
}

bool FamilyLink::SendText(const std::string& bytes) {
    return m_link.Send(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::optional<KeyPress> FamilyLink::KeyNamed(std::string_view line) const {
    const std::optional<families::Key> key = families::KeyOfLine(line);
    if (!key)
        return std::nullopt;
    return KeyPress{*key, false};
}

std::string FamilyLink::KeyNames() const {
    return families::KeyNames();
}

bool FamilyLink::SendKey(KeyPress press) {
    if (!m_family || Away())
        return false;
    const auto command = families::CommandFor(*m_family, press.key);
    if (!command) {
        m_events.say(std::string(m_family->name) + " has no " +
                     std::string(families::KeyName(press.key)) + " key: nothing sent");
        return false;
    }
    return SendText(*command);
}

posix::Status FamilyLink::Reopen(int port) {
    const auto device = m_ports.Resolve(static_cast<unsigned>(port));
    // The settings it was found at: nothing is detected again.
    if (!device || !Open(*device, m_line))
        return posix::SystemError::Because(device ? m_openFailure : "no such port");
    return posix::Success();
}

void FamilyLink::Reopened() {
    // No part of a line from before makes a reading with the first one after.
    std::string error;
    m_decoder = families::MakeDecoder(*m_family, m_line, m_choice.pattern, &error);
    if (m_polling)
        m_poll.start();
}

}  // namespace scale_link
