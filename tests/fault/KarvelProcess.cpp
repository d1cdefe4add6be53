#include "tests/fault/KarvelProcess.h"

#include <grp.h>
#include <unistd.h>

#include <QProcess>

#include <memory>

#include "tests/support/ChildProcess.h"

namespace faulttest {

QProcessEnvironment OffscreenEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

std::vector<KarvelOutcome> RunKarvelEach(const std::vector<QProcessEnvironment>& environments,
                                         bool asNobody) {
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const QProcessEnvironment& env : environments) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(env);
        if (asNobody) {
            process->setChildProcessModifier([] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(testing_support::kNobody) != 0 ||
                    ::setuid(testing_support::kNobody) != 0)
                    ::_exit(100);
            });
        }
        process->start(QStringLiteral(KARVEL_BINARY), {});
        processes.push_back(std::move(process));
    }
    std::vector<KarvelOutcome> outcomes;
    for (const auto& process : processes) {
        KarvelOutcome outcome;
        outcome.ended = process->waitForFinished(120'000);
        if (!outcome.ended) {
            process->kill();
            process->waitForFinished();
        }
        outcome.crashed = process->exitStatus() != QProcess::NormalExit;
        outcome.exitCode = process->exitCode();
        outcome.err = QString::fromLocal8Bit(process->readAllStandardError());
        outcomes.push_back(std::move(outcome));
    }
    return outcomes;
}

}  // namespace faulttest
