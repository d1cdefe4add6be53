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

#include "link/FamilyLink.h"
#include "link/ScaleLink.h"
#include "mqtt/ScaleId.h"
#include "record/Escape.h"
#include "record/Forms.h"
#include "web/Token.h"

namespace reader {
namespace {

// No key line is longer; a longer one is refused whole, not read from its end.
constexpr std::size_t kMaxKeyLine = 512;
// Time for queued readings to reach the broker at the end.
constexpr auto kDrainAtEnd = std::chrono::seconds(5);
// Time for readings still being typed at the end.
constexpr auto kTypingAtEnd = std::chrono::seconds(10);

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

std::unique_ptr<scale_link::Source> ReaderApp::MakeSource() {
    scale_link::SourceEvents events;
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
        events.reading = [this](const scale::Frame& frame) { OnReading(frame); };
    events.portState = [this](const scale::PortState& state) { OnPortState(state); };
    if (!m_options.family.Enabled())
        return std::make_unique<scale_link::ScaleLink>(m_ports, std::move(events), "karvel-read");
    scale_link::FamilyLink::Choice choice;
    if (m_options.family.protocol != "auto")
        choice.family = scale::families::Find(m_options.family.protocol);
    choice.pattern = m_options.family.pattern;
    choice.line = m_options.family.line;
    // A family's link follows the ports with a watcher of its own.
    return std::make_unique<scale_link::FamilyLink>(m_ports, std::move(events), choice, nullptr,
                                                    "karvel-read");
}

std::optional<int> ReaderApp::FindScale(unsigned only, bool folderRefused) {
    const posix::Result<int> found = m_options.raw ? m_source->Open(only) : m_source->Find(only);
    if (found)
        return std::nullopt;
    Say(found.Error().text);
    if (!found.Error().detail.empty() && !folderRefused)
        Say(found.Error().detail);
    for (const std::string& line : m_source->Unopened())
        Say(line);
    return kExitNoScale;
}

std::optional<int> ReaderApp::Start() {
    // Said at once, as the panel does: a port folder that others could change names no port.
    const std::string refused = scale_link::FolderRefusalText(m_ports);
    if (!refused.empty())
        Say(refused);
    m_source = MakeSource();

    unsigned only = 0;
    if (!m_options.port.empty() && (only = m_ports.Choose(m_options.port)) == 0) {
        Say("--port: '" + m_options.port + "' is neither COM1..COM32 nor a device path");
        return kExitUsage;
    }
    if (m_options.format == Format::kXlsx) {
        // Before the scale is looked for: a file that cannot be written is said at once.
        std::string error;
        m_sheet = record::SheetWriter::Create(m_options.output, m_columns, &error);
        if (!m_sheet) {
            Say("--output: " + error);
            return kExitOutput;
        }
    }
    if (m_options.type.enabled) {
        // Before the scale is looked for: a back-end that cannot work is said at once.
        std::string error;
        m_wedge = wedge::Wedge::Start(m_options.type, wedge::Session::FromProcess(), Say, &error);
        if (!m_wedge) {
            Say(error);
            return kExitNoScale;
        }
    }
    if (const auto code = FindScale(only, !refused.empty()))
        return code;
    // Before the word that the reader runs: a signal sent on that word ends the run as it should.
    m_signals = std::make_unique<window::TerminationSignals>([this](int) { Finish(kExitDone); });
    const std::string host = QSysInfo::machineHostName().toStdString();
    Say("reading " + m_source->Named());

    m_id = m_options.id.empty()
               ? mqtt::DefaultScaleId(m_source->LastingName(), host, m_source->Name())
               : m_options.id;
    if (const auto code = StartBroker())
        return code;
    if (m_options.http.Enabled()) {
        std::string error, token;
        if (m_options.http.keys) {
            const auto read = web::ReadToken(m_options.http.tokenFile, &error);
            if (!read) {
                Say("--http-keys: " + error);
                return kExitUsage;
            }
            token = *read;
        }
        web::HttpBridge::Hooks hooks;
        hooks.say = Say;
        hooks.key = [this](std::uint8_t byte) {
            if (const auto key = scale_link::KeyOfPanelByte(byte))
                SendKey(*key);
        };
        m_web = std::make_unique<web::HttpBridge>(m_options.http, token, std::move(hooks));
        if (!m_web->Start(&error)) {
            Say("--http: " + error);
            return kExitUsage;
        }
        m_web->PortOpened(m_source->Name(), m_source->Device());
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
    return std::nullopt;
}

std::optional<int> ReaderApp::StartBroker() {
    if (!m_options.mqtt.Enabled())
        return std::nullopt;
    mqtt::MqttPublisher::Hooks hooks;
    hooks.say = Say;
    // On the client's thread: the name is read there, the key is sent from here.
    hooks.keyName = [this](std::string_view text) {
        const auto key = m_source->KeyNamed(text);
        if (key)
            m_fromBroker.Post([this, key] { SendKey(*key); });
        return key.has_value();
    };
    hooks.keyNames = m_source->KeyNames();
    m_mqtt = std::make_unique<mqtt::MqttPublisher>(m_options.mqtt, m_id, std::move(hooks));
    std::string error;
    if (!m_mqtt->Start(&error)) {
        Say("mqtt: " + error);
        return kExitUsage;
    }
    return std::nullopt;
}

void ReaderApp::OnPortState(const scale::PortState& state) {
    m_capturer.Reset();
    m_portLost = state.change == scale::PortState::Change::kLost;
    if (m_portLost && m_wedge)
        m_wedge->DropPending();
    if (m_web && state.change == scale::PortState::Change::kOpened)
        m_web->PortOpened(state.name, state.device);
    else if (m_web)
        m_web->PortLost();
}

void ReaderApp::SendKey(scale_link::KeyPress key) {
    if (!m_finished)
        m_source->SendKey(key);
}

void ReaderApp::OnReading(const scale::Frame& frame) {
    if (m_finished)
        return;
    if (m_options.bench.rules.countPieces)
        m_shown = frame.familyReading ? *frame.familyReading : scale::Read(frame.values);
    if (auto reading = m_capturer.Offer(frame, m_source->Port(), m_source->Device())) {
        reading->portName = m_source->Name();
        Emit(std::move(*reading));
    }
}

void ReaderApp::Emit(record::CapturedReading reading) {
    m_options.bench.rules.Apply(&reading);
    if (m_wedge && !m_portLost)
        m_wedge->Offer(reading);
    std::string json;
    if (m_mqtt || m_web || m_options.format == Format::kJsonLines)
        json = record::JsonObject(reading, m_id);
    bool written = true;
    // --quiet prints nothing: the readings go only where --type, --mqtt or the xlsx file take them.
    switch (m_options.quiet ? Format::kXlsx : m_options.format) {
        case Format::kJsonLines:
            written = m_out.Write(json + "\n");
            break;
        case Format::kCsv:
            written = m_out.Write(record::CsvRecord(reading, m_columns, m_id, m_options.dialect));
            break;
        case Format::kText:
            written = m_out.Write(record::TextLine(reading) + "\n");
            break;
        case Format::kXlsx:
            if (m_sheet)
                m_sheet->Add(reading, m_id);
            break;
    }
    if (m_web)
        m_web->Reading(json);
    if (m_mqtt)
        m_mqtt->Publish(std::move(json), reading.reading.unit);
    // A reader that publishes or serves goes on when nobody reads its output any more.
    if (!written && !m_mqtt && !m_web) {
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
        else if (const auto key = m_source->KeyNamed(line))
            SendKey(*key);
        else if (m_options.bench.rules.countPieces && line == "SAMPLE")
            TakeSample();
        else if (line.find_first_not_of(" \t\r") != std::string::npos)
            Say("--keys: ignored a line: not " + m_source->KeyNames());
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
    if (m_source)
        m_source->TellDropped();
    if (m_sheet) {
        std::string error;
        const std::uint64_t rows = m_sheet->Rows();
        if (m_sheet->Finish(&error)) {
            Say("wrote " + std::to_string(rows) + (rows == 1 ? " reading to " : " readings to ") +
                m_options.output);
        } else {
            Say("--output: " + error);
            code = kExitOutput;
        }
        m_sheet.reset();
    }
    if (m_wedge &&
        !m_wedge->WaitIdle(std::chrono::duration_cast<std::chrono::milliseconds>(kTypingAtEnd)))
        Say("not typed: readings still waiting at the end");
    m_wedge.reset();
    const std::size_t lost = m_mqtt ? m_mqtt->Stop(kDrainAtEnd) : 0;
    // A run that lost what it was to deliver is no success, however it ended.
    QCoreApplication::exit(code == kExitDone && lost > 0 ? kExitNotAcknowledged : code);
}

}  // namespace reader
