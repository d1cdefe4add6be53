#pragma once

// Detection's ear: bytes heard on a port go to the decoders of every candidate family until one
// family has read two lines of its own. An error reply proves nothing (several families send
// "ES"), and noise never makes two readings. Plain C++.
// Thread: one thread at a time.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "scale/families/Family.h"

namespace scale::families {

// How the bytes heard on a line set to some settings are read: as set, or, when only the speed
// was chosen (unknown scales are listened for at 8N1), at each candidate's own framing at that
// speed, as it is kept once found. A 7-bit character with parity is ten bits on the wire as an
// 8N1 one is, so a 7E1 scale is heard at 8N1 with its parity bits.
enum class Framing { kAsSet, kFamilys };

class Listener {
  public:
    static constexpr std::size_t kAgreeing = 2;

    // `candidates` outlive the listener; `pattern` is the one the pattern family reads by.
    Listener(std::span<const Family* const> candidates, const LineSettings& line, Framing framing,
             std::string_view pattern, std::size_t agreeing = kAgreeing);
    void Push(std::span<const std::uint8_t> bytes);
    // The first candidate (in their order) that read enough lines; null until one has.
    const Family* Found() const;
    // The found family's readings so far.
    const std::vector<Decoded>& Readings() const;
    std::size_t Heard() const { return m_heard; }

  private:
    struct Ear {
        const Family* family;
        std::unique_ptr<Decoder> decoder;
        std::vector<Decoded> readings;
    };
    std::vector<Ear> m_ears;
    std::size_t m_agreeing;
    std::size_t m_heard = 0;
    std::vector<Decoded> m_scratch;
};

}  // namespace scale::families
