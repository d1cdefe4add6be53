// Figures for keeping weighings:
//   readings_model_86400_rows_mb   heap taken by a working day of captures at one a second in
//                                  the readings window's model (target: below 50 MB)
//   readings_window_86400_rows_mb  the same with the window shown over them
//   window_refresh_10min_trend_ms  CPU of one refresh of the shown window (once a second) with
//                                  ten minutes of an 80 frames/s stream in its plot
//   frame_path_settled_us, frame_path_every_us
//                                  UI-thread CPU per frame of the recorder, trend, log row and
//                                  model, capturing settled weights or every frame
//   frame_path_every_checked_us    the same with every capture checked against a target;
//                                  floor_frame_path_every_again_us is the unchecked path again
//   check_cpu_percent_at_80_per_s  what the check adds to one core at 80 frames/s
//   panel_cpu_percent              the panel mirroring the simulated scale at 80 frames/s
//   logged_cpu_percent             the same with --log and the readings window open (settled)
//   logged_every_cpu_percent       the same capturing every frame (each frame a row)
//   logged_cpu_ratio               logged / panel (target: at most 1.15)
//   logged_rows                    rows all logged phases wrote (80 a second capturing every)
//   logged_cpu_ratio_from_costs    (panel + one refresh a second + 80 frame paths) / panel:
//                                  the ratio from the parts' own costs, which a busy machine
//                                  disturbs far less than the phase figures
//   floor_panel_again_ratio        a second plain phase / the first: the noise of this machine
// The plain and logged phases take turns, --rounds times (default 4, --seconds 8 each), in one
// run; the CPU figures are medians over the rounds, so that a busy moment of the machine in one
// phase does not decide the ratio.
// Usage: readings_bench [--seconds N] [--rounds N]   (QT_QPA_PLATFORM=offscreen without a display)

#include <malloc.h>

#include <QApplication>
#include <QDateTime>
#include <QTemporaryDir>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/CScalePanelDlg.h"
#include "app/readings/LogWriter.h"
#include "app/readings/ReadingsCompanion.h"
#include "app/readings/ReadingsModel.h"
#include "app/readings/ReadingsWindow.h"
#include "app/readings/Recorder.h"
#include "bench/soak/ProcessStatus.h"
#include "bench/soak/SoakScale.h"
#include "bench/support/CommandLine.h"
#include "bench/support/Measures.h"
#include "platform/window/Messages.h"
#include "record/Forms.h"
#include "tools/scalesim/ScaleFrames.h"

namespace {

using Clock = std::chrono::steady_clock;

// Heap in use, large blocks (mapped on their own) included.
double HeapMb() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

// 86 400 captures a second apart, weights changing, on one port.
void FillDay(ReadingsModel& model) {
    auto time = std::chrono::system_clock::now() - std::chrono::hours(24);
    for (int i = 0; i < 86400; ++i) {
        const std::string text = scalesim::WeightText(i * 7 % 200000, 3);
        const scale::Slots values{0, scalesim::kSignStable, scalesim::kUnitKg,
                                  *scalesim::FormatWeight(text)};
        const scale::FrameBytes bytes = scale::FrameOf(values);
        time += std::chrono::seconds(1);
        model.Append(record::CaptureOf({bytes, values, time, {}}, 1, "/dev/ttyUSB0",
                                       record::CaptureRule::kSettled));
    }
    model.Publish();
}

void MemoryFigures() {
    const double before = HeapMb();
    ReadingsModel model;
    FillDay(model);
    const double modelMb = HeapMb() - before;
    Recorder recorder(record::CaptureRule::kSettled);
    Trend trend;
    ReadingsWindow window(model, recorder, trend);
    window.show();
    window.Refresh();
    window::PumpThreadFor(std::chrono::milliseconds(300));
    std::printf("figure: readings_model_86400_rows_mb = %.2f MB\n", modelMb);
    std::printf("figure: readings_window_86400_rows_mb = %.2f MB\n", HeapMb() - before);
    std::printf("figure: readings_rows_limit_mb = 50 MB\n");
}

// One refresh of the shown window (plot replaced, statistics, repaint) with ten minutes of an
// 80 frames/s stream in its trend: the window's cost per second while it is open.
double PlotFigure() {
    ReadingsModel model;
    Recorder recorder(record::CaptureRule::kSettled);
    Trend trend;
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    for (std::int64_t i = 0; i < 80 * 600; ++i) {
        const Trend::Point point{now - 600000 + i * 1000 / 80, (i % 400) * 0.01};
        trend.AddValue(point);
        if (i % 80 == 0)
            trend.AddCapture(point);
    }
    ReadingsWindow window(model, recorder, trend);
    window.show();
    window::PumpThreadFor(std::chrono::milliseconds(300));
    constexpr int kRounds = 20;
    const double cpuBefore = bench::ProcessCpuSeconds();
    for (int i = 0; i < kRounds; ++i) {
        window.Refresh();
        // The chart lays itself out and repaints through posted events, as in the panel's loop.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    const double ms = 1000.0 * (bench::ProcessCpuSeconds() - cpuBefore) / kRounds;
    std::printf("figure: window_refresh_10min_trend_ms = %.2f ms\n", ms);
    return ms;
}

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// CPU on the UI thread per frame of what the log and the window add to the panel's frame path:
// the recorder, the trend, the CSV row written, the model (shown twice a second). A weight
// that changes every second and settles half way, as a scale being loaded does.
// With `bench`, every capture is also checked (and the log gets its columns).
double FramePathUs(record::CaptureRule rule,
                   std::shared_ptr<const record::WeighingRules> bench = nullptr) {
    QTemporaryDir dir;
    auto file = record::LogFile::Open(dir.filePath(QStringLiteral("path.csv")).toStdString(),
                                      record::CsvHeader(), nullptr);
    LogWriter log(std::move(file));
    Recorder recorder(rule);
    recorder.SetWeighingRules(bench);
    ReadingsModel model;
    Trend trend;
    recorder.FeedTrend(&trend);
    QObject::connect(&recorder, &Recorder::captured, &model, &ReadingsModel::Append);
    QObject::connect(&recorder, &Recorder::captured, &log, &LogWriter::Write);
    recorder.OnPortState({scale::PortState::Change::kOpened, 1, "/dev/ttyUSB0"});
    constexpr int kFrames = 80 * 60;
    std::vector<scale::Frame> frames;
    auto time = std::chrono::system_clock::now();
    for (int i = 0; i < kFrames; ++i) {
        const int second = i / 80;
        const bool settled = i % 80 >= 40;
        const std::string text = scalesim::WeightText(settled ? second * 1234 : i * 17, 3);
        const scale::Slots values{0, settled ? scalesim::kSignStable : std::uint8_t{0},
                                  scalesim::kUnitKg, *scalesim::FormatWeight(text)};
        time += std::chrono::milliseconds(12);
        frames.push_back({scale::FrameOf(values), values, time, {}});
    }
    const double before = ThreadCpuSeconds();
    for (int i = 0; i < kFrames; ++i) {
        recorder.OnFrame(frames[static_cast<std::size_t>(i)]);
        if (i % 40 == 39)
            model.Publish();
    }
    return 1e6 * (ThreadCpuSeconds() - before) / kFrames;
}

PanelServices QuietServices() {
    PanelServices services;
    services.presenter = [](QWidget*, const MessageBoxRequest& r) {
        std::fprintf(stderr, "box: %s\n", qPrintable(r.text));
    };
    return services;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// CPU of the whole process per wall time over `seconds` of the event loop.
double CpuPercent(int seconds) {
    window::PumpThreadFor(std::chrono::milliseconds(300));
    const double cpuBefore = bench::ProcessCpuSeconds();
    const auto begin = Clock::now();
    window::PumpThreadFor(std::chrono::seconds(seconds));
    const double wall = std::chrono::duration<double>(Clock::now() - begin).count();
    return 100.0 * (bench::ProcessCpuSeconds() - cpuBefore) / wall;
}

// The panel's CPU with the log (in `dir`) and the window open, capturing by `rule`.
double LoggedCpuPercent(CScalePanelDlg& panel, const QTemporaryDir& dir, record::CaptureRule rule,
                        int seconds) {
    RecordOptions options;
    options.logFile = dir.filePath(QStringLiteral("bench.csv"));
    options.rule = rule;
    std::string error;
    auto log = record::LogFile::Open(options.logFile.toStdString(), record::CsvHeader(), &error);
    if (!log) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return -1;
    }
    ReadingsCompanion companion(panel, options, std::move(log));
    companion.ShowWindow();
    return CpuPercent(seconds);
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 8;
    int rounds = 4;
    cli::OptionTable table(cli::kEvery);
    table.Add({.name = "--seconds",
               .value = "S",
               .help = "how long each phase is measured (default 8)",
               .apply = bench::Whole("--seconds", 1, 3600, seconds)});
    table.Add({.name = "--rounds",
               .value = "N",
               .help = "rounds of the phases (default 4)",
               .apply = bench::Whole("--rounds", 1, 100, rounds)});
    if (const auto code = bench::ReadCommandLine(
            table, "Memory and CPU of keeping weighings beside the panel.", argc, argv))
        return *code;
    if (qEnvironmentVariableIsEmpty("KARVEL_COMPONENT_MANIFEST"))
        qputenv("KARVEL_COMPONENT_MANIFEST", KARVEL_MANIFEST);
    QApplication app(argc, argv);
    MemoryFigures();
    const double refreshMs = PlotFigure();
    const double settledUs = FramePathUs(record::CaptureRule::kSettled);
    const double everyUs = FramePathUs(record::CaptureRule::kEvery);
    std::printf("figure: frame_path_settled_us = %.2f us\n", settledUs);
    std::printf("figure: frame_path_every_us = %.2f us\n", everyUs);
    // The check on every frame: what it adds to the frame path, and to one core at 80 frames/s.
    {
        auto rules = std::make_shared<record::WeighingRules>();
        std::string error;
        rules->check = record::ParseCheck("500g,-2,+5", &error);
        const double checkedUs = FramePathUs(record::CaptureRule::kEvery, rules);
        const double againUs = FramePathUs(record::CaptureRule::kEvery);
        std::printf("figure: frame_path_every_checked_us = %.2f us\n", checkedUs);
        std::printf("figure: floor_frame_path_every_again_us = %.2f us\n", againUs);
        std::printf("figure: check_cpu_percent_at_80_per_s = %.4f %%\n",
                    100.0 * 80 * (checkedUs - std::min(everyUs, againUs)) / 1e6);
    }

    constexpr int kRate = 80;
    soak::SoakScale scale;
    QString error;
    const int phases = 4 * rounds;
    if (!scale.Start(QStringLiteral(KARVEL_SCALESIM),
                     static_cast<std::uint64_t>(kRate) * (phases * (seconds + 1) + 30), kRate,
                     &error)) {
        std::fprintf(stderr, "the simulator: %s\n", qPrintable(error));
        return 1;
    }
    qputenv("KARVEL_PORT_DIR", QFile::encodeName(scale.PortDir()));
    CScalePanelDlg panel(QuietServices());
    if (component::Failed(panel.CreateDisplayControl())) {
        std::fprintf(stderr, "the display control cannot be created; build Lumeq\n");
        return 1;
    }
    panel.OnInitDialog();
    panel.show();
    if (panel.Port() != 1) {
        std::fprintf(stderr, "the scale was not found on COM1\n");
        return 1;
    }
    QTemporaryDir dir;
    std::vector<double> plain;
    std::vector<double> logged;
    std::vector<double> every;
    std::vector<double> again;
    for (int round = 0; round < rounds; ++round) {
        plain.push_back(CpuPercent(seconds));
        logged.push_back(LoggedCpuPercent(panel, dir, record::CaptureRule::kSettled, seconds));
        every.push_back(LoggedCpuPercent(panel, dir, record::CaptureRule::kEvery, seconds));
        again.push_back(CpuPercent(seconds));
    }
    panel.OnDestroy();
    QFile log(dir.filePath(QStringLiteral("bench.csv")));
    const int rows = log.open(QIODevice::ReadOnly) ? log.readAll().count('\n') : 0;
    std::printf("figure: logged_rows = %d rows\n", rows);
    std::printf("figure: panel_cpu_percent = %.2f %%\n", Median(plain));
    std::printf("figure: logged_cpu_percent = %.2f %%\n", Median(logged));
    std::printf("figure: logged_every_cpu_percent = %.2f %%\n", Median(every));
    std::printf("figure: logged_cpu_ratio = %.3f\n", Median(logged) / Median(plain));
    std::printf("figure: logged_every_cpu_ratio = %.3f\n", Median(every) / Median(plain));
    // What the log and the window add, from their own costs (one refresh a second, 80 frames
    // through their path), over the plain panel's CPU: steady where the machine is busy.
    const auto estimate = [&](double frameUs) {
        return (Median(plain) + 100.0 * (refreshMs / 1e3 + kRate * frameUs / 1e6)) / Median(plain);
    };
    std::printf("figure: logged_cpu_ratio_from_costs = %.3f\n", estimate(settledUs));
    std::printf("figure: logged_every_cpu_ratio_from_costs = %.3f\n", estimate(everyUs));
    // The same plain panel measured again in each round: how far two equal phases differ here.
    std::printf("figure: floor_panel_again_ratio = %.3f\n", Median(again) / Median(plain));
    return 0;
}
