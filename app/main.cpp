#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "CScalePanelApp.h"
#include "CommandLine.h"
#include "DemoScale.h"
#include "PortDescription.h"

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

}  // namespace

int main(int argc, char** argv) {
    const CommandLine cmd = ParseCommandLine(argc, argv);
    if (!cmd.error.isEmpty()) {
        Print(stderr, QStringLiteral("Karvel: %1\n\n").arg(cmd.error) + UsageText());
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
        const QStringList ports = ListPorts();
        if (ports.isEmpty())
            Print(stdout, QStringLiteral("No serial ports.\n"));
        for (const QString& line : ports)
            Print(stdout, line + QLatin1Char('\n'));
        return 0;
    }
    if (!DisplayNamed()) {
        Print(stderr, NoDisplayText(QStringLiteral("DISPLAY and WAYLAND_DISPLAY are not set")));
        return 1;
    }
    g_previousHandler = qInstallMessageHandler(MessageHandler);

    CScalePanelApp app(argc, argv);
    std::optional<DemoScale> demo;
    if (cmd.demo) {
        demo.emplace();
        QString error;
        const QString simulator = QDir(QCoreApplication::applicationDirPath())
                                      .filePath(QStringLiteral("karvel-scalesim"));
        if (!demo->Start(simulator, &error)) {
            Print(stderr, QStringLiteral("Karvel --demo: %1\n").arg(error));
            return 1;
        }
    }
    app.InitInstance();
    return app.ExitCode();
}
