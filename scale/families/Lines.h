#pragma once

// What the line families share: lines cut from the byte stream, and the decimal and unit fields
// they carry. Plain C++.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "scale/Reading.h"
#include "scale/families/Family.h"

namespace scale::families {

// Cuts lines at CR or LF (empty lines skipped); the bytes as received. On a 7-bit line the text
// drops bit 7, the parity bit (a pseudo-terminal reads 7E1 at 8N1); on an 8-bit line a byte over
// 0x7F is no character of a weight line, and the line holding it is dropped. A line longer than
// the bound is dropped up to its end, so noise without line ends never piles up.
class LineSplitter {
  public:
    static constexpr std::size_t kMaxLine = 128;
    explicit LineSplitter(bool sevenBit) : m_sevenBit(sevenBit) {}
    // True when `byte` ended a line.
    bool Push(std::uint8_t byte);
    const std::string& Text() const { return m_text; }
    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }

  private:
    std::string m_text;
    std::vector<std::uint8_t> m_bytes;
    bool m_sevenBit;
    bool m_ended = false;    // the last call ended a line: the next byte starts a new one
    bool m_dropped = false;  // the line so far is too long or holds a byte over 0x7F
};

using LineRule = std::optional<Reading> (*)(std::string_view line);

// A decoder that reads line by line through `rule`.
class LineDecoder : public Decoder {
  public:
    LineDecoder(LineRule rule, bool sevenBit) : m_rule(rule), m_lines(sevenBit) {}
    void Push(std::span<const std::uint8_t> bytes, std::vector<Decoded>* out) override;

  protected:
    explicit LineDecoder(bool sevenBit) : m_lines(sevenBit) {}
    virtual std::optional<Reading> Decode(std::string_view line) const { return m_rule(line); }

  private:
    LineRule m_rule = nullptr;
    LineSplitter m_lines;
};

std::string_view Trim(std::string_view text);

// "+00012.34", "-  1.5", " .5": the decimal as a reading's text ("12.34", "-1.5", "0.5"); leading
// zeros go, the decimals stay as sent. None for anything that is not one decimal number.
std::optional<std::string> DecimalText(std::string_view field);

// A value field followed by its unit ("+00012.34  g", "-1.5kg", "12 pcs"). None when the value is
// no decimal or the unit holds anything but letters, '%' or '#'.
struct ValueUnit {
    std::string text;
    std::string unit;
};
std::optional<ValueUnit> SplitValueUnit(std::string_view field);

// The unit as readings name it: counts as "pcs", the rest as sent.
std::string UnitName(std::string_view unit);

// A weight reading: the number from `text`.
Reading WeightReading(std::string text, std::string unit, bool stable);
// Over load ("OL") or under load ("UL").
Reading LoadReading(bool over);
// An error reply, `reply` as sent.
Reading ErrorReading(std::string_view reply);

// A line headed ST|US|OL and GS|NT (CAS, the common indicator string): a weight from `data`,
// or over or under load by its sign. None for other headers or data that is no weight.
std::optional<Reading> HeadedReading(std::string_view state, std::string_view kind,
                                     std::string_view data);

// The families, one file each.
Family KarvelFamily();
Family SicsFamily();
Family AndFamily();
Family SbiFamily();
Family OhausFamily();
Family ToledoFamily();
Family CasFamily();
Family IndicatorFamily();
Family SmaFamily();
Family Toledo8217Family();
Family PatternFamily();

std::unique_ptr<Decoder> MakeKarvelDecoder();
std::unique_ptr<Decoder> MakeToledoDecoder(bool sevenBit, std::span<const Decoded> before);
std::unique_ptr<Decoder> MakePatternDecoder(std::string_view pattern, bool sevenBit,
                                            std::string* error);
std::optional<Reading> SicsLine(std::string_view line);
std::optional<Reading> AndLine(std::string_view line);
std::optional<Reading> SbiLine(std::string_view line);
std::optional<Reading> OhausLine(std::string_view line);
std::optional<Reading> CasLine(std::string_view line);
std::optional<Reading> IndicatorLine(std::string_view line);
std::optional<Reading> SmaLine(std::string_view line);
std::optional<Reading> Toledo8217Line(std::string_view line);

}  // namespace scale::families
