#pragma once

// Serves simulated scales, and silent lines, on pseudo-terminals from one thread: poll() on the
// lines, a frame clock from poll()'s time-out, nothing done between events.

#include <poll.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tools/scalesim/FamilyScale.h"
#include "tools/scalesim/ScaleModel.h"
#include "tools/scalesim/ServedLine.h"
#include "tools/scalesim/SimOptions.h"

namespace scalesim {

class ScaleServer {
  public:
    // `log` receives one line per event on a line; nullptr for none.
    ScaleServer(SimOptions options, std::FILE* log);

    // Opens every line (and its link). False, with `error` set, when one cannot be made.
    bool Start(std::string* error);
    // "COMn DEVICE" per line, by COM number.
    std::vector<std::string> Describe() const;
    // Serves until `stop` turns non-zero, the frame limit is reached or, when asked for, standard
    // input ends. `waitMask` is the signal mask in force while waiting: the caller blocks its
    // stop signals everywhere else, so that a signal cannot slip in between check and wait.
    void Run(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask);

    std::uint64_t FramesSent() const { return m_framesSent; }

  private:
    using Clock = std::chrono::steady_clock;

    struct Station {
        ServedLine line;
        std::optional<ScaleModel> scale;  // none: a silent line
        bool wasConnected = false;
        std::optional<FamilyScale> family;  // --protocol
    };

    // Waits for the lines (and standard input) until `until` at the latest and serves what
    // they bring. False when the run must end.
    bool WaitAndServe(Clock::time_point until, const sigset_t& waitMask);
    bool AnyScaleConnected() const;
    void Serve(Station& station, short revents);
    void Tick();
    void Log(const Station& station, const std::string& what);
    bool LimitReached() const;
    // --protocol: the port is set to the family's speed.
    bool AtFamilySpeed(const Station& station) const;
    void ServeFamily(Station& station, std::span<const std::uint8_t> input);

    SimOptions m_options;
    std::FILE* m_log;
    std::vector<Station> m_stations;
    std::vector<pollfd> m_pollFds;
    std::uint64_t m_framesSent = 0;
};

}  // namespace scalesim
