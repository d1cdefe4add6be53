#include "tools/scalesim/SimOptions.h"

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

std::optional<SimOptions> ParseSimOptions(std::span<const std::string_view> args,
                                          std::string* error) {
    SimOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view name = args[i];
        std::optional<std::string_view> inlineValue;
        if (const auto eq = name.find('='); eq != std::string_view::npos) {
            inlineValue = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        const bool takesValue = name == "--port-dir" || name == "--com" || name == "--silent" ||
                                name == "--rate" || name == "--seed" || name == "--frames" ||
                                name == "--protocol" || name == "--line" || name == "--items";
        std::string_view value;
        if (takesValue) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                *error = std::string(name) + " needs a value";
                return std::nullopt;
            }
        } else if (inlineValue) {
            *error = std::string(name) + " takes no value";
            return std::nullopt;
        }

        bool ok = true;
        if (name == "--port-dir")
            ok = !(options.portDir = value).empty();
        else if (name == "--com")
            ok = ParsePortList(value, &options.scalePorts);
        else if (name == "--silent")
            ok = ParsePortList(value, &options.silentPorts);
        else if (name == "--rate")
            ok = ParseNumber(value, 1, kHighestFrameRate, &options.framesPerSecond);
        else if (name == "--seed")
            ok = ParseNumber<std::uint32_t>(value, 0, UINT32_MAX, &options.seed);
        else if (name == "--frames")
            ok = ParseNumber<std::uint64_t>(value, 1, UINT64_MAX, &options.frameLimit);
        else if (name == "--protocol") {
            options.protocol = std::string(value);
            ok = scale::families::Find(value) != nullptr &&
                 !scale::families::Find(value)->needsPattern;
        } else if (name == "--line")
            ok = (options.line = scale::families::ParseLine(value)).has_value();
        else if (name == "--items")
            ok = ParseItems(value, &options.itemGrams);
        else if (name == "--quiet")
            options.quiet = true;
        else if (name == "--stdin-eof")
            options.stopAtStdinEof = true;
        else if (name == "--remove-port-dir")
            options.removePortDir = true;
        else if (name == "--help" || name == "-h")
            options.help = true;
        else if (name == "--version")
            options.version = true;
        else {
            *error = "unknown option " + std::string(args[i]);
            return std::nullopt;
        }
        if (!ok) {
            *error = "bad value for " + std::string(name) + ": '" + std::string(value) + "'";
            return std::nullopt;
        }
    }

    if (options.line && options.protocol.empty()) {
        *error = "--line goes with --protocol";
        return std::nullopt;
    }
    if (options.removePortDir && options.portDir.empty()) {
        *error = "--remove-port-dir needs --port-dir";
        return std::nullopt;
    }
    std::vector<int> all = options.scalePorts;
    all.insert(all.end(), options.silentPorts.begin(), options.silentPorts.end());
    std::sort(all.begin(), all.end());
    if (const auto twice = std::adjacent_find(all.begin(), all.end()); twice != all.end()) {
        *error = "COM" + std::to_string(*twice) + " is named twice";
        return std::nullopt;
    }
    return options;
}

std::string SimUsage() {
    return "usage: karvel-scalesim [options]\n"
           "Simulated weighing scale on pseudo-terminals.\n"
           "  --port-dir DIR     link each line as DIR/COMn (for KARVEL_PORT_DIR=DIR)\n"
           "  --com N[,N...]     COM numbers that answer as scales (default 1)\n"
           "  --silent N[,N...]  COM numbers that exist but never answer\n"
           "  --rate HZ          frames per second, 1 to 80 (default 10)\n"
           "  --seed S           seed of the simulated load (default 1)\n"
           "  --frames N         stop after N frames were sent, over all lines\n"
           "  --items WEIGHT     a packing line: items near WEIGHT (whole grams: 500g,\n"
           "                     0.5kg) are put on and taken off, some under, some over\n"
           "  --stdin-eof        stop when standard input reaches its end\n"
           "  --remove-port-dir  remove DIR at exit when it is left empty (a folder made\n"
           "                     for this run; nothing in it that is not ours is touched)\n"
           "  --protocol NAME    speak a scale family's lines instead of the panel's frames:\n"
           "                     sics, and, sbi, ohaus (when asked), toledo, cas, indicator\n"
           "                     (streaming); its tare, zero and print commands are obeyed\n"
           "  --line BAUD[,FRAMING]  the speed the family is served at (default: its usual);\n"
           "                     nothing is sent while a port is set to another speed\n"
           "  --quiet            no event log on standard error\n"
           "  --help             this text\n"
           "  --version          print the version\n"
           "Prints 'COMn DEVICE' per line, then 'ready'; at exit 'frames sent: N'.\n"
           "Keys: D M T O (double-click: | 0x80); 0x05 is answered with 06 AA.\n";
}

}  // namespace scalesim
