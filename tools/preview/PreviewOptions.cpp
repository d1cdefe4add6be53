#include "tools/preview/PreviewOptions.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "platform/cli/OptionTable.h"

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

namespace {

using Value = std::optional<std::string_view>;

// --wm, --sign, --unit, --hex1 .. --hex6.
void AddSlotOptions(cli::OptionTable& table, PreviewOptions& options) {
    const char* const helps[] = {"the WM slot's value, 0 to 255 (63, 0x3f or 077)",
                                 "the sign slot's value",
                                 "the unit slot's value",
                                 "the value of digit 1",
                                 "of digit 2",
                                 "of digit 3",
                                 "of digit 4",
                                 "of digit 5",
                                 "of digit 6"};
    for (std::size_t k = 0; k < std::size(kSlotOptions); ++k) {
        const std::string name = kSlotOptions[k];
        table.Add({.name = name,
                   .value = "V",
                   .help = helps[k],
                   .apply = [&options, k, name](Value value) {
                       const auto v = ParseCNumber(*value, 0xFF);
                       if (!v)
                           return cli::Refuse("option " + name + ": \"" + std::string(*value) +
                                              "\" is not a slot value; give 0 to 255 as 63, 0x3f "
                                              "or 077");
                       options.slotValues[k] = static_cast<std::uint8_t>(*v);
                       return posix::Success();
                   }});
    }
}

void AddColourOptions(cli::OptionTable& table, PreviewOptions& options) {
    const struct {
        const char* name;
        const char* help;
        std::optional<std::uint32_t>* colour;
    } colours[] = {
        {"--back", "background colour, COLORREF 0x00BBGGRR", &options.backColor},
        {"--fore1", "colour of lit elements", &options.foreColor1},
        {"--fore2", "second foreground colour (kept, not drawn)", &options.foreColor2},
    };
    for (const auto& c : colours) {
        table.Add({.name = c.name,
                   .value = "C",
                   .help = c.help,
                   .apply = [colour = c.colour, name = std::string(c.name)](Value value) {
                       const auto v = ParseCNumber(*value, 0xFFFFFFFF);
                       if (!v)
                           return cli::Refuse("option " + name + ": \"" + std::string(*value) +
                                              "\" is not a colour; give a COLORREF 0x00BBGGRR "
                                              "such as 0x0000FF00");
                       *colour = *v;
                       return posix::Success();
                   }});
    }
}

void AddPictureOptions(cli::OptionTable& table, PreviewOptions& options) {
    table.Add({.name = "--size",
               .value = "WxH",
               .help = "picture size in pixels (default 359x101)",
               .apply = [&options](Value value) {
                   if (ParseSize(*value, &options.width, &options.height))
                       return posix::Success();
                   return cli::Refuse("option --size: \"" + std::string(*value) +
                                      "\" is not a size; give WIDTHxHEIGHT, each 1 to " +
                                      std::to_string(kMaxSide) + ", such as 359x101");
               }});
    table.Add({.name = "--scale",
               .value = "N",
               .help = "device pixel ratio, 0.25 to 8 (2, 1.5): the picture is drawn at N "
                       "times the size's resolution",
               .apply = [&options](Value value) {
                   const auto v = ParseScale(*value);
                   if (!v)
                       return cli::Refuse("option --scale: \"" + std::string(*value) +
                                          "\" is not a pixel ratio; give 0.25 to 8, such as 2 "
                                          "or 1.5");
                   options.scale = *v;
                   return posix::Success();
               }});
    table.Add({.name = "--output",
               .value = "FILE",
               .help = "where to write the PNG",
               .apply = cli::Keep(options.output, "--output needs a file name"),
               .alias = "-o"});
    cli::AddHelpAndVersion(table, options.help, options.version,
                           "print the version, then the control library's version data");
}

cli::OptionTable MakeTable(PreviewOptions& options) {
    cli::OptionTable table(cli::kEvery);
    AddSlotOptions(table, options);
    AddColourOptions(table, options);
    AddPictureOptions(table, options);
    return table;
}

}  // namespace

bool ParsePreviewOptions(std::span<const std::string> args, PreviewOptions* out,
                         std::string* error) {
    PreviewOptions options;
    const std::vector<std::string_view> views(args.begin(), args.end());
    posix::Status parsed = MakeTable(options).Parse(views);
    if (parsed && !options.help && !options.version && options.output.empty())
        parsed = cli::Refuse("no output file; give -o FILE.png");
    if (!parsed) {
        *error = parsed.Error().text;
        return false;
    }
    *out = std::move(options);
    return true;
}

std::string PreviewUsage() {
    PreviewOptions scratch;
    const cli::OptionTable table = MakeTable(scratch);
    return table.Usage("lumeq-preview") +
           "Renders the Lumeq segment display control, created through the component layer,\n"
           "into a PNG image.\n"
           "\n" +
           table.Help(26) +
           "\n"
           "An option left out keeps the control's initial value (every slot 0xFF, green on\n"
           "grey). Exit status: 0 done, 1 the control could not be created or the file not\n"
           "written, 2 bad command line.\n";
}

}  // namespace lumeq_preview
