// Figures for keeping weighings:
//   readings_model_86400_rows_mb   heap taken by a working day of captures at one a second in
//                                  the readings window's model (target: below 50 MB)
//   readings_window_86400_rows_mb  the same with the window shown over them
//   panel_cpu_percent              the panel mirroring the simulated scale at 80 frames/s
//   logged_cpu_percent             the same with --log and the readings window open (settled)
//   logged_every_cpu_percent       the same capturing every frame (each frame a row)
//   logged_cpu_ratio               logged / panel (target: at most 1.15)
//   logged_rows                    rows the logged phases wrote (about 80 a second capturing every)
// The plain and logged phases alternate, twice each, in one run.
// Usage: readings_bench [--seconds N]   (QT_QPA_PLATFORM=offscreen without a display)

#include <malloc.h>

#include <QApplication>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "CScalePanelDlg.h"
#include "ProcessStatus.h"
#include "ReadingsCompanion.h"
#include "ReadingsModel.h"
#include "ReadingsWindow.h"
#include "Recorder.h"
#include "ScaleFrames.h"
#include "SoakScale.h"
#include "platform/window/Messages.h"
#include "record/Forms.h"

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

PanelServices QuietServices() {
    PanelServices services;
    services.presenter = [](QWidget*, const MessageBoxRequest& r) {
        std::fprintf(stderr, "box: %s\n", qPrintable(r.text));
    };
    return services;
}

// CPU of the whole process per wall time over `seconds` of the event loop.
double CpuPercent(int seconds) {
    window::PumpThreadFor(std::chrono::milliseconds(300));
    const double cpuBefore = soak::ProcessCpuSeconds();
    const auto begin = Clock::now();
    window::PumpThreadFor(std::chrono::seconds(seconds));
    const double wall = std::chrono::duration<double>(Clock::now() - begin).count();
    return 100.0 * (soak::ProcessCpuSeconds() - cpuBefore) / wall;
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
    int seconds = 10;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::max(1, std::atoi(argv[i + 1]));
    }
    if (qEnvironmentVariableIsEmpty("KARVEL_COMPONENT_MANIFEST"))
        qputenv("KARVEL_COMPONENT_MANIFEST", KARVEL_MANIFEST);
    QApplication app(argc, argv);
    MemoryFigures();

    constexpr int kRate = 80;
    soak::SoakScale scale;
    QString error;
    const int phases = 6;
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
    double plain = 0;
    double logged = 0;
    double every = 0;
    for (int round = 0; round < 2; ++round) {
        plain += CpuPercent(seconds) / 2;
        logged += LoggedCpuPercent(panel, dir, record::CaptureRule::kSettled, seconds) / 2;
        every += LoggedCpuPercent(panel, dir, record::CaptureRule::kEvery, seconds) / 2;
    }
    panel.OnDestroy();
    QFile log(dir.filePath(QStringLiteral("bench.csv")));
    const int rows = log.open(QIODevice::ReadOnly) ? log.readAll().count('\n') : 0;
    // Header rows aside: the captures of the four logged phases, every frame in two of them.
    std::printf("figure: logged_rows = %d rows\n", rows);
    std::printf("figure: panel_cpu_percent = %.2f %%\n", plain);
    std::printf("figure: logged_cpu_percent = %.2f %%\n", logged);
    std::printf("figure: logged_every_cpu_percent = %.2f %%\n", every);
    std::printf("figure: logged_cpu_ratio = %.3f\n", logged / plain);
    std::printf("figure: logged_every_cpu_ratio = %.3f\n", every / plain);
    return 0;
}
