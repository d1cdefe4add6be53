#pragma once

// Feeding a family's decoder in the ways a line delivers bytes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scale/Protocol.h"
#include "scale/families/Family.h"

namespace families_test {

inline std::vector<std::uint8_t> BytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

// 7 data bits with even parity, as a port at 8N1 reads them: bit 7 set where the seven bits have an
// odd count.
inline std::vector<std::uint8_t> WithParity(std::vector<std::uint8_t> bytes) {
    for (std::uint8_t& b : bytes) {
        if (__builtin_popcount(b & 0x7F) % 2 != 0)
            b = static_cast<std::uint8_t>(b | 0x80);
    }
    return bytes;
}

inline constexpr scale::LineSettings k7E1{9600, 'E', 7, 1};

// The readings of `bytes` on a line set to `line`, pushed in two parts split at `split`.
inline std::vector<scale::families::Decoded> DecodeSplit(
    std::string_view family, const std::vector<std::uint8_t>& bytes, std::size_t split,
    std::string_view pattern = {}, const scale::LineSettings& line = scale::kLine) {
    std::string error;
    auto decoder =
        scale::families::MakeDecoder(*scale::families::Find(family), line, pattern, &error);
    std::vector<scale::families::Decoded> out;
    if (!decoder)
        return out;
    decoder->Push(std::span(bytes).first(split), &out);
    decoder->Push(std::span(bytes).subspan(split), &out);
    return out;
}

inline std::vector<scale::families::Decoded> Decode(
    std::string_view family, const std::vector<std::uint8_t>& bytes, std::string_view pattern = {},
    const scale::LineSettings& line = scale::kLine) {
    return DecodeSplit(family, bytes, bytes.size(), pattern, line);
}

}  // namespace families_test
