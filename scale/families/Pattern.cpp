// Any other scale: each line matched against the user's regular expression (PCRE2) with the
// named groups value (required), unit and stable (a match of stable means stable; without that
// group every reading is stable). The match is bounded, so no pattern can stall the reader.

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <array>
#include <string>

#include "scale/families/Lines.h"

namespace scale::families {

namespace {

constexpr std::uint32_t kMatchLimit = 100000;
constexpr std::uint32_t kDepthLimit = 1000;

struct CodeFree {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct DataFree {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct ContextFree {
    void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};

class PatternDecoder : public LineDecoder {
  public:
    explicit PatternDecoder(bool sevenBit) : LineDecoder(sevenBit) {}
    bool Compile(std::string_view pattern, std::string* error) {
        int code = 0;
        PCRE2_SIZE offset = 0;
        m_code.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                   PCRE2_UTF, &code, &offset, nullptr));
        if (!m_code) {
            std::array<PCRE2_UCHAR, 256> text{};
            pcre2_get_error_message(code, text.data(), text.size());
            *error = std::string(reinterpret_cast<const char*>(text.data())) + " at offset " +
                     std::to_string(offset);
            return false;
        }
        m_value = Group("value");
        m_unit = Group("unit");
        m_stable = Group("stable");
        if (m_value < 0) {
            *error = "the pattern has no group named value, as in (?<value>[-+ 0-9.]+)";
            return false;
        }
        m_data.reset(pcre2_match_data_create_from_pattern(m_code.get(), nullptr));
        m_context.reset(pcre2_match_context_create(nullptr));
        pcre2_set_match_limit(m_context.get(), kMatchLimit);
        pcre2_set_depth_limit(m_context.get(), kDepthLimit);
        return true;
    }

  protected:
    std::optional<Reading> Decode(std::string_view line) const override {
        const int matched = pcre2_match(m_code.get(), reinterpret_cast<PCRE2_SPTR>(line.data()),
                                        line.size(), 0, 0, m_data.get(), m_context.get());
        if (matched <= 0)
            return std::nullopt;
        const auto text = DecimalText(Part(line, m_value).value_or(""));
        if (!text)
            return std::nullopt;
        const std::string unit = UnitName(Trim(Part(line, m_unit).value_or("")));
        const bool stable = m_stable < 0 || Part(line, m_stable).has_value();
        return WeightReading(*text, unit, stable);
    }

  private:
    int Group(const char* name) const {
        const int number =
            pcre2_substring_number_from_name(m_code.get(), reinterpret_cast<PCRE2_SPTR>(name));
        return number > 0 ? number : -1;
    }
    // What group `number` matched; none when it took no part in the match.
    std::optional<std::string_view> Part(std::string_view line, int number) const {
        if (number < 0)
            return std::nullopt;
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(m_data.get());
        const PCRE2_SIZE start = ovector[2 * number];
        const PCRE2_SIZE end = ovector[2 * number + 1];
        if (start == PCRE2_UNSET || end < start)
            return std::nullopt;
        return line.substr(start, end - start);
    }

    std::unique_ptr<pcre2_code, CodeFree> m_code;
    std::unique_ptr<pcre2_match_data, DataFree> m_data;
    std::unique_ptr<pcre2_match_context, ContextFree> m_context;
    int m_value = -1;
    int m_unit = -1;
    int m_stable = -1;
};

}  // namespace

Family PatternFamily() {
    Family family{"pattern", "any other scale, read by --pattern", {{9600, 'N', 8, 1}}, {}, ""};
    family.needsPattern = true;
    return family;
}

std::unique_ptr<Decoder> MakePatternDecoder(std::string_view pattern, bool sevenBit,
                                            std::string* error) {
    auto decoder = std::make_unique<PatternDecoder>(sevenBit);
    if (!decoder->Compile(pattern, error))
        return nullptr;
    return decoder;
}

}  // namespace scale::families
