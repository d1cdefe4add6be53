#pragma once

// Command line of lumeq-preview.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lumeq_preview {

struct PreviewOptions {
    // Slot values in member order: WM, Sign, Unit, Hex1 .. Hex6; empty keeps the control's own.
    std::array<std::optional<std::uint8_t>, 9> slotValues;
    std::optional<std::uint32_t> backColor;  // COLORREF 0x00BBGGRR
    std::optional<std::uint32_t> foreColor1;
    std::optional<std::uint32_t> foreColor2;
    int width = 359;
    int height = 101;
    double scale = 1;  // device pixel ratio; the image is the size times this
    std::string output;
    bool version = false;
    bool help = false;
};

// Parses the arguments after the program name. On a bad command line returns false with a
// message that names the option and what it accepts.
bool ParsePreviewOptions(std::span<const std::string> args, PreviewOptions* out,
                         std::string* error);

// A number in C notation: decimal, 0x hexadecimal or 0 octal, within [0, max].
std::optional<std::uint32_t> ParseCNumber(std::string_view text, std::uint32_t max);

// A device pixel ratio such as 2 or 1.5: a plain decimal number from 0.25 to 8.
std::optional<double> ParseScale(std::string_view text);

std::string PreviewUsage();

}  // namespace lumeq_preview
