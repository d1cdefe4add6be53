#include "app/DemoScale.h"

#include <QDeadlineTimer>
#include <QLoggingCategory>

#include <cstdio>

namespace {

constexpr int kReadyTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 3000;
constexpr qsizetype kLinesKept = 20;

Q_LOGGING_CATEGORY(lcDemo, "karvel.demo", QtWarningMsg)

}  // namespace

bool StartSimulator(QProcess& process, const QString& simulator, const QStringList& arguments,
                    QString* error, QProcess::ProcessChannelMode errors) {
    process.setProcessChannelMode(errors);
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
    m_stopping = true;
    StopSimulator(m_process);
    m_process.disconnect();  // nothing of ours is called while it goes
}

void DemoScale::TakeErrors() {
    m_partLine += m_process.readAllStandardError();
    qsizetype end = 0;
    while ((end = m_partLine.indexOf('\n')) >= 0) {
        const QString line = QString::fromLocal8Bit(m_partLine.left(end));
        m_partLine.remove(0, end + 1);
        qCInfo(lcDemo).noquote() << line;
        m_said << line;
        if (m_said.size() > kLinesKept)
            m_said.removeFirst();
    }
}

QString DemoScale::Said() const {
    QString said = m_said.join(QLatin1Char('\n'));
    if (!m_partLine.isEmpty())
        said += (said.isEmpty() ? "" : "\n") + QString::fromLocal8Bit(m_partLine);
    return said.isEmpty() ? QString() : QStringLiteral("; it said:\n") + said;
}

bool DemoScale::Start(const QString& simulator, QString* error, const QStringList& more) {
    if (!m_dir.IsValid()) {
        *error = QStringLiteral("cannot create a directory for the simulated ports: %1")
                     .arg(m_dir.ErrorString());
        return false;
    }
    // Its event log is for whoever asks (karvel.demo); the panel's user sees it only when the
    // simulator fails.
    QObject::connect(&m_process, &QProcess::readyReadStandardError, [this] { TakeErrors(); });
    QObject::connect(&m_process, &QProcess::finished, [this](int code, QProcess::ExitStatus how) {
        if (m_stopping || !m_ready)
            return;  // stopped by us, or said by Start
        TakeErrors();
        const QString ended = how == QProcess::CrashExit
                                  ? QStringLiteral("was killed")
                                  : QStringLiteral("ended with exit status %1").arg(code);
        const QString text =
            QStringLiteral("Karvel --demo: the simulated scale %1%2\n").arg(ended, Said());
        std::fputs(text.toLocal8Bit().constData(), stderr);
    });
    const bool started = StartSimulator(
        m_process, simulator,
        QStringList{QStringLiteral("--port-dir"), m_dir.Path(), QStringLiteral("--com"),
                    QStringLiteral("5"), QStringLiteral("--silent"), QStringLiteral("1,2,3,4"),
                    QStringLiteral("--rate"), QStringLiteral("10"),
                    // Also when this program is killed and cannot remove it itself.
                    QStringLiteral("--remove-port-dir")} +
            more,
        error, QProcess::SeparateChannels);
    TakeErrors();
    if (!started)
        *error += Said();
    m_ready = started;
    return started;
}
