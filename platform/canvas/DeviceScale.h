#pragma once

// How the canvas maps its coordinates, in device-independent pixels, onto an image's pixels at
// the image's device pixel ratio.

#include <algorithm>
#include <cmath>

namespace canvas {

class DeviceScale {
  public:
    // A ratio that is not a number above 0 counts as 1; ratios are held to at most 64.
    explicit DeviceScale(double ratio)
        : m_ratio(std::isfinite(ratio) && ratio > 0 ? std::min(ratio, 64.0) : 1.0) {}

    double Ratio() const { return m_ratio; }
    bool IsOne() const { return m_ratio == 1.0; }
    bool IsIntegral() const { return m_ratio == std::floor(m_ratio); }

    // The image pixel at which the device-independent pixel `v` starts: v times the ratio,
    // rounded half up. At an integral ratio every pixel becomes exactly ratio x ratio pixels.
    long long Edge(long long v) const {
        return static_cast<long long>(std::floor(static_cast<double>(v) * m_ratio + 0.5));
    }
    // How many image pixels thick a 1-pixel line is: the ratio rounded, at least 1, so every
    // line of the picture has the same width.
    long long Thickness() const {
        return std::max(1LL, static_cast<long long>(std::floor(m_ratio + 0.5)));
    }
    // How many image pixels `v` device-independent pixels touch, a partly covered one included.
    long long Reach(long long v) const {
        return static_cast<long long>(std::ceil(static_cast<double>(v) * m_ratio));
    }
    // The fewest device-independent pixels that cover `pixels` image pixels.
    long long Cover(long long pixels) const {
        return static_cast<long long>(std::ceil(static_cast<double>(pixels) / m_ratio));
    }

  private:
    double m_ratio;
};

}  // namespace canvas
