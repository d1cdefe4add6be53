#include "app/readings/Trend.h"

#include <algorithm>

Trend::Trend(std::chrono::milliseconds span, std::chrono::milliseconds bucket)
    : m_spanMs(span.count()), m_bucketMs(bucket.count() > 0 ? bucket.count() : 1) {}

void Trend::AddValue(Point point, std::string_view unit) {
    const std::int64_t index = point.ms / m_bucketMs;
    // A clock set back starts the plot afresh rather than drawing backwards.
    if (!m_buckets.empty() && index < m_buckets.back().index)
        Clear();
    if (m_series.empty() || m_breakPending || m_series.back().unit != unit) {
        m_series.push_back({m_series.empty() ? 0 : m_series.back().id + 1, std::string(unit)});
        m_breakPending = false;
    }
    point.series = m_series.back().id;
    if (m_buckets.empty() || index != m_buckets.back().index ||
        m_buckets.back().low.series != point.series) {
        m_buckets.push_back({index, point, point});
    } else {
        Bucket& bucket = m_buckets.back();
        if (point.value < bucket.low.value)
            bucket.low = point;
        if (point.value > bucket.high.value)
            bucket.high = point;
    }
    ForgetBefore(point.ms - m_spanMs);
}

void Trend::AddCapture(Point point) {
    point.series = m_series.empty() ? 0 : m_series.back().id;
    const std::int64_t markMs = 2 * m_bucketMs;
    if (!m_captures.empty() && m_captures.back().ms / markMs == point.ms / markMs)
        m_captures.back() = point;
    else
        m_captures.push_back(point);
    ForgetBefore(point.ms - m_spanMs);
}

void Trend::Clear() {
    m_buckets.clear();
    m_captures.clear();
    // The series' numbers go on, so that a point kept by a plot is never taken for a new one.
    if (!m_series.empty())
        m_series.erase(m_series.begin(), m_series.end() - 1);
    m_breakPending = true;
}

std::string Trend::UnitOf(std::uint32_t series) const {
    for (const Series& known : m_series) {
        if (known.id == series)
            return known.unit;
    }
    return {};
}

void Trend::ForgetBefore(std::int64_t ms) {
    while (!m_buckets.empty() && (m_buckets.front().index + 1) * m_bucketMs <= ms)
        m_buckets.pop_front();
    while (!m_captures.empty() && m_captures.front().ms < ms)
        m_captures.pop_front();
    std::uint32_t oldest = m_series.empty() ? 0 : m_series.back().id;
    if (!m_buckets.empty())
        oldest = std::min(oldest, m_buckets.front().low.series);
    if (!m_captures.empty())
        oldest = std::min(oldest, m_captures.front().series);
    while (m_series.size() > 1 && m_series.front().id < oldest)
        m_series.pop_front();
}

std::vector<Trend::Point> Trend::Line() const {
    std::vector<Point> line;
    line.reserve(m_buckets.size() * 2);
    for (const Bucket& bucket : m_buckets) {
        const bool lowFirst = bucket.low.ms <= bucket.high.ms;
        line.push_back(lowFirst ? bucket.low : bucket.high);
        if (!(bucket.low == bucket.high))
            line.push_back(lowFirst ? bucket.high : bucket.low);
    }
    return line;
}
