#include "read/ReaderApp.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSysInfo>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "link/FamilyLink.h"
#include "link/HidScale.h"
#include "link/OwnWire.h"
#include "link/Replay.h"
#include "link/ScaleLink.h"
#include "mqtt/MqttSink.h"
#include "mqtt/ScaleId.h"
#include "read/RecordTool.h"
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

ReaderApp::ReaderApp(ReadOptions options, std::string portFolder, hid::HidrawRoots hid)
    : m_options(std::move(options)),
      m_hid(std::move(hid)),
      m_ports(std::move(portFolder)),
      m_capturer(m_options.capture, m_options.minWeight),
      m_out(STDOUT_FILENO, Say),
      m_columns(m_options.bench.rules.Columns(m_options.columns)) {}

ReaderApp::~ReaderApp() {
    if (m_mqtt)
        m_mqtt->Stop(std::chrono::milliseconds(0));
    if (!m_options.tap.file.empty() || !m_options.tap.replay.empty())
        scale_link::UseWireOpener({});
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
    if (m_options.modbus || scale_link::NamesHidPort(m_options.port))
        return scale_link::MakeOwnWireSource(
            {m_options.port, m_options.modbus, {}, m_options.family.line}, m_ports, m_hid,
            std::move(events));
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
    if (const auto code = StartTap())
        return code;

    unsigned only = 0;
    const std::string& port = m_replayDevice.empty() ? m_options.port : m_replayDevice;
    if (!port.empty() && !m_options.modbus && !scale_link::NamesHidPort(port) &&
        (only = m_ports.Choose(port)) == 0) {
        Say("--port: '" + m_options.port + "' is neither COM1..COM32 nor a device path");
        return kExitUsage;
    }
    if (const auto code = StartRecord())
        return code;
    if (const auto code = StartSheetAndTyping())
        return code;
    if (const auto code = FindScale(only, !refused.empty()))
        return code;
    // Before the word that the reader runs: a signal sent on that word ends the run as it should.
    m_signals = std::make_unique<window::TerminationSignals>([this](int) { Finish(kExitDone); });
    const std::string host = QSysInfo::machineHostName().toStdString();
    Say("reading " + m_source->Named());

    m_id = m_options.id.empty()
               ? mqtt::DefaultScaleId(m_source->LastingName(), host, m_source->Name())
               : m_options.id;
    if (m_record && !BeginRecord())
        return kExitRecord;
    if (const auto code = StartBroker())
        return code;
    if (const auto code = StartWeb())
        return code;
    if (m_options.keys) {
        m_keyInput = std::make_unique<QSocketNotifier>(0, QSocketNotifier::Read);
        connect(m_keyInput.get(), &QSocketNotifier::activated, this, [this] { OnKeyInput(); });
    }
    return StartOutput();
}

std::optional<int> ReaderApp::StartTap() {
    const TapOptions& options = m_options.tap;
    std::shared_ptr<scale_link::TapFile> tap;
    if (!options.file.empty()) {
        auto opened = scale_link::TapFile::Open(options.file, Say);
        if (!opened) {
            Say("--tap: " + opened.Error().Describe());
            return kExitUsage;
        }
        tap = std::move(*opened);
    }
    std::shared_ptr<scale_link::Replay> replay;
    if (!options.replay.empty()) {
        auto bursts = scale_link::ReadTap(options.replay);
        if (!bursts) {
            Say("--replay: " + bursts.Error().Describe());
            return kExitUsage;
        }
        // Chosen by a path, as a device named on the command line is.
        m_replayDevice = std::filesystem::absolute(options.replay).lexically_normal().string();
        replay = std::make_shared<scale_link::Replay>(std::move(*bursts), options.speed, [this] {
            // After what the reading of the tap's last bytes still has to tell.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    QTimer::singleShot(0, this, [this] {
                        if (m_finished)
                            return;
                        Say("--replay: the tap ends here");
                        Finish(kExitDone);
                    });
                },
                Qt::QueuedConnection);
        });
    }
    if (tap || replay)
        scale_link::UseWireOpener(scale_link::TapAndReplay(tap, replay, m_replayDevice));
    return std::nullopt;
}

std::optional<int> ReaderApp::StartRecord() {
    if (!m_options.record.enabled)
        return std::nullopt;
    auto opened = OpenChosenRecord(m_options.record, true);
    if (!opened) {
        Say("--record: " + opened.Error().Describe());
        return kExitRecord;
    }
    if ((*opened)->Created())
        Say("--record: made the weighing record " + (*opened)->Where());
    auto sink = std::make_unique<record::store::RecordSink>(
        std::move(*opened),
        record::store::RecordSink::Identity{m_options.record.operatorName,
                                            m_options.record.software},
        Say, kExitRecord, kExitNotAcknowledged);
    m_record = sink.get();
    connect(&m_recordFlush, &QTimer::timeout, this, [this] { m_record->Flush(); });
    m_recordFlush.start(std::chrono::seconds(1));
    // First: no other sink sees a weighing before the record holds it.
    m_sinks.Add(std::move(sink));
    return std::nullopt;
}

bool ReaderApp::BeginRecord() {
    if (!m_record->Begin(m_id, "reading " + m_source->Named()))
        return false;
    const std::optional<record::CheckRule>& check = m_options.bench.rules.check;
    return !check || m_record->Note("check", record::RuleArgument(*check));
}

std::optional<int> ReaderApp::StartSheetAndTyping() {
    // Before the scale is looked for: a file that cannot be written, or a back-end that cannot
    // work, is said at once.
    if (m_options.format == Format::kXlsx) {
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
    return std::nullopt;
}

std::optional<int> ReaderApp::StartWeb() {
    if (!m_options.http.Enabled())
        return std::nullopt;
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
    hooks.key = [this](std::uint8_t byte) {
        if (const auto key = scale_link::KeyOfPanelByte(byte))
            SendKey(*key);
    };
    if (m_record)
        hooks.records = [this](const web::RecordsAsked& asked) {
            return RecordsPage(m_options.record, asked.scale.empty() ? m_id : asked.scale, asked);
        };
    m_web = std::make_unique<web::HttpBridge>(m_options.http, token, std::move(hooks));
    if (const posix::Status started = m_web->Start(); !started) {
        Say("--http: " + started.Error().Describe());
        return kExitUsage;
    }
    m_web->PortOpened(m_source->Name(), m_source->Device());
    m_sinks.Add(std::make_unique<web::HttpSink>(*m_web));
    return std::nullopt;
}

std::optional<int> ReaderApp::StartOutput() {
    // Hex lines have no columns; a file appended to has its header already.
    const bool header = m_options.header == Header::kAlways ||
                        (m_options.header == Header::kAuto && !m_out.HoldsData());
    std::string headerLine = record::CsvHeader(m_columns, m_options.dialect);
    if (m_record)
        record::AppendCell(&headerLine, "record", m_options.dialect);
    if (m_options.format == Format::kCsv && !m_options.raw && header && !m_out.Write(headerLine))
        return kExitDone;
    // --quiet prints nothing: the readings go only where --type, --mqtt or the xlsx file take them.
    if (const auto form = LineFormOf(m_options.format); form && !m_options.quiet)
        m_sinks.Add(
            std::make_unique<record::OutputSink>(m_out, *form, m_columns, m_options.dialect));
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
    m_sinks.Add(std::make_unique<mqtt::MqttSink>(
        *m_mqtt, std::chrono::duration_cast<std::chrono::milliseconds>(kDrainAtEnd),
        kExitNotAcknowledged));
    return std::nullopt;
}

void ReaderApp::OnPortState(const scale::PortState& state) {
    m_capturer.Reset();
    m_sinks.PortLost(state.change == scale::PortState::Change::kLost);
    if (m_web && state.change == scale::PortState::Change::kOpened)
        m_web->PortOpened(state.name, state.device);
    else if (m_web)
        m_web->PortLost();
}

void ReaderApp::SendKey(scale_link::KeyPress key) {
    if (m_finished)
        return;
    if (!m_replayDevice.empty()) {
        Say(std::string(scale::families::KeyName(key.key)) + ": not sent: a replay has no scale");
        return;
    }
    if (m_record)
        m_record->Note(
            "key", std::string(scale::families::KeyName(key.key)) + (key.twice ? " double" : ""));
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
    record::WeighingRules& rules = m_options.bench.rules;
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
    if (m_record)
        m_record->Note("sample", std::to_string(rules.sampleSize) + " pieces weigh " +
                                     m_shown->text + " " + m_shown->unit);
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
    QCoreApplication::exit(m_sinks.Finish(code));
}

}  // namespace reader
