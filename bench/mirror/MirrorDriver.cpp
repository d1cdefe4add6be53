#include "bench/mirror/MirrorDriver.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/serial/PseudoTerminal.h"
#include "tools/scalesim/ScaleFrames.h"
#include "tools/scalesim/ScaleModel.h"

namespace mirror {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kReadyTimeout = 60s;
// After the last frame: time for the reader to take it in and paint it.
constexpr auto kTail = 300ms;
constexpr int kEndTimeoutMs = 60000;
// Seed of the simulated scale, as karvel-scalesim's default.
constexpr std::uint32_t kSeed = 1;

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// Waits for the reader's "ready" line, answering the panel's probe on the line meanwhile.
bool AwaitReady(QProcess& child, serial_port::PseudoTerminal& line) {
    std::atomic<bool> answering{true};
    std::thread answerer([&] {
        while (answering.load()) {
            const std::vector<std::uint8_t> in = line.Read(20ms);
            if (std::find(in.begin(), in.end(), scalesim::kProbe) != in.end()) {
                const std::uint8_t answer[] = {scalesim::kHeader0, scalesim::kHeader1};
                line.Write(answer);
            }
        }
    });
    bool ready = false;
    const auto deadline = Clock::now() + kReadyTimeout;
    while (!ready && Clock::now() < deadline && child.state() != QProcess::NotRunning) {
        if (!child.canReadLine() && !child.waitForReadyRead(100))
            continue;
        while (child.canReadLine())
            ready |= child.readLine().trimmed() == "ready";
    }
    answering = false;
    answerer.join();
    return ready;
}

}  // namespace

const char* ReaderName(Reader reader) {
    return reader == Reader::kPeer ? "peer" : "karvel";
}

std::optional<RunResult> RunReader(const QString& program, Reader reader, int rate, int frames,
                                   std::string* error) {
    auto line = serial_port::PseudoTerminal::Create(error);
    if (!line)
        return std::nullopt;
    QTemporaryDir dir;
    const QString device = QString::fromStdString(line->DevicePath());
    if (!dir.isValid() || !QFile::link(device, QDir(dir.path()).filePath(QStringLiteral("COM1")))) {
        *error = "cannot make a port directory";
        return std::nullopt;
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(program,
                {QStringLiteral("--reader"), QString::fromUtf8(ReaderName(reader)),
                 QStringLiteral("--device"), device, QStringLiteral("--port-dir"), dir.path()});
    auto fail = [&](const std::string& why) -> std::optional<RunResult> {
        child.kill();
        child.waitForFinished();
        *error = std::string(ReaderName(reader)) + ": " + why;
        return std::nullopt;
    };
    if (!child.waitForStarted(kEndTimeoutMs))
        return fail("cannot start " + program.toStdString());
    if (!AwaitReady(child, *line))
        return fail("not ready");

    RunResult result;
    std::vector<std::int64_t> writes(static_cast<std::size_t>(frames));
    scalesim::ScaleModel scale(kSeed, rate);
    const auto period = std::chrono::duration_cast<Clock::duration>(1s) / rate;
    auto next = Clock::now();
    for (int s = 0; s < frames; ++s) {
        std::this_thread::sleep_until(next);
        next += period;
        scale.Tick();
        scalesim::Frame frame = scalesim::EncodeFrame(scale.Slots());
        frame[2] = FrameTag(static_cast<std::uint64_t>(s));
        // One write puts the whole frame on the line, its twelfth byte last.
        writes[static_cast<std::size_t>(s)] = NowNs();
        if (!line->Write(frame))
            return fail("the line went away");
    }
    result.framesWritten = static_cast<std::uint64_t>(frames);
    std::this_thread::sleep_for(kTail);

    child.write("stop\n");
    child.closeWriteChannel();
    if (!child.waitForFinished(kEndTimeoutMs))
        return fail("did not end");
    const QByteArray output = child.readAllStandardOutput();
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return fail("ended with code " + std::to_string(child.exitCode()));
    std::string parseError;
    auto report = ParseReport(
        std::string_view(output.constData(), static_cast<std::size_t>(output.size())), &parseError);
    if (!report)
        return fail(parseError);
    result.report = std::move(*report);
    result.latencies = FrameToPaint(writes, result.report.paints);
    return result;
}

}  // namespace mirror
