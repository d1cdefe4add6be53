#pragma once

// A USB HID report descriptor read as the kernel hands it over (short items; long items are
// skipped), flattened into one field per report element: where it sits in its report, its
// logical range and the usages it stands for. It knows no device's meaning; a reader of one kind
// of device picks its fields by usage. Plain C++; any thread.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/posix/Result.h"

namespace hid {

enum class ReportKind { kInput, kOutput, kFeature };

// A usage with its page in the upper 16 bits.
using Usage = std::uint32_t;

constexpr Usage UsageOf(std::uint16_t page, std::uint16_t id) {
    return static_cast<Usage>(page) << 16 | id;
}

struct Field {
    ReportKind kind = ReportKind::kInput;
    std::uint8_t reportId = 0;  // 0: the device numbers no reports
    unsigned bitOffset = 0;     // from the start of the report's data, after any id byte
    unsigned bitSize = 0;
    std::int32_t logicalMin = 0;
    std::int32_t logicalMax = 0;
    int unitExponent = 0;
    bool constant = false;  // padding
    bool array = false;     // the value selects one of `usages` (from logicalMin), else it is one
    // A variable: its one usage. An array: the usages its values select, in order.
    std::vector<Usage> usages;
    // The usages of the collections around it, outermost first.
    std::vector<Usage> collections;
};

struct Descriptor {
    std::vector<Field> fields;
    bool numbered = false;  // reports begin with their id byte

    // The bytes of report `id` of `kind`, its id byte included when numbered; 0 when none.
    std::size_t ReportBytes(ReportKind kind, std::uint8_t id) const;
    // Whether any item names usage page `page`.
    bool HasPage(std::uint16_t page) const;

    std::vector<std::uint16_t> pages;
};

// The fields of `bytes`, or where and why it cannot be read.
posix::Result<Descriptor> ParseDescriptor(std::span<const std::uint8_t> bytes);

// The value of `field` in `report` (id byte included when the descriptor numbers reports), sign
// extended when its logical minimum is negative; none when the report is too short for it.
std::optional<std::int64_t> FieldValue(const Field& field, bool numbered,
                                       std::span<const std::uint8_t> report);
// The usage an array field's value selects; none outside its range.
std::optional<Usage> SelectedUsage(const Field& field, std::int64_t value);

// Sets `field` to `value` in `report` (sized by the caller). Bits beyond it are untouched.
void SetField(const Field& field, bool numbered, std::uint32_t value,
              std::span<std::uint8_t> report);

}  // namespace hid
