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
    bool Send(std::span<const std::uint8_t> bytes);
    void ReadUntil(Clock::time_point until, const std::function<bool()>& done);
    // True when the look is over: found, or stopped.
    bool At(const scale::LineSettings& line, const Stay& stay);
    bool Ask(std::span<const Query> queries, const families::Listener* stream);
    bool AskEach(std::vector<Query> queries);
    bool Found(const families::Family& family, const scale::LineSettings& line, bool poll,
               const std::vector<families::Decoded>& readings);
    PortVerdict End();

    const DetectPlan& m_plan;
    const std::string& m_device;
    const int m_stopFd;
    std::unique_ptr<Wire> m_port;
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
        std::vector<Query> now;
        if (asking)
            now = Take(&left, [&](const Query& q) { return SameLine(q.line, line); });
        const bool asked = !now.empty();
        if (At(line, {true, i == 0 && m_plan.probe && !probeAlone, std::move(now)}))
            return End();
        if (i == 0 && m_stayHeard == 0 && !left.empty()) {
            // Silent through the whole first window: a balance that waits to be asked, asked now
            // on the line still open.
            asking = true;
            if (At(line, {false, false,
                          Take(&left, [&](const Query& q) { return SameLine(q.line, line); })}))
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
    // A connection is kept and set to the next line; a local device is opened anew.
    if (m_port && m_port->Lasting() && !m_port->Restart(line).Failed())
        return true;
    m_port.reset();
    serial_port::PortError error;
    m_port = OpenWire(m_device, line, &error);
    // A pseudo-terminal takes only 8N1, and a 7-bit character with parity is ten bits as an 8N1
    // one is.
    const scale::LineSettings plain{line.baud, 'N', 8, 1};
    if (!m_port && error.kind == serial_port::ErrorKind::kInvalidArgument && !SameLine(line, plain))
        m_port = OpenWire(m_device, plain, &error);
    if (!m_port)
        m_verdict.openError = error;
    return m_port != nullptr;
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
    if (stay.listen)
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
    std::optional<families::Listener> answer;
    std::string said;  // what came back to the query asked now
    const auto heard = [&] { return (answer && answer->Found()) || (stream && stream->Found()); };
    auto listenToo = std::move(m_hear);
    m_hear = [&](std::span<const std::uint8_t> bytes) {
        listenToo(bytes);
        if (answer)
            answer->Push(bytes);
        if (said.size() < kMaxSaid)
            said.append(bytes.begin(), bytes.end());
    };
    const auto ask = [&](const Query& query, const std::string& bytes) {
        const families::Family* const one[] = {query.family};
        answer.emplace(one, query.line, families::Framing::kAsSet, m_plan.pattern, 1);
        said.clear();
        if (Send(BytesOf(bytes)))
            ReadUntil(Clock::now() + m_plan.answerFor,
                      [&] { return heard() || !SicsError(said).empty(); });
        return answer->Found();
    };
    for (const Query& query : queries) {
        if (m_stopped || !m_port || heard())
            break;
        m_verdict.asked = true;
        if (ask(query, query.family->query))
            return Found(*query.family, query.line, true, answer->Readings());
        // A balance that read the query run together with what came before it (the probe) says
        // so: its line is cleared and it is asked again, once.
        const families::Family* const sicsFamily = families::Find("sics");
        const bool sicsWanted = std::find(m_plan.candidates.begin(), m_plan.candidates.end(),
                                          sicsFamily) != m_plan.candidates.end();
        if (const std::string error = SicsError(said); !error.empty() && sicsWanted) {
            m_verdict.error = error;
            const Query sics{sicsFamily, query.line};
            if (ask(sics, "\r\n" + sics.family->query))
                return Found(*sics.family, sics.line, true, answer->Readings());
        }
    }
    m_hear = std::move(listenToo);
    return m_stopped;
}

bool PortLook::AskEach(std::vector<Query> queries) {
    while (!queries.empty()) {
        const scale::LineSettings line = queries.front().line;
        const std::vector<Query> here =
            Take(&queries, [&](const Query& q) { return SameLine(q.line, line); });
        if (Open(line) && At(line, {false, false, here}))
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
