// Times one full paint pass of the display: every slot 0xFF on the panel's 359 x 101 client area,
// off-screen composition plus the block copy.
//
//   paint_bench [--rounds N] [--save FILE.png]
//
// Prints `figure: paint_full_us = X us`, the median of N rounds (default 15) of the mean pass time.
// --save writes the picture that was timed.

#include <QGuiApplication>
#include <QImage>
#include <QRect>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/support/CommandLine.h"
#include "display/paint/SegmentPainter.h"

namespace {

constexpr int kPassesPerRound = 400;

double MeanPassMicros(QImage* target, const QRect& bounds, const lumeq::DisplayState& state) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kPassesPerRound; ++i) {
        lumeq::PaintDisplay(target, bounds, state);
    }
    const std::chrono::duration<double, std::micro> elapsed =
        std::chrono::steady_clock::now() - start;
    return elapsed.count() / kPassesPerRound;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 15;
    std::string savePath;
    cli::OptionTable table(cli::kEvery);
    table.Add({.name = "--rounds",
               .value = "N",
               .help = "timed rounds (default 15)",
               .apply = bench::Whole("--rounds", 1, 100000, rounds)});
    table.Add({.name = "--save",
               .value = "FILE.png",
               .help = "also write the picture",
               .apply = cli::Keep(savePath, "--save needs a file")});
    if (const auto code =
            bench::ReadCommandLine(table, "One full paint pass of the display.", argc, argv))
        return *code;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);

    const QRect bounds(0, 0, 359, 101);
    QImage target(bounds.size(), QImage::Format_RGB32);
    target.fill(Qt::black);
    const lumeq::DisplayState allLit;  // every slot starts at 0xFF

    MeanPassMicros(&target, bounds, allLit);  // warm-up: fonts, caches
    std::vector<double> means;
    for (int r = 0; r < rounds; ++r) {
        means.push_back(MeanPassMicros(&target, bounds, allLit));
    }
    std::sort(means.begin(), means.end());
    std::printf("figure: paint_full_us = %.1f us\n", means[means.size() / 2]);

    if (!savePath.empty() && !target.save(QString::fromLocal8Bit(savePath))) {
        std::fprintf(stderr, "cannot write %s\n", savePath.c_str());
        return 1;
    }
    return 0;
}
