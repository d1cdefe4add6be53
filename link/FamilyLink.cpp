#include "link/FamilyLink.h"

#include <algorithm>
#include <array>

#include "link/OpenAdvice.h"
#include "scale/families/Listener.h"

namespace scale_link {

namespace {

namespace families = scale::families;

// Where unknown scales are listened for, as the user is told of them. A 7-bit character with
// parity is ten bits on the wire as an 8N1 one is, so listening at 8N1 hears 7E1 and 7O1 lines
// too (the decoders drop the parity bit).
constexpr std::array<int, 5> kListenSpeeds = {9600, 4800, 2400, 1200, 19200};

// The speeds listened at in the order that finds the common families first: the speed more of
// the candidates use first.
std::vector<scale::LineSettings> CommonFirst(std::vector<scale::LineSettings> lines,
                                             std::span<const families::Family* const> candidates) {
    const auto users = [&](const scale::LineSettings& line) {
        return std::count_if(candidates.begin(), candidates.end(), [&](const families::Family* f) {
            return std::any_of(f->lines.begin(), f->lines.end(),
                               [&](const scale::LineSettings& l) { return l.baud == line.baud; });
        });
    };
    std::stable_sort(lines.begin(), lines.end(),
                     [&](const auto& a, const auto& b) { return users(a) > users(b); });
    return lines;
}

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
    ++m_detections;
    StartDetection(only, {});
    m_detection->Wait();
    return Decide(only);
}

void FamilyLink::FindLater(unsigned only, std::function<void(posix::Result<int>)> found) {
    const std::uint64_t detection = ++m_detections;
    StartDetection(only, [this, only, detection, found = std::move(found)] {
        // Dropped with the link when it goes first, and when a later detection took its place.
        QMetaObject::invokeMethod(
            this,
            [this, only, detection, found] {
                if (detection == m_detections && m_detection)
                    found(Decide(only));
            },
            Qt::QueuedConnection);
    });
}

void FamilyLink::StartDetection(unsigned only, std::function<void()> decided) {
    m_detection.reset();
    std::vector<ParallelDetection::Port> ports;
    {
        const serial_port::PortMap::Snapshot devices(m_ports);
        const unsigned first = only != 0 ? only : serial_port::kFirstPortNumber;
        const unsigned last = only != 0 ? only : serial_port::kLastPortNumber;
        for (unsigned port = first; port <= last; ++port) {
            if (auto device = m_ports.Resolve(port))
                ports.push_back({static_cast<int>(port), std::move(*device)});
        }
    }
    m_detection = std::make_unique<ParallelDetection>(Plan(), std::move(ports), std::move(decided));
}

DetectPlan FamilyLink::Plan() const {
    DetectPlan plan;
    plan.pattern = m_choice.pattern;
    plan.framing = m_choice.line ? families::Framing::kAsSet : families::Framing::kFamilys;
    plan.listenFor = m_waits.listen;
    plan.answerFor = m_waits.answer;
    if (m_choice.family) {
        plan.candidates = {m_choice.family};
        plan.listen = m_choice.line ? std::vector{*m_choice.line} : m_choice.family->lines;
    } else {
        plan.probe = true;
        for (const Family& family : families::All()) {
            if (family.name != "karvel" && !family.needsPattern)
                plan.candidates.push_back(&family);
        }
        if (m_choice.line)
            plan.listen = {*m_choice.line};
        else {
            for (const int baud : kListenSpeeds)
                plan.listen.push_back({baud, 'N', 8, 1});
            plan.listen = CommonFirst(plan.listen, plan.candidates);
        }
    }
    for (const Family* family : plan.candidates) {
        if (family->query.empty())
            continue;
        for (const scale::LineSettings& line :
             m_choice.line ? std::vector{*m_choice.line} : family->lines)
            plan.queries.push_back({family, line});
    }
    return plan;
}

posix::Result<int> FamilyLink::Decide(unsigned only) {
    const auto verdicts = m_detection->Verdicts();
    // The ports above the one found stop at once.
    m_detection.reset();
    for (const auto& [port, verdict] : verdicts) {
        m_trying = port;
        SayVerdict(port, verdict);
        const auto device = m_ports.Resolve(static_cast<unsigned>(port));
        if (verdict.kind == PortVerdict::Kind::kFound && device &&
            Keep(*device, *verdict.family, verdict.line, verdict.readings, verdict.poll,
                 verdict.wire) &&
            Kept(port) != 0)
            return Port();
    }
    return posix::SystemError::Because("no scale found on " +
                                       (only != 0 ? m_ports.NameOf(only) : "COM1 to COM32"));
}

void FamilyLink::SayVerdict(int port, const PortVerdict& verdict) {
    const std::string name = m_ports.NameOf(static_cast<unsigned>(port));
    using Kind = PortVerdict::Kind;
    if (verdict.kind == Kind::kUnopened) {
        m_events.say(name + " could not be opened. " +
                     ExplainOpenFailure(m_ports, port, verdict.openError, m_program));
        return;
    }
    if (verdict.kind != Kind::kSilent && verdict.kind != Kind::kUnreadable)
        return;
    // As they are told, whatever the order they were listened at.
    std::vector<scale::LineSettings> lines;
    if (m_choice.line)
        lines = {*m_choice.line};
    else if (m_choice.family)
        lines = m_choice.family->lines;
    else {
        for (const int baud : kListenSpeeds)
            lines.push_back({baud, 'N', 8, 1});
    }
    std::vector<std::string> tried;
    for (const scale::LineSettings& line : lines)
        tried.push_back(m_choice.family ? families::LineText(line) : std::to_string(line.baud));
    const std::string where =
        m_choice.family ? " at " + Joined(tried) : " at " + Joined(tried) + " baud";
    std::vector<std::string> queries;
    for (const scale::families::Family* family :
         m_choice.family ? std::vector{m_choice.family} : Plan().candidates) {
        // Two families may ask alike (W): said once.
        if (!family->query.empty() &&
            std::find(queries.begin(), queries.end(), QueryName(family->query)) == queries.end())
            queries.push_back(QueryName(family->query));
    }
    if (verdict.kind == Kind::kUnreadable)
        m_events.say(name + ": unreadable (" + std::to_string(verdict.heard) + " bytes, no " +
                     (m_choice.family ? std::string(m_choice.family->name) : "family's") +
                     " lines" + where + ")");
    else if (!verdict.error.empty())
        m_events.say(name + ": answered " + verdict.error +
                     " (an MT-SICS balance's error) and gave no reading (listened" + where +
                     "; asked " + Joined(queries) + ")");
    else
        m_events.say(
            name + ": silent (listened" + where +
            (verdict.asked && !queries.empty() ? "; no answer to " + Joined(queries) : "") + ")");
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

bool FamilyLink::Keep(const std::string& device, const Family& family,
                      const scale::LineSettings& line, std::vector<families::Decoded> first,
                      bool poll, std::shared_ptr<Wire> wire) {
    std::string error;
    m_decoder = families::MakeDecoder(family, line, m_choice.pattern, &error, first);
    if (!m_decoder) {
        m_events.say(error);
        return false;
    }
    if (wire) {
        m_link.Adopt(std::move(wire), device);
        m_openLine = line;
        m_framingRefused = false;
    } else if (!Open(device, line)) {
        m_events.say(m_ports.NameOf(static_cast<unsigned>(m_trying)) + ": " +
                     std::string(family.name) +
                     " found, but it could not be opened again: " + m_openFailure);
        return false;
    }
    m_family = &family;
    m_line = line;
    m_events.say(m_ports.NameOf(static_cast<unsigned>(m_trying)) + ": " + std::string(family.name) +
                 " at " + families::LineText(line) +
                 (m_framingRefused ? " (the device takes 8N1 only: read and written so)" : ""));
    // Told from the event loop, once whoever asked is ready for readings.
    QTimer::singleShot(0, this, [this, first = std::move(first)] {
        for (const families::Decoded& decoded : first)
            Tell(decoded, scale::StampFrame({}));
    });
    m_polling = poll && !family.query.empty();
    if (m_polling)
        m_poll.start();
    return true;
}

void FamilyLink::OnBytes(std::span<const std::uint8_t> bytes) {
    if (!m_decoder)
        return;
    // Each reading here ended in the bytes just read: its time is theirs, not the decoder's.
    const scale::Frame read = scale::StampFrame({});
    m_scratch.clear();
    m_decoder->Push(bytes, &m_scratch);
    for (const families::Decoded& decoded : m_scratch)
        Tell(decoded, read);
}

void FamilyLink::Tell(const families::Decoded& decoded, const scale::Frame& read) {
    scale::FrameBytes bytes{};
    // The panel's own scale found as a family: its frame as it stands.
    const bool frame = m_family->name == "karvel" && decoded.bytes.size() == bytes.size();
    if (frame)
        std::copy(decoded.bytes.begin(), decoded.bytes.end(), bytes.begin());
    scale::Frame told = scale::StampFrame(bytes);
    told.wallTime = read.wallTime;
    told.steadyTime = read.steadyTime;
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
