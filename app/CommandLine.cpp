#include "app/CommandLine.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/VersionInfo.h"
#include "link/WireOptions.h"
#include "platform/cli/OptionTable.h"
#include "platform/net/WireAddress.h"
#include "record/CaptureOptions.h"
#include "scale/families/Family.h"

namespace {

constexpr std::size_t kHelpColumn = 16;

// The options Qt's application objects and the X11 platform take from the command line, and
// whether a value follows. Qt reads them with one dash or two.
struct QtOption {
    std::string_view name;
    bool takesValue;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"qwindowicon", true},
    {"qwindowtitle", true},
    {"session", true},
    {"reverse", false},
    {"testability", false},
    {"display", true},
    {"geometry", true},
    {"title", true},
    {"icon", true},
    {"name", true},
    {"visual", true},
    {"nograb", false},
    {"dograb", false},
    {"style", true},
    {"stylesheet", true},
    {"widgetcount", false},
    {"qmljsdebugger", true},
};

const QtOption* FindQtOption(std::string_view name) {
    for (const QtOption& option : kQtOptions) {
        if (name == option.name)
            return &option;
    }
    return nullptr;
}

// Skips the Qt option at args[at] (and its value): how many arguments it takes, 0 when it is
// none of Qt's. Any other single-dash option is Qt's or its platform's to take or ignore.
std::size_t SkipQtOption(std::span<const std::string_view> args, std::size_t at,
                         bool& platformNamed) {
    const std::string_view arg = args[at];
    if (arg.size() < 2 || !arg.starts_with('-'))
        return 0;
    const std::string_view dashless = arg.substr(arg.starts_with("--") ? 2 : 1);
    const std::size_t equals = dashless.find('=');
    const QtOption* option = FindQtOption(dashless.substr(0, equals));
    if (!option)
        return arg.starts_with("--") ? 0 : 1;
    // As Qt does: the next argument is the value, whatever it looks like.
    if (option->takesValue && equals == std::string_view::npos && at + 1 < args.size()) {
        platformNamed |= option->name == "platform";
        return 2;
    }
    return 1;
}

// What only the panel has.
void AddPanelOptions(cli::OptionTable& table, CommandLine& cmd, std::string& port) {
    table.Add({.name = "--demo",
               .help = "start the simulated scale on a pseudo-terminal, map it as a COM port, "
                       "then run the panel against it",
               .apply = cli::Set(cmd.demo)});
    scale::families::AddPortOption(
        table, port,
        "open and watch this one port instead of trying COM1 to COM32; use it when other serial "
        "devices must not receive the scan's probe byte (a GPS, a modem, a board that resets "
        "when its port opens) or when the scale is on a device the COM numbers do not cover; "
        "or the scale at tcp://HOST:PORT (its bytes as they are) or rfc2217://HOST:PORT "
        "(telnet, the line set on the far port), or a weight transmitter at "
        "modbus-tcp://HOST[:PORT] (port 502 unless given) or modbus-rtu:COMn|PATH (its line "
        "19200,8E1 unless --line says otherwise), with --modbus, or a USB HID scale: hid (the "
        "first found) or /dev/hidrawN",
        scale_link::NamesOwnWire);
    scale_link::AddModbusOption(table, cmd.modbus, &cmd.modbusText);
    table.Add({.name = "--list-ports",
               .help = "print each COM number with its device and description, and each USB HID "
                       "scale, then exit",
               .apply = cli::Set(cmd.listPorts)});
    table.Add({.name = "--follow",
               .help = "with --list-ports: print the list again whenever a device comes or goes, "
                       "until ended",
               .apply = cli::Set(cmd.follow)});
}

cli::OptionTable MakeTable(CommandLine& cmd, std::string& port, record::CaptureOptions& capture) {
    cli::OptionTable table(cli::kPanel);
    AddPanelOptions(table, cmd, port);
    scale::families::AddFamilyOptions(table, cmd.family);
    AddRecordOptions(table, cmd.record, capture);
    record::AddWeighingOptions(table, cmd.bench, "Sample (Ctrl+M)");
    mqtt::AddMqttOptions(table, cmd.mqtt);
    mqtt::AddIdOption(table, cmd.id,
                      "with --mqtt: the scale's name in the topics (letters, digits, '-', '_', "
                      "'.'); with --record: its name in the record; default: from the device");
    wedge::AddTypeOptions(
        table, cmd.type,
        "type each captured reading into the focused window, never into the panel's own (the "
        "context menu's \"Type readings into the focused window\" does the same); --type-format, "
        "--type-decimal and --type-via are also the menu's first settings without --type");
    record::store::AddRecordOptions(table, cmd.weighingRecord);
    cli::AddHelpAndVersion(table, cmd.help, cmd.version);
    table.PassForeign([&cmd](std::span<const std::string_view> args, std::size_t at) {
        return SkipQtOption(args, at, cmd.platformNamed);
    });
    return table;
}

posix::Status CheckTogether(const CommandLine& cmd, const std::string& port) {
    if (cmd.follow && !cmd.listPorts)
        return cli::Refuse("--follow goes with --list-ports");
    // Said in karvel-read's words.
    if (posix::Status modbus = scale_link::CheckModbusPort(port, cmd.modbus, cmd.family, false);
        !modbus)
        return modbus;
    if (posix::Status hid = scale_link::CheckHidPort(port, cmd.family, false); !hid)
        return hid;
    if (posix::Status wire = scale_link::CheckNetworkPort(port); !wire)
        return wire;
    if (posix::Status mqtt = mqtt::CheckMqttOptions(cmd.mqtt); !mqtt)
        return mqtt;
    if (posix::Status family =
            scale::families::CheckFamilyOptions(scale_link::FamilyBeside(cmd.family, cmd.modbus));
        !family)
        return family;
    if (!cmd.id.empty() && !cmd.mqtt.Enabled() && !cmd.weighingRecord.enabled)
        return cli::Refuse(
            "--id names the scale in what --mqtt publishes and --record keeps: it needs --mqtt "
            "or --record");
    return record::store::CheckRecordOptions(cmd.weighingRecord);
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
    // The options are shared with karvel-read, which reads them as bytes.
    std::vector<std::string> bytes;
    for (qsizetype i = 1; i < args.size(); ++i)
        bytes.push_back(args[i].toLocal8Bit().toStdString());
    const std::vector<std::string_view> views(bytes.begin(), bytes.end());
    std::string port;
    record::CaptureOptions capture;
    posix::Status parsed = MakeTable(cmd, port, capture).Parse(views);
    cmd.port = QString::fromLocal8Bit(port.data(), static_cast<qsizetype>(port.size()));
    UseCapture(capture, cmd.record);
    if (parsed)
        parsed = CheckTogether(cmd, port);
    if (!parsed)
        cmd.error = QString::fromLocal8Bit(parsed.Error().text);
    return cmd;
}

std::optional<scale_link::FamilyLink::Choice> PanelFamily(const CommandLine& cmd) {
    const std::string port = cmd.port.toLocal8Bit().toStdString();
    if (scale_link::NamesOwnWire(port))
        return std::nullopt;
    if (!cmd.family.Enabled() && !net::NamesWire(port))
        return std::nullopt;
    scale_link::FamilyLink::Choice choice;
    if (!cmd.family.Enabled())
        choice.family = scale::families::Find("karvel");
    else if (cmd.family.protocol != "auto")
        choice.family = scale::families::Find(cmd.family.protocol);
    choice.pattern = cmd.family.pattern;
    choice.line = cmd.family.line;
    return choice;
}

std::optional<scale_link::OwnWire> PanelOwnWire(const CommandLine& cmd) {
    std::string port = cmd.port.toLocal8Bit().toStdString();
    if (!scale_link::NamesOwnWire(port))
        return std::nullopt;
    return scale_link::OwnWire{std::move(port), cmd.modbus, cmd.modbusText, cmd.family.line};
}

QString UsageText() {
    CommandLine scratch;
    std::string port;
    record::CaptureOptions capture;
    const cli::OptionTable table = MakeTable(scratch, port, capture);
    return QString::fromStdString(
        table.Usage("Karvel") +
        "\n"
        "Mirrors the display of a weighing scale on a serial port and sends its keys.\n"
        "At start the panel tries COM1 to COM32 and keeps the first port on which the\n"
        "scale answers.\n"
        "\n" +
        table.Help(kHelpColumn) +
        "\n"
        "Qt's options, such as -platform NAME, -style NAME, -stylesheet FILE or -reverse,\n"
        "go to Qt.\n"
        "\n"
        "Environment: KARVEL_PORT_DIR=DIR makes COMn the entry DIR/COMn and nothing else.\n");
}

QString VersionText() {
    // The copyright is the version block's; the number is the release's, as the About box shows.
    const QString copyright = LoadVersionInfo().Value(QStringLiteral("LegalCopyright"));
    return QStringLiteral(
               "Karvel %1\n"
               "%2\n"
               "License MIT (Expat): <https://spdx.org/licenses/MIT.html>.\n"
               "This is free software: you are free to change and redistribute it.\n"
               "There is NO WARRANTY, to the extent permitted by law.\n"
               "Build %3\n")
        .arg(QStringLiteral(KARVEL_VERSION), copyright, QStringLiteral(KARVEL_BUILD_ID));
}

std::string SoftwareText() {
    return std::string("Karvel ") + KARVEL_VERSION + " build " + KARVEL_BUILD_ID;
}

QString NoDisplayText(const QString& why) {
    return QStringLiteral(
               "Karvel: there is no display to show the panel on (%1).\n"
               "To run it on a virtual display:\n"
               "  xvfb-run -a Karvel --demo\n")
        .arg(why);
}
