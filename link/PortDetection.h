#pragma once

// Detection on every candidate port at once: a thread per port runs the same plan, and the lowest
// port that finds a family is the one kept, as a scan from COM1 up would keep it; the ports above
// it stop as soon as it is found, the ports below it are heard out.
//
// On each port: the probe, at the first listening speed, for the panel's own scale; listening,
// sending nothing, until two lines agree on one family; and, once the port has stayed silent
// through the first listening window, each family's non-destructive query at its usual settings,
// asked while the port is still listened at that speed. A port that is heard sending is asked
// nothing more. Nothing else is ever sent.
//
// A silent port is heard out in a few seconds, so that a scale above it is not kept waiting:
// while nothing at all comes back, each query follows the one before after a quarter of an
// answer's time, every ear staying open to the end (an answer that more than one family reads is
// settled by asking each of them again alone); a device that takes only 8N1 is asked the queries
// of every framing at a speed in one go; and a later speed where not one byte came in half the
// window is left, since a scale whose two lines fit in the window starts the first within half of
// it. Which port is kept does not depend on how fast the others are.
//
// Thread: made, waited for and destroyed on one thread; the ports are looked at on threads of
// their own. Plain C++.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/Wire.h"
#include "platform/serial/PortError.h"
#include "scale/families/Family.h"
#include "scale/families/Listener.h"

namespace scale_link {

struct DetectPlan {
    struct Query {
        const scale::families::Family* family;
        scale::LineSettings line;
    };
    std::vector<const scale::families::Family*> candidates;
    std::vector<scale::LineSettings> listen;  // in the order listened at
    scale::families::Framing framing = scale::families::Framing::kFamilys;
    std::string pattern;
    bool probe = false;          // the panel's own scale's probe opens the first listening
    std::vector<Query> queries;  // in the order asked
    std::chrono::milliseconds listenFor{800};  // per speed
    std::chrono::milliseconds answerFor{400};  // per query
};

struct PortVerdict {
    enum class Kind { kStopped, kUnopened, kSilent, kUnreadable, kFound };
    Kind kind = Kind::kStopped;
    serial_port::PortError openError;  // kUnopened
    std::size_t heard = 0;             // bytes heard while only listening
    bool asked = false;                // the queries were sent
    std::string error;                 // an MT-SICS error ("ES") was all a query got back
    // kFound: the family, the settings to read it at, whether it sends only when asked, and the
    // readings detection made of it.
    const scale::families::Family* family = nullptr;
    scale::LineSettings line = scale::kLine;
    bool poll = false;
    std::vector<scale::families::Decoded> readings;
    // kFound on a connection (Wire::Lasting): kept open for the link, never dialled again.
    std::shared_ptr<Wire> wire;
};

class ParallelDetection {
  public:
    struct Port {
        int number;
        std::string device;
    };

    // Starts looking at every port. `decided` is called once when the outcome is known, on the
    // thread of the port that decided it (or on this one, when there are no ports); null: Wait
    // for it. Thread: the owner's, as every method.
    ParallelDetection(DetectPlan plan, std::vector<Port> ports, std::function<void()> decided);
    // Stops every port and waits for its thread.
    ~ParallelDetection();
    ParallelDetection(const ParallelDetection&) = delete;
    ParallelDetection& operator=(const ParallelDetection&) = delete;

    // Blocks until the outcome is known.
    void Wait();
    // After the outcome: each port's verdict in port order, up to the port found (all of them
    // when none was); every port in it is closed by then.
    std::vector<std::pair<int, PortVerdict>> Verdicts() const;

  private:
    struct Worker;
    void Finished();
    bool DecidedLocked() const;

    const DetectPlan m_plan;
    std::function<void()> m_decided;
    // Guards each worker's verdict and whether it is done, and m_told.
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;  // a port is done
    bool m_told = false;                // `decided` was called
    std::vector<std::unique_ptr<Worker>> m_workers;
};

}  // namespace scale_link
