#include "app/CommandLine.h"

#include <string>
#include <string_view>
#include <vector>

#include "app/VersionInfo.h"
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

namespace {

// The options Qt's application objects and the X11 platform take from the command line, and
// whether a value follows. Qt reads them with one dash or two.
struct QtOption {
    QLatin1StringView name;
    bool takesValue;
};
constexpr QtOption kQtOptions[] = {
    {QLatin1StringView("platform"), true},
    {QLatin1StringView("platformpluginpath"), true},
    {QLatin1StringView("platformtheme"), true},
    {QLatin1StringView("plugin"), true},
    {QLatin1StringView("qwindowgeometry"), true},
    {QLatin1StringView("qwindowicon"), true},
    {QLatin1StringView("qwindowtitle"), true},
    {QLatin1StringView("session"), true},
    {QLatin1StringView("reverse"), false},
    {QLatin1StringView("testability"), false},
    {QLatin1StringView("display"), true},
    {QLatin1StringView("geometry"), true},
    {QLatin1StringView("title"), true},
    {QLatin1StringView("icon"), true},
    {QLatin1StringView("name"), true},
    {QLatin1StringView("visual"), true},
    {QLatin1StringView("nograb"), false},
    {QLatin1StringView("dograb"), false},
    {QLatin1StringView("style"), true},
    {QLatin1StringView("stylesheet"), true},
    {QLatin1StringView("widgetcount"), false},
    {QLatin1StringView("qmljsdebugger"), true},
};

const QtOption* FindQtOption(QStringView name) {
    for (const QtOption& option : kQtOptions) {
        if (name == option.name)
            return &option;
    }
    return nullptr;
}

// Skips the Qt option at `i` (and its value); false when `arg` is none of Qt's.
bool SkipQtOption(const QStringList& args, qsizetype& i, CommandLine& cmd) {
    const QString& arg = args[i];
    const QStringView dashless = QStringView(arg).mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
    const qsizetype equals = dashless.indexOf(QLatin1Char('='));
    const QtOption* option = FindQtOption(equals < 0 ? dashless : dashless.left(equals));
    if (!option)
        return false;
    // As Qt does: the next argument is the value, whatever it looks like.
    if (option->takesValue && equals < 0 && i + 1 < args.size()) {
        ++i;
        cmd.platformNamed |= option->name == QLatin1String("platform");
    }
    return true;
}

bool ParsePort(const QStringList& args, qsizetype& i, CommandLine& cmd) {
    const bool joined = args[i].startsWith(QLatin1String("--port="));
    if (!joined && i + 1 >= args.size()) {
        cmd.error = QStringLiteral("--port needs a port: COM1 to COM32 or a device path");
        return false;
    }
    const QString value = joined ? args[i].mid(7) : args[++i];
    if (IsPortArgument(value, &cmd.port))
        return true;
    cmd.error = QStringLiteral(
                    "--port %1: not a port; give COM1 to COM32 or a device path such as "
                    "/dev/ttyUSB0")
                    .arg(value);
    return false;
}

// --id NAME, as karvel-read takes it.
bool ParseId(const QStringList& args, qsizetype& i, CommandLine& cmd) {
    const bool joined = args[i].startsWith(QLatin1String("--id="));
    if (!joined && i + 1 >= args.size()) {
        cmd.error = QStringLiteral("--id needs a name");
        return false;
    }
    cmd.id = (joined ? args[i].mid(5) : args[++i]).toLocal8Bit().toStdString();
    if (mqtt::IsScaleId(cmd.id))
        return true;
    cmd.error =
        QStringLiteral("--id may hold only letters, digits, '-', '_' and '.' (1 to 64 of them)");
    return false;
}

}  // namespace

QStringList ArgumentsOf(int argc, const char* const* argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

CommandLine ParseCommandLine(const QStringList& args) {
    CommandLine cmd;
    // The MQTT options are shared with karvel-read, which reads them as bytes.
    std::vector<std::string> bytes;
    for (const QString& arg : args)
        bytes.push_back(arg.toLocal8Bit().toStdString());
    const std::vector<std::string_view> views(bytes.begin(), bytes.end());
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        std::string mqttError;
        if (const std::size_t used =
                mqtt::TakeMqttOption(views, static_cast<std::size_t>(i), cmd.mqtt, &mqttError)) {
            i += static_cast<qsizetype>(used) - 1;
            if (!mqttError.empty()) {
                cmd.error = QString::fromStdString(mqttError);
                return cmd;
            }
        } else if (const std::size_t typed = wedge::TakeTypeOption(
                       views, static_cast<std::size_t>(i), cmd.type, &mqttError)) {
            i += static_cast<qsizetype>(typed) - 1;
        } else if (const std::size_t taken = reader::TakeFamilyOption(
                       views, static_cast<std::size_t>(i), cmd.family, &mqttError)) {
            i += static_cast<qsizetype>(taken) - 1;
            if (!mqttError.empty()) {
                cmd.error = QString::fromStdString(mqttError);
                return cmd;
            }
        } else if (const std::size_t benchTaken = record::TakeBenchOption(
                       views, static_cast<std::size_t>(i), cmd.bench, &mqttError)) {
            i += static_cast<qsizetype>(benchTaken) - 1;
            if (!mqttError.empty()) {
                cmd.error = QString::fromStdString(mqttError);
                return cmd;
            }
        } else if (TakeRecordOption(args, &i, &cmd.record, &cmd.error)) {
            if (!cmd.error.isEmpty())
                return cmd;
        } else if (arg == QLatin1String("--port") || arg.startsWith(QLatin1String("--port="))) {
            if (!ParsePort(args, i, cmd))
                return cmd;
        } else if (arg == QLatin1String("--id") || arg.startsWith(QLatin1String("--id="))) {
            if (!ParseId(args, i, cmd))
                return cmd;
        } else if (arg == QLatin1String("--demo")) {
            cmd.demo = true;
        } else if (arg == QLatin1String("--list-ports")) {
            cmd.listPorts = true;
        } else if (arg == QLatin1String("--follow")) {
            cmd.follow = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            cmd.help = true;
        } else if (arg == QLatin1String("--version")) {
            cmd.version = true;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1 &&
                   SkipQtOption(args, i, cmd)) {
            continue;
        } else if (arg.startsWith(QLatin1String("--")) || !arg.startsWith(QLatin1Char('-')) ||
                   arg.size() == 1) {
            cmd.error = QStringLiteral("unknown argument: %1").arg(arg);
            return cmd;
        }
        // Any other single-dash option is Qt's or its platform's to take or ignore.
    }
    if (cmd.follow && !cmd.listPorts)
        cmd.error = QStringLiteral("--follow goes with --list-ports");
    else if (const auto bad = mqtt::CheckMqttOptions(cmd.mqtt))
        cmd.error = QString::fromStdString(*bad);
    else if (const auto badFamily = reader::CheckFamilyOptions(cmd.family))
        cmd.error = QString::fromStdString(*badFamily);
    else if (!cmd.id.empty() && !cmd.mqtt.Enabled())
        cmd.error =
            QStringLiteral("--id names the scale in what --mqtt publishes: it needs --mqtt");
    else if (cmd.mqtt.keys)
        cmd.error =
            QStringLiteral("--mqtt-keys is karvel-read's: the panel's keys are its buttons");
    return cmd;
}

QString UsageText() {
    return QStringLiteral(
               "Usage: Karvel [--demo | --port COMn|PATH] [--protocol NAME|auto [--line ...]]\n"
               "              [--log FILE] [--capture RULE]\n"
               "       Karvel --list-ports [--follow] | --help | --version\n"
               "\n"
               "Mirrors the display of a weighing scale on a serial port and sends its keys.\n"
               "At start the panel tries COM1 to COM32 and keeps the first port on which the "
               "scale\n"
               "answers.\n"
               "\n"
               "  --demo        start the simulated scale on a pseudo-terminal, map it as a COM "
               "port,\n"
               "                then run the panel against it\n"
               "  --port COMn|PATH\n"
               "                open and watch this one port instead of trying COM1 to COM32; use "
               "it\n"
               "                when other serial devices must not receive the scan's probe byte "
               "(a\n"
               "                GPS, a modem, a board that resets when its port opens) or when "
               "the\n"
               "                scale is on a device the COM numbers do not cover\n"
               "  --list-ports  print each COM number with its device and description, then exit\n"
               "  --list-ports --follow\n"
               "                print the list again whenever a device comes or goes, until ended\n"
               "%2"
               "%1"
               "%3"
               "  --check-sound the desktop's event sound on each UNDER and OVER\n"
               "  --print-ticket[=PRINTER]\n"
               "                print a ticket of each captured weighing through CUPS (default:\n"
               "                the default printer); Ctrl+P prints one of the last weighing\n"
               "  --print-preview FILE.pdf\n"
               "                write each ticket to FILE.pdf instead of a printer\n"
               "  --ticket-header TEXT\n"
               "                a line printed at the head of every ticket\n"
               "  --ticket-size WxHmm\n"
               "                lay tickets out on this page, such as a label's 62x29mm;\n"
               "                default: the printer's label or narrow roll, else 80 mm wide\n"
               "  --mqtt URL ...\n"
               "                publish the readings the panel shows, as karvel-read does (see\n"
               "                karvel-read --help for --mqtt and its companions)\n"
               "  --id NAME     with --mqtt: the scale's name in the topics (letters, digits, "
               "'-', '_',\n"
               "                '.'); default: from the device\n"
               "  --type        type each captured reading into the focused window, never into "
               "the\n"
               "                panel's own (the context menu's \"Type readings into the focused\n"
               "                window\" does the same); --type-format F, --type-decimal D and\n"
               "                --type-via WAY as karvel-read --help tells, also without --type "
               "as\n"
               "                the menu's first settings\n"
               "  --help        print this text\n"
               "  --version     print the version\n"
               "\n"
               "Qt's options, such as -platform NAME, -style NAME, -stylesheet FILE or -reverse, "
               "go\n"
               "to Qt.\n"
               "\n"
               "Environment: KARVEL_PORT_DIR=DIR makes COMn the entry DIR/COMn and nothing else.\n")
        .arg(RecordUsageText(), QString::fromStdString(reader::FamilyUsage()),
             QString::fromStdString(record::BenchUsage(16, "Sample (Ctrl+M)")));
}

QString VersionText() {
    // The copyright is the version block's; the number is the release's, as the About box shows.
    const QString copyright = LoadVersionInfo().Value(QStringLiteral("LegalCopyright"));
    return QStringLiteral(
               "Karvel %1\n"
               "%2\n"
               "License MIT (Expat): <https://spdx.org/licenses/MIT.html>.\n"
               "This is free software: you are free to change and redistribute it.\n"
               "There is NO WARRANTY, to the extent permitted by law.\n")
        .arg(QStringLiteral(KARVEL_VERSION), copyright);
}

QString NoDisplayText(const QString& why) {
    return QStringLiteral(
               "Karvel: there is no display to show the panel on (%1).\n"
               "To run it on a virtual display:\n"
               "  xvfb-run -a Karvel --demo\n")
        .arg(why);
}
