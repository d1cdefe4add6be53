#include "app/readings/FamilyParts.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>

namespace {

// The indicators a part has, one bit each in the order of this table, then the two flags below.
constexpr bool scale::Indicators::*kIndicators[] = {
    &scale::Indicators::zero,       &scale::Indicators::hold,     &scale::Indicators::stable,
    &scale::Indicators::tare,       &scale::Indicators::gross,    &scale::Indicators::net,
    &scale::Indicators::batteryLow, &scale::Indicators::dataSent, &scale::Indicators::overLoad,
};
constexpr std::uint16_t kUnderLoad = 1 << std::size(kIndicators);
constexpr std::uint16_t kNumber = kUnderLoad << 1;

template <class T>
void PutRaw(std::string* out, const T& value) {
    out->append(reinterpret_cast<const char*>(&value), sizeof value);
}

// A length or an index: seven bits a byte, the high bit set on all but the last.
void PutCount(std::string* out, std::size_t count) {
    for (; count >= 0x80; count >>= 7)
        out->push_back(static_cast<char>(0x80 | (count & 0x7F)));
    out->push_back(static_cast<char>(count));
}

void PutText(std::string* out, std::string_view text) {
    PutCount(out, text.size());
    out->append(text);
}

// Reads back what the Put functions wrote, in the same order; the buffer is this class's own.
class Unpacker {
  public:
    explicit Unpacker(std::string_view packed) : m_rest(packed) {}

    template <class T>
    T Raw() {
        T value;
        std::memcpy(&value, m_rest.data(), sizeof value);
        m_rest.remove_prefix(sizeof value);
        return value;
    }
    std::size_t Count() {
        std::size_t count = 0;
        for (int shift = 0;; shift += 7) {
            const auto byte = static_cast<std::uint8_t>(m_rest.front());
            m_rest.remove_prefix(1);
            count |= static_cast<std::size_t>(byte & 0x7F) << shift;
            if ((byte & 0x80) == 0)
                return count;
        }
    }
    std::string Text() {
        const std::size_t size = Count();
        std::string text(m_rest.substr(0, size));
        m_rest.remove_prefix(size);
        return text;
    }

  private:
    std::string_view m_rest;
};

std::uint16_t FlagsOf(const scale::Reading& reading) {
    std::uint16_t bits = 0;
    for (std::size_t i = 0; i < std::size(kIndicators); ++i)
        bits |= reading.indicators.*kIndicators[i] ? 1 << i : 0;
    bits |= reading.underLoad ? kUnderLoad : 0;
    bits |= reading.number ? kNumber : 0;
    return bits;
}

}  // namespace

void FamilyParts::Add(std::uint64_t row, const FamilyPart& part) {
    const auto named = std::find(m_protocols.begin(), m_protocols.end(), part.protocol);
    const auto protocol = static_cast<std::size_t>(named - m_protocols.begin());
    if (named == m_protocols.end())
        m_protocols.push_back(part.protocol);
    const scale::Reading& reading = part.reading;
    PutRaw(&m_packed, FlagsOf(reading));
    PutRaw(&m_packed, reading.indicators.bars);
    PutRaw(&m_packed, part.values);
    PutCount(&m_packed, protocol);
    PutText(&m_packed, reading.text);
    PutText(&m_packed, reading.unit);
    PutText(&m_packed, reading.error);
    if (reading.number) {
        PutRaw(&m_packed, reading.number->value);
        PutText(&m_packed, reading.number->exact);
    }
    PutText(&m_packed,
            std::string_view(reinterpret_cast<const char*>(part.bytes.data()), part.bytes.size()));
    m_entries.push_back({row, m_packed.size()});
}

std::optional<FamilyPart> FamilyParts::Find(std::uint64_t row) const {
    const auto found = std::lower_bound(m_entries.begin(), m_entries.end(), row,
                                        [](const Entry& e, std::uint64_t r) { return e.row < r; });
    if (found == m_entries.end() || found->row != row)
        return std::nullopt;
    const std::size_t begin = found == m_entries.begin() ? 0 : std::prev(found)->end;
    Unpacker in(std::string_view(m_packed).substr(begin, found->end - begin));
    FamilyPart part;
    scale::Reading& reading = part.reading;
    const auto bits = in.Raw<std::uint16_t>();
    for (std::size_t i = 0; i < std::size(kIndicators); ++i)
        reading.indicators.*kIndicators[i] = (bits >> i) & 1;
    reading.underLoad = bits & kUnderLoad;
    reading.indicators.bars = in.Raw<int>();
    part.values = in.Raw<scale::Slots>();
    part.protocol = m_protocols.at(in.Count());
    reading.text = in.Text();
    reading.unit = in.Text();
    reading.error = in.Text();
    if (bits & kNumber) {
        const auto value = in.Raw<double>();
        reading.number = scale::Number{in.Text(), value};
    }
    const std::string bytes = in.Text();
    part.bytes.assign(bytes.begin(), bytes.end());
    return part;
}

void FamilyParts::DropBefore(std::uint64_t row) {
    const auto kept = std::lower_bound(m_entries.begin(), m_entries.end(), row,
                                       [](const Entry& e, std::uint64_t r) { return e.row < r; });
    if (kept == m_entries.begin())
        return;
    const std::size_t gone = std::prev(kept)->end;
    m_entries.erase(m_entries.begin(), kept);
    for (Entry& entry : m_entries)
        entry.end -= gone;
    m_packed.erase(0, gone);
}

void FamilyParts::Clear() {
    m_entries = {};
    m_packed = {};
    m_protocols.clear();
}
