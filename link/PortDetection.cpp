#include "link/PortDetection.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>
#include <span>
#include <string_view>
#include <thread>

#include "link/DirectPort.h"
#include "link/Wire.h"
#include "platform/net/Connect.h"
#include "platform/posix/UniqueFd.h"
#include "platform/posix/WakeupFd.h"
#include "platform/serial/SerialPort.h"

namespace scale_link {

namespace {

namespace families = scale::families;
using Clock = std::chrono::steady_clock;
using Query = DetectPlan::Query;

constexpr std::size_t kReadChunk = 1024;
constexpr std::size_t kMaxSaid = 256;  // of an answer, looked through for an error

bool SameLine(const scale::LineSettings& a, const scale::LineSettings& b) {
    return families::LineText(a) == families::LineText(b);
}

// The queries of `left` that `keep` picks, taken out of it in their order.
template <typename Pick>
std::vector<Query> Take(std::vector<Query>* left, Pick keep) {
    std::vector<Query> taken;
    std::erase_if(*left, [&](const Query& query) {
        if (!keep(query))
            return false;
        taken.push_back(query);
        return true;
    });
    return taken;
}

std::span<const std::uint8_t> BytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// One stay at a line: listened at (and probed first), or only where queries are asked.
struct Stay {
    bool listen = false;
    bool probe = false;
    std::vector<Query> queries;
    // The first listening is heard out whole, since it decides whether the port is asked at all.
    bool whole = false;
};

// A query asked, with the ear its answer is read by.
struct Asked {
    const families::Family* family;
    scale::LineSettings line;
    families::Listener ear;
};

// One port's look, on its own thread, until it finds a family, has tried everything, or is
// stopped.
class PortLook {
  public:
    PortLook(const DetectPlan& plan, const std::string& device, int stopFd)
        : m_plan(plan), m_device(device), m_stopFd(stopFd) {}

    PortVerdict Run();

  private:
    bool Open(const scale::LineSettings& line);
    // The line the device is really at when it is opened at `line`.
    scale::LineSettings Actual(const scale::LineSettings& line) const;
    // The queries of `left` at `line`, then (`carried`, or when there were any) those of a
    // framing the device does not take that the line open now carries.
    std::vector<Query> TakeCarried(std::vector<Query>* left, const scale::LineSettings& line,
                                   bool carried);
    // Whether the device takes the framings queries are asked at, learnt while nothing is sent.
    void LearnFraming(const scale::LineSettings& line);
    bool Send(std::span<const std::uint8_t> bytes);
    void ReadUntil(Clock::time_point until, const std::function<bool()>& done);
    // True when the look is over: found, or stopped.
    bool At(const scale::LineSettings& line, const Stay& stay);
    bool Ask(std::span<const Query> queries, const families::Listener* stream);
    // What `asked` heard back: found when one family read it.
    bool Answered(const std::vector<Asked>& asked, const families::Listener* stream);
    bool AskEach(std::vector<Query> queries);
    bool Found(const families::Family& family, const scale::LineSettings& line, bool poll,
               const std::vector<families::Decoded>& readings);
    PortVerdict End();

    const DetectPlan& m_plan;
    const std::string& m_device;
    const int m_stopFd;
    std::unique_ptr<Wire> m_port;
    scale::LineSettings m_openLine = scale::kLine;  // while m_port is open
    bool m_plainOnly = false;  // the device refused another framing and took 8N1
    bool m_framingLearnt = false;
    bool m_askingAgain = false;  // the families that read one answer are asked again
    std::function<void(std::span<const std::uint8_t>)> m_hear;
    bool m_stopped = false;
    std::size_t m_stayHeard = 0;  // bytes heard in the latest stay
    PortVerdict m_verdict;
};

PortVerdict PortLook::Run() {
    std::vector<Query> left = m_plan.queries;
    bool asking = false;
    const std::vector<scale::LineSettings>& listen = m_plan.listen;
    // The probe has the panel's own settings: where listening begins elsewhere, it comes first.
    const bool probeAlone = m_plan.probe && !listen.empty() && !SameLine(listen[0], scale::kLine);
    if (probeAlone) {
        if (!Open(scale::kLine)) {
            m_verdict.kind = PortVerdict::Kind::kUnopened;
            return m_verdict;
        }
        if (At(scale::kLine, {false, true, {}}))
            return End();
    }
    for (std::size_t i = 0; i < listen.size(); ++i) {
        const scale::LineSettings& line = listen[i];
        if (!Open(line)) {
            if (i == 0 && !probeAlone) {
                m_verdict.kind = PortVerdict::Kind::kUnopened;
                return m_verdict;
            }
            continue;
        }
        // Queries of another framing join a stay that asks anyway; one that only listens first
        // hears whether the port sends.
        std::vector<Query> now;
        if (asking)
            now = TakeCarried(&left, line, false);
        const bool asked = !now.empty();
        if (At(line, {true, i == 0 && m_plan.probe && !probeAlone, std::move(now), i == 0}))
            return End();
        if (i == 0 && m_stayHeard == 0 && !left.empty()) {
            // Silent through the whole first window: a balance that waits to be asked, asked now
            // on the line still open.
            asking = true;
            if (At(line, {false, false, TakeCarried(&left, line, true)}))
                return End();
        } else if (!asked && m_stayHeard > 0) {
            // It sends something: no silent balance waiting for a question.
            asking = false;
        }
        if (asking &&
            AskEach(Take(&left, [&](const Query& q) { return q.line.baud == line.baud; })))
            return End();
    }
    if (asking && AskEach(std::move(left)))
        return End();
    return End();
}

bool PortLook::Open(const scale::LineSettings& line) {
    // Where the device already is, it stays open: what is on its way back is not lost.
    if (m_port && SameLine(Actual(line), m_openLine))
        return true;
    // A connection is kept and set to the next line; a local device is opened anew.
    if (m_port && m_port->Lasting() && !m_port->Restart(line).Failed()) {
        m_openLine = line;
        return true;
    }
    m_port.reset();
    serial_port::PortError error;
    m_port = OpenWire(m_device, line, &error);
    m_openLine = line;
    if (m_port && !m_framingLearnt)
        LearnFraming(line);
    // A pseudo-terminal takes only 8N1, and a 7-bit character with parity is ten bits as an 8N1
    // one is.
    const scale::LineSettings plain{line.baud, 'N', 8, 1};
    if (!m_port && error.kind == serial_port::ErrorKind::kInvalidArgument &&
        !SameLine(line, plain)) {
        m_port = OpenWire(m_device, plain, &error);
        m_openLine = plain;
        m_plainOnly = m_port != nullptr;
        m_framingLearnt = true;
    }
    if (!m_port)
        m_verdict.openError = error;
    return m_port != nullptr;
}

void PortLook::LearnFraming(const scale::LineSettings& line) {
    // Asked now, the queries at another framing at this speed are asked with the line's own when
    // the device takes only 8N1, rather than after their answers' time on a line opened anew.
    const auto other = std::find_if(
        m_plan.queries.begin(), m_plan.queries.end(),
        [&](const Query& q) { return q.line.baud == line.baud && !SameLine(q.line, line); });
    if (other == m_plan.queries.end() || m_port->Lasting() ||
        !SameLine(line, {line.baud, 'N', 8, 1}))
        return;
    m_framingLearnt = true;
    m_plainOnly = m_port->Restart(other->line).kind == serial_port::ErrorKind::kInvalidArgument;
    if (m_port->Restart(line).Failed())
        m_port.reset();
}

scale::LineSettings PortLook::Actual(const scale::LineSettings& line) const {
    return m_plainOnly ? scale::LineSettings{line.baud, 'N', 8, 1} : line;
}

std::vector<Query> PortLook::TakeCarried(std::vector<Query>* left, const scale::LineSettings& line,
                                         bool carried) {
    std::vector<Query> taken = Take(left, [&](const Query& q) { return SameLine(q.line, line); });
    if ((carried || !taken.empty()) && m_port && SameLine(m_openLine, Actual(line))) {
        for (Query& q :
             Take(left, [&](const Query& q) { return SameLine(Actual(q.line), m_openLine); }))
            taken.push_back(std::move(q));
    }
    return taken;
}

bool PortLook::Send(std::span<const std::uint8_t> bytes) {
    // A line that takes nothing is given up after an answer's time, or at once when stopped.
    const auto until = Clock::now() + m_plan.answerFor;
    while (m_port && !m_stopped && !bytes.empty()) {
        const serial_port::IoResult written = m_port->WriteAvailable(bytes);
        if (written.Failed())
            return false;
        bytes = bytes.subspan(written.bytes);
        if (bytes.empty())
            break;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        pollfd fds[2] = {{m_stopFd, POLLIN, 0}, {m_port->WaitDescriptor(), POLLOUT, 0}};
        if (left.count() <= 0 || ::poll(fds, 2, static_cast<int>(left.count())) == 0)
            return false;
        m_stopped = (fds[0].revents & POLLIN) != 0;
    }
    return m_port && !m_stopped && bytes.empty();
}

void PortLook::ReadUntil(Clock::time_point until, const std::function<bool()>& done) {
    std::array<std::uint8_t, kReadChunk> buffer{};
    while (m_port && !m_stopped && !done()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0)
            return;
        pollfd fds[2] = {{m_stopFd, POLLIN, 0}, {m_port->WaitDescriptor(), POLLIN, 0}};
        const int n = ::poll(fds, 2, static_cast<int>(left.count()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || (fds[0].revents & POLLIN)) {
            m_stopped = true;
            return;
        }
        if (n == 0)
            continue;
        const serial_port::IoResult read = m_port->ReadAvailable(buffer);
        // A device that went is tried no further at these settings.
        if (read.Failed() || (read.bytes == 0 && (fds[1].revents & (POLLHUP | POLLERR)))) {
            m_port.reset();
            return;
        }
        if (read.bytes > 0 && m_hear)
            m_hear(std::span<const std::uint8_t>(buffer.data(), read.bytes));
    }
}

bool PortLook::At(const scale::LineSettings& line, const Stay& stay) {
    const auto start = Clock::now();
    std::optional<families::Listener> stream;
    if (stay.listen)
        stream.emplace(m_plan.candidates, line, m_plan.framing, m_plan.pattern);
    bool probing = stay.probe;
    bool answered = false;
    std::uint8_t previous = 0;
    m_stayHeard = 0;
    m_hear = [&](std::span<const std::uint8_t> bytes) {
        m_stayHeard += bytes.size();
        if (stream)
            stream->Push(bytes);
        for (const std::uint8_t byte : bytes) {
            answered |= probing && scale::StartsFrame(previous, byte);
            previous = byte;
        }
    };
    const auto heardFamily = [&] { return stream && stream->Found() != nullptr; };
    if (stay.probe) {
        const std::uint8_t probe[] = {scale::kProbe};
        if (Send(probe))
            ReadUntil(start + scale::kProbeWait, [&] { return answered || heardFamily(); });
        probing = false;
        if (answered)
            return Found(*families::Find("karvel"), scale::kLine, false, {});
    }
    if (!heardFamily() && Ask(stay.queries, stream ? &*stream : nullptr))
        return true;
    if (stay.listen && !stay.whole) {
        // A scale whose two lines fit in the window sends its first within half of it: a line
        // where not one byte came by then has nothing streaming at this speed.
        ReadUntil(start + m_plan.listenFor / 2, [&] { return m_stayHeard > 0 || heardFamily(); });
    }
    if (stay.listen && (stay.whole || m_stayHeard > 0))
        ReadUntil(start + m_plan.listenFor, heardFamily);
    m_hear = {};
    if (!stay.listen || !stay.queries.empty())
        m_stayHeard = 0;
    m_verdict.heard += m_stayHeard;
    if (const families::Family* found = stream ? stream->Found() : nullptr) {
        // The family's own framing at the speed it was heard, for what is sent to it.
        const scale::LineSettings kept = m_plan.framing == families::Framing::kFamilys
                                             ? families::FramingAt(*found, line)
                                             : line;
        return Found(*found, kept, false, stream->Readings());
    }
    return m_stopped;
}

// The MT-SICS error a balance answers a command it could not take with ("ES", "ET", "EL"),
// when `said` holds one as a line of its own; empty when it does not.
std::string SicsError(std::string_view said) {
    for (const std::string_view error : {"ES\r\n", "ET\r\n", "EL\r\n"}) {
        const std::size_t at = said.find(error);
        if (at != std::string_view::npos && (at == 0 || said[at - 1] == '\n'))
            return std::string(error.substr(0, 2));
    }
    return {};
}

bool PortLook::Ask(std::span<const Query> queries, const families::Listener* stream) {
    std::vector<Asked> asked;  // every query asked here keeps its ear to the end
    std::string said;          // what came back since the latest query was sent
    Clock::time_point last{};  // when the latest query was sent
    const auto heard = [&] {
        return std::any_of(asked.begin(), asked.end(),
                           [](const Asked& a) { return a.ear.Found(); }) ||
               (stream && stream->Found());
    };
    auto listenToo = std::move(m_hear);
    m_hear = [&](std::span<const std::uint8_t> bytes) {
        listenToo(bytes);
        for (Asked& one : asked)
            one.ear.Push(bytes);
        if (said.size() < kMaxSaid)
            said.append(bytes.begin(), bytes.end());
    };
    const auto ask = [&](const families::Family& family, const scale::LineSettings& line,
                         const std::string& bytes) {
        const families::Family* const one[] = {&family};
        asked.push_back({&family, line, {one, line, families::Framing::kAsSet, m_plan.pattern, 1}});
        said.clear();
        last = Clock::now();
        if (!Send(BytesOf(bytes)))
            return;
        // While not one byte has come back, the next query goes after a quarter of an answer's
        // time; once something comes, it has the whole time, as an answer alone would.
        ReadUntil(last + m_plan.answerFor / 4, [&] { return heard() || !said.empty(); });
        if (!said.empty())
            ReadUntil(last + m_plan.answerFor, [&] { return heard() || !SicsError(said).empty(); });
    };
    const families::Family* const sics = families::Find("sics");
    const bool sicsWanted = std::find(m_plan.candidates.begin(), m_plan.candidates.end(), sics) !=
                            m_plan.candidates.end();
    for (const Query& query : queries) {
        if (m_stopped || !m_port || heard())
            break;
        m_verdict.asked = true;
        ask(*query.family, query.line, query.family->query);
        // A balance that read the query run together with what came before it (the probe) says
        // so: its line is cleared and it is asked again, once.
        if (const std::string error = SicsError(said); !error.empty() && sicsWanted && !heard()) {
            m_verdict.error = error;
            ask(*sics, query.line, "\r\n" + sics->query);
        }
    }
    if (!heard() && m_port && !m_stopped && last != Clock::time_point{})
        ReadUntil(last + m_plan.answerFor, heard);
    m_hear = std::move(listenToo);
    return Answered(asked, stream);
}

bool PortLook::Answered(const std::vector<Asked>& asked, const families::Listener* stream) {
    std::vector<Query> readers;  // the families that read what came back, each once
    for (const Asked& one : asked) {
        if (one.ear.Found() && std::none_of(readers.begin(), readers.end(), [&](const Query& q) {
                return q.family == one.family && SameLine(q.line, one.line);
            }))
            readers.push_back({one.family, one.line});
    }
    if (readers.size() == 1) {
        const auto one =
            std::find_if(asked.begin(), asked.end(), [](const Asked& a) { return a.ear.Found(); });
        return Found(*one->family, one->line, true, one->ear.Readings());
    }
    // An answer that came while several queries were out and that more than one family reads is
    // no one's yet: each of them is asked again alone, in turn, as if it were the only query
    // (once: what is asked again is not asked a third time).
    if (m_askingAgain)
        return m_stopped;
    m_askingAgain = true;
    for (const Query& again : readers) {
        if (m_stopped || !m_port || Ask(std::span(&again, 1), stream))
            break;
    }
    m_askingAgain = false;
    return m_verdict.kind == PortVerdict::Kind::kFound || m_stopped;
}

bool PortLook::AskEach(std::vector<Query> queries) {
    while (!queries.empty()) {
        const scale::LineSettings line = queries.front().line;
        if (!Open(line)) {
            std::erase_if(queries, [&](const Query& q) { return SameLine(q.line, line); });
            continue;
        }
        // Every query the line now open carries, asked in one go.
        if (At(line, {false, false, TakeCarried(&queries, m_openLine, true)}))
            return true;
    }
    return m_stopped;
}

bool PortLook::Found(const families::Family& family, const scale::LineSettings& line, bool poll,
                     const std::vector<families::Decoded>& readings) {
    m_verdict.kind = PortVerdict::Kind::kFound;
    m_verdict.family = &family;
    m_verdict.line = line;
    m_verdict.poll = poll;
    m_verdict.readings = readings;
    m_hear = {};
    return true;
}

PortVerdict PortLook::End() {
    m_hear = {};
    if (m_verdict.kind == PortVerdict::Kind::kFound && m_port && m_port->Lasting())
        m_verdict.wire = std::move(m_port);
    m_port.reset();
    if (m_verdict.kind != PortVerdict::Kind::kFound)
        m_verdict.kind = m_stopped             ? PortVerdict::Kind::kStopped
                         : m_verdict.heard > 0 ? PortVerdict::Kind::kUnreadable
                                               : PortVerdict::Kind::kSilent;
    return m_verdict;
}

}  // namespace

struct ParallelDetection::Worker {
    int number = 0;
    std::string device;
    posix::UniqueFd stop;
    PortVerdict verdict;  // once done
    bool done = false;
    std::thread thread;
};

ParallelDetection::ParallelDetection(DetectPlan plan, std::vector<Port> ports,
                                     std::function<void()> decided)
    : m_plan(std::move(plan)), m_decided(std::move(decided)) {
    for (Port& port : ports) {
        auto worker = std::make_unique<Worker>();
        worker->number = port.number;
        worker->device = std::move(port.device);
        worker->stop = posix::MakeWakeupFd();
        m_workers.push_back(std::move(worker));
    }
    for (const std::unique_ptr<Worker>& worker : m_workers) {
        worker->thread = std::thread([this, w = worker.get()] {
            // A connect under way ends with the detection, not at its own bound.
            const net::StopWaitsOn stopped(w->stop.Get());
            PortVerdict verdict = PortLook(m_plan, w->device, w->stop.Get()).Run();
            {
                std::lock_guard lock(m_mutex);
                w->verdict = std::move(verdict);
                w->done = true;
            }
            Finished();
        });
    }
    if (m_workers.empty())
        Finished();
}

ParallelDetection::~ParallelDetection() {
    for (const std::unique_ptr<Worker>& worker : m_workers)
        posix::SignalWakeupFd(worker->stop.Get());
    for (const std::unique_ptr<Worker>& worker : m_workers)
        worker->thread.join();
}

void ParallelDetection::Finished() {
    bool tell = false;
    {
        std::lock_guard lock(m_mutex);
        // A port above one that found a family can no longer be the one kept.
        bool below = false;
        for (const std::unique_ptr<Worker>& worker : m_workers) {
            if (below)
                posix::SignalWakeupFd(worker->stop.Get());
            below |= worker->done && worker->verdict.kind == PortVerdict::Kind::kFound;
        }
        tell = !m_told && DecidedLocked();
        m_told |= tell;
    }
    m_changed.notify_all();
    if (tell && m_decided)
        m_decided();
}

bool ParallelDetection::DecidedLocked() const {
    for (const std::unique_ptr<Worker>& worker : m_workers) {
        if (!worker->done)
            return false;
        if (worker->verdict.kind == PortVerdict::Kind::kFound)
            return true;
    }
    return true;
}

void ParallelDetection::Wait() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return DecidedLocked(); });
}

std::vector<std::pair<int, PortVerdict>> ParallelDetection::Verdicts() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::pair<int, PortVerdict>> verdicts;
    for (const std::unique_ptr<Worker>& worker : m_workers) {
        if (!worker->done)
            break;
        verdicts.emplace_back(worker->number, worker->verdict);
        if (worker->verdict.kind == PortVerdict::Kind::kFound)
            break;
    }
    return verdicts;
}

}  // namespace scale_link
