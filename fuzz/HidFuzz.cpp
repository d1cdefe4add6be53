// A USB HID scale's report descriptor and its reports. The first byte is the descriptor's length;
// then the descriptor, then reports of the chosen layout's length. A descriptor taken keeps every
// field inside the largest report, and each field holds what is set in it; a reading's text is a
// plain decimal whose number is its value; the zero report has its own length and id.

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "link/HidScale.h"
#include "platform/hid/ReportDescriptor.h"

namespace {

void CheckFields(const hid::Descriptor& descriptor) {
    for (const hid::Field& field : descriptor.fields) {
        FUZZ_CHECK(field.bitOffset + field.bitSize <= 8 * 4096, "a field beyond 4096 bytes");
        const std::size_t bytes = descriptor.ReportBytes(field.kind, field.reportId);
        FUZZ_CHECK(bytes <= 4097, "a report longer than its bound");
        if (field.bitSize == 0 || field.bitSize > 32)
            continue;
        std::vector<std::uint8_t> report(bytes, 0);
        const std::uint32_t most =
            field.bitSize == 32 ? 0xFFFFFFFFu : (std::uint32_t{1} << field.bitSize) - 1;
        const std::uint32_t set = 0xA5A5A5A5u & most;
        hid::SetField(field, descriptor.numbered, set, report);
        const auto value = hid::FieldValue(field, descriptor.numbered, report);
        FUZZ_CHECK(value.has_value(), "a field outside its own report");
        FUZZ_CHECK((static_cast<std::uint64_t>(*value) & most) == set, "a field lost its value");
    }
}

void CheckReading(const scale::Reading& reading) {
    const std::string& text = reading.text;
    FUZZ_CHECK(!text.empty() && text.find_first_not_of("-0123456789.") == std::string::npos,
               "a weight's text is no plain decimal");
    FUZZ_CHECK(text.find('.') == text.rfind('.') && text.rfind('-') == text.find('-') &&
                   (text.find('-') == std::string::npos || text.front() == '-'),
               "a weight's text has two points or a sign inside");
    if (!reading.number)
        return;
    double number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    FUZZ_CHECK(error == std::errc() && end == text.data() + text.size() &&
                   number == reading.number->value && reading.number->exact == text,
               "a weight's text and number disagree");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::span<const std::uint8_t> input(data + 1, size - 1);
    const std::span<const std::uint8_t> descriptor =
        input.first(std::min<std::size_t>(data[0], input.size()));
    if (const auto parsed = hid::ParseDescriptor(descriptor))
        CheckFields(*parsed);
    const scale_link::HidScaleLayout layout = scale_link::ChooseScaleLayout(descriptor);
    if (const auto zero = scale_link::ZeroReport(layout)) {
        FUZZ_CHECK(zero->size() == layout.zeroBytes, "a zero report of another length");
        FUZZ_CHECK(!layout.numbered || zero->front() == layout.zero->reportId,
                   "a zero report without its id");
    }
    const std::size_t length = std::max<std::size_t>(layout.reportBytes, 1);
    for (std::span<const std::uint8_t> rest = input.subspan(descriptor.size()); !rest.empty();
         rest = rest.subspan(std::min(length, rest.size()))) {
        const auto reading =
            scale_link::ReadScaleReport(layout, rest.first(std::min(length, rest.size())));
        if (reading)
            CheckReading(*reading);
    }
    return 0;
}
