#pragma once

// Reads the bytes a port delivered as the scale's line carries them: whole frames, probe
// answers, and anything else as stray bytes. Independent of the panel's own decoding, so the
// two can be compared.

#include <cstddef>
#include <cstdint>

namespace soak {

class LineTally {
  public:
    void Add(std::uint8_t byte);
    // Counts what is left over at the end of the stream; call once, after the last Add.
    void Finish();

    std::uint64_t Bytes() const { return m_bytes; }
    std::uint64_t Frames() const { return m_frames; }
    // Probe answers: a header that no frame follows.
    std::uint64_t Answers() const { return m_answers; }
    // Bytes that belong to neither: a frame cut short, noise, a lost header.
    std::uint64_t StrayBytes() const { return m_stray; }

  private:
    void Take(std::uint8_t byte);

    std::size_t m_held = 0;  // bytes of the frame or answer being read
    std::uint64_t m_bytes = 0;
    std::uint64_t m_frames = 0;
    std::uint64_t m_answers = 0;
    std::uint64_t m_stray = 0;
};

}  // namespace soak
