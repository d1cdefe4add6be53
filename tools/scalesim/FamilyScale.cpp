#include "tools/scalesim/FamilyScale.h"

#include <cstdio>
#include <cstdlib>

namespace scalesim {

namespace {

namespace families = scale::families;

// Longer input without a command in it is dropped.
constexpr std::size_t kMaxInput = 64;

std::string Printed(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string ToledoLine(std::int64_t grams, bool stable, bool over) {
    // Word A: three decimals, increment 1; B: kg, motion, sign, out of range; C: no other unit.
    const char a = 0x2D;
    const char b =
        static_cast<char>(0x30 | (stable ? 0 : 0x08) | (grams < 0 ? 0x02 : 0) | (over ? 0x04 : 0));
    char figures[24];
    std::snprintf(figures, sizeof figures, "%06lld", static_cast<long long>(std::llabs(grams)));
    std::string frame = std::string("\x02") + a + b + ' ' + figures + "000000\r";
    int sum = 0;
    for (const char c : frame)
        sum += c;
    return frame + static_cast<char>(-sum & 0x7F);
}

// SMA level 1: status, range, gross or net, motion, a reserved blank, ten characters of weight and
// three of unit.
std::string SmaLine(std::int64_t grams, bool stable, bool over, bool net) {
    const char status = over ? 'O' : grams == 0 ? 'Z' : ' ';
    return std::string("\n") + status + '1' + (net ? 'N' : 'G') + (stable ? ' ' : 'M') + ' ' +
           Printed("%10.3f", static_cast<double>(grams) / 1000) + "kg \r";
}

// The 8217's status byte: motion, over capacity, under zero, centre of zero; bits 5 and 6 set.
char Status8217(std::int64_t grams, bool stable, bool over) {
    return static_cast<char>(0x60 | (stable ? 0 : 0x01) | (over ? 0x02 : 0) |
                             (grams < 0 ? 0x04 : 0) | (grams == 0 ? 0x10 : 0));
}

// The weight while it is valid, else the status in its place.
std::string Line8217(std::int64_t grams, bool stable, bool over) {
    if (!stable || over || grams < 0)
        return std::string("\x02?") + Status8217(grams, stable, over) + "\r";
    return "\x02" + Printed("%06.3f", static_cast<double>(grams) / 1000) + "\r";
}

}  // namespace

bool FamilyScale::Streams() const {
    return m_family->name == "toledo" || m_family->name == "cas" || m_family->name == "indicator";
}

std::string FamilyScale::StatusRecord(const ScaleModel& model) const {
    const std::int64_t grams = Shown(model);
    return std::string("\x02") +
           Status8217(grams, model.Stable(), model.GrossGrams() > ScaleModel::kCapacityGrams) +
           "\r";
}

std::int64_t FamilyScale::Shown(const ScaleModel& model) const {
    return model.GrossGrams() - m_zero - m_tare;
}

std::string FamilyScale::Line(const ScaleModel& model) const {
    const std::int64_t grams = Shown(model);
    const bool stable = model.Stable();
    const double g = static_cast<double>(grams);
    const double kg = g / 1000;
    const std::string_view name = m_family->name;
    if (model.GrossGrams() > ScaleModel::kCapacityGrams) {
        if (name == "sics")
            return "S +\r\n";
        if (name == "and")
            return "OL,+9999999E+19\r\n";
        if (name == "sbi")
            return "Stat      H    \r\n";
        if (name == "cas")
            return "OL,GS,1@,        kg\r\n";
        if (name == "indicator")
            return "OL,GS,+9999999kg\r\n";
    }
    if (name == "sics")
        return std::string("S ") + (stable ? "S" : "D") + Printed(" %10.2f g\r\n", g);
    if (name == "and")
        return std::string(stable ? "ST," : "US,") + Printed("%+09.2f  g\r\n", g);
    if (name == "sbi")
        return std::string(grams < 0 ? "-" : "+") + Printed(" %8.2f", std::abs(g)) +
               (stable ? " g  \r\n" : "    \r\n");
    if (name == "ohaus")
        return Printed("%10.2f g", g) + (stable ? "" : " ?") + "\r\n";
    if (name == "toledo")
        return ToledoLine(grams, stable, model.GrossGrams() > ScaleModel::kCapacityGrams);
    if (name == "cas")
        return std::string(stable ? "ST" : "US") + ",GS,1@," + Printed("%8.3f kg\r\n", kg);
    if (name == "indicator")
        return std::string(stable ? "ST" : "US") + ",GS," + Printed("%+09.3fkg\r\n", kg);
    const bool over = model.GrossGrams() > ScaleModel::kCapacityGrams;
    if (name == "sma")
        return SmaLine(grams, stable, over, m_tare != 0);
    if (name == "8217")
        return Line8217(grams, stable, over);
    return Printed("%.2f g\r\n", g);
}

FamilyScale::Reply FamilyScale::Receive(std::span<const std::uint8_t> bytes,
                                        const ScaleModel& model, std::string* acted) {
    Reply reply;
    std::string& answer = reply.bytes;
    for (const std::uint8_t byte : bytes) {
        m_input += static_cast<char>(byte & 0x7F);
        if (m_input.size() > kMaxInput)
            m_input.clear();
        if (!m_family->query.empty() && m_input.ends_with(m_family->query)) {
            answer += Line(model);
            ++reply.readings;
            *acted += "query ";
            m_input.clear();
            continue;
        }
        for (const families::KeyCommand& command : m_family->keys) {
            if (!m_input.ends_with(command.bytes))
                continue;
            if (command.key == families::Key::kTare)
                m_tare = model.GrossGrams() - m_zero;
            else if (command.key == families::Key::kZero) {
                m_zero = model.GrossGrams();
                m_tare = 0;
            }
            answer += m_family->name == "8217" ? StatusRecord(model) : Line(model);
            ++reply.readings;
            *acted += std::string(families::KeyName(command.key)) + " ";
            m_input.clear();
            break;
        }
        if (m_family->name == "8217" && m_input.ends_with('?')) {
            answer += StatusRecord(model);
            *acted += "status ";
            m_input.clear();
        }
        // A line no command ended: MT-SICS says so, the others stay quiet. An SMA command
        // begins with its LF.
        if (!m_input.empty() && m_input.back() == '\n') {
            if (m_family->name == "sics")
                answer += "ES\r\n";
            m_input = m_family->name == "sma" ? "\n" : "";
        }
    }
    return reply;
}

}  // namespace scalesim
