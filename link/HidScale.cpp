#include "link/HidScale.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>

namespace scale_link {
namespace {

using hid::Field;
using hid::UsageOf;

// The scale page's usages that a reading needs.
constexpr std::uint16_t kDataWeight = 0x40;
constexpr std::uint16_t kDataScaling = 0x41;
constexpr std::uint16_t kWeightUnit = 0x50;
constexpr std::uint16_t kScaleStatus = 0x70;
constexpr std::uint16_t kFault = 0x71;
constexpr std::uint16_t kStableAtZero = 0x72;
constexpr std::uint16_t kStable = 0x74;
constexpr std::uint16_t kUnderZero = 0x75;
constexpr std::uint16_t kOverLimit = 0x76;
constexpr std::uint16_t kNeedsCalibration = 0x77;
constexpr std::uint16_t kNeedsRezero = 0x78;
constexpr std::uint16_t kZeroScale = 0x80;

// Beyond this no scale scales its weight; it would only make long text.
constexpr int kWidestScaling = 20;

constexpr std::array<std::string_view, 12> kUnitNames = {"mg",  "g", "kg",  "ct",  "tael", "gr",
                                                         "dwt", "t", "ton", "ozt", "oz",   "lb"};

bool Scale(hid::Usage usage, std::uint16_t id) {
    return usage == UsageOf(kScalePage, id);
}

// A status or unit field: a selector among the named usages (first..last), or one inside their
// collection that counts from it.
bool Selects(const Field& field, std::uint16_t collection, std::uint16_t first,
             std::uint16_t last) {
    if (std::any_of(field.collections.begin(), field.collections.end(),
                    [collection](hid::Usage u) { return Scale(u, collection); }))
        return true;
    return std::any_of(field.usages.begin(), field.usages.end(), [&](hid::Usage u) {
        return Scale(u, collection) ||
               (u >> 16 == kScalePage && (u & 0xFFFF) >= first && (u & 0xFFFF) <= last);
    });
}

// The usage a status or unit field says, counted from its collection when it names none.
std::uint16_t Said(const Field& field, std::int64_t value, std::uint16_t collection) {
    if (field.array) {
        if (const auto usage = hid::SelectedUsage(field, value);
            usage && *usage >> 16 == kScalePage && !Scale(*usage, collection))
            return static_cast<std::uint16_t>(*usage);
    }
    return value > 0 && value < 0x10 ? static_cast<std::uint16_t>(collection + value) : 0;
}

void Place(HidScaleLayout& layout, const Field& field) {
    const auto has = [&field](std::uint16_t id) {
        return !field.array && field.usages.size() == 1 && Scale(field.usages.front(), id);
    };
    if (has(kDataWeight))
        layout.weight = field;
    else if (has(kDataScaling))
        layout.scaling = field;
    else if (Selects(field, kScaleStatus, kFault, kNeedsRezero))
        layout.status = field;
    else if (Selects(field, kWeightUnit, kWeightUnit + 1, kWeightUnit + kUnitNames.size()))
        layout.unit = field;
}

Field Byte(unsigned at, bool isSigned) {
    Field field;
    field.bitOffset = at;
    field.bitSize = 8;
    field.logicalMin = isSigned ? -128 : 0;
    field.logicalMax = isSigned ? 127 : 255;
    return field;
}

HidScaleLayout SixByteLayout() {
    HidScaleLayout layout;
    layout.name = "the 6-byte data report";
    layout.reportId = 3;
    layout.reportBytes = 6;
    layout.status = Byte(0, false);
    layout.unit = Byte(8, false);
    layout.scaling = Byte(16, true);
    layout.weight = Byte(24, false);
    layout.weight.bitSize = 16;
    layout.weight.logicalMax = 0xFFFF;
    return layout;
}

void Flag(std::uint16_t status, scale::Reading& reading) {
    reading.indicators.stable = status == kStable || status == kStableAtZero;
    reading.indicators.zero = status == kStableAtZero;
    reading.indicators.overLoad = status == kOverLimit;
    reading.underLoad = status == kUnderZero;
    if (status == kFault)
        reading.error = "fault";
    else if (status == kNeedsCalibration)
        reading.error = "requires calibration";
    else if (status == kNeedsRezero)
        reading.error = "requires re-zeroing";
}

}  // namespace

bool NamesHidPort(std::string_view port) {
    return port == "hid" || port.starts_with("/dev/hidraw");
}

posix::Result<HidScaleLayout> ScaleLayoutOf(const hid::Descriptor& descriptor) {
    // The data report is the input report that holds a Data Weight; its other fields follow.
    const auto weight =
        std::find_if(descriptor.fields.begin(), descriptor.fields.end(), [](const Field& field) {
            return field.kind == hid::ReportKind::kInput && !field.array &&
                   field.usages.size() == 1 && Scale(field.usages.front(), kDataWeight);
        });
    if (weight == descriptor.fields.end())
        return posix::SystemError::Because("the report descriptor has no scale weight");
    HidScaleLayout layout;
    layout.name = "report descriptor";
    layout.numbered = descriptor.numbered;
    layout.reportId = weight->reportId;
    layout.reportBytes = descriptor.ReportBytes(hid::ReportKind::kInput, weight->reportId);
    for (const Field& field : descriptor.fields) {
        if (field.kind == hid::ReportKind::kInput && field.reportId == weight->reportId)
            Place(layout, field);
        else if (field.kind != hid::ReportKind::kInput && !field.array &&
                 field.usages.size() == 1 && Scale(field.usages.front(), kZeroScale)) {
            layout.zero = field;
            layout.zeroBytes = descriptor.ReportBytes(field.kind, field.reportId);
        }
    }
    return layout;
}

std::span<const HidScaleLayout> FixedScaleLayouts() {
    static const std::array<HidScaleLayout, 1> kLayouts = {SixByteLayout()};
    return kLayouts;
}

HidScaleLayout ChooseScaleLayout(std::span<const std::uint8_t> descriptor) {
    if (const auto parsed = hid::ParseDescriptor(descriptor)) {
        if (auto layout = ScaleLayoutOf(*parsed))
            return std::move(layout).Value();
    }
    return FixedScaleLayouts().front();
}

bool IsDataReport(const HidScaleLayout& layout, std::span<const std::uint8_t> report) {
    return report.size() >= layout.reportBytes && !report.empty() &&
           (!layout.numbered || report.front() == layout.reportId);
}

posix::Result<scale::Reading> ReadScaleReport(const HidScaleLayout& layout,
                                              std::span<const std::uint8_t> report) {
    if (!IsDataReport(layout, report))
        return posix::SystemError::Because("a report of " + std::to_string(report.size()) +
                                           " bytes is no data report (" +
                                           std::to_string(layout.reportBytes) + " bytes, id " +
                                           std::to_string(layout.reportId) + ")");
    const auto value = [&](const std::optional<Field>& field) {
        return field ? hid::FieldValue(*field, layout.numbered, report) : std::nullopt;
    };
    const auto weight = hid::FieldValue(layout.weight, layout.numbered, report);
    const auto scaling = value(layout.scaling);
    const std::int64_t exponent = scaling ? *scaling : layout.weight.unitExponent;
    if (!weight || exponent < -kWidestScaling || exponent > kWidestScaling)
        return posix::SystemError::Because("a data scaling of " + std::to_string(exponent));
    scale::Reading reading;
    reading.text = ScaledText(*weight, static_cast<int>(exponent));
    if (const auto unit = value(layout.unit))
        reading.unit = UnitName(Said(*layout.unit, *unit, kWeightUnit));
    const auto status = value(layout.status);
    Flag(status ? Said(*layout.status, *status, kScaleStatus) : 0, reading);
    if (reading.error.empty() && !reading.indicators.overLoad) {
        double number = 0;
        std::from_chars(reading.text.data(), reading.text.data() + reading.text.size(), number);
        reading.number = scale::Number{reading.text, number};
    }
    return reading;
}

std::string ScaledText(std::int64_t weight, int exponent) {
    std::string digits = std::to_string(weight < 0 ? -weight : weight);
    if (exponent >= 0) {
        if (weight != 0)
            digits.append(static_cast<std::size_t>(exponent), '0');
    } else {
        const auto places = static_cast<std::size_t>(-exponent);
        if (digits.size() <= places)
            digits.insert(0, places + 1 - digits.size(), '0');
        digits.insert(digits.size() - places, ".");
    }
    return weight < 0 ? "-" + digits : digits;
}

std::string_view UnitName(std::uint16_t usage) {
    if (usage <= kWeightUnit || usage > kWeightUnit + kUnitNames.size())
        return {};
    return kUnitNames[usage - kWeightUnit - 1];
}

std::optional<std::vector<std::uint8_t>> ZeroReport(const HidScaleLayout& layout) {
    if (!layout.zero || layout.zeroBytes == 0)
        return std::nullopt;
    std::vector<std::uint8_t> report(layout.zeroBytes, 0);
    if (layout.numbered)
        report.front() = layout.zero->reportId;
    hid::SetField(*layout.zero, layout.numbered, 1, report);
    return report;
}

}  // namespace scale_link
