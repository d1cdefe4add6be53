#include "tools/scalesim/ScaleModel.h"

#include <algorithm>
#include <cmath>

namespace scalesim {

namespace {

struct UnitInfo {
    double kilogramsPerUnit;
    int decimals;  // chosen so that the capacity fits the six cells with a sign to spare
};

constexpr UnitInfo kUnits[kScaleUnitCount] = {
    {1.0, 3},             // kg: 30.000
    {0.45359237, 2},      // lb: 66.14
    {0.028349523125, 1},  // oz: 1058.2
    {6.35029318, 3},      // st: 4.724
    {1.6329325, 3},       // viss: 18.372
};

constexpr DigitCells kDashes = {kGlyphMinus, kGlyphMinus, kGlyphMinus,
                                kGlyphMinus, kGlyphMinus, kGlyphMinus};

}  // namespace

ScaleModel::ScaleModel(std::uint32_t seed, int framesPerSecond)
    : m_rng(seed), m_framesPerSecond(std::max(1, framesPerSecond)) {
    m_dataFlashTicks = Seconds(0.5);
    // Something already lies on the platform when the scale is switched on.
    m_gross = m_target = Random(100, kCapacityGrams);
    StartHold(Seconds(3.0) + static_cast<int>(Random(0, Seconds(5.0))));
}

int ScaleModel::Seconds(double seconds) const {
    return std::max(1, static_cast<int>(std::lround(seconds * m_framesPerSecond)));
}

std::int64_t ScaleModel::Random(std::int64_t low, std::int64_t high) {
    // Plain modulo on the engine's output: the same numbers from every standard library.
    return low + static_cast<std::int64_t>(m_rng() % static_cast<std::uint32_t>(high - low + 1));
}

void ScaleModel::StartHold(int ticks) {
    m_ramping = false;
    m_from = m_gross;
    m_phaseTicks = ticks;
    m_phaseDone = 0;
}

void ScaleModel::StartMove() {
    if (m_itemGrams > 0) {
        // Off, then the next item: 6 g under to 8 g over its target.
        m_target = m_gross != 0 ? 0 : m_itemGrams + Random(-6, 8);
        m_from = m_gross;
        m_ramping = true;
        m_phaseTicks = Seconds(0.3);
        m_phaseDone = 0;
        return;
    }
    const auto pick = Random(0, 11);
    if (pick == 0)
        m_target = kCapacityGrams + Random(500, 3000);  // somebody overloads it
    else if (pick <= 3)
        m_target = 0;  // the platform is cleared
    else
        m_target = Random(100, kCapacityGrams);
    m_from = m_gross;
    m_ramping = true;
    m_phaseTicks = Seconds(0.5) + static_cast<int>(Random(0, Seconds(1.5)));
    m_phaseDone = 0;
}

void ScaleModel::Tick() {
    if (m_dataFlashLeft > 0)
        --m_dataFlashLeft;
    ++m_phaseDone;
    if (m_ramping) {
        m_gross = m_from + (m_target - m_from) * m_phaseDone / m_phaseTicks;
        if (m_phaseDone >= m_phaseTicks)
            StartHold(m_itemGrams > 0 ? Seconds(1.0) + static_cast<int>(Random(0, Seconds(0.5)))
                                      : Seconds(2.0) + static_cast<int>(Random(0, Seconds(6.0))));
    } else if (m_phaseDone >= m_phaseTicks) {
        StartMove();
    }
    if (m_tarePending && !m_ramping)
        TakeTare();
}

void ScaleModel::PlaceLoad(std::int64_t grams) {
    m_gross = m_target = grams;
    StartHold(Seconds(3600.0));
    if (m_tarePending)
        TakeTare();
}

void ScaleModel::PackItems(std::int64_t grams) {
    m_itemGrams = grams;
    m_gross = m_target = 0;
    StartHold(Seconds(1.0));
}

void ScaleModel::TakeTare() {
    m_tare = m_gross;
    m_tareInUse = true;
    m_tarePending = false;
}

bool ScaleModel::PressKey(std::uint8_t key) {
    const auto letter = static_cast<std::uint8_t>(key & ~kDoubleClick);
    const bool twice = (key & kDoubleClick) != 0;
    if (letter != kKeyData && letter != kKeyMode && letter != kKeyTare && letter != kKeyOnOff)
        return false;
    if (letter == kKeyOnOff) {
        // A double-click reaches us after the click of its first press, which has already
        // switched; switching back would make the double-click do nothing.
        if (!twice) {
            m_poweredOn = !m_poweredOn;
            m_held = false;
            m_dataFlashLeft = 0;
        }
        return true;
    }
    if (!m_poweredOn)
        return true;
    if (letter == kKeyData) {
        if (twice) {
            m_held = !m_held;
            bool overLoad = false;
            m_heldCells = ReadingCells(&overLoad);
        } else {
            m_dataFlashLeft = m_dataFlashTicks;
        }
        return true;
    }
    // MODE and TARE change what is shown, so they end a hold.
    m_held = false;
    if (letter == kKeyMode) {
        const int step = twice ? kScaleUnitCount - 1 : 1;
        m_unit = static_cast<ScaleUnit>((static_cast<int>(m_unit) + step) % kScaleUnitCount);
    } else if (twice) {
        m_tareInUse = m_tarePending = false;
        m_tare = 0;
    } else {
        // A tare is taken from a settled reading only.
        m_tarePending = true;
        if (!m_ramping)
            TakeTare();
    }
    return true;
}

DigitCells ScaleModel::ReadingCells(bool* overLoad) const {
    const UnitInfo& info = kUnits[static_cast<int>(m_unit)];
    const double shown = static_cast<double>(m_gross - m_tare) / 1000.0 / info.kilogramsPerUnit;
    const auto counts = std::llround(shown * std::pow(10.0, info.decimals));
    const auto cells = FormatWeight(WeightText(counts, info.decimals));
    *overLoad = m_gross > kCapacityGrams || !cells;
    return *overLoad ? kDashes : *cells;
}

DisplaySlots ScaleModel::Slots() const {
    if (!m_poweredOn)
        return {};
    DisplaySlots slots;
    bool overLoad = false;
    slots.hex = ReadingCells(&overLoad);
    if (m_held)
        slots.hex = m_heldCells;

    slots.unit = static_cast<std::uint8_t>(1u << static_cast<int>(m_unit));
    slots.unit |= m_tareInUse ? kUnitNet : kUnitGross;

    if (m_gross == 0)
        slots.sign |= kSignZero;
    if (!m_ramping)
        slots.sign |= kSignStable;
    if (m_tareInUse)
        slots.sign |= kSignTare;
    if (m_held)
        slots.sign |= kSignHold;
    if (m_dataFlashLeft > 0)
        slots.sign |= kSignData;

    const auto bars =
        m_gross <= 0 ? 0 : (m_gross * kBarCount + kCapacityGrams - 1) / kCapacityGrams;
    slots.wm = BarMask(static_cast<int>(std::min<std::int64_t>(bars, kBarCount)));
    if (overLoad)
        slots.wm |= kWmOverLoad;
    return slots;
}

}  // namespace scalesim
