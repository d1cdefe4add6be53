#include "wedge/KeySequence.h"

#include <cstdio>
#include <ctime>

#include "platform/posix/Utf8.h"

namespace wedge {
namespace {

bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

std::optional<Piece::Kind> FieldNamed(std::string_view name) {
    if (name == "value")
        return Piece::Kind::kValue;
    if (name == "unit")
        return Piece::Kind::kUnit;
    if (name == "text")
        return Piece::Kind::kText;
    if (name == "tab")
        return Piece::Kind::kTab;
    if (name == "enter")
        return Piece::Kind::kEnter;
    if (name == "time")
        return Piece::Kind::kTime;
    return std::nullopt;
}

// Appends `text` (ASCII from the scale or the clock) as characters; false when it holds a
// control character.
bool AddText(std::string_view text, Strokes& strokes) {
    for (const char c : text) {
        const auto ch = static_cast<char32_t>(static_cast<unsigned char>(c));
        if (IsControl(ch))
            return false;
        strokes.push_back({Stroke::Kind::kChar, ch});
    }
    return true;
}

}  // namespace

std::optional<std::vector<Piece>> ParseFormat(std::string_view format, std::string* error) {
    std::vector<Piece> pieces;
    const auto literal = [&pieces](char32_t c) {
        if (pieces.empty() || pieces.back().kind != Piece::Kind::kLiteral)
            pieces.push_back({Piece::Kind::kLiteral, {}});
        pieces.back().literal.push_back(c);
    };
    for (std::size_t at = 0; at < format.size();) {
        if (format.substr(at, 2) == "{{" || format.substr(at, 2) == "}}") {
            literal(static_cast<char32_t>(format[at]));
            at += 2;
            continue;
        }
        if (format[at] == '{') {
            const std::size_t end = format.find('}', at);
            const auto kind = end == std::string_view::npos
                                  ? std::nullopt
                                  : FieldNamed(format.substr(at + 1, end - at - 1));
            if (!kind) {
                *error = end == std::string_view::npos
                             ? "a '{' without its '}' (write '{{' for a brace)"
                             : "unknown field '" + std::string(format.substr(at, end - at + 1)) +
                                   "': {value} {unit} {text} {tab} {enter} {time}";
                return std::nullopt;
            }
            pieces.push_back({*kind, {}});
            at = end + 1;
            continue;
        }
        if (format[at] == '}') {
            *error = "a '}' without its '{' (write '}}' for a brace)";
            return std::nullopt;
        }
        char32_t c = 0;
        const std::size_t length = posix::DecodeUtf8(format.substr(at), &c);
        if (length == 0) {
            *error = "not UTF-8 text";
            return std::nullopt;
        }
        if (IsControl(c)) {
            *error = "control characters are refused: write {tab} and {enter} for those keys";
            return std::nullopt;
        }
        literal(c);
        at += length;
    }
    if (pieces.empty())
        *error = "empty: nothing would be typed";
    if (!error->empty())
        return std::nullopt;
    return pieces;
}

std::string LocalIsoTime(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char text[40] = {};
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset = local.tm_gmtoff / 60;
    // Offsets are under a day: two figures each.
    const int minutes = static_cast<int>((offset < 0 ? -offset : offset) % (24 * 60));
    char zone[8] = {};
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60 % 100,
                  minutes % 60);
    return std::string(text) + zone;
}

Composed Compose(const std::vector<Piece>& format, const record::CapturedReading& reading,
                 char decimal) {
    Composed out;
    const auto& number = reading.reading.number;
    if (!number) {
        out.refusal = Refusal::kNoNumber;
        return out;
    }
    bool clean = true;
    for (const Piece& piece : format) {
        switch (piece.kind) {
            case Piece::Kind::kLiteral:
                for (const char32_t c : piece.literal)
                    out.strokes.push_back({Stroke::Kind::kChar, c});
                break;
            case Piece::Kind::kValue: {
                std::string value = number->exact;
                for (char& c : value) {
                    if (c == '.')
                        c = decimal;
                }
                clean &= AddText(value, out.strokes);
                break;
            }
            case Piece::Kind::kUnit:
                clean &= AddText(reading.reading.unit, out.strokes);
                break;
            case Piece::Kind::kText:
                clean &= AddText(reading.reading.text, out.strokes);
                break;
            case Piece::Kind::kTime:
                clean &= AddText(LocalIsoTime(reading.time), out.strokes);
                break;
            case Piece::Kind::kTab:
                out.strokes.push_back({Stroke::Kind::kTab, 0});
                break;
            case Piece::Kind::kEnter:
                out.strokes.push_back({Stroke::Kind::kEnter, 0});
                break;
        }
    }
    if (!clean) {
        out.strokes.clear();
        out.refusal = Refusal::kControlCharacter;
    }
    return out;
}

std::string AsText(const Strokes& strokes) {
    std::string text;
    for (const Stroke& stroke : strokes) {
        if (stroke.kind == Stroke::Kind::kTab) {
            text += '\t';
        } else if (stroke.kind == Stroke::Kind::kEnter) {
            text += '\n';
        } else if (stroke.ch < 0x80) {
            text += static_cast<char>(stroke.ch);
        } else if (stroke.ch < 0x800) {
            text += static_cast<char>(0xC0 | (stroke.ch >> 6));
            text += static_cast<char>(0x80 | (stroke.ch & 0x3F));
        } else if (stroke.ch < 0x10000) {
            text += static_cast<char>(0xE0 | (stroke.ch >> 12));
            text += static_cast<char>(0x80 | ((stroke.ch >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (stroke.ch & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | (stroke.ch >> 18));
            text += static_cast<char>(0x80 | ((stroke.ch >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((stroke.ch >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (stroke.ch & 0x3F));
        }
    }
    return text;
}

}  // namespace wedge
