// Mettler Toledo continuous output: STX, status words A, B and C, six figures of weight, six of
// tare, CR, and an optional checksum byte: the two's complement of the 7-bit sum of STX to CR, so
// that the sum with it is 0 modulo 128 (without one, the byte after CR is the next frame's STX).
// The bits, as the Mettler Toledo indicator manuals give them (bit 7 is parity on a 7-bit line;
// on an 8-bit line a byte with it set is no byte of a frame):
//  A: bits 0-2 where the point is (0: x100, 1: x10, 2: none, 3..7: 1..5 decimals),
//     bits 3-4 the increment, bit 5 always 1, bit 6 always 0;
//  B: bit 0 net, bit 1 negative, bit 2 out of range, bit 3 motion, bit 4 kg (else lb),
//     bit 5 always 1, bit 6 zero not yet captured after power-up;
//  C: bits 0-2 another unit (1 g, 2 t, 3 oz, 4 ozt, 5 dwt, 6 long ton, 7 custom; 0: bit 4 of B
//     says), bit 3 print requested, bit 4 expanded x10, bit 5 always 1.

#include <array>
#include <numeric>
#include <optional>
#include <utility>

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

// Whether a frame waits for its checksum follows the frame before it (the last one read before
// the decoder was made, or the end of one not whole, as a decoder may begin mid-frame): nothing in
// a frame says whether one comes, so until a CR has been followed by one (and again after a CR
// followed straight by the next STX) a frame is read at its CR. A frame whose checksum checks is
// read with it; one whose checksum fails is dropped and counted, and the first is told as an
// error reading.
class FrameDecoder : public Decoder {
  public:
    FrameDecoder(bool sevenBit, bool checksums) : m_sevenBit(sevenBit), m_checksums(checksums) {}
    void Push(std::span<const std::uint8_t> bytes, std::vector<Decoded>* out) override {
        for (const std::uint8_t byte : bytes) {
            const auto c = static_cast<std::uint8_t>(m_sevenBit ? byte & 0x7F : byte);
            if (std::exchange(m_afterFrame, false)) {
                if (c != kStx) {
                    Check(c, byte, out);
                    continue;
                }
                m_checksums = false;
                if (m_held)
                    out->push_back(*std::exchange(m_held, std::nullopt));
            }
            Take(c, byte, out);
        }
    }
    std::size_t Dropped() const override { return m_dropped; }

  private:
    void Take(std::uint8_t c, std::uint8_t byte, std::vector<Decoded>* out) {
        if (!Fits(m_at, c)) {
            // A checksum that happened to be STX began a frame too early: start again here.
            m_at = 0;
            m_whole = false;
            m_afterFrame = c == '\r';
            if (!Fits(0, c))
                return;
        }
        m_frame[m_at] = c;
        m_raw[m_at] = byte;
        if (++m_at < kFrame)
            return;
        m_at = 0;
        m_afterFrame = true;
        m_whole = true;
        Decoded decoded{FrameReading(m_frame), {m_raw.begin(), m_raw.end()}};
        if (m_checksums)
            m_held = std::move(decoded);
        else
            out->push_back(std::move(decoded));
    }

    // `c` came after the frame's CR in place of the next STX: its checksum.
    void Check(std::uint8_t c, std::uint8_t byte, std::vector<Decoded>* out) {
        m_checksums = true;
        if (!std::exchange(m_whole, false))
            return;
        std::optional<Decoded> held = std::exchange(m_held, std::nullopt);
        const unsigned sum = std::accumulate(m_frame.begin(), m_frame.end(), unsigned{c});
        if (c < 0x80 && sum % 0x80 == 0) {
            if (held) {
                held->bytes.push_back(byte);
                out->push_back(std::move(*held));
            }
            return;
        }
        if (m_dropped++ > 0)
            return;
        std::vector<std::uint8_t> sent(m_raw.begin(), m_raw.end());
        sent.push_back(byte);
        out->push_back({ErrorReading("bad checksum: frame dropped"), std::move(sent)});
    }

    bool m_sevenBit;
    std::array<std::uint8_t, kFrame> m_frame{};
    std::array<std::uint8_t, kFrame> m_raw{};
    std::size_t m_at = 0;
    bool m_afterFrame = false;  // the last byte was a CR
    bool m_whole = false;       // and it ended the frame in m_frame
    bool m_checksums;           // the last frame came with a checksum: the next waits for its own
    std::optional<Decoded> m_held;
    std::size_t m_dropped = 0;
};

}  // namespace

Family ToledoFamily() {
    return {"toledo",
            "Mettler Toledo continuous output",
            {{9600, 'E', 7, 1}, {9600, 'N', 8, 1}, {4800, 'E', 7, 1}, {2400, 'E', 7, 1}},
            {{Key::kTare, "T"}, {Key::kZero, "Z"}, {Key::kPrint, "P"}},
            ""};
}

std::unique_ptr<Decoder> MakeToledoDecoder(bool sevenBit, std::span<const Decoded> before) {
    // A frame read with its checksum holds it.
    return std::make_unique<FrameDecoder>(sevenBit,
                                          !before.empty() && before.back().bytes.size() > kFrame);
}

}  // namespace scale::families
