#include "read/ReadOptions.h"

#include <charconv>
#include <utility>

#include "link/WireOptions.h"
#include "platform/cli/OptionTable.h"
#include "record/CaptureOptions.h"

namespace reader {
namespace {

using cli::Refuse;
using Value = std::optional<std::string_view>;

constexpr std::size_t kHelpColumn = 21;

std::optional<Format> FormatNamed(std::string_view name) {
    if (name == "jsonl")
        return Format::kJsonLines;
    if (name == "csv")
        return Format::kCsv;
    if (name == "text")
        return Format::kText;
    if (name == "xlsx")
        return Format::kXlsx;
    return std::nullopt;
}

std::optional<Header> HeaderNamed(std::string_view name) {
    if (name == "auto")
        return Header::kAuto;
    if (name == "always")
        return Header::kAlways;
    if (name == "never")
        return Header::kNever;
    return std::nullopt;
}

posix::Status TakeCount(std::string_view value, std::uint64_t& count) {
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), count);
    if (ec != std::errc() || end != value.data() + value.size() || count == 0)
        return Refuse("--count needs a number of readings above 0");
    return posix::Success();
}

// What the readings look like on standard output or in the --output file.
void AddFormOptions(cli::OptionTable& table, ReadOptions& options) {
    table.Add({.name = "--format",
               .value = "FORM",
               .help = "jsonl (default), csv, text or xlsx (a spreadsheet file, with --output: "
                       "numbers as numbers, times as UTC date-times; written when the run ends, "
                       "on its count or a signal)",
               .apply = [&options](Value value) {
                   const auto format = FormatNamed(*value);
                   options.format = format.value_or(Format::kJsonLines);
                   return format ? posix::Success()
                                 : Refuse(
                                       "--format must be jsonl, csv or text (or xlsx, with "
                                       "--output)");
               }});
    table.Add({.name = "--output",
               .value = "FILE",
               .help = "the file of --format xlsx, replaced whole; never a link",
               .apply = cli::Keep(options.output, "--output needs a file name")});
    table.Add({.name = "--header",
               .value = "WHEN",
               .help = "the CSV header: auto (default: not when standard output is a file that "
                       "holds something already), always or never",
               .apply = [&options](Value value) {
                   const auto header = HeaderNamed(*value);
                   options.header = header.value_or(Header::kAuto);
                   return header ? posix::Success()
                                 : Refuse("--header must be auto, always or never");
               }});
    table.Add({.name = "--columns",
               .value = "LIST",
               .help = "the CSV or xlsx columns, comma-separated (default: time_utc, port, device, "
                       "text, value, unit, stable, net, zero, hold, overload, battery_low, "
                       "capture); also scale, bars, frame",
               .apply = [&options](Value value) {
                   std::string why;
                   const auto columns = record::ParseCsvColumns(*value, &why);
                   options.columns = columns.value_or(record::DefaultCsvColumns());
                   return columns ? posix::Success() : Refuse("--columns: " + why);
               }});
}

void AddRunOptions(cli::OptionTable& table, ReadOptions& options) {
    table.Add({.name = "--count",
               .value = "N",
               .help = "stop after N readings",
               .apply = [&options](Value value) { return TakeCount(*value, options.count); }});
    mqtt::AddIdOption(table, options.id, "the scale's name (letters, digits, '-', '_', '.')");
    table.Add({.name = "--raw",
               .help = "print every received byte in hex, without probing",
               .apply = cli::Set(options.raw)});
    scale_link::AddModbusOption(table, options.modbus);
    table.Add({.name = "--list-ports",
               .help = "print each COM number with its device, and each USB HID scale, then exit",
               .apply = cli::Set(options.listPorts)});
    table.Add({.name = "--keys",
               .help = "read key names from standard input: DATA, MODE, TARE, ON/OFF, each "
                       "optionally followed by 'double'; SAMPLE with --count-pieces",
               .apply = cli::Set(options.keys)});
}

posix::Status TakeSpeed(std::string_view value, TapOptions& tap) {
    tap.speedGiven = true;
    if (value == "max") {
        tap.speed.reset();
        return posix::Success();
    }
    double speed = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), speed);
    if (ec != std::errc() || end != value.data() + value.size() || !(speed > 0 && speed <= 1000))
        return Refuse("--replay-speed must be max or how many times the recorded pace (0.5, 2)");
    tap.speed = speed;
    return posix::Success();
}

void AddTapOptions(cli::OptionTable& table, TapOptions& tap) {
    table.Add({.name = "--tap",
               .value = "FILE",
               .help = "append every byte that comes and goes on the wire to FILE with its time, "
                       "one line per burst (the manual's TAPS); never a link or a FIFO",
               .apply = cli::Keep(tap.file, "--tap needs a file name")});
    table.Add({.name = "--replay",
               .value = "FILE",
               .help = "read a tap (--tap) as if it were the port, with any --protocol and "
                       "output; keys go nowhere; the reader ends with the tap",
               .apply = cli::Keep(tap.replay, "--replay needs a tap file")});
    table.Add({.name = "--replay-speed",
               .value = "SPEED",
               .help = "1 (default): the recorded pace; 2: twice as fast; max: as fast as read "
                       "(an answer still waits for its question)",
               .apply = [&tap](Value value) { return TakeSpeed(*value, tap); }});
}

// The whole command line, in the order --help lists it.
cli::OptionTable MakeTable(ReadOptions& options, record::CaptureOptions& capture) {
    cli::OptionTable table(cli::kReader);
    scale::families::AddPortOption(
        table, options.port,
        "open only this port, or the scale at tcp://HOST:PORT (its bytes as they are) or "
        "rfc2217://HOST:PORT (telnet, the line set on the far port), or a weight transmitter at "
        "modbus-tcp://HOST[:PORT] (port 502 unless given) or modbus-rtu:COMn|PATH (its line "
        "19200,8E1 unless --line says otherwise), with --modbus, or a USB HID scale: hid (the "
        "first found) or /dev/hidrawN (default: probe COM1 to COM32)",
        scale_link::NamesOwnWire);
    AddFormOptions(table, options);
    record::AddCaptureOptions(
        table, capture,
        {.capture = "what is kept: change (default): the reading differs from the previous "
                    "frame's; settled: a new weight with the stable indicator lit, not the empty "
                    "pan (zero lit or a value of 0); settled-all: the same, the empty pan too; "
                    "data: the data-sent indicator lights (DATA pressed); every: every frame",
         .decimal = "'.' (default) or ',': a decimal comma, and ';' between the fields, for a "
                    "spreadsheet in such a locale"});
    AddRunOptions(table, options);
    AddTapOptions(table, options.tap);
    scale::families::AddFamilyOptions(table, options.family);
    record::AddWeighingOptions(table, options.bench, "SAMPLE on --keys");
    mqtt::AddMqttOptions(table, options.mqtt);
    web::AddWebOptions(table, options.http);
    wedge::AddTypeOptions(table, options.type,
                          "type each captured reading into the focused window, as if from the "
                          "keyboard (the capture rule is then settled unless --capture says "
                          "otherwise); readings without a number are skipped");
    table.Add({.name = "--quiet",
               .help = "print no readings (with --type or --mqtt: they go there only)",
               .apply = cli::Set(options.quiet)});
    record::store::AddRecordOptions(table, options.record);
    cli::AddHelpAndVersion(table, options.help, options.version);
    return table;
}

posix::Status CheckRecord(const ReadOptions& options) {
    if (posix::Status record = record::store::CheckRecordOptions(options.record); !record)
        return record;
    if (options.record.enabled && options.raw)
        return Refuse("--raw prints bytes only: it does not go with --record");
    if (options.record.enabled && options.http.Board())
        return Refuse("--board keeps no weighings: it does not go with --record");
    if (options.record.list && options.format == Format::kText)
        return Refuse("--records prints --format jsonl or csv (or xlsx, with --output)");
    return posix::Success();
}

// What one option allows and another forbids, in the order they are said.
posix::Status CheckOutput(const ReadOptions& options) {
    if (options.raw && options.http.Enabled())
        return Refuse("--raw prints bytes only: it does not go with --http");
    if (options.raw && options.mqtt.Enabled())
        return Refuse("--raw prints bytes only: it does not go with --mqtt");
    if (options.format == Format::kXlsx && options.output.empty())
        return Refuse("--format xlsx writes a file: give it with --output FILE");
    if (!options.output.empty() && options.format != Format::kXlsx)
        return Refuse("--output is the file of --format xlsx; other forms go to standard output");
    if (options.format == Format::kXlsx && options.raw)
        return Refuse("--raw prints bytes only: it does not go with --format xlsx");
    if (options.dialect.decimal != '.' && options.format != Format::kCsv)
        return Refuse("--csv-decimal goes with --format csv");
    if (options.minWeight && options.capture != record::CaptureRule::kSettled)
        return Refuse("--min-weight is the settled rule's: it goes with --capture settled");
    if (options.type.detailGiven && !options.type.enabled)
        return Refuse("--type-format, --type-decimal and --type-via go with --type");
    if (options.type.enabled && options.raw)
        return Refuse("--raw prints bytes only: it does not go with --type");
    if (options.bench.rules.countPieces && !options.keys)
        return Refuse("--count-pieces takes its sample on SAMPLE: it needs --keys");
    return CheckRecord(options);
}

posix::Status CheckTap(const ReadOptions& options) {
    if (options.tap.speedGiven && options.tap.replay.empty())
        return Refuse("--replay-speed goes with --replay");
    if (!options.tap.replay.empty() && !options.port.empty())
        return Refuse("--replay reads the tap in place of a port: it does not go with --port");
    if (!options.tap.replay.empty() && options.http.Board())
        return Refuse("--board opens no port: it does not go with --replay");
    return posix::Success();
}

posix::Status CheckTogether(const ReadOptions& options, bool credentials) {
    if (posix::Status modbus =
            scale_link::CheckModbusPort(options.port, options.modbus, options.family, options.raw);
        !modbus)
        return modbus;
    if (posix::Status tap = CheckTap(options); !tap)
        return tap;
    if (posix::Status hid = scale_link::CheckHidPort(options.port, options.family, options.raw);
        !hid)
        return hid;
    if (posix::Status wire = scale_link::CheckNetworkPort(options.port); !wire)
        return wire;
    if (posix::Status mqtt = mqtt::CheckMqttOptions(options.mqtt); !mqtt)
        return mqtt;
    if (posix::Status checked = scale::families::CheckFamilyOptions(
            scale_link::FamilyBeside(options.family, options.modbus));
        !checked)
        return checked;
    if (options.raw && options.family.Enabled())
        return Refuse("--raw prints the bytes of the probe scan: it does not go with --protocol");
    if (posix::Status http = web::CheckWebOptions(options.http, credentials); !http)
        return http;
    if (options.http.Board()) {
        if (posix::Status login = mqtt::CheckMqttOptions(options.http.boardBroker); !login)
            return Refuse("--board: " + login.Error().text);
        if (!options.port.empty() || options.mqtt.Enabled() || options.raw || options.keys)
            return Refuse(
                "--board opens no port: it does not go with --port, --mqtt, --raw or --keys");
    }
    return CheckOutput(options);
}

}  // namespace

posix::Result<ReadOptions> ReadOptionsFrom(std::span<const std::string_view> args,
                                           bool credentials) {
    ReadOptions options;
    record::CaptureOptions capture;
    if (posix::Status parsed = MakeTable(options, capture).Parse(args); !parsed)
        return parsed.Error();
    // One weighing types one value.
    options.capture = capture.rule.value_or(options.type.enabled ? record::CaptureRule::kSettled
                                                                 : record::CaptureRule::kChange);
    options.minWeight = capture.minWeight;
    options.dialect = capture.dialect;
    // A board logs in to its broker as a publisher does: the same options, read the same way.
    if (options.http.Board() && !options.mqtt.Enabled()) {
        mqtt::MqttOptions& login = options.http.boardBroker;
        login.user = std::exchange(options.mqtt.user, {});
        login.passwordFile = std::exchange(options.mqtt.passwordFile, {});
        login.caFile = std::exchange(options.mqtt.caFile, {});
    }
    if (posix::Status checked = CheckTogether(options, credentials); !checked)
        return checked.Error();
    return options;
}

std::optional<ReadOptions> ParseReadOptions(std::span<const std::string_view> args,
                                            std::string* error, bool credentials) {
    posix::Result<ReadOptions> options = ReadOptionsFrom(args, credentials);
    if (!options) {
        *error = options.Error().text;
        return std::nullopt;
    }
    return std::move(options).Value();
}

std::string ReadUsage() {
    ReadOptions scratch;
    record::CaptureOptions capture;
    const cli::OptionTable table = MakeTable(scratch, capture);
    return table.Usage("karvel-read") +
           "Reads a weighing scale on a serial port, or on the network (--port\n"
           "tcp://HOST:PORT or rfc2217://HOST:PORT), or a weight transmitter over Modbus\n"
           "(--port modbus-tcp://HOST or modbus-rtu:COMn with --modbus), or a USB HID\n"
           "scale (--port hid or /dev/hidrawN), and prints its readings; no display needed.\n"
           "\n" +
           table.Help(kHelpColumn) +
           "\n"
           "Readings go to standard output, messages to standard error.\n"
           "Exit status: 0 done, 1 scale or port not available, 2 usage error,\n"
           "3 readings not acknowledged by the MQTT broker, or weighings still waiting\n"
           "for the record's database, at the end,\n"
           "4 the --output file could not be written, 5 --verify found the record\n"
           "changed, 6 the record could not be read or written.\n";
}

}  // namespace reader
