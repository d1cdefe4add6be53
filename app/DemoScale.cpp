#include "app/DemoScale.h"

#include <QDeadlineTimer>

namespace {

constexpr int kReadyTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 3000;

}  // namespace

bool StartSimulator(QProcess& process, const QString& simulator, const QStringList& arguments,
                    QString* error) {
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(simulator, arguments + QStringList{QStringLiteral("--stdin-eof")});
    if (!process.waitForStarted(kReadyTimeoutMs)) {
        *error = QStringLiteral("cannot start %1: %2").arg(simulator, process.errorString());
        return false;
    }
    const QDeadlineTimer deadline(kReadyTimeoutMs);
    for (;;) {
        while (process.canReadLine()) {
            if (process.readLine().trimmed() == "ready")
                return true;
        }
        if (process.state() == QProcess::NotRunning) {
            *error = QStringLiteral("%1 ended before it was ready").arg(simulator);
            return false;
        }
        if (deadline.hasExpired() ||
            !process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            if (process.state() == QProcess::NotRunning)
                continue;  // report the end above
            *error = QStringLiteral("%1 did not become ready").arg(simulator);
            return false;
        }
    }
}

void StopSimulator(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    // The simulator stops when its input ends, which also happens when we are killed.
    process.closeWriteChannel();
    if (!process.waitForFinished(kStopTimeoutMs))
        process.terminate();
    if (!process.waitForFinished(kStopTimeoutMs)) {
        process.kill();
        process.waitForFinished(kStopTimeoutMs);
    }
}

DemoScale::~DemoScale() {
    StopSimulator(m_process);
}

bool DemoScale::Start(const QString& simulator, QString* error) {
    if (!m_dir.IsValid()) {
        *error = QStringLiteral("cannot create a directory for the simulated ports: %1")
                     .arg(m_dir.ErrorString());
        return false;
    }
    return StartSimulator(
        m_process, simulator,
        {QStringLiteral("--port-dir"), m_dir.Path(), QStringLiteral("--com"), QStringLiteral("5"),
         QStringLiteral("--silent"), QStringLiteral("1,2,3,4"), QStringLiteral("--rate"),
         QStringLiteral("10"),
         // Also when this program is killed and cannot remove it itself.
         QStringLiteral("--remove-port-dir")},
        error);
}
