#pragma once

// The scale families a reader can speak to: each one's usual line settings, its decoder from
// received bytes to readings, its key commands and the query that asks for a weight without
// changing anything on the scale. Plain C++.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "scale/Protocol.h"
#include "scale/Reading.h"

namespace scale::families {

enum class Key { kTare, kZero, kPrint, kData, kMode, kOnOff };

// "TARE", "ZERO", "PRINT", "DATA", "MODE", "ON/OFF".
std::string_view KeyName(Key key);
// The key of a name as the user types it (any case); none for anything else.
std::optional<Key> KeyOfName(std::string_view name);
// The key a line names, as --keys and the broker's key messages write it: a key's name in any
// case, blanks and a line end around it; none for anything else.
std::optional<Key> KeyOfLine(std::string_view line);
// "TARE, ZERO, PRINT, DATA, MODE or ON/OFF": the names KeyOfLine takes.
std::string KeyNames();
// The key of one of the panel's key bytes (a double-click's too); none for any other byte.
std::optional<Key> KeyOfPanelByte(std::uint8_t byte);

// One reading and the bytes it came in (a line without its end, or a whole frame).
struct Decoded {
    Reading reading;
    std::vector<std::uint8_t> bytes;
};

// Bytes in, readings out; a line or frame may be split at any byte between calls. Bytes that
// make no reading of the family are dropped, however many come.
// Thread: one thread at a time.
class Decoder {
  public:
    virtual ~Decoder() = default;
    // Appends to `out` each reading that `bytes` complete, in order.
    virtual void Push(std::span<const std::uint8_t> bytes, std::vector<Decoded>* out) = 0;
    // Frames dropped so far because their checksum failed (the first one is also appended as an
    // error reading); none for a family without one.
    virtual std::size_t Dropped() const { return 0; }
};

struct KeyCommand {
    Key key;
    std::string bytes;
};

struct Family {
    std::string_view name;            // "sics"
    std::string_view describes;       // for the user: whose format it is
    std::vector<LineSettings> lines;  // the usual settings, the most common first
    std::vector<KeyCommand> keys;
    std::string query;  // non-destructive; empty when the family has none
    bool needsPattern = false;
};

// Every family, in the order detection tries them.
std::span<const Family> All();
const Family* Find(std::string_view name);
// "karvel, sics, and, ...".
std::string Names();

// The family's command for `key`; none when the family has no such key.
std::optional<std::string> CommandFor(const Family& family, Key key);

// A decoder for `family` reading a line set to `line`: at 7 data bits bit 7 is the parity bit
// and is dropped; at 8 it is the scale's own, and a byte over 0x7F is no family's figure or unit,
// so the line or frame holding it is unreadable. `pattern` is the regular expression of the
// pattern family. `before`: what detection read on the line, which the decoder goes on from
// (a scale seen sending checksums has each frame checked from the first). Null with the reason
// in `error` when the pattern cannot be used.
std::unique_ptr<Decoder> MakeDecoder(const Family& family, const LineSettings& line,
                                     std::string_view pattern, std::string* error,
                                     std::span<const Decoded> before = {});

// The family's own framing at `line`'s speed: the first of its usual lines at that speed, or
// `line` itself when it has none there.
LineSettings FramingAt(const Family& family, const LineSettings& line);

// "12.345 g, stable, net": what a screen reader says for a family's reading.
std::string SpokenText(const Reading& reading);

// "9600 8N1".
std::string LineText(const LineSettings& line);
// "2400,7E1" or "9600" (8N1 then): none for anything else, or a baud outside 1200..115200.
std::optional<LineSettings> ParseLine(std::string_view text);

}  // namespace scale::families
