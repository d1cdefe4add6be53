#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "CScalePanelApp.h"
#include "CommandLine.h"
#include "DemoScale.h"
#include "PortDescription.h"
#include "PortWatcher.h"
#include "platform/window/TerminationSignals.h"

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

// The port folder, read once at start; every part of the program is handed the map built on it.
std::string PortFolder() {
    const char* folder = std::getenv("KARVEL_PORT_DIR");
    return folder ? folder : "";
}

// Runs the panel (behind the simulated scale with --demo, on one port with --port) until it is
// closed or a termination signal asks it to end; `endedBy` is then that signal.
int RunPanel(int& argc, char** argv, const CommandLine& cmd, const std::string& portFolder,
             int& endedBy) {
    CScalePanelApp app(argc, argv);
    // Ctrl+C or a termination request ends every event loop, so the panel closes its port and
    // the demo removes its ports, as when the window is closed.
    const window::TerminationSignals termination([&endedBy](int signal) {
        if (endedBy == 0) {
            endedBy = signal;
            QCoreApplication::exit(128 + signal);
        }
    });
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
    // The demo's folder stands for the machine's ports.
    app.SetPortMap(std::make_shared<serial_port::PortMap>(
        scale ? QFile::encodeName(scale->PortDir()).toStdString() : portFolder));
    app.SetStartPort(cmd.port);
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
int FollowPorts(int& argc, char** argv, const std::string& portFolder) {
    QCoreApplication app(argc, argv);
    const window::TerminationSignals termination([](int) { QCoreApplication::exit(0); });
    serial_port::PortMap ports(portFolder);
    PortWatcher watcher(ports, {});
    watcher.Start();
    if (!watcher.FollowsDevices())
        Print(stderr, QStringLiteral("Karvel: udev cannot be reached; devices that come and go "
                                     "are not seen.\n"));
    QStringList shown = ListPorts(ports);
    PrintPorts(shown);
    QObject::connect(&watcher, &PortWatcher::portsChanged, [&shown, &ports] {
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
    const std::string portFolder = PortFolder();
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
            return FollowPorts(argc, argv, portFolder);
        PrintPorts(ListPorts(serial_port::PortMap(portFolder)));
        return 0;
    }
    if (!DisplayNamed()) {
        Print(stderr, NoDisplayText(QStringLiteral("DISPLAY and WAYLAND_DISPLAY are not set")));
        return 1;
    }
    g_previousHandler = qInstallMessageHandler(MessageHandler);

    int endedBy = 0;
    const int exitCode = RunPanel(argc, argv, cmd, portFolder, endedBy);
    // Everything is cleaned up by now (the demo's ports are gone); end as the signal would have.
    if (endedBy != 0)
        window::EndBySignal(endedBy);
    return exitCode;
}
