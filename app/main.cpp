#include <QDir>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

#include "CScalePanelApp.h"
#include "CommandLine.h"
#include "DemoScale.h"
#include "PortDescription.h"
#include "PortWatcher.h"
#include "platform/window/TerminationSignals.h"
#include "readings/ReadingsCompanion.h"
#include "record/Forms.h"

namespace {

void Print(std::FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
}

bool DisplayNamed() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
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

// The --log file, opened before any window shows; nullptr without --log or when it is refused
// (`refused` is then set and the reason said).
std::unique_ptr<record::LogFile> OpenLog(const RecordOptions& options, bool* refused) {
    *refused = false;
    if (options.logFile.isEmpty())
        return nullptr;
    std::string error;
    auto log = record::LogFile::Open(options.logFile.toLocal8Bit().toStdString(),
                                     record::CsvHeader(), &error);
    if (!log) {
        Print(stderr, QStringLiteral("Karvel --log: %1\n").arg(QString::fromLocal8Bit(error)));
        *refused = true;
        return nullptr;
    }
    // A file size limit then fails the write, which is kept and retried, instead of ending us.
    std::signal(SIGXFSZ, SIG_IGN);
    return log;
}

// Runs the panel (behind the simulated scale with --demo, on one port with --port) until it is
// closed or a termination signal asks it to end; `endedBy` is then that signal.
int RunPanel(int& argc, char** argv, const CommandLine& cmd, int& endedBy) {
    CScalePanelApp app(argc, argv);
    // Ctrl+C or a termination request ends every event loop, so the panel closes its port and
    // the demo removes its ports, as when the window is closed.
    const window::TerminationSignals termination([&endedBy](int signal) {
        if (endedBy == 0) {
            endedBy = signal;
            QCoreApplication::exit(128 + signal);
        }
    });
    bool refused = false;
    std::unique_ptr<record::LogFile> log = OpenLog(cmd.record, &refused);
    if (refused)
        return 2;
    std::optional<DemoScale> scale;
    if (cmd.demo) {
        scale.emplace();
        QString error;
        const QString simulator = QDir(QCoreApplication::applicationDirPath())
                                      .filePath(QStringLiteral("karvel-scalesim"));
        if (!scale->Start(simulator, &error)) {
            Print(stderr, QStringLiteral("Karvel --demo: %1\n").arg(error));
            return 1;
        }
    }
    app.SetStartPort(cmd.port);
    app.SetCompanion([&cmd, &log](CScalePanelDlg& panel) {
        return std::make_unique<ReadingsCompanion>(panel, cmd.record, std::move(log));
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

// Prints the ports, then again after each change, until a termination signal.
int FollowPorts(int& argc, char** argv) {
    QCoreApplication app(argc, argv);
    const window::TerminationSignals termination([](int) { QCoreApplication::exit(0); });
    PortWatcher watcher({});
    watcher.Start();
    if (!watcher.FollowsDevices())
        Print(stderr, QStringLiteral("Karvel: udev cannot be reached; devices that come and go "
                                     "are not seen.\n"));
    QStringList shown = ListPorts();
    PrintPorts(shown);
    QObject::connect(&watcher, &PortWatcher::portsChanged, [&shown] {
        QStringList now = ListPorts();
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
    const CommandLine cmd = ParseCommandLine(argc, argv);
    if (!cmd.error.isEmpty()) {
        Print(stderr, QStringLiteral("Karvel: %1\nTry 'Karvel --help'.\n").arg(cmd.error));
        return 2;
    }
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
            return FollowPorts(argc, argv);
        PrintPorts(ListPorts());
        return 0;
    }
    if (!DisplayNamed()) {
        Print(stderr, NoDisplayText(QStringLiteral("DISPLAY and WAYLAND_DISPLAY are not set")));
        return 1;
    }
    g_previousHandler = qInstallMessageHandler(MessageHandler);

    int endedBy = 0;
    const int exitCode = RunPanel(argc, argv, cmd, endedBy);
    // Everything is cleaned up by now (the demo's ports are gone); end as the signal would have.
    if (endedBy != 0)
        window::EndBySignal(endedBy);
    return exitCode;
}
