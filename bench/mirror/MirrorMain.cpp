// mirror_bench: the panel against a plain reader of the same stream. Each round plays the same
// simulated scale (karvel-scalesim's frames, seed 1) at the line's full rate of 80 frames/s and
// at 10 frames/s, once into a reader built on QSerialPort on the UI thread (the peer) and once
// into the panel with its serial engine, each in a process of its own, taking turns. Both feed
// the real display control through the component layer.
//
// Figures, per rate (medians over the rounds; latencies over every frame shown):
//   peer_cpu_percent_Nfps, karvel_cpu_percent_Nfps   CPU of the reader process per wall time
//   karvel_vs_peer_cpu_Nfps                          their ratio (target: at most 2)
//   peer_switches_per_s_Nfps, karvel_switches_...    context switches of the reader process
//   *_paint_latency_median_us_Nfps, *_p99_us_Nfps    from the write of a frame's twelfth byte to
//                                                    the end of the paint that shows it
//   karvel_vs_peer_latency_median_Nfps, ..._p99_Nfps their ratios (target: at most 1.5)
// Usage: mirror_bench [--seconds S] [--rounds R]   (S seconds of stream per run, default 20;
//        R rounds, default 3; QT_QPA_PLATFORM=offscreen without a display)

#include <QApplication>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/mirror/KarvelReader.h"
#include "bench/mirror/MirrorDriver.h"
#include "bench/mirror/PeerReader.h"
#include "bench/support/CommandLine.h"
#include "bench/support/Measures.h"

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
    std::vector<double> latencies;
    std::uint64_t framesShort = 0;  // frames written and not decoded, over all rounds
    std::uint64_t framesNotShown = 0;

    void Add(const mirror::RunResult& run) {
        const double wall = std::max(run.report.wallSeconds, 1e-9);
        cpuPercent.push_back(100.0 * run.report.cpuSeconds / wall);
        switchesPerSecond.push_back(
            static_cast<double>(run.report.voluntarySwitches + run.report.involuntarySwitches) /
            wall);
        latencies.insert(latencies.end(), run.latencies.micros.begin(), run.latencies.micros.end());
        if (run.report.frames < run.framesWritten)
            framesShort += run.framesWritten - run.report.frames;
        framesNotShown += run.latencies.framesNotShown;
    }
};

int RunDriver(int seconds, int rounds) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("KARVEL_COMPONENT_MANIFEST"))
        qputenv("KARVEL_COMPONENT_MANIFEST", KARVEL_MANIFEST);
    const QString self = QCoreApplication::applicationFilePath();
    bool complete = true;
    for (const int rate : {80, 10}) {
        const int frames = rate * seconds;
        std::printf("mirror: %d rounds of %d frames at %d frames/s\n", rounds, frames, rate);
        std::fflush(stdout);
        std::map<Reader, Tally> tallies;
        std::vector<double> cpuRatios;
        for (int round = 0; round < rounds; ++round) {
            // Turns alternate, so that neither reader always runs after the other.
            const Reader order[2] = {round % 2 == 0 ? Reader::kPeer : Reader::kKarvel,
                                     round % 2 == 0 ? Reader::kKarvel : Reader::kPeer};
            double cpu[2] = {0, 0};
            for (const Reader reader : order) {
                std::string error;
                const auto run = mirror::RunReader(self, reader, rate, frames, &error);
                if (!run) {
                    std::printf("mirror: FAIL (%s)\n", error.c_str());
                    return 1;
                }
                tallies[reader].Add(*run);
                cpu[reader == Reader::kPeer ? 0 : 1] = tallies[reader].cpuPercent.back();
            }
            cpuRatios.push_back(cpu[1] / std::max(cpu[0], 1e-9));
        }
        const std::string at = "_" + std::to_string(rate) + "fps";
        for (const Reader reader : {Reader::kPeer, Reader::kKarvel}) {
            const Tally& t = tallies[reader];
            const std::string name = mirror::ReaderName(reader);
            Figure(name + "_cpu_percent" + at, Median(t.cpuPercent), "%");
            Figure(name + "_switches_per_s" + at, Median(t.switchesPerSecond), "1/s");
            Figure(name + "_paint_latency_median_us" + at, bench::Percentile(t.latencies, 0.5),
                   "us");
            Figure(name + "_paint_latency_p99_us" + at, bench::Percentile(t.latencies, 0.99), "us");
            std::printf(
                "mirror: %s at %d frames/s: %zu frames shown, %llu not shown, %llu not "
                "decoded\n",
                name.c_str(), rate, t.latencies.size(),
                static_cast<unsigned long long>(t.framesNotShown),
                static_cast<unsigned long long>(t.framesShort));
            complete &= t.framesShort == 0;
        }
        const Tally& peer = tallies[Reader::kPeer];
        const Tally& karvel = tallies[Reader::kKarvel];
        Figure("karvel_vs_peer_cpu" + at,
               Median(karvel.cpuPercent) / std::max(Median(peer.cpuPercent), 1e-9), "x");
        std::printf("mirror: CPU ratio per round at %d frames/s: lowest %.2f, highest %.2f\n", rate,
                    bench::Percentile(cpuRatios, 0), bench::Percentile(cpuRatios, 1));
        for (const double p : {0.5, 0.99}) {
            const double ratio = bench::Percentile(karvel.latencies, p) /
                                 std::max(bench::Percentile(peer.latencies, p), 1e-9);
            Figure(std::string("karvel_vs_peer_latency_") + (p == 0.5 ? "median" : "p99") + at,
                   ratio, "x");
        }
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
    cli::OptionTable table(cli::kEvery);
    table.Add({.name = "--seconds",
               .value = "S",
               .help = "how long each reader is measured per round (default 20)",
               .apply = bench::Whole("--seconds", 1, 3600, seconds)});
    table.Add({.name = "--rounds",
               .value = "N",
               .help = "rounds at each rate (default 3)",
               .apply = bench::Whole("--rounds", 1, 100, rounds)});
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
        return RunDriver(seconds, rounds);
    }
    QApplication app(argc, argv);
    if (reader == "karvel")
        return mirror::RunKarvelReader(portFolder);
    if (reader == "peer")
        return mirror::RunPeerReader(QString::fromLocal8Bit(device));
    std::fputs(cli::UsageErrorText("mirror_bench", "--reader is karvel or peer").c_str(), stderr);
    return cli::kExitUsage;
}
