// Mettler Toledo continuous output: STX, status words A, B and C, six figures of weight, six of
// tare, CR, and an optional checksum byte (skipped: the next frame begins at its STX). The bits,
// as the Mettler Toledo indicator manuals give them (bit 7 is parity on a 7-bit line; on an
// 8-bit line a byte with it set is no byte of a frame):
//  A: bits 0-2 where the point is (0: x100, 1: x10, 2: none, 3..7: 1..5 decimals),
//     bits 3-4 the increment, bit 5 always 1, bit 6 always 0;
//  B: bit 0 net, bit 1 negative, bit 2 out of range, bit 3 motion, bit 4 kg (else lb),
//     bit 5 always 1, bit 6 zero not yet captured after power-up;
//  C: bits 0-2 another unit (1 g, 2 t, 3 oz, 4 ozt, 5 dwt, 6 long ton, 7 custom; 0: bit 4 of B
//     says), bit 3 print requested, bit 4 expanded x10, bit 5 always 1.

#include <array>

#include "scale/families/Lines.h"

namespace scale::families {

namespace {

constexpr std::uint8_t kStx = 0x02;
constexpr std::size_t kFrame = 17;  // STX to CR
constexpr std::size_t kWeight = 4;
constexpr std::size_t kFigures = 6;
constexpr std::uint8_t kAlwaysSet = 0x20;

constexpr std::array<const char*, 8> kOtherUnits = {"", "g", "t", "oz", "ozt", "dwt", "ton", ""};

bool Fits(std::size_t at, std::uint8_t c) {
    if (at == 0)
        return c == kStx;
    if (at < kWeight)
        return c < 0x80 && (c & kAlwaysSet) && !(at == 1 && (c & 0x40));
    if (at < kFrame - 1)
        return c == ' ' || (c >= '0' && c <= '9');
    return c == '\r';
}

Reading FrameReading(const std::array<std::uint8_t, kFrame>& f) {
    const std::uint8_t a = f[1], b = f[2], c = f[3];
    if (b & 0x04)
        return LoadReading(!(b & 0x02));
    std::string figures;
    for (std::size_t i = kWeight; i < kWeight + kFigures; ++i)
        figures += f[i] == ' ' ? '0' : static_cast<char>(f[i]);
    const int point = a & 0x07;
    if (point == 0)
        figures += "00";
    else if (point == 1)
        figures += "0";
    else if (point > 2)
        figures.insert(figures.size() - static_cast<std::size_t>(point - 2), ".");
    std::string text = *DecimalText(figures);
    if ((b & 0x02) && text.find_first_not_of("0.") != std::string::npos)
        text.insert(0, "-");
    const std::string unit = (c & 0x07) != 0 ? kOtherUnits[c & 0x07] : (b & 0x10) ? "kg" : "lb";
    Reading reading = WeightReading(std::move(text), unit, !(b & 0x08));
    reading.indicators.net = b & 0x01;
    reading.indicators.gross = !(b & 0x01);
    reading.indicators.dataSent = c & 0x08;
    return reading;
}

class FrameDecoder : public Decoder {
  public:
    explicit FrameDecoder(bool sevenBit) : m_sevenBit(sevenBit) {}
    void Push(std::span<const std::uint8_t> bytes, std::vector<Decoded>* out) override {
        for (const std::uint8_t byte : bytes) {
            const auto c = static_cast<std::uint8_t>(m_sevenBit ? byte & 0x7F : byte);
            if (!Fits(m_at, c)) {
                // A checksum that happened to be STX began a frame too early: start again here.
                m_at = 0;
                if (!Fits(0, c))
                    continue;
            }
            m_frame[m_at] = c;
            m_raw[m_at] = byte;
            if (++m_at == kFrame) {
                m_at = 0;
                out->push_back({FrameReading(m_frame), {m_raw.begin(), m_raw.end()}});
            }
        }
    }

  private:
    bool m_sevenBit;
    std::array<std::uint8_t, kFrame> m_frame{};
    std::array<std::uint8_t, kFrame> m_raw{};
    std::size_t m_at = 0;
};

}  // namespace

Family ToledoFamily() {
    return {"toledo",
            "Mettler Toledo continuous output",
            {{9600, 'E', 7, 1}, {9600, 'N', 8, 1}, {4800, 'E', 7, 1}, {2400, 'E', 7, 1}},
            {{Key::kTare, "T"}, {Key::kZero, "Z"}, {Key::kPrint, "P"}},
            ""};
}

std::unique_ptr<Decoder> MakeToledoDecoder(bool sevenBit) {
    return std::make_unique<FrameDecoder>(sevenBit);
}

}  // namespace scale::families
