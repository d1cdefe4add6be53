#pragma once

// The live weight over the last minutes, for a plot. Values are kept in buckets of a fixed width,
// each holding the least and the greatest value seen in it, so that a fast stream keeps its
// peaks in a bounded number of points; buckets older than the span are forgotten. Captured
// readings are kept as marks, at most one per two buckets (the latest): a mark is a drawn
// shape, dearer than a point of the line.
//
// Plain C++. Thread: one thread at a time.

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

class Trend {
  public:
    struct Point {
        std::int64_t ms = 0;  // milliseconds since the epoch (UTC)
        double value = 0;
        bool operator==(const Point&) const = default;
    };

    explicit Trend(std::chrono::milliseconds span = std::chrono::minutes(10),
                   std::chrono::milliseconds bucket = std::chrono::milliseconds(500));

    void AddValue(Point point);
    void AddCapture(Point point);
    void Clear();

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

    std::int64_t m_spanMs;
    std::int64_t m_bucketMs;
    std::deque<Bucket> m_buckets;
    std::deque<Point> m_captures;
};
