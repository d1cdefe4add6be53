#include "read/ReaderApp.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSysInfo>

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "mqtt/KeyNames.h"
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
      m_out(STDOUT_FILENO, Say) {}

ReaderApp::~ReaderApp() {
    if (m_mqtt)
        m_mqtt->Stop(std::chrono::milliseconds(0));
}

std::optional<int> ReaderApp::Start() {
    // Said at once, as the panel does: a port folder that others could change names no port.
    const std::string refused = scale_link::FolderRefusalText(m_ports);
    if (!refused.empty())
        Say(refused);
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
    events.portState = [this](const scale::PortState& state) {
        m_capturer.Reset();
        if (m_web && state.change == scale::PortState::Change::kOpened)
            m_web->PortOpened(record::PortName(state.port), state.device);
        else if (m_web)
            m_web->PortLost();
    };
    m_link = std::make_unique<scale_link::ScaleLink>(m_ports, std::move(events), "karvel-read");
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
    const std::string named = only != 0 ? record::PortName(static_cast<int>(only)) : "";
    if (m_options.format == Format::kXlsx) {
        // Before the scale is looked for: a file that cannot be written is said at once.
        std::string error;
        m_sheet = record::SheetWriter::Create(m_options.output, m_options.columns, &error);
        if (!m_sheet) {
            Say("--output: " + error);
            return kExitOutput;
        }
    }
    if (m_options.raw) {
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
    Say("reading " + record::PortName(m_link->Port()) + " (" + m_link->Device() + ")");

    m_id = m_options.id.empty()
               ? mqtt::DefaultScaleId(m_link->ByIdName(), QSysInfo::machineHostName().toStdString(),
                                      m_link->Port())
               : m_options.id;
    if (m_options.mqtt.Enabled()) {
        mqtt::MqttPublisher::Hooks hooks;
        hooks.say = Say;
        hooks.key = [this](std::uint8_t key) {
            QMetaObject::invokeMethod(
                this, [this, key] { m_link->SendKey(key); }, Qt::QueuedConnection);
        };
        m_mqtt = std::make_unique<mqtt::MqttPublisher>(m_options.mqtt, m_id, std::move(hooks));
        std::string error;
        if (!m_mqtt->Start(&error)) {
            Say("mqtt: " + error);
            return kExitUsage;
        }
    }
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
        hooks.key = [this](std::uint8_t key) { m_link->SendKey(key); };
        m_web = std::make_unique<web::HttpBridge>(m_options.http, token, std::move(hooks));
        if (!m_web->Start(&error)) {
            Say("--http: " + error);
            return kExitUsage;
        }
        m_web->PortOpened(record::PortName(m_link->Port()), m_link->Device());
    }
    if (m_options.keys) {
        m_keyInput = std::make_unique<QSocketNotifier>(0, QSocketNotifier::Read);
        connect(m_keyInput.get(), &QSocketNotifier::activated, this, [this] { OnKeyInput(); });
    }
    // Hex lines have no columns; a file appended to has its header already.
    const bool header = m_options.header == Header::kAlways ||
                        (m_options.header == Header::kAuto && !m_out.HoldsData());
    if (m_options.format == Format::kCsv && !m_options.raw && header &&
        !m_out.Write(record::CsvHeader(m_options.columns, m_options.dialect)))
        return kExitDone;
    return std::nullopt;
}

void ReaderApp::OnFrame(const scale::Frame& frame) {
    if (m_finished)
        return;
    if (auto reading = m_capturer.Offer(frame, m_link->Port(), m_link->Device()))
        Emit(*reading);
}

void ReaderApp::Emit(const record::CapturedReading& reading) {
    std::string json;
    if (m_mqtt || m_web || m_options.format == Format::kJsonLines)
        json = record::JsonObject(reading, m_id);
    bool written = true;
    switch (m_options.format) {
        case Format::kJsonLines:
            written = m_out.Write(json + "\n");
            break;
        case Format::kCsv:
            written =
                m_out.Write(record::CsvRecord(reading, m_options.columns, m_id, m_options.dialect));
            break;
        case Format::kText:
            written = m_out.Write(record::TextLine(reading) + "\n");
            break;
        case Format::kXlsx:
            m_sheet->Add(reading, m_id);
            break;
    }
    if (m_web)
        m_web->Reading(json);
    if (m_mqtt)
        m_mqtt->Publish(std::move(json));
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
        else if (const auto key = mqtt::KeyByte(line))
            m_link->SendKey(*key);
        else if (line.find_first_not_of(" \t\r") != std::string::npos)
            Say("--keys: ignored a line: not DATA, MODE, TARE or ON/OFF [double]");
    }
    // The rest of an over-long line is dropped as it comes, up to its end.
    if (m_keyLine.size() > kMaxKeyLine) {
        m_keyLine.clear();
        m_keyLineTooLong = true;
    }
}

void ReaderApp::Finish(int code) {
    if (m_finished)
        return;
    m_finished = true;
    if (const auto line = m_rawLines.Flush())
        m_out.Write(*line);
    m_out.TellDropped();
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
    const std::size_t lost = m_mqtt ? m_mqtt->Stop(kDrainAtEnd) : 0;
    // A run that lost what it was to deliver is no success, however it ended.
    QCoreApplication::exit(code == kExitDone && lost > 0 ? kExitNotAcknowledged : code);
}

}  // namespace reader
