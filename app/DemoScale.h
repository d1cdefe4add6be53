#pragma once

// The simulated scale behind --demo: karvel-scalesim on pseudo-terminals in a private port
// directory (DemoFolder.h), with the scale on COM5 and silent ports on COM1..COM4.
//
// Thread: UI thread. Needs a QCoreApplication.

#include <QProcess>
#include <QString>
#include <QStringList>

#include "app/DemoFolder.h"

// Starts karvel-scalesim (`simulator`) with `arguments` (plus --stdin-eof, so it also stops
// when this process dies) and waits until it reports ready. False with `error` set when it
// cannot be started, ends early or does not become ready in time. Its standard error goes where
// `errors` says.
bool StartSimulator(QProcess& process, const QString& simulator, const QStringList& arguments,
                    QString* error,
                    QProcess::ProcessChannelMode errors = QProcess::ForwardedErrorChannel);
// Ends a simulator started so: closes its input, then terminates and kills if it lingers.
void StopSimulator(QProcess& process);

class DemoScale {
  public:
    // Its port folder goes into `folderParent`; empty: the temporary folder (DemoFolder.h).
    explicit DemoScale(const QString& folderParent = {}) : m_dir(folderParent) {}
    // Stops the simulator and removes its port directory.
    ~DemoScale();
    DemoScale(const DemoScale&) = delete;
    DemoScale& operator=(const DemoScale&) = delete;

    // Starts `simulator` and waits until it reports ready; then PortDir is the port folder to
    // hand to the panel's port map. False with `error` set, ending with what the simulator said,
    // when it cannot be started or does not become ready.
    // What it says goes to the logging category karvel.demo (info, off by default); when it
    // ends before it is stopped, its last lines are printed on standard error.
    // `more`: further options for the simulator (--items 500g for --check 500g,...).
    bool Start(const QString& simulator, QString* error, const QStringList& more = {});
    QString PortDir() const { return m_dir.Path(); }

  private:
    void TakeErrors();
    QString Said() const;

    DemoFolder m_dir;
    QProcess m_process;
    QStringList m_said;  // the simulator's last lines on standard error
    QByteArray m_partLine;
    bool m_ready = false;
    bool m_stopping = false;
};
