#pragma once

// The simulated scale speaking another family's line format: the weight of the scale model as
// that family's lines, streamed or given when asked, and the family's tare, zero and print
// commands acting on what it shows.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "scale/families/Family.h"
#include "tools/scalesim/ScaleModel.h"

namespace scalesim {

class FamilyScale {
  public:
    explicit FamilyScale(const scale::families::Family& family) : m_family(&family) {}

    // True when the family sends without being asked.
    bool Streams() const;
    // The line for what `model` weighs now.
    std::string Line(const ScaleModel& model) const;
    struct Reply {
        std::string bytes;  // what to send back
        int readings = 0;   // how many lines of them carry the weight
    };
    // Takes received bytes: the reply, and in `acted` the commands it obeyed.
    Reply Receive(std::span<const std::uint8_t> bytes, const ScaleModel& model, std::string* acted);

  private:
    // The 8217's answer to '?' and to its zero command: the status byte alone.
    std::string StatusRecord(const ScaleModel& model) const;
    // What the display shows, in grams.
    std::int64_t Shown(const ScaleModel& model) const;

    const scale::families::Family* m_family;
    std::string m_input;
    std::int64_t m_zero = 0;  // gross grams taken as zero
    std::int64_t m_tare = 0;
};

}  // namespace scalesim
