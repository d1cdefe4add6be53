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

class Listener {
  public:
    static constexpr std::size_t kAgreeing = 2;

    // `candidates` outlive the listener; `pattern` is the one the pattern family reads by.
    Listener(std::span<const Family* const> candidates, std::string_view pattern,
             std::size_t agreeing = kAgreeing);
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
