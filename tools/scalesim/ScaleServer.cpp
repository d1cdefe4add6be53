#include "tools/scalesim/ScaleServer.h"

#include "scale/families/Family.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <utility>

namespace scalesim {

namespace {

// How soon a line nobody held is looked at again. A port that opens it and probes waits
// 150 ms for the answer, so this may not follow a slow frame clock.
constexpr auto kRecheckInterval = std::chrono::milliseconds(20);

// How long the lines stay up after the last frame of a limited run.
constexpr auto kLinger = std::chrono::seconds(2);

constexpr std::uint8_t kAnswer[] = {kHeader0, kHeader1};

std::string KeyName(std::uint8_t key) {
    char text[32];
    const char letter = static_cast<char>(key & ~kDoubleClick);
    if (letter >= 'A' && letter <= 'Z')
        std::snprintf(text, sizeof text, "%s%c", key & kDoubleClick ? "double " : "", letter);
    else
        std::snprintf(text, sizeof text, "0x%02X", key);
    return text;
}

}  // namespace

ScaleServer::ScaleServer(SimOptions options, std::FILE* log)
    : m_options(std::move(options)), m_log(log) {}

bool ScaleServer::Start(std::string* error) {
    auto open = [&](int comPort, bool silent) {
        auto line = m_options.listen ? ServedLine::Listen(comPort, *m_options.listen, error)
                                     : ServedLine::Open(comPort, m_options.portDir, error);
        if (!line)
            return false;
        std::optional<ScaleModel> scale;
        if (!silent) {
            scale.emplace(m_options.seed + static_cast<std::uint32_t>(comPort),
                          m_options.framesPerSecond);
            if (m_options.itemGrams > 0)
                scale->PackItems(m_options.itemGrams);
            if (m_options.loadGrams > 0)
                scale->PlaceLoad(m_options.loadGrams);
        }
        std::optional<FamilyScale> family;
        if (!silent && !m_options.protocol.empty() && m_options.protocol != "karvel")
            family.emplace(*scale::families::Find(m_options.protocol));
        m_stations.push_back({std::move(*line), std::move(scale), false, std::move(family)});
        return true;
    };
    for (const int port : m_options.scalePorts) {
        if (!open(port, false))
            return false;
    }
    for (const int port : m_options.silentPorts) {
        if (!open(port, true))
            return false;
    }
    std::sort(m_stations.begin(), m_stations.end(), [](const Station& a, const Station& b) {
        return a.line.ComPort() < b.line.ComPort();
    });
    return true;
}

std::vector<std::string> ScaleServer::Describe() const {
    std::vector<std::string> lines;
    for (const Station& station : m_stations)
        lines.push_back("COM" + std::to_string(station.line.ComPort()) + " " +
                        station.line.DevicePath());
    return lines;
}

void ScaleServer::Log(const Station& station, const std::string& what) {
    if (m_log)
        std::fprintf(m_log, "COM%d: %s\n", station.line.ComPort(), what.c_str());
}

void ScaleServer::Serve(Station& station, short revents) {
    ServedLine& line = station.line;
    const auto input = line.Receive(revents);
    if (!station.scale)
        return;  // a silent line swallows everything
    if (station.family) {
        ServeFamily(station, input);
        return;
    }
    for (const std::uint8_t byte : input) {
        if (byte == kProbe) {
            line.QueueAnswer(kAnswer);
            Log(station, "probe answered");
        } else if (station.scale->PressKey(byte)) {
            Log(station, "key " + KeyName(byte));
        }
    }
    m_framesSent += static_cast<std::uint64_t>(line.Flush());
}

bool ScaleServer::AtFamilySpeed(const Station& station) const {
    if (station.line.Socket())
        return true;
    const int baud = m_options.line ? m_options.line->baud
                                    : scale::families::Find(m_options.protocol)->lines[0].baud;
    return station.line.Baud() == static_cast<unsigned>(baud);
}

void ScaleServer::ServeFamily(Station& station, std::span<const std::uint8_t> input) {
    // At another speed the bytes are noise to the scale, as on a real line.
    if (input.empty() || !AtFamilySpeed(station))
        return;
    std::string acted;
    const auto reply = station.family->Receive(input, *station.scale, &acted);
    if (!acted.empty())
        Log(station, acted);
    if (!reply.bytes.empty()) {
        station.line.QueueAnswer(std::span(
            reinterpret_cast<const std::uint8_t*>(reply.bytes.data()), reply.bytes.size()));
        station.line.Flush();
        m_framesSent += static_cast<std::uint64_t>(reply.readings);
    }
}

bool ScaleServer::LimitReached() const {
    return m_options.frameLimit != 0 && m_framesSent >= m_options.frameLimit;
}

void ScaleServer::Tick() {
    for (Station& station : m_stations) {
        if (!station.scale || LimitReached())
            continue;
        station.scale->Tick();
        if (station.family) {
            // A reader that lags behind misses lines instead of piling them up.
            if (!station.family->Streams() || station.line.HasOutput() ||
                !station.line.Connected() || !AtFamilySpeed(station))
                continue;
            const std::string line = station.family->Line(*station.scale);
            station.line.QueueAnswer(
                std::span(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()));
            station.line.Flush();
            ++m_framesSent;
            continue;
        }
        if (station.line.QueueFrame(EncodeFrame(station.scale->Slots())))
            m_framesSent += static_cast<std::uint64_t>(station.line.Flush());
    }
}

bool ScaleServer::AnyScaleConnected() const {
    return std::any_of(m_stations.begin(), m_stations.end(), [](const Station& station) {
        return station.scale && station.line.Connected();
    });
}

bool ScaleServer::WaitAndServe(Clock::time_point until, const sigset_t& waitMask) {
    const bool watchStdin = m_options.stopAtStdinEof;
    m_pollFds.resize(m_stations.size() + (watchStdin ? 1 : 0));
    bool anyIdle = false;
    for (std::size_t i = 0; i < m_stations.size(); ++i) {
        Station& station = m_stations[i];
        ServedLine& line = station.line;
        line.Recheck();
        if (line.Connected() != station.wasConnected) {
            station.wasConnected = line.Connected();
            Log(station, line.Connected() ? "opened by a port" : "let go");
        }
        anyIdle |= !line.Connected();
        const short events = static_cast<short>(POLLIN | (line.HasOutput() ? POLLOUT : 0));
        m_pollFds[i] = {line.Connected() ? line.Descriptor() : -1, events, 0};
    }
    if (watchStdin)
        m_pollFds.back() = {STDIN_FILENO, POLLIN, 0};

    auto wait = std::max(until - Clock::now(), Clock::duration::zero());
    if (anyIdle)
        wait = std::min<Clock::duration>(wait, kRecheckInterval);
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    const timespec timeout{static_cast<time_t>(ns / 1000000000),
                           static_cast<long>(ns % 1000000000)};
    const int ready = ::ppoll(m_pollFds.data(), m_pollFds.size(), &timeout, &waitMask);
    if (ready < 0)
        return errno == EINTR;
    for (std::size_t i = 0; ready > 0 && i < m_stations.size(); ++i) {
        if (m_pollFds[i].revents != 0)
            Serve(m_stations[i], m_pollFds[i].revents);
    }
    if (watchStdin && m_pollFds.back().revents != 0) {
        char buf[256];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
            return false;
    }
    return true;
}

void ScaleServer::Run(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask) {
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) /
                        m_options.framesPerSecond;
    auto nextFrame = Clock::now() + period;
    while (!stop && !LimitReached()) {
        if (!WaitAndServe(nextFrame, waitMask))
            return;
        const auto now = Clock::now();
        if (now >= nextFrame) {
            Tick();
            nextFrame += period;
            if (nextFrame <= now)  // we were held up: carry on from now, without a burst
                nextFrame = now + period;
        }
    }
    if (!LimitReached())
        return;
    // Frames a port has not read yet are lost when the line closes: give the ports a moment to
    // read them, or to let go.
    const auto until = Clock::now() + kLinger;
    while (!stop && AnyScaleConnected() && Clock::now() < until) {
        if (!WaitAndServe(until, waitMask))
            return;
    }
}

}  // namespace scalesim
