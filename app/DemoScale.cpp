#include "DemoScale.h"

#include <QDeadlineTimer>
#include <QFile>

namespace {

constexpr int kReadyTimeoutMs = 10000;

}  // namespace

DemoScale::~DemoScale() {
    if (m_process.state() != QProcess::NotRunning) {
        // The simulator stops when its input ends, which also happens when we are killed.
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(3000))
            m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    if (m_portDirSet)
        qunsetenv("KARVEL_PORT_DIR");
}

bool DemoScale::Start(const QString& simulator, QString* error) {
    if (!m_dir.isValid()) {
        *error = QStringLiteral("cannot create a directory for the simulated ports: %1")
                     .arg(m_dir.errorString());
        return false;
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(
        simulator, {QStringLiteral("--port-dir"), m_dir.path(), QStringLiteral("--com"),
                    QStringLiteral("5"), QStringLiteral("--silent"), QStringLiteral("1,2,3,4"),
                    QStringLiteral("--rate"), QStringLiteral("10"), QStringLiteral("--stdin-eof")});
    if (!m_process.waitForStarted(kReadyTimeoutMs)) {
        *error = QStringLiteral("cannot start %1: %2").arg(simulator, m_process.errorString());
        return false;
    }
    const QDeadlineTimer deadline(kReadyTimeoutMs);
    for (;;) {
        while (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine().trimmed();
            if (line == "ready") {
                qputenv("KARVEL_PORT_DIR", QFile::encodeName(m_dir.path()));
                m_portDirSet = true;
                return true;
            }
        }
        if (m_process.state() == QProcess::NotRunning) {
            *error = QStringLiteral("%1 ended before it was ready").arg(simulator);
            return false;
        }
        if (deadline.hasExpired() ||
            !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            if (m_process.state() == QProcess::NotRunning)
                continue;  // report the end above
            *error = QStringLiteral("%1 did not become ready").arg(simulator);
            return false;
        }
    }
}
