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
// cannot be started, ends early or does not become ready in time.
bool StartSimulator(QProcess& process, const QString& simulator, const QStringList& arguments,
                    QString* error);
// Ends a simulator started so: closes its input, then terminates and kills if it lingers.
void StopSimulator(QProcess& process);

class DemoScale {
  public:
    DemoScale() = default;
    // Stops the simulator and removes its port directory.
    ~DemoScale();
    DemoScale(const DemoScale&) = delete;
    DemoScale& operator=(const DemoScale&) = delete;

    // Starts `simulator` and waits until it reports ready; then PortDir is the port folder to
    // hand to the panel's port map. False with `error` set when it cannot be started or does not
    // become ready.
    bool Start(const QString& simulator, QString* error);
    QString PortDir() const { return m_dir.Path(); }

  private:
    DemoFolder m_dir;
    QProcess m_process;
};
