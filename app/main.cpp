#include <QDir>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "app/BrokerTrouble.h"
#include "app/CScalePanelApp.h"
#include "app/CommandLine.h"
#include "app/DemoFolder.h"
#include "app/DemoScale.h"
#include "app/PortDescription.h"
#include "app/readings/PanelCapture.h"
#include "app/readings/PanelRecord.h"
#include "app/readings/ReadingsCompanion.h"
#include "app/readings/Recorder.h"
#include "app/typing/TypingCompanion.h"
#include "app/weighing/WeighingCompanion.h"
#include "link/HidSource.h"
#include "link/OwnWire.h"
#include "link/PortWatcher.h"
#include "mqtt/MqttMirror.h"
#include "mqtt/Secrets.h"
#include "platform/component/EnvironmentInUse.h"
#include "platform/posix/Environment.h"
#include "platform/window/TerminationSignals.h"
#include "record/Forms.h"
#include "record/LogFile.h"
#include "record/OutputSink.h"
#include "record/Ticket.h"
#include "record/store/OpenRecord.h"
#include "scale/families/Family.h"

namespace {

void Print(std::FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
}

// The exit statuses of the weighing record, as karvel-read's: it cannot be opened; weighings
// still wait for its database at the end.
constexpr int kExitRecord = 6;
constexpr int kExitWaiting = 3;

void SayOnError(const std::string& message) {
    Print(stderr, QStringLiteral("Karvel: %1\n").arg(QString::fromStdString(message)));
}

int UsageError(const QString& error) {
    Print(stderr, QStringLiteral("Karvel: %1\nTry 'Karvel --help'.\n").arg(error));
    return 2;
}

bool DisplayNamed(const posix::Environment& environment) {
    return !environment.qtPlatform.empty() || !environment.display.empty() ||
           !environment.waylandDisplay.empty();
}

QtMessageHandler g_previousHandler = nullptr;

// Qt ends the program when its display cannot be reached; say how to run without one first.
void MessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg && message.contains(QLatin1String("platform plugin")))
        Print(stderr, NoDisplayText(QStringLiteral("the display named by DISPLAY or "
                                                   "WAYLAND_DISPLAY cannot be reached")));
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

// A port folder that others could change names no port: say so at once, not only when a port
// fails to open.
void WarnAboutFolder(const serial_port::PortMap& ports) {
    if (const QString refused = FolderRefusalText(ports); !refused.isEmpty())
        Print(stderr, QStringLiteral("Karvel: %1\n").arg(refused));
}

// The --log file, opened before any window shows; nullptr without --log or when it is refused
// (`refused` is then set and the reason said). `recorded`: its rows end with the record's seq.
std::unique_ptr<record::LogFile> OpenLog(const RecordOptions& options,
                                         const record::CsvColumns& columns, bool recorded,
                                         bool* refused) {
    *refused = false;
    if (options.logFile.isEmpty())
        return nullptr;
    std::string error;
    const std::string path = options.logFile.toLocal8Bit().toStdString();
    // Rows of two forms in one file would be misread: a log goes on in the form it was begun in.
    if (const auto begun = record::DialectOfHeader(record::FirstLine(path));
        begun && *begun != options.dialect) {
        Print(stderr, QStringLiteral("Karvel --log: %1 was begun with %2 (%3); give the same "
                                     "--csv-decimal or another file\n")
                          .arg(options.logFile,
                               begun->decimal == ','
                                   ? QStringLiteral("decimal commas and ';' between the fields")
                                   : QStringLiteral("decimal points and ',' between the fields"),
                               begun->decimal == ',' ? QStringLiteral("--csv-decimal ,")
                                                     : QStringLiteral("the default form")));
        *refused = true;
        return nullptr;
    }
    std::string header = record::CsvHeader(columns, options.dialect);
    if (recorded)
        record::AppendCell(&header, "record", options.dialect);
    // The bench's columns and the record's go only into a log begun with them.
    if (const std::string first = record::FirstLine(path);
        (recorded || columns != record::DefaultCsvColumns()) && !first.empty() &&
        first + "\r\n" != header) {
        Print(stderr, QStringLiteral("Karvel --log: %1 was begun with other columns than --check, "
                                     "--count-pieces or --record write; give another file\n")
                          .arg(options.logFile));
        *refused = true;
        return nullptr;
    }
    auto log = record::LogFile::Open(path, header, &error);
    if (!log) {
        Print(stderr, QStringLiteral("Karvel --log: %1\n").arg(QString::fromLocal8Bit(error)));
        *refused = true;
        return nullptr;
    }
    // A file size limit then fails the write, which is kept and retried, instead of ending us.
    std::signal(SIGXFSZ, SIG_IGN);
    return log;
}

// With a check's target the demo scale is a packing line of items near it.
QStringList DemoItems(const record::WeighingOptions& bench) {
    const auto& check = bench.rules.check;
    const auto grams = check && check->target ? record::GramsPer(check->unit) : std::nullopt;
    const auto target = grams ? record::Multiply(*check->target, *grams) : std::nullopt;
    const auto whole = target ? record::DecimalText(*target, 0) : std::nullopt;
    if (!whole || *whole == "0")
        return {};
    return {QStringLiteral("--items"), QString::fromStdString(*whole) + QStringLiteral("g")};
}

// Runs the panel (behind the simulated scale with --demo, on one port with --port) until it is
// closed or a termination signal asks it to end; `endedBy` is then that signal.
// The lasting by-id name of COM`port`'s device, empty when it has none.
std::string ByIdName(const serial_port::PortMap& ports, int port) {
    for (const serial_port::PortInfo& info : ports.List()) {
        if (static_cast<int>(info.number) == port)
            return info.byId;
    }
    return {};
}

// The simulator's options for the family the demo's scale speaks; auto finds its own.
QStringList DemoFamily(const scale::families::FamilyOptions& family) {
    QStringList arguments;
    if (!family.Enabled() || family.protocol == "auto")
        return arguments;
    arguments << QStringLiteral("--protocol") << QString::fromStdString(family.protocol);
    if (family.line)
        arguments << QStringLiteral("--line")
                  << QStringLiteral("%1,%2%3%4")
                         .arg(family.line->baud)
                         .arg(family.line->dataBits)
                         .arg(QLatin1Char(family.line->parity))
                         .arg(family.line->stopBits);
    return arguments;
}

// --record: the record, opened, as the panel's first sink; it follows the panel's port.
// `status` is set to the exit status it leaves when it ends.
std::unique_ptr<PanelRecord> MakeRecord(CScalePanelDlg& panel, const CommandLine& cmd,
                                        std::unique_ptr<record::store::WeighingRecord> kept,
                                        const record::store::RecordOptions& options,
                                        std::shared_ptr<record::WeighingRules> rules, int& status) {
    PanelRecord::Setup setup;
    setup.identity = {options.operatorName, options.software};
    setup.scaleId = [&panel, id = cmd.id](int port) { return PanelScaleId(panel, id, port); };
    setup.openToRead = [options] {
        return record::store::OpenChosenRecord(options, false, mqtt::ReadPassword, SayOnError);
    };
    setup.rules = std::move(rules);
    setup.waitingCode = kExitWaiting;
    setup.ended = [&status](int ended) { status = ended; };
    return std::make_unique<PanelRecord>(panel, std::move(kept), std::move(setup));
}

// What the panel has beyond the described dialog: the weighing rules, the readings window, the
// log and typing, all owned by the readings companion so that all go before the panel does. The
// panel's one capture point is attached first (after the record, which must know the scale
// before the capture point hands it a weighing); each capture goes to the record, the broker
// (`published`: the mirror that follows the record, or null), the check and the ticket, the log
// and typing, in that order.
std::unique_ptr<QObject> MakeCompanions(CScalePanelDlg& panel, const CommandLine& cmd,
                                        std::unique_ptr<record::LogFile> log,
                                        std::unique_ptr<PanelRecord> kept,
                                        record::ReadingSink* published,
                                        const posix::Environment& environment,
                                        std::shared_ptr<record::WeighingRules> rules) {
    auto capture =
        std::make_unique<PanelCapture>(panel, cmd.record.Rule(), cmd.record.minWeight, rules);
    Recorder& captures = capture->Get();
    if (kept)
        captures.AddSink(std::make_unique<record::LentSink>(*kept));
    if (kept && published)
        captures.AddSink(std::make_unique<record::LentSink>(*published));
    WeighingCompanion::Setup bench;
    bench.options = cmd.bench;
    bench.stateFolder = record::StateFolder(environment.stateHome, environment.home);
    bench.scaleId = cmd.id;
    bench.rules = rules;
    bench.capture = &captures;
    auto benchCompanion = std::make_unique<WeighingCompanion>(panel, std::move(bench));
    if (kept)
        QObject::connect(benchCompanion.get(), &WeighingCompanion::noted, kept.get(),
                         [record = kept.get()](const std::string& kind, const std::string& detail) {
                             record->Note(kind, detail);
                         });
    auto readings = std::make_unique<ReadingsCompanion>(panel, cmd.record, nullptr, rules);
    readings->TakeCapture(std::move(capture));
    if (kept)
        readings->KeepRecord(std::move(kept));
    readings->SetWindowSection(
        [bench = benchCompanion.get()] { return bench->MakeCheckSection(); });
    benchCompanion.release()->setParent(readings.get());  // destroyed with it
    if (log)
        readings->StartLog(std::move(log));
    new TypingCompanion(panel, cmd.type, captures, readings.get());
    return readings;
}

// --mqtt: the panel's mirror in `mqtt`; with the record (`followsRecord`) it publishes what the
// record kept instead of capturing on its own.
void StartMirror(std::optional<mqtt::MqttMirror>& mqtt, const CommandLine& cmd,
                 const std::shared_ptr<serial_port::PortMap>& ports, BrokerTrouble& brokerTrouble,
                 std::shared_ptr<record::WeighingRules> rules, bool followsRecord) {
    mqtt.emplace(
        // A name the user gave is a valid id, which the mirror takes as it is.
        cmd.mqtt,
        [ports, id = cmd.id](int port) { return id.empty() ? ByIdName(*ports, port) : id; },
        [&brokerTrouble](const std::string& message) {
            SayOnError(message);
            brokerTrouble.Say(message);
        },
        [&brokerTrouble](const std::string& trouble) { brokerTrouble.Tell(trouble); });
    mqtt->SetWeighingRules(std::move(rules));
    if (followsRecord)
        mqtt->FollowRecord();
}

// --record: the record of the options, settled and opened before any window shows; null without
// --record or when it cannot be opened (`refused` is then set and the reason said).
std::unique_ptr<record::store::WeighingRecord> OpenWeighingRecord(
    record::store::RecordOptions& options, const posix::Environment& environment, bool* refused) {
    *refused = false;
    if (!options.enabled)
        return nullptr;
    record::store::SettleRecordOptions(options, SoftwareText(), environment.stateHome,
                                       environment.home, environment.credentials);
    auto opened = record::store::OpenChosenRecord(options, true, mqtt::ReadPassword, SayOnError);
    if (!opened) {
        SayOnError("--record: " + opened.Error().Describe());
        *refused = true;
        return nullptr;
    }
    return std::move(*opened);
}

// `recordStatus`: the exit status the weighing record leaves, 0 when it leaves none.
int RunPanel(int& argc, char** argv, const posix::Environment& environment, int& endedBy,
             int& recordStatus) {
    const std::string& portFolder = environment.portFolder;
    CScalePanelApp app(argc, argv);
    // Qt has taken its options; what is left is ours.
    const CommandLine cmd = ParseCommandLine(QCoreApplication::arguments());
    if (!cmd.error.isEmpty())
        return UsageError(cmd.error);
    // Ctrl+C or a termination request ends every event loop, so the panel closes its port and
    // the demo removes its ports, as when the window is closed.
    const window::TerminationSignals termination([&endedBy](int signal) {
        if (endedBy == 0) {
            endedBy = signal;
            QCoreApplication::exit(128 + signal);
        }
    });
    bool refused = false;
    std::unique_ptr<record::LogFile> log =
        OpenLog(cmd.record, cmd.bench.rules.Columns(record::DefaultCsvColumns()),
                cmd.weighingRecord.enabled, &refused);
    if (refused)
        return 2;
    record::store::RecordOptions recordOptions = cmd.weighingRecord;
    std::unique_ptr<record::store::WeighingRecord> kept =
        OpenWeighingRecord(recordOptions, environment, &refused);
    if (refused)
        return kExitRecord;
    std::optional<DemoScale> scale;
    if (cmd.demo) {
        scale.emplace(DemoParent(environment));
        QString error;
        const QString simulator = QDir(QCoreApplication::applicationDirPath())
                                      .filePath(QStringLiteral("karvel-scalesim"));
        if (!scale->Start(simulator, &error, DemoFamily(cmd.family) + DemoItems(cmd.bench))) {
            Print(stderr, QStringLiteral("Karvel --demo: %1\n").arg(error));
            return 1;
        }
    }
    // The demo's folder stands for the machine's ports.
    const auto ports = std::make_shared<serial_port::PortMap>(
        scale ? QFile::encodeName(scale->PortDir()).toStdString() : portFolder);
    WarnAboutFolder(*ports);
    app.SetPortMap(ports);
    // Before the mirror, so that its network thread has stopped before this goes.
    BrokerTrouble brokerTrouble;
    // The bench's rules, shared by everything that captures.
    const auto benchRules = std::make_shared<record::WeighingRules>(cmd.bench.rules);
    std::optional<mqtt::MqttMirror> mqtt;
    if (cmd.mqtt.Enabled())
        StartMirror(mqtt, cmd, ports, brokerTrouble, benchRules, kept != nullptr);
    if (mqtt)
        app.AddObserver(&*mqtt);
    app.SetStartPort(cmd.port);
    if (auto choice = PanelFamily(cmd))
        app.SetFamily(std::move(*choice));
    if (auto wire = PanelOwnWire(cmd))
        app.SetOwnWire(std::move(*wire));
    app.SetHidRoots(scale_link::HidRootsOf(environment));
    app.SetCompanion([&cmd, &log, &kept, &recordOptions, &environment, &brokerTrouble, &mqtt,
                      &recordStatus, benchRules](CScalePanelDlg& panel) {
        if (cmd.mqtt.Enabled())
            brokerTrouble.ShowOn(panel.StatusLine(), panel.Lamp());
        // Before the capture point: the record knows the scale before a weighing comes.
        std::unique_ptr<PanelRecord> record =
            kept ? MakeRecord(panel, cmd, std::move(kept), recordOptions, benchRules, recordStatus)
                 : nullptr;
        return MakeCompanions(panel, cmd, std::move(log), std::move(record),
                              mqtt ? &*mqtt : nullptr, environment, benchRules);
    });
    app.InitInstance();
    return app.ExitCode();
}

void PrintPorts(const QStringList& ports) {
    if (ports.isEmpty())
        Print(stdout, QStringLiteral("No serial ports.\n"));
    for (const QString& line : ports)
        Print(stdout, line + QLatin1Char('\n'));
    std::fflush(stdout);
}

// As karvel-read lists them: one line per raw HID device that is a scale.
void PrintHidScales(const hid::HidrawRoots& roots) {
    for (const std::string& scale : scale_link::HidScaleLines(roots))
        Print(stdout, QString::fromLocal8Bit(scale.c_str()) + QLatin1Char('\n'));
    std::fflush(stdout);
}

// Prints the ports, then again after each change, until a termination signal.
int FollowPorts(int& argc, char** argv, const std::string& portFolder) {
    QCoreApplication app(argc, argv);
    const window::TerminationSignals termination([](int) { QCoreApplication::exit(0); });
    serial_port::PortMap ports(portFolder);
    WarnAboutFolder(ports);
    scale_link::PortWatcher watcher(ports, {});
    watcher.Start();
    if (!watcher.FollowsDevices())
        Print(stderr, QStringLiteral("Karvel: udev cannot be reached; devices that come and go "
                                     "are not seen.\n"));
    QStringList shown = ListPorts(ports);
    PrintPorts(shown);
    QObject::connect(&watcher, &scale_link::PortWatcher::portsChanged, [&shown, &ports] {
        QStringList now = ListPorts(ports);
        if (now == shown)
            return;
        shown = std::move(now);
        Print(stdout, QStringLiteral("\n"));
        PrintPorts(shown);
    });
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    // Read once; the component layer and the port map are handed what they need of it.
    const posix::Environment environment = posix::Environment::FromProcess();
    component::UseEnvironment(environment);
    const std::string& portFolder = environment.portFolder;
    // Read once before any application object, so that what needs no display (help, version,
    // the port list, a bad argument) is answered without one.
    const CommandLine cmd = ParseCommandLine(ArgumentsOf(argc, argv));
    if (!cmd.error.isEmpty())
        return UsageError(cmd.error);
    if (cmd.help) {
        Print(stdout, UsageText());
        return 0;
    }
    if (cmd.version) {
        Print(stdout, VersionText());
        return 0;
    }
    if (cmd.listPorts) {
        if (cmd.follow)
            return FollowPorts(argc, argv, portFolder);
        const serial_port::PortMap ports(portFolder);
        WarnAboutFolder(ports);
        PrintPorts(ListPorts(ports));
        PrintHidScales(scale_link::HidRootsOf(environment));
        return 0;
    }
    if (!cmd.platformNamed && !DisplayNamed(environment)) {
        Print(stderr, NoDisplayText(QStringLiteral("DISPLAY and WAYLAND_DISPLAY are not set")));
        return 1;
    }
    g_previousHandler = qInstallMessageHandler(MessageHandler);

    int endedBy = 0;
    int recordStatus = 0;
    const int exitCode = RunPanel(argc, argv, environment, endedBy, recordStatus);
    // Weighings left for the database are told by the status, however the panel was ended.
    if (exitCode == 0 && recordStatus != 0)
        return recordStatus;
    // Everything is cleaned up by now (the demo's ports are gone); end as the signal would have.
    if (endedBy != 0)
        window::EndBySignal(endedBy);
    return exitCode;
}
