// Panel figures:
//   startup_scan_ms     display creation and start-up scan with COM1..COM4 silent and the scale
//                       on COM5 (each port that opens costs the probe's 150 ms: expect ~750 ms)
//   mirror_cpu_percent  CPU time of the whole process per wall time while the panel, shown,
//                       mirrors 10 frames per second (target: below 5 %)
//   idle_wait_for_device_cpu_percent
//                       the same while the scale is unplugged and the panel watches the port
//                       folder and udev for its return (target: 0.0 %)
//   idle_udev_watch_cpu_percent
//                       the same for a panel outside a port folder that follows udev's device
//                       events (target: 0.0 %)
// Usage: app_panel_bench [--seconds N]   (QT_QPA_PLATFORM=offscreen without a display)

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "app/CScalePanelDlg.h"
#include "bench/support/CommandLine.h"
#include "bench/support/Measures.h"
#include "platform/serial/PseudoTerminal.h"
#include "platform/window/Messages.h"
#include "scale/Protocol.h"

namespace {

using bench::ProcessCpuSeconds;
using Clock = std::chrono::steady_clock;

// A scale on a pseudo-terminal: answers the probe, and sends frames at a given rate on request.
class BenchScale {
  public:
    BenchScale() : m_pty(*serial_port::PseudoTerminal::Create()) {
        m_thread = std::thread([this] { Run(); });
    }
    ~BenchScale() {
        m_stop = true;
        m_thread.join();
    }
    const std::string& DevicePath() const { return m_pty.DevicePath(); }
    void StartFrames(int perSecond) { m_rate = perSecond; }
    int FramesSent() const { return m_sent; }

  private:
    void Run() {
        std::optional<Clock::time_point> next;
        std::uint8_t counter = 0;
        while (!m_stop) {
            // Answers come within 20 ms; frames at their pace.
            const auto chunk = m_pty.Read(std::chrono::milliseconds(20));
            if (std::find(chunk.begin(), chunk.end(), scale::kProbe) != chunk.end()) {
                const std::uint8_t answer[] = {scale::kHeader0, scale::kHeader1};
                m_pty.Write(answer);
            }
            const int rate = m_rate;
            if (rate > 0 && !next)
                next = Clock::now();
            if (rate > 0 && Clock::now() >= *next) {
                ++counter;
                const scale::FrameBytes frame =
                    scale::FrameOf({0x01, 0x00, 0x04, {0x3F, 0x06, 0x5B, 0x4F, 0x66, counter}});
                m_pty.Write(frame);
                ++m_sent;
                *next += std::chrono::milliseconds(1000 / rate);
            }
        }
    }

    serial_port::PseudoTerminal m_pty;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_rate{0};
    std::atomic<int> m_sent{0};
    std::thread m_thread;
};

struct Ports {
    QTemporaryDir dir;
    std::vector<serial_port::PseudoTerminal> silent;
    std::unique_ptr<BenchScale> scale;
    std::shared_ptr<serial_port::PortMap> ports;

    Ports() {
        for (int n = 1; n <= 4; ++n) {
            silent.push_back(*serial_port::PseudoTerminal::Create());
            QFile::link(QString::fromStdString(silent.back().DevicePath()),
                        QDir(dir.path()).filePath(QStringLiteral("COM%1").arg(n)));
        }
        scale = std::make_unique<BenchScale>();
        QFile::link(QString::fromStdString(scale->DevicePath()),
                    QDir(dir.path()).filePath(QStringLiteral("COM5")));
        ports = std::make_shared<serial_port::PortMap>(QFile::encodeName(dir.path()).toStdString());
    }
};

PanelServices QuietServices(std::shared_ptr<serial_port::PortMap> ports) {
    PanelServices services;
    services.ports = std::move(ports);
    services.presenter = [](QWidget*, const MessageBoxRequest& r) {
        std::fprintf(stderr, "box: %s\n", qPrintable(r.text));
    };
    return services;
}

// CPU of the whole process per wall time while the event loop runs and nothing happens.
double IdleCpuPercent(int seconds) {
    window::PumpThreadFor(std::chrono::milliseconds(300));
    const double cpuBefore = ProcessCpuSeconds();
    const auto begin = Clock::now();
    window::PumpThreadFor(std::chrono::seconds(seconds));
    const double wall = std::chrono::duration<double>(Clock::now() - begin).count();
    return 100.0 * (ProcessCpuSeconds() - cpuBefore) / wall;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 10;
    cli::OptionTable table(cli::kEvery);
    table.Add({.name = "--seconds",
               .value = "S",
               .help = "how long each CPU figure is measured (default 10)",
               .apply = bench::Whole("--seconds", 1, 3600, seconds)});
    if (const auto code = bench::ReadCommandLine(
            table, "The panel's start-up scan, and its CPU mirroring and idle.", argc, argv))
        return *code;
    if (qEnvironmentVariableIsEmpty("KARVEL_COMPONENT_MANIFEST"))
        qputenv("KARVEL_COMPONENT_MANIFEST", KARVEL_MANIFEST);
    QApplication app(argc, argv);

    // Start-up: median of three.
    std::vector<double> startups;
    for (int run = 0; run < 3; ++run) {
        Ports ports;
        CScalePanelDlg panel(QuietServices(ports.ports));
        const auto begin = Clock::now();
        if (component::Failed(panel.CreateDisplayControl())) {
            std::fprintf(stderr, "the display control cannot be created; build Lumeq\n");
            return 1;
        }
        panel.OnInitDialog();
        startups.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
        if (panel.Port() != 5) {
            std::fprintf(stderr, "the scale was not found on COM5\n");
            return 1;
        }
    }
    std::sort(startups.begin(), startups.end());
    std::printf("figure: startup_scan_ms = %.0f ms\n", startups[1]);
    std::printf("figure: startup_scan_expected_ms = %d ms\n", 5 * 150);

    // Mirroring: the panel shown, the scale sending 10 frames per second.
    Ports ports;
    CScalePanelDlg panel(QuietServices(ports.ports));
    if (component::Failed(panel.CreateDisplayControl()))
        return 1;
    panel.OnInitDialog();
    panel.show();
    window::PumpThreadFor(std::chrono::milliseconds(300));
    ports.scale->StartFrames(10);
    const double cpuBefore = ProcessCpuSeconds();
    const int sentBefore = ports.scale->FramesSent();
    const auto begin = Clock::now();
    window::PumpThreadFor(std::chrono::seconds(seconds));
    const double wall = std::chrono::duration<double>(Clock::now() - begin).count();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const int frames = ports.scale->FramesSent() - sentBefore;
    std::printf("figure: mirror_frames_per_s = %.1f 1/s\n", frames / wall);
    std::printf("figure: mirror_cpu_percent = %.2f %%\n", 100.0 * cpu / wall);

    // The scale unplugged: its line hangs up and its link goes.
    ports.scale.reset();
    QFile::remove(QDir(ports.dir.path()).filePath(QStringLiteral("COM5")));
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (panel.SerialPort().IsPortHeld() && Clock::now() < deadline)
        window::PumpThreadFor(std::chrono::milliseconds(50));
    if (panel.SerialPort().IsPortHeld() || !panel.IsShownClosed()) {
        std::fprintf(stderr, "the panel did not notice the unplugged scale\n");
        return 1;
    }
    std::printf("figure: idle_wait_for_device_cpu_percent = %.2f %%\n", IdleCpuPercent(seconds));
    panel.OnDestroy();

    CScalePanelDlg machinePanel(QuietServices(nullptr));
    if (component::Failed(machinePanel.CreateDisplayControl()))
        return 1;
    machinePanel.OnInitDialog();
    machinePanel.show();
    std::printf("figure: idle_udev_watch_cpu_percent = %.2f %%\n", IdleCpuPercent(seconds));
    machinePanel.OnDestroy();
    return 0;
}
