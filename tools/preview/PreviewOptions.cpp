#include "tools/preview/PreviewOptions.h"

#include <charconv>
#include <cmath>

namespace lumeq_preview {

namespace {

constexpr const char* kSlotOptions[] = {"--wm",   "--sign", "--unit", "--hex1", "--hex2",
                                        "--hex3", "--hex4", "--hex5", "--hex6"};
constexpr int kMaxSide = 8192;

bool ParseSize(std::string_view text, int* width, int* height) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos)
        return false;
    const auto w = ParseCNumber(text.substr(0, x), kMaxSide);
    const auto h = ParseCNumber(text.substr(x + 1), kMaxSide);
    if (!w || !h || *w == 0 || *h == 0)
        return false;
    *width = static_cast<int>(*w);
    *height = static_cast<int>(*h);
    return true;
}

}  // namespace

std::optional<double> ParseScale(std::string_view text) {
    // Digits with at most one point; no sign, exponent or hexadecimal float.
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string_view::npos ||
        text.find('.') != text.rfind('.') || text == ".")
        return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !(value >= 0.25 && value <= 8))
        return std::nullopt;
    return value;
}

std::optional<std::uint32_t> ParseCNumber(std::string_view text, std::uint32_t max) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.size() > 1 && text[0] == '0') {
        base = 8;
        text.remove_prefix(1);
    }
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || value > max)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

bool ParsePreviewOptions(std::span<const std::string> args, PreviewOptions* out,
                         std::string* error) {
    PreviewOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != name.npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name == "--version") {
            options.version = true;
            continue;
        }

        int slot = -1;
        for (std::size_t k = 0; k < std::size(kSlotOptions); ++k) {
            if (name == kSlotOptions[k])
                slot = static_cast<int>(k);
        }
        const bool colour = name == "--back" || name == "--fore1" || name == "--fore2";
        const bool size = name == "--size";
        const bool scale = name == "--scale";
        const bool output = name == "-o" || name == "--output";
        if (slot < 0 && !colour && !size && !scale && !output) {
            *error = name.rfind("-", 0) == 0 ? "unknown option \"" + name + "\""
                                             : "unexpected argument \"" + name + "\"";
            return false;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                *error = "option " + name + " needs a value";
                return false;
            }
            value = args[++i];
        }

        if (slot >= 0) {
            const auto v = ParseCNumber(*value, 0xFF);
            if (!v) {
                *error = "option " + name + ": \"" + *value +
                         "\" is not a slot value; give 0 to 255 as 63, 0x3f or 077";
                return false;
            }
            options.slotValues[static_cast<std::size_t>(slot)] = static_cast<std::uint8_t>(*v);
        } else if (colour) {
            const auto v = ParseCNumber(*value, 0xFFFFFFFF);
            if (!v) {
                *error = "option " + name + ": \"" + *value +
                         "\" is not a colour; give a COLORREF 0x00BBGGRR such as 0x0000FF00";
                return false;
            }
            (name == "--back"    ? options.backColor
             : name == "--fore1" ? options.foreColor1
                                 : options.foreColor2) = *v;
        } else if (size) {
            if (!ParseSize(*value, &options.width, &options.height)) {
                *error = "option --size: \"" + *value + "\" is not a size; give WIDTHxHEIGHT, " +
                         "each 1 to " + std::to_string(kMaxSide) + ", such as 359x101";
                return false;
            }
        } else if (scale) {
            const auto v = ParseScale(*value);
            if (!v) {
                *error = "option --scale: \"" + *value +
                         "\" is not a pixel ratio; give 0.25 to 8, such as 2 or 1.5";
                return false;
            }
            options.scale = *v;
        } else {
            if (value->empty()) {
                *error = "option " + name + " needs a file name";
                return false;
            }
            options.output = *value;
        }
    }
    if (!options.help && !options.version && options.output.empty()) {
        *error = "no output file; give -o FILE.png";
        return false;
    }
    *out = std::move(options);
    return true;
}

std::string PreviewUsage() {
    return "Usage: lumeq-preview [options] -o FILE.png\n"
           "Renders the Lumeq segment display control, created through the component layer,\n"
           "into a PNG image.\n"
           "\n"
           "  --wm V, --sign V, --unit V,\n"
           "  --hex1 V ... --hex6 V   value of one slot, 0 to 255 (63, 0x3f or 077)\n"
           "  --back C                background colour, COLORREF 0x00BBGGRR\n"
           "  --fore1 C               colour of lit elements\n"
           "  --fore2 C               second foreground colour (kept, not drawn)\n"
           "  --size WxH              picture size in pixels (default 359x101)\n"
           "  --scale N               device pixel ratio, 0.25 to 8 (2, 1.5): the picture is\n"
           "                          drawn at N times the size's resolution\n"
           "  -o, --output FILE       where to write the PNG\n"
           "  --version               print the version, then the control library's\n"
           "                          version data\n"
           "  -h, --help              print this help\n"
           "\n"
           "An option left out keeps the control's initial value (every slot 0xFF, green on\n"
           "grey). Exit status: 0 done, 1 the control could not be created or the file not\n"
           "written, 2 bad command line.\n";
}

}  // namespace lumeq_preview
