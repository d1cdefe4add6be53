#pragma once

// Piece counting: N pieces on the pan make a sample, its settled weight / N the unit weight, and
// every weighing after it a number of pieces, rounded to the nearest. Exact decimals throughout;
// a weighing in another unit of mass is converted exactly. Plain C++.

#include <optional>
#include <string>

#include "record/Decimal.h"
#include "scale/Reading.h"

namespace record {

// A sample this many display steps or lighter counts badly: one step is a large part of it.
inline constexpr int kLightSampleSteps = 10;
inline constexpr int kDefaultSampleSize = 10;

struct PieceSample {
    Decimal weight;    // as shown
    std::string unit;  // as shown
    int count = 0;
    bool light = false;  // under kLightSampleSteps display steps
};

// The sample `reading` makes of `count` pieces. None, with the reason in `refusal`, when the
// reading has no number, is zero or below, or `count` is below 1.
std::optional<PieceSample> TakeSample(const scale::Reading& reading, int count,
                                      std::string* refusal);

// "0.025": the sample's weight / its count, exact or at four places beyond the sample's.
std::string UnitWeightText(const PieceSample& sample);

struct PieceCount {
    std::string pieces;      // an integer: "25", "-1"
    std::string unitWeight;  // UnitWeightText
    std::string unit;        // the sample's unit

    bool operator==(const PieceCount&) const = default;
};

// None when the reading has no number or a unit that does not convert to the sample's.
std::optional<PieceCount> CountOf(const PieceSample& sample, const scale::Reading& reading);

}  // namespace record
