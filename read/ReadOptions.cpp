#include "read/ReadOptions.h"

#include <charconv>
#include <utility>

namespace reader {
namespace {

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

// Sets `error` when the option at args[at] takes a value that is bad.
void TakeValue(std::string_view name, std::string_view value, ReadOptions& options,
               std::string* error) {
    if (name == "--port") {
        options.port = std::string(value);
        if (value.empty())
            *error = "--port needs COMn or a device path";
    } else if (name == "--format") {
        const auto format = FormatNamed(value);
        if (!format)
            *error = "--format must be jsonl, csv or text (or xlsx, with --output)";
        options.format = format.value_or(Format::kJsonLines);
    } else if (name == "--capture") {
        const auto rule = record::ParseRule(value);
        if (!rule)
            *error = "--capture must be settled, data, change or every (or settled-all)";
        options.capture = rule.value_or(record::CaptureRule::kChange);
    } else if (name == "--min-weight") {
        options.minWeight = record::ParseMinWeight(value);
        if (!options.minWeight)
            *error = "--min-weight needs a weight of 0 or more, in the scale's unit (0.05)";
    } else if (name == "--header") {
        const auto header = HeaderNamed(value);
        if (!header)
            *error = "--header must be auto, always or never";
        options.header = header.value_or(Header::kAuto);
    } else if (name == "--columns") {
        std::string why;
        const auto columns = record::ParseCsvColumns(value, &why);
        if (!columns)
            *error = "--columns: " + why;
        options.columns = columns.value_or(record::DefaultCsvColumns());
    } else if (name == "--csv-decimal") {
        const auto dialect = record::ParseCsvDecimal(value);
        if (!dialect)
            *error = "--csv-decimal must be '.' or ','";
        options.dialect = dialect.value_or(record::CsvDialect{});
    } else if (name == "--output") {
        options.output = std::string(value);
        if (value.empty())
            *error = "--output needs a file name";
    } else if (name == "--count") {
        const auto [end, ec] =
            std::from_chars(value.data(), value.data() + value.size(), options.count);
        if (ec != std::errc() || end != value.data() + value.size() || options.count == 0)
            *error = "--count needs a number of readings above 0";
    } else if (name == "--id") {
        options.id = std::string(value);
        if (!mqtt::IsScaleId(value))
            *error = "--id may hold only letters, digits, '-', '_' and '.' (1 to 64 of them)";
    }
}

}  // namespace

std::optional<ReadOptions> ParseReadOptions(std::span<const std::string_view> args,
                                            std::string* error, bool credentials) {
    ReadOptions options;
    bool captureGiven = false;
    bool typeDetailGiven = false;
    for (std::size_t i = 0; i < args.size() && error->empty();) {
        const std::string_view name = args[i];
        if (const std::size_t used = mqtt::TakeMqttOption(args, i, options.mqtt, error)) {
            i += used;
            continue;
        }
        if (const std::size_t used = TakeFamilyOption(args, i, options.family, error)) {
            i += used;
            continue;
        }
        if (const std::size_t used = wedge::TakeTypeOption(args, i, options.type, error)) {
            typeDetailGiven |= name != "--type";
            i += used;
            continue;
        }
        captureGiven |= name == "--capture";
        if (const std::size_t used = record::TakeBenchOption(args, i, options.bench, error)) {
            i += used;
            continue;
        }
        if (const std::size_t used = web::TakeWebOption(args, i, options.http, error)) {
            i += used;
            continue;
        }
        if (name == "--raw" || name == "--keys" || name == "--help" || name == "-h" ||
            name == "--version" || name == "--quiet") {
            options.quiet |= name == "--quiet";
            options.raw |= name == "--raw";
            options.keys |= name == "--keys";
            options.help |= name == "--help" || name == "-h";
            options.version |= name == "--version";
            ++i;
            continue;
        }
        const bool takesValue = name == "--port" || name == "--format" || name == "--capture" ||
                                name == "--count" || name == "--id" || name == "--min-weight" ||
                                name == "--header" || name == "--columns" ||
                                name == "--csv-decimal" || name == "--output";
        if (!takesValue) {
            *error = "unknown option '" + std::string(name) + "'";
        } else if (i + 1 >= args.size()) {
            *error = std::string(name) + " needs a value";
        } else {
            TakeValue(name, args[i + 1], options, error);
        }
        i += 2;
    }
    // A board logs in to its broker as a publisher does: the same options, read the same way.
    if (options.http.Board() && !options.mqtt.Enabled()) {
        mqtt::MqttOptions& login = options.http.boardBroker;
        login.user = std::exchange(options.mqtt.user, {});
        login.passwordFile = std::exchange(options.mqtt.passwordFile, {});
        login.caFile = std::exchange(options.mqtt.caFile, {});
    }
    // One weighing types one value.
    if (options.type.enabled && !captureGiven)
        options.capture = record::CaptureRule::kSettled;
    if (error->empty()) {
        if (auto bad = mqtt::CheckMqttOptions(options.mqtt))
            *error = *bad;
        else if (auto wrong = CheckFamilyOptions(options.family))
            *error = *wrong;
        else if (options.raw && options.family.Enabled())
            *error = "--raw prints the bytes of the probe scan: it does not go with --protocol";
        else if (auto badHttp = web::CheckWebOptions(options.http, credentials))
            *error = *badHttp;
        else if (auto badLogin = options.http.Board()
                                     ? mqtt::CheckMqttOptions(options.http.boardBroker)
                                     : std::nullopt)
            *error = "--board: " + *badLogin;
        else if (options.http.Board() &&
                 (!options.port.empty() || options.mqtt.Enabled() || options.raw || options.keys))
            *error = "--board opens no port: it does not go with --port, --mqtt, --raw or --keys";
        else if (options.raw && options.http.Enabled())
            *error = "--raw prints bytes only: it does not go with --http";
        else if (options.raw && options.mqtt.Enabled())
            *error = "--raw prints bytes only: it does not go with --mqtt";
        else if (options.format == Format::kXlsx && options.output.empty())
            *error = "--format xlsx writes a file: give it with --output FILE";
        else if (!options.output.empty() && options.format != Format::kXlsx)
            *error = "--output is the file of --format xlsx; other forms go to standard output";
        else if (options.format == Format::kXlsx && options.raw)
            *error = "--raw prints bytes only: it does not go with --format xlsx";
        else if (options.dialect.decimal != '.' && options.format != Format::kCsv)
            *error = "--csv-decimal goes with --format csv";
        else if (options.minWeight && options.capture != record::CaptureRule::kSettled)
            *error = "--min-weight is the settled rule's: it goes with --capture settled";
        else if (typeDetailGiven && !options.type.enabled)
            *error = "--type-format, --type-decimal and --type-via go with --type";
        else if (options.type.enabled && options.raw)
            *error = "--raw prints bytes only: it does not go with --type";
        else if (options.bench.checkSound || options.bench.Tickets() ||
                 !options.bench.ticketHeader.empty() || options.bench.ticketSize)
            *error = "--check-sound and the ticket options are the panel's (Karvel)";
        else if (options.bench.rules.countPieces && !options.keys)
            *error = "--count-pieces takes its sample on SAMPLE: it needs --keys";
    }
    if (!error->empty())
        return std::nullopt;
    return options;
}

std::string ReadUsage() {
    return "Usage: karvel-read [OPTION]...\n"
           "Reads a weighing scale on a serial port and prints its readings; no display needed.\n"
           "\n"
           "  --port COMn|PATH   open only this port (default: probe COM1 to COM32)\n"
           "  --format FORM      jsonl (default), csv, text or xlsx (a spreadsheet file, with\n"
           "                     --output: numbers as numbers, times as UTC date-times;\n"
           "                     written when the run ends, on its count or a signal)\n"
           "  --output FILE      the file of --format xlsx, replaced whole; never a link\n"
           "  --csv-decimal SIGN '.' (default) or ',': a decimal comma, and ';' between the\n"
           "                     fields, for a spreadsheet in such a locale\n"
           "  --header WHEN      the CSV header: auto (default: not when standard output is a\n"
           "                     file that holds something already), always or never\n"
           "  --columns LIST     the CSV or xlsx columns, comma-separated (default: "
           "time_utc,port,\n"
           "                     device,text,value,unit,stable,net,zero,hold,overload,\n"
           "                     battery_low,capture); also scale, bars, frame\n"
           "  --capture RULE     what is kept: change (default): the reading differs from the\n"
           "                     previous frame's; settled: a new weight with the stable\n"
           "                     indicator lit, not the empty pan (zero lit or a value of 0);\n"
           "                     settled-all: the same, the empty pan too; data: the data-sent\n"
           "                     indicator lights (DATA pressed); every: every frame\n"
           "  --min-weight W     settled keeps a weight of W or more (either sign, in the\n"
           "                     scale's unit) instead of skipping only the empty pan\n"
           "  --count N          stop after N readings\n"
           "  --id NAME          the scale's name (letters, digits, '-', '_', '.')\n"
           "  --raw              print every received byte in hex, without probing\n"
           "  --keys             read key names from standard input: DATA, MODE, TARE, ON/OFF,\n"
           "                     each optionally followed by 'double'; SAMPLE with\n"
           "                     --count-pieces\n" +
           FamilyUsage() + record::BenchUsage(21, "SAMPLE on --keys") + mqtt::MqttUsage() +
           web::WebUsage() + wedge::TypeUsage() +
           "  --quiet            print no readings (with --type or --mqtt: they go there only)\n"
           "  --help, --version\n"
           "\n"
           "Readings go to standard output, messages to standard error.\n"
           "Exit status: 0 done, 1 scale or port not available, 2 usage error,\n"
           "3 readings not acknowledged by the MQTT broker at the end,\n"
           "4 the --output file could not be written.\n";
}

}  // namespace reader
