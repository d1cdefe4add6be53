#pragma once

// Which frames become kept readings: one of four rules, decided frame by frame.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record/Check.h"
#include "record/Pieces.h"
#include "scale/FrameObserver.h"
#include "scale/Protocol.h"
#include "scale/Reading.h"

namespace record {

enum class CaptureRule { kSettled, kData, kChange, kEvery, kSettledAll };

// "settled", "data", "change", "every", "settled-all": the names options, windows and files use.
std::string_view RuleName(CaptureRule rule);
// The rule of an exact lower-case name; none for anything else.
std::optional<CaptureRule> ParseRule(std::string_view name);
// The least weight the settled rule keeps ("0.05", "2"): a decimal of 0 or more, in whatever
// unit the scale shows. None for anything else.
std::optional<double> ParseMinWeight(std::string_view text);

// What one captured weighing holds.
struct CapturedReading {
    std::chrono::system_clock::time_point time;  // when the frame completed (UTC, ms used)
    int port = 0;                                // n of COMn
    std::string device;                          // device path as the port map names it
    scale::FrameBytes bytes{};                   // the frame's twelve bytes
    scale::Slots values;
    scale::Reading reading;  // scale::Read(values)
    CaptureRule rule = CaptureRule::kSettled;
    // A reading of a named or detected family: its name, and the bytes it came in (a line
    // without its end, or a whole frame). Empty for the panel's frames as the scan finds them.
    std::string protocol;
    std::vector<std::uint8_t> familyBytes;
    std::string portName = {};  // what the user calls the port (PortMap::NameOf); empty: COMn
    // Set only while a bench rule is on (record/Weighing.h).
    std::optional<CheckResult> check;
    std::optional<PieceCount> pieces;
};

// The pan with nothing on it: the zero indicator lit or a value of 0. No weighing to check.
bool EmptyPan(const scale::Reading& reading);

// `frame` as a captured reading, whatever the rule would say of it.
CapturedReading CaptureOf(const scale::Frame& frame, int port, const std::string& device,
                          CaptureRule rule);

// Decides frame by frame what is captured, by one rule:
//  settled: stable lit and the weight (cells, unit, net/gross/tare, over load) differs from the
//           last settled weight's, unless it is the empty pan (the zero indicator lit or a
//           value of 0): one weighing is one load. With a least weight, a settled weight whose
//           value (either sign) is below it is skipped instead; one with no number is kept;
//  settled-all: as settled, the empty pan too;
//  data:    the data-sent indicator lights (a rising edge: off in the previous frame);
//  change:  the reading differs from the previous frame's in anything but the data-sent
//           indicator, which says a reading went out rather than what it is;
//  every:   every frame.
// After construction or Reset nothing is known, so the first frame counts as a change, a
// rising edge and a new settled weight.
// Thread: one thread at a time.
class Capturer {
  public:
    // `minWeight` counts for the settled rule only.
    explicit Capturer(CaptureRule rule, std::optional<double> minWeight = std::nullopt)
        : m_rule(rule), m_minWeight(minWeight) {}
    CaptureRule Rule() const { return m_rule; }
    std::optional<double> MinWeight() const { return m_minWeight; }

    // The captured reading for this frame, or nothing.
    std::optional<CapturedReading> Offer(const scale::Frame& frame, int port,
                                         const std::string& device);
    // The same for a reading made otherwise (another family's); its rule is set here.
    std::optional<CapturedReading> Offer(CapturedReading candidate);
    // The port changed: forget the previous frame and the last capture.
    void Reset();

  private:
    bool Captures(const scale::Reading& reading) const;
    bool NewSettled(const scale::Reading& reading) const;
    bool Loaded(const scale::Reading& reading) const;

    CaptureRule m_rule;
    std::optional<double> m_minWeight;
    std::optional<scale::Reading> m_previous;
    std::optional<scale::Reading> m_lastSettled;
};

}  // namespace record
