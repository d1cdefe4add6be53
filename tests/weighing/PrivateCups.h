#pragma once

// A CUPS scheduler of the test's own: cupsd in the foreground with its configuration, spool and
// socket in a private folder (never the machine's cupsd, never a network port), and a queue
// "tickets" whose device keeps each job's bytes as a file. This process's CUPS_SERVER names its
// socket while it lives.

#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <string>

#include "tools/peers/TestFiles.h"

namespace benchtest {

class PrivateCups {
  public:
    PrivateCups();
    ~PrivateCups();
    PrivateCups(const PrivateCups&) = delete;
    PrivateCups& operator=(const PrivateCups&) = delete;

    // Empty when it runs with its queue; else why not (a missing program is a reason to skip).
    const std::string& Problem() const { return m_problem; }
    bool Missing() const { return m_missing; }
    // Where the queue "tickets" puts the last job it printed.
    std::string Output() const { return m_dir / "out/ticket.pdf"; }
    // Another queue whose device keeps each job as OutputOf(name): raw, or driven by `ppd` (a
    // PPD file's text) when given; `more` goes to lpadmin as it is. lpadmin's exit status.
    int AddQueue(const std::string& name, const std::string& ppd, const QStringList& more,
                 std::string* said = nullptr);
    std::string OutputOf(const std::string& name) const { return m_dir / ("out/" + name + ".pdf"); }
    // Runs an admin tool (lpadmin, cupsdisable, ...) against this scheduler; its exit status.
    int Admin(const QString& program, const QStringList& arguments, std::string* said = nullptr);

  private:
    testing_support::TempDir m_dir;
    QProcess m_cupsd;
    std::string m_problem;
    bool m_missing = false;
    QByteArray m_oldServer;
};

}  // namespace benchtest
