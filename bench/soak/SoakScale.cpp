#include "bench/soak/SoakScale.h"

#include "app/DemoScale.h"

#include <charconv>

namespace soak {

namespace {}  // namespace

SoakScale::~SoakScale() {
    StopSimulator(m_process);
}

bool SoakScale::Start(const QString& simulator, std::uint64_t frames, int framesPerSecond,
                      QString* error) {
    if (!m_dir.isValid()) {
        *error = QStringLiteral("cannot create a port directory: %1").arg(m_dir.errorString());
        return false;
    }
    return StartSimulator(
        m_process, simulator,
        {QStringLiteral("--port-dir"), m_dir.path(), QStringLiteral("--com"), QStringLiteral("1"),
         QStringLiteral("--rate"), QString::number(framesPerSecond), QStringLiteral("--frames"),
         QString::number(frames), QStringLiteral("--quiet")},
        error);
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
