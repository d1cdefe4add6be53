#include "record/Pieces.h"

#include "record/Check.h"

namespace record {

namespace {

constexpr int kUnitWeightExtraPlaces = 4;

// One place more for each tenfold of pieces, so that the many light pieces of a large sample keep
// their figures instead of rounding to nothing.
int PlacesForCount(int count) {
    int places = 0;
    for (; count >= 10; count /= 10)
        ++places;
    return places;
}

}  // namespace

std::optional<PieceSample> TakeSample(const scale::Reading& reading, int count,
                                      std::string* refusal) {
    if (count < 1) {
        *refusal = "a sample is 1 piece or more";
        return std::nullopt;
    }
    const auto weight = reading.number ? ParseDecimal(reading.number->exact) : std::nullopt;
    if (!weight) {
        *refusal = "the scale shows no weight to take as the sample";
        return std::nullopt;
    }
    if (weight->figures <= 0) {
        *refusal = "the sample weighs nothing or less: put the pieces on the pan";
        return std::nullopt;
    }
    PieceSample sample{*weight, reading.unit, count, weight->figures < kLightSampleSteps};
    return sample;
}

std::string UnitWeightText(const PieceSample& sample) {
    return QuotientText(
               sample.weight, Decimal{sample.count, 0}, sample.weight.places,
               sample.weight.places + kUnitWeightExtraPlaces + PlacesForCount(sample.count))
        .value_or("?");
}

std::optional<PieceCount> CountOf(const PieceSample& sample, const scale::Reading& reading) {
    Decimal weight;
    Decimal sampleWeight = sample.weight;
    if (reading.unit == sample.unit || !GramsPer(sample.unit)) {
        if (reading.unit != sample.unit || !reading.number)
            return std::nullopt;
        const auto shown = ParseDecimal(reading.number->exact);
        if (!shown)
            return std::nullopt;
        weight = *shown;
    } else {
        const auto converted = WeightOf(reading, sample.unit);
        const auto grams = converted ? Multiply(sample.weight, converted->perUnit) : std::nullopt;
        if (!grams)
            return std::nullopt;
        weight = converted->grams;
        sampleWeight = *grams;
    }
    const auto total = Multiply(weight, Decimal{sample.count, 0});
    const auto pieces = total ? QuotientText(*total, sampleWeight, 0, 0) : std::nullopt;
    if (!pieces)
        return std::nullopt;
    return PieceCount{*pieces, UnitWeightText(sample), sample.unit};
}

}  // namespace record
