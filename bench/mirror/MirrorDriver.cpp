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

// Waits for the reader's "ready" line, answering the panel's probe on the line meanwhile, or for
// lines, sending one now and then for the panel's detection to find.
bool AwaitReady(QProcess& child, serial_port::PseudoTerminal& line, Stream stream) {
    std::atomic<bool> answering{true};
    std::thread answerer([&] {
        while (answering.load()) {
            const std::vector<std::uint8_t> in = line.Read(20ms);
            if (stream == Stream::kLines) {
                const std::string text = ReadyLine();
                line.Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
            } else if (std::find(in.begin(), in.end(), scalesim::kProbe) != in.end()) {
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

// Item s of the stream: a frame of the simulated scale with its tag, or a balance's line.
std::vector<std::uint8_t> Item(Stream stream, scalesim::ScaleModel& scale, std::uint64_t s) {
    if (stream == Stream::kLines) {
        const std::string text = BalanceLine(s);
        return {text.begin(), text.end()};
    }
    scale.Tick();
    scalesim::Frame frame = scalesim::EncodeFrame(scale.Slots());
    frame[2] = FrameTag(s);
    return {frame.begin(), frame.end()};
}

}  // namespace

const char* ReaderName(Reader reader) {
    return reader == Reader::kPeer ? "peer" : "karvel";
}

std::optional<RunResult> RunReader(const QString& program, Reader reader, Stream stream, int rate,
                                   int frames, std::string* error) {
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
    QStringList args = {QStringLiteral("--reader"),   QString::fromUtf8(ReaderName(reader)),
                        QStringLiteral("--device"),   device,
                        QStringLiteral("--port-dir"), dir.path()};
    if (stream == Stream::kLines)
        args.push_back(QStringLiteral("--lines-mode"));
    child.start(program, args);
    auto fail = [&](const std::string& why) -> std::optional<RunResult> {
        child.kill();
        child.waitForFinished();
        *error = std::string(ReaderName(reader)) + ": " + why;
        return std::nullopt;
    };
    if (!child.waitForStarted(kEndTimeoutMs))
        return fail("cannot start " + program.toStdString());
    if (!AwaitReady(child, *line, stream))
        return fail("not ready");

    RunResult result;
    std::vector<std::int64_t> writes(static_cast<std::size_t>(frames));
    scalesim::ScaleModel scale(kSeed, rate);
    const auto period = std::chrono::duration_cast<Clock::duration>(1s) / rate;
    auto next = Clock::now();
    for (int s = 0; s < frames; ++s) {
        std::this_thread::sleep_until(next);
        next += period;
        const std::vector<std::uint8_t> item = Item(stream, scale, static_cast<std::uint64_t>(s));
        // One write puts the whole item on the line, its last byte last.
        writes[static_cast<std::size_t>(s)] = NowNs();
        if (!line->Write(item))
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
