#include "tools/scalesim/SimOptions.h"

#include "platform/cli/OptionTable.h"
#include "scale/families/Family.h"
#include "tools/scalesim/ScaleModel.h"

#include <algorithm>
#include <charconv>

namespace scalesim {

namespace {

template <typename T>
bool ParseNumber(std::string_view text, T low, T high, T* out) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return false;
    *out = value;
    return true;
}

bool ParsePortList(std::string_view text, std::vector<int>* out) {
    out->clear();
    for (;;) {
        const auto comma = text.find(',');
        int port = 0;
        if (!ParseNumber(text.substr(0, comma), 1, kHighestComPort, &port))
            return false;
        out->push_back(port);
        if (comma == std::string_view::npos)
            return true;
        text.remove_prefix(comma + 1);
    }
}

}  // namespace

// "500g", "0.5kg", "500": whole grams above 0, up to the capacity.
bool ParseItems(std::string_view text, std::int64_t* grams) {
    std::int64_t scale = 1;
    if (text.ends_with("kg")) {
        scale = 1000;
        text.remove_suffix(2);
    } else if (text.ends_with('g')) {
        text.remove_suffix(1);
    }
    const std::size_t point = text.find('.');
    std::string figures(text.substr(0, point));
    std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
    // A fraction of a kilogram down to the gram; none of a gram.
    std::int64_t places = 0;
    for (; scale > 1 && !fraction.empty(); scale /= 10, ++places) {
        figures += fraction.front();
        fraction.remove_prefix(1);
    }
    if (!fraction.empty() && fraction.find_first_not_of('0') != std::string_view::npos)
        return false;
    std::int64_t whole = 0;
    if (!ParseNumber<std::int64_t>(figures, 1, ScaleModel::kCapacityGrams, &whole) ||
        whole * scale > ScaleModel::kCapacityGrams)
        return false;
    *grams = whole * scale;
    return true;
}

namespace {

using Value = std::optional<std::string_view>;

// Applies `take` to the value; a value it cannot use is said as it was given.
template <typename Take>
cli::Apply Checked(std::string name, Take take) {
    return [name = std::move(name), take](Value value) {
        if (take(*value))
            return posix::Success();
        return cli::Refuse("bad value for " + name + ": '" + std::string(*value) + "'");
    };
}

void AddLineOptions(cli::OptionTable& table, SimOptions& o) {
    table.Add({.name = "--port-dir",
               .value = "DIR",
               .help = "link each line as DIR/COMn (for KARVEL_PORT_DIR=DIR)",
               .apply = Checked("--port-dir",
                                [&o](std::string_view v) { return !(o.portDir = v).empty(); })});
    table.Add({.name = "--listen",
               .value = "tcp:PORT",
               .help = "serve the one scale on this TCP port of 127.0.0.1 instead of a "
                       "pseudo-terminal, its bytes as they are, one client at a time",
               .apply = Checked("--listen", [&o](std::string_view v) {
                   std::uint16_t port = 0;
                   if (!v.starts_with("tcp:") ||
                       !ParseNumber<std::uint16_t>(v.substr(4), 1, 65535, &port))
                       return false;
                   o.listen = port;
                   return true;
               })});
    table.Add({.name = "--modbus-tcp",
               .value = "PORT",
               .help = "serve the one scale as a Modbus TCP weight transmitter on this port of "
                       "127.0.0.1: float32 kg (cdab) shown at 0x1000, gross 0x1002, tare 0x1004, "
                       "status 0x1020 (bit 3: in motion), command 0x1030 (1 zero, 2 tare)",
               .apply = Checked("--modbus-tcp", [&o](std::string_view v) {
                   std::uint16_t port = 0;
                   if (!ParseNumber<std::uint16_t>(v, 1, 65535, &port))
                       return false;
                   o.modbusTcp = port;
                   return true;
               })});
    table.Add({.name = "--com",
               .value = "N[,N...]",
               .help = "COM numbers that answer as scales (default 1)",
               .apply = Checked(
                   "--com", [&o](std::string_view v) { return ParsePortList(v, &o.scalePorts); })});
    table.Add({.name = "--silent",
               .value = "N[,N...]",
               .help = "COM numbers that exist but never answer",
               .apply = Checked("--silent", [&o](std::string_view v) {
                   return ParsePortList(v, &o.silentPorts);
               })});
    table.Add({.name = "--rate",
               .value = "HZ",
               .help = "frames per second, 1 to 80 (default 10); with --protocol, lines per "
                       "second, 1 to 1000",
               .apply = Checked("--rate", [&o](std::string_view v) {
                   return ParseNumber(v, 1, kHighestLineRate, &o.framesPerSecond);
               })});
    table.Add({.name = "--seed",
               .value = "S",
               .help = "seed of the simulated load (default 1)",
               .apply = Checked("--seed", [&o](std::string_view v) {
                   return ParseNumber<std::uint32_t>(v, 0, UINT32_MAX, &o.seed);
               })});
    table.Add({.name = "--frames",
               .value = "N",
               .help = "stop after N frames were sent, over all lines",
               .apply = Checked("--frames", [&o](std::string_view v) {
                   return ParseNumber<std::uint64_t>(v, 1, UINT64_MAX, &o.frameLimit);
               })});
    table.Add({.name = "--items",
               .value = "WEIGHT",
               .help = "a packing line: items near WEIGHT (whole grams: 500g, 0.5kg) are put on "
                       "and taken off, some under, some over",
               .apply = Checked("--items",
                                [&o](std::string_view v) { return ParseItems(v, &o.itemGrams); })});
    table.Add({.name = "--load",
               .value = "WEIGHT",
               .help = "WEIGHT (whole grams: 500g, 12.345kg) lies on the pan, settled, all the "
                       "time",
               .apply = Checked("--load",
                                [&o](std::string_view v) { return ParseItems(v, &o.loadGrams); })});
}

void AddRunOptions(cli::OptionTable& table, SimOptions& o) {
    table.Add({.name = "--stdin-eof",
               .help = "stop when standard input reaches its end",
               .apply = cli::Set(o.stopAtStdinEof)});
    table.Add({.name = "--remove-port-dir",
               .help = "remove DIR at exit when it is left empty (a folder made for this run; "
                       "nothing in it that is not ours is touched)",
               .apply = cli::Set(o.removePortDir)});
    table.Add({.name = "--protocol",
               .value = "NAME",
               .help = "speak a scale family's lines instead of the panel's frames: sics, and, "
                       "sbi, ohaus, sma, 8217 (when asked), toledo, cas, indicator (streaming); "
                       "its tare, zero and print commands are obeyed",
               .apply = Checked("--protocol", [&o](std::string_view v) {
                   o.protocol = std::string(v);
                   const scale::families::Family* family = scale::families::Find(v);
                   return family && !family->needsPattern;
               })});
    table.Add({.name = "--line",
               .value = "BAUD[,FRAMING]",
               .help = "the speed the family is served at (default: its usual); nothing is sent "
                       "while a port is set to another speed",
               .apply = Checked("--line", [&o](std::string_view v) {
                   return (o.line = scale::families::ParseLine(v)).has_value();
               })});
    table.Add(
        {.name = "--quiet", .help = "no event log on standard error", .apply = cli::Set(o.quiet)});
    cli::AddHelpAndVersion(table, o.help, o.version);
}

cli::OptionTable MakeTable(SimOptions& options) {
    cli::OptionTable table(cli::kEvery);
    AddLineOptions(table, options);
    AddRunOptions(table, options);
    return table;
}

posix::Status CheckTogether(const SimOptions& options) {
    if (options.line && options.protocol.empty())
        return cli::Refuse("--line goes with --protocol");
    if (options.framesPerSecond > kHighestFrameRate &&
        (options.protocol.empty() || options.protocol == "karvel"))
        return cli::Refuse("--rate over " + std::to_string(kHighestFrameRate) +
                           " goes with --protocol and a family whose lines are short");
    if (options.loadGrams > 0 && options.itemGrams > 0)
        return cli::Refuse("--load and --items do not go together");
    if (options.listen && (!options.portDir.empty() || !options.silentPorts.empty() ||
                           options.scalePorts.size() != 1))
        return cli::Refuse(
            "--listen serves one scale: it does not go with --port-dir, --silent "
            "or more than one --com");
    if (options.modbusTcp &&
        (options.listen || !options.portDir.empty() || !options.silentPorts.empty() ||
         !options.protocol.empty() || options.scalePorts.size() != 1))
        return cli::Refuse(
            "--modbus-tcp serves one transmitter: it does not go with --listen, --port-dir, "
            "--silent, --protocol or more than one --com");
    if (options.removePortDir && options.portDir.empty())
        return cli::Refuse("--remove-port-dir needs --port-dir");
    std::vector<int> all = options.scalePorts;
    all.insert(all.end(), options.silentPorts.begin(), options.silentPorts.end());
    std::sort(all.begin(), all.end());
    if (const auto twice = std::adjacent_find(all.begin(), all.end()); twice != all.end())
        return cli::Refuse("COM" + std::to_string(*twice) + " is named twice");
    return posix::Success();
}

}  // namespace

std::optional<SimOptions> ParseSimOptions(std::span<const std::string_view> args,
                                          std::string* error) {
    SimOptions options;
    posix::Status parsed = MakeTable(options).Parse(args);
    if (parsed)
        parsed = CheckTogether(options);
    if (!parsed) {
        *error = parsed.Error().text;
        return std::nullopt;
    }
    return options;
}

std::string SimUsage() {
    SimOptions scratch;
    const cli::OptionTable table = MakeTable(scratch);
    return table.Usage("karvel-scalesim") +
           "Simulated weighing scale on pseudo-terminals (or on a TCP port, with\n"
           "--listen).\n\n" +
           table.Help(21) +
           "\nPrints 'COMn DEVICE' per line, then 'ready'; at exit 'frames sent: N'.\n"
           "Keys: D M T O (double-click: | 0x80); 0x05 is answered with 06 AA.\n";
}

}  // namespace scalesim
