// Bytes from the serial line as a reader receives them. A frame must complete exactly when its
// header reaches the oldest end, with that frame's nine values in order; the probe's answer must
// be noticed only for a pair received since the probe began; and whatever the values, reading
// them must give text, number and unit that agree with each other.
//
// A probe begins before every byte 0x05 of the input, as if the reader had just sent it.

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "scale/FrameWindow.h"
#include "scale/Reading.h"

namespace {

// The line as this target expects it read: the last twelve bytes, oldest first.
class ExpectedWindow {
  public:
    void BeginProbe() {
        m_answered = false;
        m_sinceProbe = 0;
    }
    bool Feed(std::uint8_t b) {
        if (m_sinceProbe >= 1 && m_window[11] == 0x06 && b == 0xAA)
            m_answered = true;
        ++m_sinceProbe;
        for (std::size_t i = 0; i + 1 < m_window.size(); ++i)
            m_window[i] = m_window[i + 1];
        m_window[11] = b;
        return m_window[0] == 0x06 && m_window[1] == 0xAA;
    }
    const std::array<std::uint8_t, 12>& Window() const { return m_window; }
    bool Answered() const { return m_answered; }

  private:
    std::array<std::uint8_t, 12> m_window{};
    // Before any probe every byte counts.
    std::size_t m_sinceProbe = 1;
    bool m_answered = false;
};

void CheckReading(const scale::Slots& values) {
    const scale::Reading reading = scale::Read(values);
    FUZZ_CHECK(reading == scale::Read(values), "reading the same values twice differs");
    FUZZ_CHECK(reading.text.find_first_not_of("0123456789ABCDEF-.? ") == std::string::npos,
               "the text holds a character no cell shows");
    FUZZ_CHECK(reading.indicators.bars >= 0 && reading.indicators.bars <= 6, "bars out of range");
    FUZZ_CHECK(scale::SpokenText(values).starts_with(reading.text),
               "the spoken text does not begin with the cells");
    if (reading.number) {
        FUZZ_CHECK(!reading.indicators.overLoad, "a number while over load");
        const std::string& exact = reading.number->exact;
        double parsed = 0;
        const auto [end, error] =
            std::from_chars(exact.data(), exact.data() + exact.size(), parsed);
        FUZZ_CHECK(error == std::errc() && end == exact.data() + exact.size(),
                   "the exact decimal is not a number");
        FUZZ_CHECK(parsed == reading.number->value, "the value is not the exact decimal's");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    scale::FrameWindow window;
    scale::ProbeAnswer probe;
    ExpectedWindow expected;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == scale::kProbe) {
            probe.Begin();
            expected.BeginProbe();
        }
        const bool complete = window.Push(data[i], &probe);
        FUZZ_CHECK(complete == expected.Feed(data[i]), "a frame completed at the wrong byte");
        FUZZ_CHECK(window.Bytes() == expected.Window(), "the window holds other bytes");
        FUZZ_CHECK(probe.Answered() == expected.Answered(),
                   "the probe's answer was noticed wrongly");
        if (complete) {
            const scale::Slots values = window.FrameSlots();
            FUZZ_CHECK(values.wm == data[i - 8] && values.hex[5] == data[i],
                       "the slots are not the frame's last nine bytes");
            CheckReading(values);
        }
    }
    return 0;
}
