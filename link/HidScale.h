#pragma once

// What a USB HID point-of-sale scale says (usage page 0x8D): where its data report keeps the
// status, the weight unit, the data scaling and the weight, found in its report descriptor or,
// for scales whose descriptor says otherwise than they send, a known fixed layout; a data report
// as a reading; and the report that zeroes the scale, where it has one. Plain C++; any thread.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hid/ReportDescriptor.h"
#include "platform/posix/Result.h"
#include "scale/Reading.h"

namespace scale_link {

inline constexpr std::uint16_t kScalePage = 0x8D;

// Whether `port` names a HID scale: "hid" (the first found) or a /dev/hidrawN path.
bool NamesHidPort(std::string_view port);

struct HidScaleLayout {
    std::string name;      // "report descriptor", or the fixed layout's name
    bool numbered = true;  // reports begin with their id byte
    std::uint8_t reportId = 0;
    std::size_t reportBytes = 0;  // the data report, its id byte included
    std::optional<hid::Field> status;
    std::optional<hid::Field> unit;
    std::optional<hid::Field> scaling;
    hid::Field weight;
    // Zero Scale in an output or feature report, and that report's length.
    std::optional<hid::Field> zero;
    std::size_t zeroBytes = 0;
};

// The scale's layout in `descriptor`: its data report's fields; refused when it has none.
posix::Result<HidScaleLayout> ScaleLayoutOf(const hid::Descriptor& descriptor);
// The fixed layouts: [id 3, status, unit, scaling (signed), weight low, weight high].
std::span<const HidScaleLayout> FixedScaleLayouts();
// The layout to read `descriptor`'s scale by: its own, else the first fixed one.
HidScaleLayout ChooseScaleLayout(std::span<const std::uint8_t> descriptor);

// Whether `report` is the layout's data report (its id, and long enough).
bool IsDataReport(const HidScaleLayout& layout, std::span<const std::uint8_t> report);
// The reading in a data report, or why there is none (too short, another report, a scaling no
// scale sends).
posix::Result<scale::Reading> ReadScaleReport(const HidScaleLayout& layout,
                                              std::span<const std::uint8_t> report);

// `weight` x 10^`exponent` as an exact decimal ("-0.005", "1200").
std::string ScaledText(std::int64_t weight, int exponent);
// The name of a Weight Unit usage ("kg", "lb"); empty for none.
std::string_view UnitName(std::uint16_t usage);

// The report that zeroes the scale, to be written to its device; none when it has no Zero Scale.
std::optional<std::vector<std::uint8_t>> ZeroReport(const HidScaleLayout& layout);

}  // namespace scale_link
