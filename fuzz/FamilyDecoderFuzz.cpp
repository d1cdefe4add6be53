// Bytes from the serial line as any family's decoder receives them, on a 7-bit and an 8-bit line.
// Whatever comes, each decoder must give the same readings whether the bytes come at once or split
// (at a place the input's first byte chooses), and every reading must agree with itself: a number
// that is its exact decimal, none while over or under load or for an error reply, bytes no longer
// than a line, none over 0x7F in another family's reading at 8 data bits; on the six cells it shows
// as dashes or as its figures, rounded.

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "scale/Reading.h"
#include "scale/families/Family.h"
#include "scale/families/Shown.h"

namespace {

namespace families = scale::families;

constexpr std::array<scale::LineSettings, 2> kLines = {{{9600, 'E', 7, 1}, scale::kLine}};
constexpr const char* kPattern = R"(^(?<stable>ST|US)?[ ,]*(?<value>[-+ 0-9.]+)\s*(?<unit>[a-z]*))";

std::vector<families::Decoded> DecodeIn(const families::Family& family,
                                        const scale::LineSettings& line,
                                        std::span<const std::uint8_t> bytes, std::size_t split) {
    std::string error;
    auto decoder = families::MakeDecoder(family, line, kPattern, &error);
    FUZZ_CHECK(decoder != nullptr, "a family without a decoder");
    std::vector<families::Decoded> out;
    decoder->Push(bytes.first(split), &out);
    decoder->Push(bytes.subspan(split), &out);
    return out;
}

// On the six cells: dashes, or the number with at most six figures and its sign.
void CheckShown(const scale::Reading& reading) {
    const std::string cells = scale::CellsText(families::ShownOf(reading).values.hex);
    if (cells == "------")
        return;
    FUZZ_CHECK(reading.number.has_value(), "figures on the cells for a reading with no number");
    FUZZ_CHECK(cells.find_first_not_of("0123456789.-") == std::string::npos,
               "the cells show more than figures, point and minus");
    FUZZ_CHECK(cells.starts_with('-') == reading.number->exact.starts_with('-'),
               "the cells lost or gained the minus");
}

void CheckReading(const families::Family& family, const scale::LineSettings& line,
                  const families::Decoded& decoded) {
    const scale::Reading& reading = decoded.reading;
    CheckShown(reading);
    FUZZ_CHECK(!decoded.bytes.empty() && decoded.bytes.size() <= 128,
               "a reading's bytes are empty or longer than a line");
    FUZZ_CHECK(family.name == "karvel" || line.dataBits == 7 || !reading.error.empty() ||
                   std::all_of(decoded.bytes.begin(), decoded.bytes.end(),
                               [](std::uint8_t b) { return b < 0x80; }),
               "a byte over 0x7F read at 8 data bits");
    if (!reading.number)
        return;
    FUZZ_CHECK(!reading.indicators.overLoad && !reading.underLoad && reading.error.empty(),
               "a number while over or under load or in an error reply");
    const std::string& exact = reading.number->exact;
    double parsed = 0;
    const auto [end, error] = std::from_chars(exact.data(), exact.data() + exact.size(), parsed);
    FUZZ_CHECK(error == std::errc() && end == exact.data() + exact.size(),
               "the exact decimal is not a number");
    FUZZ_CHECK(parsed == reading.number->value, "the value is not the exact decimal's");
    // A frame's cells may show ".5", whose exact decimal is "0.5".
    FUZZ_CHECK(family.name == "karvel" || exact == reading.text, "the text is not the decimal");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const std::size_t split = size == 0 ? 0 : data[0] % (size + 1);
    for (const families::Family& family : families::All()) {
        for (const scale::LineSettings& line : kLines) {
            const auto whole = DecodeIn(family, line, bytes, size);
            const auto parts = DecodeIn(family, line, bytes, split);
            FUZZ_CHECK(whole.size() == parts.size(), "a split changed how many readings came");
            for (std::size_t i = 0; i < whole.size(); ++i) {
                FUZZ_CHECK(whole[i].reading == parts[i].reading && whole[i].bytes == parts[i].bytes,
                           "a split changed a reading");
                CheckReading(family, line, whole[i]);
            }
        }
    }
    return 0;
}
