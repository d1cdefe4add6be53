#pragma once

// A simulated weighing scale: what lies on the platform, how it moves, and how the front panel
// shows it and reacts to the four keys. Deterministic for a given seed: time passes only in
// Tick(), one frame period at a time.

#include <cstdint>
#include <random>

#include "tools/scalesim/ScaleFrames.h"

namespace scalesim {

enum class ScaleUnit { Kg, Lb, Oz, St, Viss };
inline constexpr int kScaleUnitCount = 5;

class ScaleModel {
  public:
    static constexpr std::int64_t kCapacityGrams = 30000;

    // REQUIRES: framesPerSecond > 0; it converts the scale's timings into ticks.
    ScaleModel(std::uint32_t seed, int framesPerSecond);

    // One frame period passes.
    void Tick();
    // Applies a key byte (a letter, or a letter | 0x80 for a double-click). Returns false for a
    // byte that is no key of this scale.
    bool PressKey(std::uint8_t key);
    // Puts `grams` on the platform at once, settled, and keeps it there for a long while.
    void PlaceLoad(std::int64_t grams);
    // A packing line from now on: the pan is cleared, then items of about `grams` (some a few
    // grams under, some over) are put on and taken off in turn.
    void PackItems(std::int64_t grams);

    // The nine display values of the next frame.
    DisplaySlots Slots() const;

    bool PoweredOn() const { return m_poweredOn; }
    ScaleUnit Unit() const { return m_unit; }
    std::int64_t GrossGrams() const { return m_gross; }
    bool TareInUse() const { return m_tareInUse; }
    bool Stable() const { return !m_ramping; }
    // The DATA indicator goes out this many ticks after a press.
    int DataFlashTicks() const { return m_dataFlashTicks; }

  private:
    int Seconds(double seconds) const;
    std::int64_t Random(std::int64_t low, std::int64_t high);
    void StartHold(int ticks);
    void StartMove();
    void TakeTare();
    DigitCells ReadingCells(bool* overLoad) const;

    std::mt19937 m_rng;
    int m_framesPerSecond;
    int m_dataFlashTicks;

    // The platform: the load moves from m_from to m_target over m_phaseTicks, then holds.
    std::int64_t m_gross = 0;
    std::int64_t m_from = 0;
    std::int64_t m_target = 0;
    bool m_ramping = false;
    int m_phaseTicks = 1;
    int m_phaseDone = 0;

    // The front panel.
    bool m_poweredOn = true;
    ScaleUnit m_unit = ScaleUnit::Kg;
    bool m_tareInUse = false;
    bool m_tarePending = false;
    std::int64_t m_tare = 0;
    bool m_held = false;
    DigitCells m_heldCells{};
    int m_dataFlashLeft = 0;
    std::int64_t m_itemGrams = 0;  // a packing line's target; 0: loads at random
};

}  // namespace scalesim
