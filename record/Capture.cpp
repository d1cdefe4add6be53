#include "record/Capture.h"

#include <array>
#include <charconv>
#include <cmath>
#include <utility>

#include "record/Escape.h"

namespace record {

namespace {

constexpr std::array<std::pair<CaptureRule, std::string_view>, 5> kRuleNames = {{
    {CaptureRule::kSettled, "settled"},
    {CaptureRule::kData, "data"},
    {CaptureRule::kChange, "change"},
    {CaptureRule::kEvery, "every"},
    {CaptureRule::kSettledAll, "settled-all"},
}};

bool SameWeight(const scale::Reading& a, const scale::Reading& b) {
    const scale::Indicators& x = a.indicators;
    const scale::Indicators& y = b.indicators;
    return a.text == b.text && a.unit == b.unit && x.net == y.net && x.gross == y.gross &&
           x.tare == y.tare && x.overLoad == y.overLoad;
}

bool SameShown(scale::Reading a, scale::Reading b) {
    a.indicators.dataSent = b.indicators.dataSent = false;
    return a == b;
}

}  // namespace

std::string_view RuleName(CaptureRule rule) {
    for (const auto& [known, name] : kRuleNames) {
        if (known == rule)
            return name;
    }
    return {};
}

std::optional<CaptureRule> ParseRule(std::string_view name) {
    for (const auto& [rule, known] : kRuleNames) {
        if (known == name)
            return rule;
    }
    return std::nullopt;
}

std::optional<double> ParseMinWeight(std::string_view text) {
    if (text.empty() || text.front() == '-' || text.front() == '+' || text.size() > 32)
        return std::nullopt;
    const std::optional<std::string> number = NumberText(text);
    if (!number)
        return std::nullopt;
    double weight = 0;
    const auto [end, ec] = std::from_chars(number->data(), number->data() + number->size(), weight);
    if (ec != std::errc() || end != number->data() + number->size())
        return std::nullopt;
    return weight;
}

CapturedReading CaptureOf(const scale::Frame& frame, int port, const std::string& device,
                          CaptureRule rule) {
    CapturedReading captured;
    captured.time = frame.wallTime;
    captured.port = port;
    captured.device = device;
    captured.bytes = frame.bytes;
    captured.values = frame.values;
    captured.reading = frame.familyReading ? *frame.familyReading : scale::Read(frame.values);
    captured.rule = rule;
    captured.protocol = frame.protocol;
    captured.familyBytes = frame.familyBytes;
    return captured;
}

bool Capturer::NewSettled(const scale::Reading& reading) const {
    return reading.indicators.stable && !(m_lastSettled && SameWeight(*m_lastSettled, reading));
}

bool Capturer::Loaded(const scale::Reading& reading) const {
    if (m_minWeight)
        return !reading.number || std::fabs(reading.number->value) >= *m_minWeight;
    return !EmptyPan(reading);
}

bool EmptyPan(const scale::Reading& reading) {
    return reading.indicators.zero || (reading.number && reading.number->value == 0);
}

bool Capturer::Captures(const scale::Reading& reading) const {
    switch (m_rule) {
        case CaptureRule::kSettled:
            return NewSettled(reading) && Loaded(reading);
        case CaptureRule::kSettledAll:
            return NewSettled(reading);
        case CaptureRule::kData:
            return reading.indicators.dataSent && !(m_previous && m_previous->indicators.dataSent);
        case CaptureRule::kChange:
            return !(m_previous && SameShown(*m_previous, reading));
        case CaptureRule::kEvery:
            return true;
    }
    return false;
}

std::optional<CapturedReading> Capturer::Offer(const scale::Frame& frame, int port,
                                               const std::string& device) {
    return Offer(CaptureOf(frame, port, device, m_rule));
}

std::optional<CapturedReading> Capturer::Offer(CapturedReading candidate) {
    const scale::Reading& reading = candidate.reading;
    const bool captures = Captures(reading);
    // A skipped empty pan is still the last settled weight: the same load set down again after
    // it is a new weighing.
    if (NewSettled(reading))
        m_lastSettled = reading;
    m_previous = reading;
    if (!captures)
        return std::nullopt;
    candidate.rule = m_rule;
    return candidate;
}

void Capturer::Reset() {
    m_previous.reset();
    m_lastSettled.reset();
}

}  // namespace record
