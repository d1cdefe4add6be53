#include "CommandLine.h"

#include <QTextStream>

#include <cstring>

#include "VersionInfo.h"
#include "platform/serial/PortNames.h"

bool IsPortArgument(const QString& value, QString* normalised) {
    if (value.contains(QLatin1Char('/'))) {
        *normalised = value;
        return true;
    }
    const QString upper = value.toUpper();
    if (!serial_port::ComNumberOf(upper.toStdString()))
        return false;
    *normalised = upper;
    return true;
}

CommandLine ParseCommandLine(int argc, const char* const* argv) {
    CommandLine cmd;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--port") == 0 || std::strncmp(arg, "--port=", 7) == 0) {
            const bool joined = arg[6] == '=';
            if (!joined && i + 1 >= argc) {
                cmd.error = QStringLiteral("--port needs a port: COM1 to COM32 or a device path");
                return cmd;
            }
            const QString value = QString::fromLocal8Bit(joined ? arg + 7 : argv[++i]);
            if (!IsPortArgument(value, &cmd.port)) {
                cmd.error = QStringLiteral(
                                "--port %1: not a port; give COM1 to COM32 or a device path "
                                "such as /dev/ttyUSB0")
                                .arg(value);
                return cmd;
            }
        } else if (std::strcmp(arg, "--demo") == 0) {
            cmd.demo = true;
        } else if (std::strcmp(arg, "--list-ports") == 0) {
            cmd.listPorts = true;
        } else if (std::strcmp(arg, "--follow") == 0) {
            cmd.follow = true;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            cmd.help = true;
        } else if (std::strcmp(arg, "--version") == 0) {
            cmd.version = true;
        } else if (std::strncmp(arg, "--", 2) == 0 || arg[0] != '-') {
            cmd.error = QStringLiteral("unknown argument: %1").arg(QString::fromLocal8Bit(arg));
            return cmd;
        }
    }
    if (cmd.follow && !cmd.listPorts)
        cmd.error = QStringLiteral("--follow goes with --list-ports");
    return cmd;
}

QString UsageText() {
    return QStringLiteral(
        "Usage: Karvel [--demo | --port COMn|PATH | --list-ports [--follow] | --help | --version]\n"
        "\n"
        "Mirrors the display of a weighing scale on a serial port and sends its keys.\n"
        "At start the panel tries COM1 to COM32 and keeps the first port on which the scale\n"
        "answers.\n"
        "\n"
        "  --demo        start the simulated scale on a pseudo-terminal, map it as a COM port,\n"
        "                then run the panel against it\n"
        "  --port COMn|PATH\n"
        "                open and watch this one port instead of trying COM1 to COM32; use it\n"
        "                when other serial devices must not receive the scan's probe byte (a\n"
        "                GPS, a modem, a board that resets when its port opens) or when the\n"
        "                scale is on a device the COM numbers do not cover\n"
        "  --list-ports  print each COM number with its device and description, then exit\n"
        "  --list-ports --follow\n"
        "                print the list again whenever a device comes or goes, until ended\n"
        "  --help        print this text\n"
        "  --version     print the version\n"
        "\n"
        "Environment: KARVEL_PORT_DIR=DIR makes COMn the entry DIR/COMn and nothing else.\n");
}

QString VersionText() {
    const VersionInfo info = LoadVersionInfo();
    QString text;
    QTextStream out(&text);
    out << "Karvel " << info.fileVersion << "\n";
    for (const auto& entry : info.strings) {
        if (!entry.second.isEmpty())
            out << entry.first << ": " << entry.second << "\n";
    }
    return text;
}

QString NoDisplayText(const QString& why) {
    return QStringLiteral(
               "Karvel: there is no display to show the panel on (%1).\n"
               "To run it on a virtual display:\n"
               "  xvfb-run -a Karvel --demo\n")
        .arg(why);
}
