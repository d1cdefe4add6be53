// Identifier text: Parse accepts exactly the braced 8-4-4-4-12 hex form, what it accepts prints
// back as the same identifier, and every identifier survives a trip through its text.

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "platform/component/Guid.h"

namespace {

std::string WithCase(std::string_view text, bool upper) {
    std::string out(text);
    for (char& c : out) {
        const int u = static_cast<unsigned char>(c);
        c = static_cast<char>(upper ? std::toupper(u) : std::tolower(u));
    }
    return out;
}

// An oracle written apart from the parser: braces, dashes at fixed places, hex elsewhere.
bool IsWellFormed(std::string_view text) {
    if (text.size() != 38)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i == 0) {
            if (c != '{')
                return false;
        } else if (i == 37) {
            if (c != '}')
                return false;
        } else if (i == 9 || i == 14 || i == 19 || i == 24) {
            if (c != '-')
                return false;
        } else if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

component::Guid FromBytes(const std::uint8_t* data) {
    component::Guid g;
    g.data1 = std::uint32_t{data[0]} << 24 | std::uint32_t{data[1]} << 16 |
              std::uint32_t{data[2]} << 8 | data[3];
    g.data2 = static_cast<std::uint16_t>(data[4] << 8 | data[5]);
    g.data3 = static_cast<std::uint16_t>(data[6] << 8 | data[7]);
    std::memcpy(g.data4.data(), data + 8, 8);
    return g;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const auto parsed = component::Guid::Parse(text);
    FUZZ_CHECK(parsed.has_value() == IsWellFormed(text),
               "Parse disagrees with the identifier's shape");
    if (parsed) {
        const std::string printed = parsed->ToString();
        // The shape is fixed, so the printed form is the input in upper case.
        FUZZ_CHECK(printed == WithCase(text, true), "an accepted identifier prints differently");
        FUZZ_CHECK(component::Guid::Parse(printed) == parsed,
                   "the printed form parses to another identifier");
    }

    // Any 16 bytes are an identifier; its text, in either case, must bring back the same one.
    if (size >= 16) {
        const component::Guid g = FromBytes(data);
        const std::string printed = g.ToString();
        FUZZ_CHECK(IsWellFormed(printed), "an identifier prints in the wrong shape");
        FUZZ_CHECK(component::Guid::Parse(printed) == g, "an identifier does not survive its text");
        FUZZ_CHECK(component::Guid::Parse(WithCase(printed, false)) == g,
                   "lower-case hex digits change the identifier");
    }
    return 0;
}
