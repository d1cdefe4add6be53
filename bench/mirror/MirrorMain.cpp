// mirror_bench: the panel against a plain reader of the same stream. Each round plays the same
// simulated scale (karvel-scalesim's frames, seed 1) at the line's full rate of 80 frames/s and
// at 10 frames/s, once into a reader built on QSerialPort on the UI thread (the peer) and once
// into the panel with its serial engine, each in a process of its own, taking turns. Both feed
// the real display control through the component layer. Before the turns of each round the
// driver measures, at the stream's pace (12 trips per frame), the floor of a per-byte hand-over
// (two threads sleeping in poll on eventfds) and the engine's own hand-over (SendMessage into an
// event loop), each as CPU per byte of both threads.
//
// Figures, per rate (medians over the rounds; latencies over every frame shown):
//   peer_cpu_percent_Nfps, karvel_cpu_percent_Nfps   CPU of the reader process per wall time
//   karvel_vs_peer_cpu_Nfps                          their ratio
//   peer_switches_per_s_Nfps, karvel_switches_...    context switches of the reader process
//   floor_handover_cpu_us_per_byte_Nfps              the floor's cost of one byte
//   karvel_beyond_floor_cpu_percent_Nfps             the panel's CPU less that cost of its bytes
//   karvel_beyond_floor_vs_peer_cpu_Nfps             that against the peer's (target: at most 1.1)
//   floor_mailbox_cpu_us_per_byte_Nfps, karvel_beyond_mailbox_vs_peer_cpu_Nfps
//                                                    the same with the engine's own hand-over
//   *_paint_latency_median_us_Nfps, *_p99_us_Nfps    from the write of a frame's twelfth byte to
//                                                    the end of the paint that shows it
//   karvel_vs_peer_latency_median_Nfps, ..._p99_Nfps their ratios (target: p99 at most 1.25)
// With --lines N, instead: a balance's lines (MT-SICS, 115 200 baud) at N lines/s, the panel
// reading them as that family with its readings window keeping every reading:
//   *_cpu_percent_Nlps, karvel_vs_peer_cpu_Nlps      (target: at most 1.5)
//   *_line_to_paint_median_ms_Nlps, *_p99_ms_Nlps    from the write of a line's last byte to the
//                                                    end of the paint showing it (target: 20 ms)
//   *_paints_per_s_Nlps, *_lines_lost_Nlps           lines the readings window (peer: decoder)
//                                                    did not get (target: 0)
// Usage: mirror_bench [--seconds S] [--rounds R] [--lines N]   (S seconds of stream per run,
//        default 20; R rounds, default 3; QT_QPA_PLATFORM=offscreen without a display)

#include <QApplication>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bench/mirror/HandoverFloor.h"
#include "bench/mirror/KarvelReader.h"
#include "bench/mirror/MirrorDriver.h"
#include "bench/mirror/PeerReader.h"
#include "bench/support/CommandLine.h"
#include "bench/support/Measures.h"
#include "scale/Protocol.h"

namespace {

using mirror::Reader;

void Figure(const std::string& name, double value, const char* unit) {
    std::printf("figure: %s = %.2f %s\n", name.c_str(), value, unit);
    std::fflush(stdout);
}

double Median(std::vector<double> values) {
    return bench::Percentile(std::move(values), 0.5);
}

struct Tally {
    std::vector<double> cpuPercent;
    std::vector<double> switchesPerSecond;
    std::vector<double> beyondFloorPercent;    // CPU less the floor's cost of every byte
    std::vector<double> beyondMailboxPercent;  // CPU less the mailbox hand-over's
    std::vector<double> latencies;
    std::uint64_t framesShort = 0;  // frames written and not decoded, over all rounds
    std::uint64_t framesNotShown = 0;
    std::vector<double> residentGrowthKb;

    void Add(const mirror::RunResult& run, const mirror::FloorCost& floor,
             const mirror::FloorCost& mailbox) {
        const double wall = std::max(run.report.wallSeconds, 1e-9);
        cpuPercent.push_back(100.0 * run.report.cpuSeconds / wall);
        const double bytes = static_cast<double>(run.framesWritten * scale::kFrameSize);
        beyondFloorPercent.push_back(
            100.0 * (run.report.cpuSeconds - floor.cpuSecondsPerTrip * bytes) / wall);
        beyondMailboxPercent.push_back(
            100.0 * (run.report.cpuSeconds - mailbox.cpuSecondsPerTrip * bytes) / wall);
        switchesPerSecond.push_back(
            static_cast<double>(run.report.voluntarySwitches + run.report.involuntarySwitches) /
            wall);
        latencies.insert(latencies.end(), run.latencies.micros.begin(), run.latencies.micros.end());
        if (run.report.frames < run.framesWritten)
            framesShort += run.framesWritten - run.report.frames;
        framesNotShown += run.latencies.framesNotShown;
        residentGrowthKb.push_back(static_cast<double>(run.report.residentGrowthKb));
    }
};

// How long the floor is measured in each round: long enough for thousands of trips.
constexpr auto kFloorTime = std::chrono::seconds(3);

struct RateResult {
    std::map<Reader, Tally> tallies;
    std::vector<double> cpuRatios;
    std::vector<double> floorCpuPerByte;  // seconds
    std::vector<double> floorSwitchesPerByte;
    std::vector<double> mailboxCpuPerByte;
    mirror::FloorCost mailbox;  // of the round under way
};

// One reader's turn on the stream; false (and the failure said) when it failed.
bool Turn(const QString& self, Reader reader, mirror::Stream stream, int rate, int frames,
          const mirror::FloorCost& floor, RateResult& result) {
    std::string error;
    const auto run = mirror::RunReader(self, reader, stream, rate, frames, &error);
    if (!run) {
        std::printf("mirror: FAIL (%s)\n", error.c_str());
        return false;
    }
    result.tallies[reader].Add(*run, floor, result.mailbox);
    return true;
}

std::optional<RateResult> RunRate(const QString& self, int rate, int seconds, int rounds) {
    const int frames = rate * seconds;
    std::printf("mirror: %d rounds of %d frames at %d frames/s\n", rounds, frames, rate);
    std::fflush(stdout);
    RateResult result;
    for (int round = 0; round < rounds; ++round) {
        const mirror::FloorCost floor = mirror::MeasureHandoverFloor(
            rate, static_cast<int>(scale::kFrameSize),
            std::chrono::duration_cast<std::chrono::milliseconds>(kFloorTime));
        result.floorCpuPerByte.push_back(floor.cpuSecondsPerTrip);
        result.floorSwitchesPerByte.push_back(floor.switchesPerTrip);
        result.mailbox = mirror::MeasureMailboxHandover(
            rate, static_cast<int>(scale::kFrameSize),
            std::chrono::duration_cast<std::chrono::milliseconds>(kFloorTime));
        result.mailboxCpuPerByte.push_back(result.mailbox.cpuSecondsPerTrip);
        // Turns alternate, so that neither reader always runs after the other.
        const bool peerFirst = round % 2 == 0;
        for (const Reader reader : {peerFirst ? Reader::kPeer : Reader::kKarvel,
                                    peerFirst ? Reader::kKarvel : Reader::kPeer}) {
            if (!Turn(self, reader, mirror::Stream::kFrames, rate, frames, floor, result))
                return std::nullopt;
        }
        result.cpuRatios.push_back(result.tallies[Reader::kKarvel].cpuPercent.back() /
                                   std::max(result.tallies[Reader::kPeer].cpuPercent.back(), 1e-9));
    }
    return result;
}

// Prints the figures of one rate; false when a reader missed frames.
bool ReportRate(int rate, const RateResult& result) {
    const std::string at = "_" + std::to_string(rate) + "fps";
    bool complete = true;
    for (const Reader reader : {Reader::kPeer, Reader::kKarvel}) {
        const Tally& t = result.tallies.at(reader);
        const std::string name = mirror::ReaderName(reader);
        Figure(name + "_cpu_percent" + at, Median(t.cpuPercent), "%");
        Figure(name + "_switches_per_s" + at, Median(t.switchesPerSecond), "1/s");
        Figure(name + "_paint_latency_median_us" + at, bench::Percentile(t.latencies, 0.5), "us");
        Figure(name + "_paint_latency_p99_us" + at, bench::Percentile(t.latencies, 0.99), "us");
        std::printf(
            "mirror: %s at %d frames/s: %zu frames shown, %llu not shown, %llu not decoded\n",
            name.c_str(), rate, t.latencies.size(),
            static_cast<unsigned long long>(t.framesNotShown),
            static_cast<unsigned long long>(t.framesShort));
        complete &= t.framesShort == 0;
    }
    const Tally& peer = result.tallies.at(Reader::kPeer);
    const Tally& karvel = result.tallies.at(Reader::kKarvel);
    const double peerCpu = std::max(Median(peer.cpuPercent), 1e-9);
    Figure("karvel_vs_peer_cpu" + at, Median(karvel.cpuPercent) / peerCpu, "x");
    std::printf("mirror: CPU ratio per round at %d frames/s: lowest %.2f, highest %.2f\n", rate,
                bench::Percentile(result.cpuRatios, 0), bench::Percentile(result.cpuRatios, 1));
    // The described delivery hands every byte over and waits: what that costs at the least is
    // taken out of the panel's CPU before it is set against the peer's.
    Figure("floor_handover_cpu_us_per_byte" + at, 1e6 * Median(result.floorCpuPerByte), "us");
    Figure("floor_handover_switches_per_byte" + at, Median(result.floorSwitchesPerByte), "1");
    Figure("karvel_beyond_floor_cpu_percent" + at, Median(karvel.beyondFloorPercent), "%");
    Figure("karvel_beyond_floor_vs_peer_cpu" + at, Median(karvel.beyondFloorPercent) / peerCpu,
           "x");
    // The same with the engine's hand-over as built (mailbox and event loop) as the floor: what
    // is left is what surrounds it.
    Figure("floor_mailbox_cpu_us_per_byte" + at, 1e6 * Median(result.mailboxCpuPerByte), "us");
    Figure("karvel_beyond_mailbox_vs_peer_cpu" + at, Median(karvel.beyondMailboxPercent) / peerCpu,
           "x");
    for (const double p : {0.5, 0.99}) {
        const double ratio = bench::Percentile(karvel.latencies, p) /
                             std::max(bench::Percentile(peer.latencies, p), 1e-9);
        Figure(std::string("karvel_vs_peer_latency_") + (p == 0.5 ? "median" : "p99") + at, ratio,
               "x");
    }
    return complete;
}

// A balance's lines at `rate` a second: the panel with its readings window keeping every reading
// against the peer, each reading's line to the paint that shows it (a paint shows the newest).
int RunLinesDriver(const QString& self, int rate, int seconds, int rounds) {
    const int lines = rate * seconds;
    std::printf("mirror: %d rounds of %d %s lines at %d lines/s, %d baud\n", rounds, lines,
                mirror::kLineFamily, rate, mirror::kLineBaud);
    std::fflush(stdout);
    RateResult result;
    for (int round = 0; round < rounds; ++round) {
        const bool peerFirst = round % 2 == 0;
        for (const Reader reader : {peerFirst ? Reader::kPeer : Reader::kKarvel,
                                    peerFirst ? Reader::kKarvel : Reader::kPeer}) {
            if (!Turn(self, reader, mirror::Stream::kLines, rate, lines, {}, result))
                return 1;
        }
    }
    const std::string at = "_" + std::to_string(rate) + "lps";
    for (const Reader reader : {Reader::kPeer, Reader::kKarvel}) {
        const Tally& t = result.tallies.at(reader);
        const std::string name = mirror::ReaderName(reader);
        Figure(name + "_cpu_percent" + at, Median(t.cpuPercent), "%");
        Figure(name + "_line_to_paint_median_ms" + at, bench::Percentile(t.latencies, 0.5) / 1e3,
               "ms");
        Figure(name + "_line_to_paint_p99_ms" + at, bench::Percentile(t.latencies, 0.99) / 1e3,
               "ms");
        Figure(name + "_paints_per_s" + at,
               static_cast<double>(t.latencies.size()) / (seconds * rounds), "1/s");
        Figure(name + "_lines_lost" + at, static_cast<double>(t.framesShort), "1");
        Figure(name + "_resident_growth_kb" + at, Median(t.residentGrowthKb), "kB");
    }
    const Tally& karvel = result.tallies.at(Reader::kKarvel);
    Figure("karvel_vs_peer_cpu" + at,
           Median(karvel.cpuPercent) /
               std::max(Median(result.tallies.at(Reader::kPeer).cpuPercent), 1e-9),
           "x");
    std::printf(karvel.framesShort == 0 ? "mirror: every line reached the readings window\n"
                                        : "mirror: FAIL (lines were lost)\n");
    return karvel.framesShort == 0 ? 0 : 1;
}

int RunDriver(int seconds, int rounds, int lineRate) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("KARVEL_COMPONENT_MANIFEST"))
        qputenv("KARVEL_COMPONENT_MANIFEST", KARVEL_MANIFEST);
    const QString self = QCoreApplication::applicationFilePath();
    if (lineRate > 0)
        return RunLinesDriver(self, lineRate, seconds, rounds);
    bool complete = true;
    for (const int rate : {80, 10}) {
        const std::optional<RateResult> result = RunRate(self, rate, seconds, rounds);
        if (!result)
            return 1;
        complete &= ReportRate(rate, *result);
    }
    std::printf(complete ? "mirror: every frame was decoded\n"
                         : "mirror: FAIL (frames were not decoded)\n");
    return complete ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 20;
    int rounds = 3;
    std::string reader;
    std::string device;
    std::string portFolder;
    int lineRate = 0;
    bool linesMode = false;
    cli::OptionTable table(cli::kEvery);
    table.Add({.name = "--seconds",
               .value = "S",
               .help = "how long each reader is measured per round (default 20)",
               .apply = bench::Whole("--seconds", 1, 3600, seconds)});
    table.Add({.name = "--rounds",
               .value = "N",
               .help = "rounds at each rate (default 3)",
               .apply = bench::Whole("--rounds", 1, 100, rounds)});
    table.Add({.name = "--lines",
               .value = "N",
               .help = "a balance's lines at N lines a second instead of the frames",
               .apply = bench::Whole("--lines", 1, 5000, lineRate)});
    table.Add({.name = "--lines-mode",
               .help = "a reader the driver starts reads lines",
               .apply = [&linesMode](std::optional<std::string_view>) {
                   linesMode = true;
                   return posix::Success();
               }});
    table.Add({.name = "--reader",
               .value = "karvel|peer",
               .help = "run as one of the readers the driver starts",
               .apply = cli::Keep(reader, "--reader needs karvel or peer")});
    table.Add({.name = "--device",
               .value = "PATH",
               .help = "the peer reader's device",
               .apply = [&device](std::optional<std::string_view> value) {
                   device = std::string(*value);  // the panel reader is given none
                   return posix::Success();
               }});
    table.Add({.name = "--port-dir",
               .value = "DIR",
               .help = "the panel reader's port folder",
               .apply = [&portFolder](std::optional<std::string_view> value) {
                   portFolder = std::string(*value);
                   return posix::Success();
               }});
    if (const auto code = bench::ReadCommandLine(
            table, "The panel and a plain reader taking turns on the same stream.", argc, argv))
        return *code;
    if (reader.empty()) {
        QCoreApplication app(argc, argv);
        return RunDriver(seconds, rounds, lineRate);
    }
    QApplication app(argc, argv);
    if (reader == "karvel")
        return mirror::RunKarvelReader(portFolder, linesMode);
    if (reader == "peer")
        return mirror::RunPeerReader(QString::fromLocal8Bit(device), linesMode);
    std::fputs(cli::UsageErrorText("mirror_bench", "--reader is karvel or peer").c_str(), stderr);
    return cli::kExitUsage;
}
