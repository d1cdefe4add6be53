#include "read/ReaderApp.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSysInfo>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "mqtt/MqttSink.h"
#include "mqtt/ScaleId.h"
#include "record/Escape.h"
#include "record/Forms.h"
#include "record/OutputSink.h"
#include "record/SheetSink.h"
#include "scale/KeyNames.h"
#include "web/HttpSink.h"
#include "web/Token.h"
#include "wedge/TypingSink.h"

namespace reader {
namespace {

// No key line is longer; a longer one is refused whole, not read from its end.
constexpr std::size_t kMaxKeyLine = 512;
// Time for queued readings to reach the broker at the end.
constexpr auto kDrainAtEnd = std::chrono::seconds(5);
// Time for readings still being typed at the end.
constexpr auto kTypingAtEnd = std::chrono::seconds(10);

std::optional<record::LineForm> LineFormOf(Format format) {
    switch (format) {
        case Format::kJsonLines:
            return record::LineForm::kJson;
        case Format::kCsv:
            return record::LineForm::kCsv;
        case Format::kText:
            return record::LineForm::kText;
        case Format::kXlsx:
            break;
    }
    return std::nullopt;
}

}  // namespace

void Say(const std::string& message) {
    const std::string line = "karvel-read: " + message + "\n";
    // One write, so lines from two threads never mix.
    [[maybe_unused]] const ssize_t n = ::write(2, line.data(), line.size());
}

ReaderApp::ReaderApp(ReadOptions options, std::string portFolder)
    : m_options(std::move(options)),
      m_ports(std::move(portFolder)),
      m_capturer(m_options.capture, m_options.minWeight),
      m_out(STDOUT_FILENO, Say),
      m_columns(m_options.bench.rules.Columns(m_options.columns)) {}

ReaderApp::~ReaderApp() {
    if (m_mqtt)
        m_mqtt->Stop(std::chrono::milliseconds(0));
}

std::optional<int> ReaderApp::Start() {
    // Said at once, as the panel does: a port folder that others could change names no port.
    const std::string refused = scale_link::FolderRefusalText(m_ports);
    if (!refused.empty())
        Say(refused);
    // A family's link follows the ports itself: the scan's link is not made beside it.
    if (!m_options.family.Enabled()) {
        scale_link::ScaleLink::Events events;
        events.say = Say;
        if (m_options.raw) {
            events.byte = [this](std::uint8_t byte, bool start) { OnByte(byte, start); };
            m_burstEnd.setSingleShot(true);
            connect(&m_burstEnd, &QTimer::timeout, this, [this] {
                const auto line = m_rawLines.Flush();
                if (!m_finished && line && !m_out.Write(*line))
                    Finish(kExitDone);
            });
        } else
            events.frame = [this](const scale::Frame& frame) { OnFrame(frame); };
        events.portState = [this](const scale::PortState& state) { OnPortState(state); };
        m_link = std::make_unique<scale_link::ScaleLink>(m_ports, std::move(events), "karvel-read");
    }
    // What the user can do about a port that did not open (the refused folder is said already).
    const auto sayAdvice = [this, &refused] {
        if (refused.empty())
            Say(m_link->OpenAdvice());
    };

    unsigned only = 0;
    if (!m_options.port.empty() && (only = m_ports.Choose(m_options.port)) == 0) {
        Say("--port: '" + m_options.port + "' is neither COM1..COM32 nor a device path");
        return kExitUsage;
    }
    const std::string named = only != 0 ? m_ports.NameOf(only) : "";
    if (m_options.format == Format::kXlsx) {
        // Before the scale is looked for: a file that cannot be written is said at once.
        std::string error;
        auto sheet = record::SheetWriter::Create(m_options.output, m_columns, &error);
        if (!sheet) {
            Say("--output: " + error);
            return kExitOutput;
        }
        m_sinks.Add(std::make_unique<record::SheetSink>(std::move(sheet), m_options.output, Say,
                                                        kExitOutput));
    }
    if (m_options.type.enabled) {
        // Before the scale is looked for: a back-end that cannot work is said at once.
        std::string error;
        auto typing =
            wedge::Wedge::Start(m_options.type, wedge::Session::FromProcess(), Say, &error);
        if (!typing) {
            Say(error);
            return kExitNoScale;
        }
        m_sinks.Add(std::make_unique<wedge::TypingSink>(
            std::move(typing), Say,
            std::chrono::duration_cast<std::chrono::milliseconds>(kTypingAtEnd)));
    }
    if (m_options.family.Enabled()) {
        if (const auto code = FindFamily(only, named))
            return code;
    } else if (m_options.raw) {
        if (m_link->OpenUnprobed(only) == 0) {
            Say(only != 0 ? "cannot open " + named + ": " + m_link->OpenFailure()
                          : "no serial port could be opened");
            if (only != 0)
                sayAdvice();
            return kExitNoScale;
        }
    } else if (m_link->Find(only) == 0) {
        if (only == 0) {
            Say("no scale answered on COM1 to COM32");
            for (const auto& [port, reason] : m_link->FindFailures().Reasons(m_ports))
                Say(record::PortName(port) + " could not be opened. " + reason);
            return kExitNoScale;
        }
        if (m_link->OpenUnprobed(only) == 0) {
            Say("cannot open " + named + ": " + m_link->OpenFailure());
            sayAdvice();
            return kExitNoScale;
        }
        Say(named + ": no answer to the probe; reading what it sends");
    }
    // Before the word that the reader runs: a signal sent on that word ends the run as it should.
    m_signals = std::make_unique<window::TerminationSignals>([this](int) { Finish(kExitDone); });
    const std::string host = QSysInfo::machineHostName().toStdString();
    if (m_family)
        Say("reading " + record::PortName(LinkPort()) + " (" + LinkDevice() + ")");
    else
        Say("reading " + m_link->Named());

    m_id = m_options.id.empty()
               ? (m_family ? mqtt::DefaultScaleId(std::string(), host, LinkPort())
                           : mqtt::DefaultScaleId(m_link->ByIdName(), host, m_link->Name()))
               : m_options.id;
    if (m_options.mqtt.Enabled()) {
        mqtt::MqttPublisher::Hooks hooks;
        hooks.say = Say;
        if (m_family) {
            // On the client's thread: the name is read there, the key is sent from here.
            hooks.keyName = [this](std::string_view text) {
                const auto key = scale::families::KeyOfLine(text);
                if (key)
                    m_fromBroker.Post([this, key] { SendFamilyKey(*key); });
                return key.has_value();
            };
            hooks.keyNames = scale::families::KeyNames();
        } else {
            hooks.key = [this](std::uint8_t key) {
                m_fromBroker.Post([this, key] { m_link->SendKey(key); });
            };
        }
        m_mqtt = std::make_unique<mqtt::MqttPublisher>(m_options.mqtt, m_id, std::move(hooks));
        std::string error;
        if (!m_mqtt->Start(&error)) {
            Say("mqtt: " + error);
            return kExitUsage;
        }
        m_sinks.Add(std::make_unique<mqtt::MqttSink>(
            *m_mqtt, std::chrono::duration_cast<std::chrono::milliseconds>(kDrainAtEnd),
            kExitNotAcknowledged));
    }
    if (m_options.http.Enabled()) {
        std::string token;
        if (m_options.http.keys) {
            const auto read = web::ReadToken(m_options.http.tokenFile);
            if (!read) {
                Say("--http-keys: " + read.Error().Describe());
                return kExitUsage;
            }
            token = *read;
        }
        web::HttpBridge::Hooks hooks;
        hooks.say = Say;
        hooks.key = [this](std::uint8_t key) {
            if (!m_family)
                m_link->SendKey(key);
            else if (const auto familyKey = scale::families::KeyOfPanelByte(key))
                SendFamilyKey(*familyKey);
        };
        m_web = std::make_unique<web::HttpBridge>(m_options.http, token, std::move(hooks));
        if (const posix::Status started = m_web->Start(); !started) {
            Say("--http: " + started.Error().Describe());
            return kExitUsage;
        }
        m_web->PortOpened(record::PortName(LinkPort()), LinkDevice());
        m_sinks.Add(std::make_unique<web::HttpSink>(*m_web));
    }
    if (m_options.keys) {
        m_keyInput = std::make_unique<QSocketNotifier>(0, QSocketNotifier::Read);
        connect(m_keyInput.get(), &QSocketNotifier::activated, this, [this] { OnKeyInput(); });
    }
    // Hex lines have no columns; a file appended to has its header already.
    const bool header = m_options.header == Header::kAlways ||
                        (m_options.header == Header::kAuto && !m_out.HoldsData());
    if (m_options.format == Format::kCsv && !m_options.raw && header &&
        !m_out.Write(record::CsvHeader(m_columns, m_options.dialect)))
        return kExitDone;
    // --quiet prints nothing: the readings go only where --type, --mqtt or the xlsx file take them.
    if (const auto form = LineFormOf(m_options.format); form && !m_options.quiet)
        m_sinks.Add(
            std::make_unique<record::OutputSink>(m_out, *form, m_columns, m_options.dialect));
    return std::nullopt;
}

std::optional<int> ReaderApp::FindFamily(unsigned only, const std::string& named) {
    scale_link::FamilyLink::Choice choice;
    if (m_options.family.protocol != "auto")
        choice.family = scale::families::Find(m_options.family.protocol);
    choice.pattern = m_options.family.pattern;
    choice.line = m_options.family.line;
    scale_link::FamilyLink::Events events;
    events.say = Say;
    events.reading = [this](const scale::families::Decoded& decoded) { OnFamilyReading(decoded); };
    events.portState = [this](const scale::PortState& state) { OnPortState(state); };
    m_family = std::make_unique<scale_link::FamilyLink>(m_ports, std::move(events), choice);
    if (m_family->Find(only) != 0)
        return std::nullopt;
    Say("no scale found on " + (only != 0 ? named : std::string("COM1 to COM32")));
    return kExitNoScale;
}

void ReaderApp::OnFamilyReading(const scale::families::Decoded& decoded) {
    if (m_finished)
        return;
    record::CapturedReading candidate;
    candidate.time = std::chrono::system_clock::now();
    candidate.port = m_family->Port();
    candidate.device = m_family->Device();
    candidate.reading = decoded.reading;
    candidate.protocol = m_family->FamilyFound()->name;
    candidate.familyBytes = decoded.bytes;
    if (candidate.protocol == "karvel" && decoded.bytes.size() == scale::kFrameSize) {
        std::copy(decoded.bytes.begin(), decoded.bytes.end(), candidate.bytes.begin());
        candidate.values = scale::SlotsOf(candidate.bytes);
    }
    if (auto reading = m_capturer.Offer(std::move(candidate)))
        Emit(*reading);
}

void ReaderApp::OnPortState(const scale::PortState& state) {
    m_capturer.Reset();
    m_sinks.PortLost(state.change == scale::PortState::Change::kLost);
    if (m_web && state.change == scale::PortState::Change::kOpened)
        m_web->PortOpened(record::PortName(state.port), state.device);
    else if (m_web)
        m_web->PortLost();
}

void ReaderApp::SendFamilyKey(scale::families::Key key) {
    if (!m_finished)
        m_family->SendKey(key);
}

int ReaderApp::LinkPort() const {
    return m_family ? m_family->Port() : m_link->Port();
}

std::string ReaderApp::LinkDevice() const {
    return m_family ? m_family->Device() : m_link->Device();
}

void ReaderApp::OnFrame(const scale::Frame& frame) {
    if (m_finished)
        return;
    if (m_options.bench.rules.countPieces)
        m_shown = scale::Read(frame.values);
    if (auto reading = m_capturer.Offer(frame, m_link->Port(), m_link->Device())) {
        reading->portName = m_link->Name();
        Emit(std::move(*reading));
    }
}

void ReaderApp::Emit(record::CapturedReading reading) {
    m_options.bench.rules.Apply(&reading);
    // A reader that publishes or serves goes on when nobody reads its output any more.
    if (!m_sinks.Hand(reading, m_id)) {
        Finish(kExitDone);
        return;
    }
    if (m_options.count != 0 && ++m_captured >= m_options.count)
        Finish(kExitDone);
}

void ReaderApp::OnByte(std::uint8_t byte, bool frameStart) {
    if (m_finished)
        return;
    const auto line = m_rawLines.Add(byte, frameStart, std::chrono::system_clock::now());
    if (!m_burstEnd.isActive())
        m_burstEnd.start(0);
    if ((line && !m_out.Write(*line)) || (m_options.count != 0 && ++m_captured >= m_options.count))
        Finish(kExitDone);
}

void ReaderApp::OnKeyInput() {
    std::array<char, 512> buffer{};
    ssize_t n = 0;
    do {
        n = ::read(0, buffer.data(), buffer.size());
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        m_keyInput->setEnabled(false);  // end of input: keys stop, readings go on
        return;
    }
    m_keyLine.append(buffer.data(), static_cast<std::size_t>(n));
    std::size_t end = 0;
    while ((end = m_keyLine.find('\n')) != std::string::npos) {
        const std::string line = m_keyLine.substr(0, end);
        m_keyLine.erase(0, end + 1);
        if (std::exchange(m_keyLineTooLong, false) || line.size() > kMaxKeyLine)
            Say("--keys: refused a line longer than " + std::to_string(kMaxKeyLine) +
                " bytes, all of it");
        else if (m_family) {
            if (const auto key = scale::families::KeyOfLine(line))
                SendFamilyKey(*key);
            else if (line.find_first_not_of(" \t\r") != std::string::npos)
                Say("--keys: ignored a line: not " + scale::families::KeyNames());
        } else if (const auto key = scale::KeyByte(line))
            m_link->SendKey(*key);
        else if (m_options.bench.rules.countPieces && line == "SAMPLE")
            TakeSample();
        else if (line.find_first_not_of(" \t\r") != std::string::npos)
            Say("--keys: ignored a line: not DATA, MODE, TARE or ON/OFF [double]");
    }
    // The rest of an over-long line is dropped as it comes, up to its end.
    if (m_keyLine.size() > kMaxKeyLine) {
        m_keyLine.clear();
        m_keyLineTooLong = true;
    }
}

void ReaderApp::TakeSample() {
    record::BenchRules& rules = m_options.bench.rules;
    std::string refusal;
    if (!m_shown || !m_shown->indicators.stable) {
        Say("SAMPLE: refused: the weight is not settled");
        return;
    }
    auto sample = record::TakeSample(*m_shown, rules.sampleSize, &refusal);
    if (!sample) {
        Say("SAMPLE: refused: " + refusal);
        return;
    }
    rules.sample = std::move(sample);
    Say("SAMPLE: " + std::to_string(rules.sampleSize) + " pieces weigh " + m_shown->text + " " +
        m_shown->unit + ": one piece " + record::UnitWeightText(*rules.sample) + " " +
        m_shown->unit +
        (rules.sample->light
             ? "; a light sample, under " + std::to_string(record::kLightSampleSteps) +
                   " display steps: counts may be off"
             : ""));
}

void ReaderApp::Finish(int code) {
    if (m_finished)
        return;
    m_finished = true;
    if (const auto line = m_rawLines.Flush())
        m_out.Write(*line);
    m_out.TellDropped();
    if (m_link)
        m_link->TellDroppedKeys();
    QCoreApplication::exit(m_sinks.Finish(code));
}

}  // namespace reader
