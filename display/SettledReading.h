#pragma once

// When a changing reading is worth saying aloud. A scale streams about 80 frames a second and
// its last digits drift while a load settles; a screen reader must hear the weight once it
// stands, not every digit on the way. A reading stands when the scale marks it stable or when
// it has not changed for kQuiet; two announcements are at least kGap apart.
//
// No clock of its own and no widgets: the caller passes the time. One thread.

#include <chrono>
#include <optional>
#include <string>

namespace lumeq {

class SettledReading {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kQuiet = std::chrono::milliseconds(600);
    static constexpr Clock::duration kGap = std::chrono::seconds(1);

    // A reading is shown. `weight` is what must stand still (figures, unit, any note); a change
    // of the other indicators alone is not news. True when it is to be announced now.
    bool Show(const std::string& weight, bool stable, Clock::time_point now);
    // Nothing new was shown since; true when the shown reading is to be announced now.
    bool Check(Clock::time_point now);
    // When Check may next say true, or none while nothing waits to be said.
    std::optional<Clock::time_point> Due() const;

  private:
    std::string m_weight;
    Clock::time_point m_since{};
    bool m_stable = false;
    std::optional<std::string> m_announced;
    Clock::time_point m_announcedAt{};
};

}  // namespace lumeq
