#pragma once

// The live weight over the last minutes, for a plot. Values are kept in buckets of a fixed width,
// each holding the least and the greatest value seen in it, so that a fast stream keeps its
// peaks in a bounded number of points; buckets older than the span are forgotten. Captured
// readings are kept as marks, at most one per two buckets (the latest): a mark is a drawn
// shape, dearer than a point of the line. Every point belongs to a series: a new one begins
// when the unit changes and after a break (the port closed), so that a plot draws neither a
// pound on the kilogram line nor a slope across the time nothing came.
//
// Plain C++. Thread: one thread at a time.

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

class Trend {
  public:
    struct Point {
        std::int64_t ms = 0;  // milliseconds since the epoch (UTC)
        double value = 0;
        std::uint32_t series = 0;  // set by the trend
        bool operator==(const Point&) const = default;
    };

    explicit Trend(std::chrono::milliseconds span = std::chrono::minutes(10),
                   std::chrono::milliseconds bucket = std::chrono::milliseconds(500));

    // `unit` as the reading names it ("kg"); a new one begins a series.
    void AddValue(Point point, std::string_view unit = {});
    // A captured reading whose value was added last.
    void AddCapture(Point point);
    // Nothing comes for a while (the port closed): the next value begins a series.
    void Break() { m_breakPending = true; }
    void Clear();
    // The unit of the points of `series`; empty for one forgotten.
    std::string UnitOf(std::uint32_t series) const;

    // Each bucket's least and greatest value in the order they came (one point when equal).
    std::vector<Point> Line() const;
    const std::deque<Point>& Captures() const { return m_captures; }
    std::size_t BucketCount() const { return m_buckets.size(); }

  private:
    struct Bucket {
        std::int64_t index = 0;
        Point low;
        Point high;
    };
    void ForgetBefore(std::int64_t ms);

    struct Series {
        std::uint32_t id = 0;
        std::string unit;
    };

    std::int64_t m_spanMs;
    std::int64_t m_bucketMs;
    std::deque<Bucket> m_buckets;
    std::deque<Point> m_captures;
    std::deque<Series> m_series;  // those of the points kept, oldest first
    bool m_breakPending = false;
};
