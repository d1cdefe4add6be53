#pragma once

// What is typed for one captured reading: a format of fields and literal text turned into key
// strokes. Plain C++: no back-end, no Qt.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record/Capture.h"

namespace wedge {

struct Stroke {
    enum class Kind { kChar, kTab, kEnter };
    Kind kind = Kind::kChar;
    char32_t ch = 0;  // kChar only: a printable character

    bool operator==(const Stroke&) const = default;
};
using Strokes = std::vector<Stroke>;

// One piece of a format: literal text or a field.
struct Piece {
    enum class Kind { kLiteral, kValue, kUnit, kText, kTab, kEnter, kTime };
    Kind kind = Kind::kLiteral;
    std::u32string literal;

    bool operator==(const Piece&) const = default;
};

inline constexpr std::string_view kDefaultFormat = "{value}{enter}";

// "{value}{tab}{unit}{enter}": the fields {value} {unit} {text} {tab} {enter} {time}, literal
// UTF-8 text between them, "{{" and "}}" for braces. Nullopt, with `error` set, for an unknown
// field, a lone brace, bad UTF-8, a control character, or nothing at all.
std::optional<std::vector<Piece>> ParseFormat(std::string_view format, std::string* error);

// Why a reading is not typed.
enum class Refusal {
    kNone,
    kNoNumber,          // "----", over load and the like
    kControlCharacter,  // a field's text holds one: only the format's Tab and Enter are keys
};

struct Composed {
    Strokes strokes;
    Refusal refusal = Refusal::kNone;
};

// The strokes for `reading` by `format`; `decimal` ('.' or ',') stands for the point of
// {value}. {time} is the local time of the reading in ISO 8601 with its offset
// ("2026-12-09T06:15:02+01:00").
Composed Compose(const std::vector<Piece>& format, const record::CapturedReading& reading,
                 char decimal);

// "2026-12-09T06:15:02+01:00" for `time` in the local zone.
std::string LocalIsoTime(std::chrono::system_clock::time_point time);

// The strokes as text, Tab and Enter as "\t" and "\n": what a text field would receive.
std::string AsText(const Strokes& strokes);

}  // namespace wedge
