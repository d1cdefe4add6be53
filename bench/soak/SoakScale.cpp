#include "SoakScale.h"

#include <QDeadlineTimer>

#include <charconv>

namespace soak {

namespace {

constexpr int kReadyTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 3000;

}  // namespace

SoakScale::~SoakScale() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    // It stops at the end of its input, which also ends when we are killed.
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(kStopTimeoutMs))
        m_process.terminate();
    if (!m_process.waitForFinished(kStopTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(kStopTimeoutMs);
    }
}

bool SoakScale::Start(const QString& simulator, std::uint64_t frames, int framesPerSecond,
                      QString* error) {
    if (!m_dir.isValid()) {
        *error = QStringLiteral("cannot create a port directory: %1").arg(m_dir.errorString());
        return false;
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(
        simulator,
        {QStringLiteral("--port-dir"), m_dir.path(), QStringLiteral("--com"), QStringLiteral("1"),
         QStringLiteral("--rate"), QString::number(framesPerSecond), QStringLiteral("--frames"),
         QString::number(frames), QStringLiteral("--quiet"), QStringLiteral("--stdin-eof")});
    if (!m_process.waitForStarted(kReadyTimeoutMs)) {
        *error = QStringLiteral("cannot start %1: %2").arg(simulator, m_process.errorString());
        return false;
    }
    const QDeadlineTimer deadline(kReadyTimeoutMs);
    for (;;) {
        while (m_process.canReadLine()) {
            if (m_process.readLine().trimmed() == "ready")
                return true;
        }
        if (m_process.state() == QProcess::NotRunning) {
            *error = QStringLiteral("%1 ended before it was ready").arg(simulator);
            return false;
        }
        if (deadline.hasExpired() ||
            !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            if (m_process.state() == QProcess::NotRunning)
                continue;  // reported above
            *error = QStringLiteral("%1 did not become ready").arg(simulator);
            return false;
        }
    }
}

bool SoakScale::WaitForEnd(int timeoutMs) {
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
}

std::optional<std::uint64_t> SoakScale::FramesSent() {
    if (Running())
        return std::nullopt;
    m_output += m_process.readAllStandardOutput();
    std::optional<std::uint64_t> sent;
    for (const QByteArray& line : m_output.split('\n')) {
        if (const auto n = FramesSentLine(std::string_view(line.constData(), line.size())))
            sent = n;
    }
    return sent;
}

std::optional<std::uint64_t> FramesSentLine(std::string_view line) {
    constexpr std::string_view kPrefix = "frames sent: ";
    if (line.substr(0, kPrefix.size()) != kPrefix)
        return std::nullopt;
    line.remove_prefix(kPrefix.size());
    std::uint64_t n = 0;
    const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), n);
    if (ec != std::errc() || end != line.data() + line.size())
        return std::nullopt;
    return n;
}

}  // namespace soak
