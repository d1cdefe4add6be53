// karvel_soak: the panel, with the real display control, against the simulated scale at the
// line's full frame rate for minutes on end. Every frame sent must be decoded; memory must stay
// flat once the first minute is over.
//
// Figures:
//   soak_frames_sent        what the simulator reports at its end (exactly the frames asked)
//   soak_frames_received    whole frames among the bytes the panel's port delivered
//   soak_frames_decoded     Display calls that reached the control, less the probe answer's
//   soak_display_calls      every Display call that reached the control
//   soak_display_updates    paints of the control's window (several calls may make one paint)
//   soak_peak_rss_kb        the process's high-water mark of resident memory
//   soak_rss_1min_kb        resident memory one minute into the stream
//   soak_rss_end_kb         resident memory at the end of the stream
//   soak_cpu_percent        CPU time of the whole process per wall time while streaming
// Usage: karvel_soak [--minutes M | --seconds S]

#include <QApplication>
#include <QFile>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/soak/CountingDisplay.h"
#include "bench/soak/PaintCounter.h"
#include "bench/soak/ProcessStatus.h"
#include "bench/soak/SoakOptions.h"
#include "bench/soak/SoakPanel.h"
#include "bench/soak/SoakScale.h"
#include "bench/soak/SoakVerdict.h"
#include "bench/support/Measures.h"
#include "platform/cli/OptionTable.h"
#include "platform/component/Activation.h"
#include "platform/window/Messages.h"
#include "tools/scalesim/SimOptions.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kSampleInterval = 10s;
constexpr std::size_t kSamplesPerMinute = 6;
constexpr auto kSlice = 100ms;
// Beyond the stream's own length: for a slow start and a panel that falls behind.
constexpr auto kSlack = 60s;
constexpr int kSimulatorEndTimeoutMs = 10000;

int Fail(const std::string& reason) {
    std::printf("soak: FAIL (%s)\n", reason.c_str());
    return 1;
}

long ResidentKb() {
    return soak::StatusKb(soak::ReadOwnStatus(), "VmRSS").value_or(-1);
}

void Figure(const char* name, unsigned long long value, const char* unit) {
    std::printf("figure: %s = %llu %s\n", name, value, unit);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string error;
    const auto options = soak::ParseSoakOptions(args, &error);
    if (!options) {
        std::fputs(cli::UsageErrorText("karvel_soak", error).c_str(), stderr);
        return cli::kExitUsage;
    }
    if (options->help) {
        std::fputs(soak::SoakUsage().c_str(), stdout);
        return 0;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("KARVEL_COMPONENT_MANIFEST"))
        qputenv("KARVEL_COMPONENT_MANIFEST", KARVEL_MANIFEST);
    QApplication app(argc, argv);

    // 9600 baud carries the simulator's highest rate of 12-byte frames and no more.
    const int rate = scalesim::kHighestFrameRate;
    const auto frames = static_cast<std::uint64_t>(rate) * static_cast<unsigned>(options->seconds);
    std::printf("soak: %d s at %d frames/s: %llu frames\n", options->seconds, rate,
                static_cast<unsigned long long>(frames));
    std::fflush(stdout);

    soak::SoakScale scale;
    QString simError;
    if (!scale.Start(QStringLiteral(KARVEL_SCALESIM), frames, rate, &simError))
        return Fail(simError.toStdString());

    auto calls = std::make_shared<soak::DisplayCallCount>();
    soak::SoakCounts counts;
    counts.framesAsked = frames;
    bool streaming = true;
    PanelServices services;
    services.ports =
        std::make_shared<serial_port::PortMap>(QFile::encodeName(scale.PortDir()).toStdString());
    services.createControl = soak::CountingCreator(calls, component::CreateInstance);
    services.presenter = [&](QWidget*, const MessageBoxRequest& request) {
        const std::string text =
            (request.text + QChar(0x20) + request.detail).simplified().toStdString();
        std::fprintf(stderr, "soak: the panel shows: %s\n", text.c_str());
        if (streaming)
            counts.boxesDuringStream.push_back(text);
    };

    soak::SoakPanel panel(services);
    if (component::Failed(panel.CreateDisplayControl()))
        return Fail("the display control cannot be created: " + component::LastActivationError());
    QWidget* display = panel.DisplayControl().Widget();
    if (display == nullptr)
        return Fail("the display control has no window in the panel");
    soak::PaintCounter paints(display);
    panel.OnInitDialog();
    panel.show();
    if (panel.Port() != 1)
        return Fail("the panel did not find the simulated scale on COM1");

    // The stream has begun (the scan's probe was answered); from here on nothing is sent to the
    // scale, so nothing the port received is purged.
    const auto start = Clock::now();
    const double cpuAtStart = bench::ProcessCpuSeconds();
    const auto deadline = start + std::chrono::seconds(options->seconds) + kSlack +
                          std::chrono::seconds(options->seconds / 10);
    std::vector<long> resident{ResidentKb()};
    auto nextSample = start + kSampleInterval;
    while (panel.Line().Frames() < frames && scale.Running() && Clock::now() < deadline) {
        window::PumpThreadFor(kSlice);
        if (Clock::now() < nextSample)
            continue;
        resident.push_back(ResidentKb());
        nextSample += kSampleInterval;
        if ((resident.size() - 1) % kSamplesPerMinute == 0)
            std::fprintf(stderr, "soak: %zu s: %llu Display calls, %ld kB resident\n",
                         (resident.size() - 1) * 10,
                         static_cast<unsigned long long>(calls->displayCalls), resident.back());
    }
    if (panel.Line().Frames() < frames) {
        // Whatever the port still hands over: the simulator has stopped or time is up.
        window::PumpThreadFor(1000ms);
    }
    const auto end = Clock::now();
    const double cpu = bench::ProcessCpuSeconds() - cpuAtStart;
    const std::string status = soak::ReadOwnStatus();
    const long residentAtEnd = soak::StatusKb(status, "VmRSS").value_or(-1);
    const long peak = soak::StatusKb(status, "VmHWM").value_or(-1);
    streaming = false;

    // Letting go of the line ends the simulator at once.
    panel.OnDestroy();
    if (!scale.WaitForEnd(kSimulatorEndTimeoutMs))
        std::fprintf(stderr, "soak: the simulator did not end\n");
    panel.Line().Finish();
    counts.framesSent = scale.FramesSent();
    counts.framesReceived = panel.Line().Frames();
    counts.answersReceived = panel.Line().Answers();
    counts.strayBytes = panel.Line().StrayBytes();
    counts.displayCalls = calls->displayCalls;

    const double wall = std::chrono::duration<double>(end - start).count();
    std::printf("figure: soak_stream_s = %.1f s\n", wall);
    Figure("soak_frames_sent", counts.framesSent.value_or(0), "frames");
    Figure("soak_frames_received", counts.framesReceived, "frames");
    Figure("soak_frames_decoded", soak::FramesDecoded(counts), "frames");
    Figure("soak_display_calls", counts.displayCalls, "calls");
    Figure("soak_display_updates", paints.Paints(), "paints");
    Figure("soak_peak_rss_kb", static_cast<unsigned long long>(peak), "kB");
    if (options->seconds >= 60) {
        // A stream of exactly one minute ends before its sample at one minute is taken.
        const long atMinute =
            resident.size() > kSamplesPerMinute ? resident[kSamplesPerMinute] : residentAtEnd;
        Figure("soak_rss_1min_kb", static_cast<unsigned long long>(atMinute), "kB");
        Figure("soak_rss_end_kb", static_cast<unsigned long long>(residentAtEnd), "kB");
        std::printf("figure: soak_rss_growth_after_1min_kb = %ld kB\n", residentAtEnd - atMinute);
    } else {
        Figure("soak_rss_end_kb", static_cast<unsigned long long>(residentAtEnd), "kB");
        std::printf("soak: shorter than a minute: no figure at one minute\n");
    }
    std::printf("figure: soak_cpu_percent = %.2f %%\n", wall > 0 ? 100.0 * cpu / wall : 0.0);
    std::printf("soak: resident kB every 10 s, then at the end: %s | %ld\n",
                soak::CompactSeries(resident).c_str(), residentAtEnd);

    const std::vector<std::string> shortfalls = soak::Shortfalls(counts);
    if (shortfalls.empty()) {
        std::printf("soak: PASS\n");
        return 0;
    }
    std::string reason;
    for (const std::string& s : shortfalls)
        reason += (reason.empty() ? "" : "; ") + s;
    return Fail(reason);
}
