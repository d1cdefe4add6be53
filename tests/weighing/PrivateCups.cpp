#include "tests/weighing/PrivateCups.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include <cups/cups.h>

#include <filesystem>
#include <fstream>

#include "tests/support/PumpUntil.h"

namespace benchtest {

namespace {

void Write(const std::string& path, const std::string& text, mode_t mode = 0644) {
    std::ofstream(path) << text;
    ::chmod(path.c_str(), mode);
}

}  // namespace

PrivateCups::PrivateCups() : m_oldServer(qgetenv("CUPS_SERVER")) {
    for (const char* program : {"cupsd", "lpadmin", "cupsdisable"}) {
        if (QStandardPaths::findExecutable(program, {"/usr/sbin", "/usr/bin"}).isEmpty()) {
            m_problem = std::string(program) + " is missing (Debian cups)";
            m_missing = true;
            return;
        }
    }
    namespace fs = std::filesystem;
    const fs::path& dir = m_dir.Path();
    // The scheduler's filters and backends run as the lp user: they must reach the folder.
    ::chmod(dir.c_str(), 0755);
    for (const char* part : {"spool", "cache", "state", "tmp", "log", "out", "bin/backend"})
        fs::create_directories(dir / part);
    ::chmod((dir / "tmp").c_str(), 01777);
    ::chmod((dir / "out").c_str(), 01777);
    // The system's filters and backends, and one of ours: "capture:PATH" keeps the job's bytes.
    for (const auto& entry : fs::directory_iterator("/usr/lib/cups")) {
        if (entry.path().filename() != "backend")
            fs::create_symlink(entry.path(), dir / "bin" / entry.path().filename());
    }
    Write(dir / "bin/backend/capture",
          "#!/bin/sh\n"
          "[ $# -eq 0 ] && { echo 'direct capture \"Unknown\" \"Capture\"'; exit 0; }\n"
          "out=\"${DEVICE_URI#capture:}\"\n"
          "if [ -n \"$6\" ]; then cat \"$6\" > \"$out.part\"; else cat > \"$out.part\"; fi\n"
          "chmod 644 \"$out.part\" && mv \"$out.part\" \"$out\"\n",
          0755);
    const std::string socket = dir / "cups.sock";
    Write(dir / "cupsd.conf", "Listen " + socket +
                                  "\nLogLevel warn\nWebInterface No\nBrowsing No\n"
                                  "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                  "<Location /admin>\n  Order allow,deny\n  Allow all\n"
                                  "</Location>\n");
    const std::string root = dir.string();
    Write(dir / "cups-files.conf",
          "ServerRoot " + root + "\nRequestRoot " + root + "/spool\nCacheDir " + root +
              "/cache\nStateDir " + root + "/state\nTempDir " + root + "/tmp\nErrorLog " + root +
              "/log/error_log\nAccessLog " + root + "/log/access_log\nPageLog " + root +
              "/log/page_log\nServerBin " + root + "/bin\nDataDir /usr/share/cups\n");
    qputenv("CUPS_SERVER", QByteArray::fromStdString(socket));
    // The client library keeps the server it found first: this process's tickets go here.
    cupsSetServer(socket.c_str());
    m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
    m_cupsd.start("cupsd", {"-f", "-c", QString::fromStdString(dir / "cupsd.conf"), "-s",
                            QString::fromStdString(dir / "cups-files.conf")});
    if (!m_cupsd.waitForStarted(10000)) {
        m_problem = "cupsd did not start";
        return;
    }
    // Ready once it accepts an admin request on its socket.
    std::string said;
    const bool added = testing_support::PumpUntil(
        [&] {
            return Admin("lpadmin",
                         {"-p", "tickets", "-E", "-v",
                          QString::fromStdString("capture:" + Output()), "-m", "raw"},
                         &said) == 0;
        },
        std::chrono::seconds(120));
    if (!added)
        m_problem = "no queue on the private cupsd: " + said + m_cupsd.readAll().toStdString();
}

PrivateCups::~PrivateCups() {
    if (m_cupsd.state() != QProcess::NotRunning) {
        m_cupsd.terminate();
        if (!m_cupsd.waitForFinished(10000))
            m_cupsd.kill();
        m_cupsd.waitForFinished(10000);
    }
    if (m_oldServer.isNull())
        qunsetenv("CUPS_SERVER");
    else
        qputenv("CUPS_SERVER", m_oldServer);
    cupsSetServer(nullptr);
}

int PrivateCups::AddQueue(const std::string& name, const std::string& ppd, const QStringList& more,
                          std::string* said) {
    QStringList arguments{"-p", QString::fromStdString(name), "-E", "-v",
                          QString::fromStdString("capture:" + OutputOf(name))};
    if (ppd.empty()) {
        arguments << "-m"
                  << "raw";
    } else {
        const std::string file = m_dir / (name + ".ppd");
        Write(file, ppd);
        arguments << "-P" << QString::fromStdString(file);
    }
    return Admin("lpadmin", arguments + more, said);
}

int PrivateCups::Admin(const QString& program, const QStringList& arguments, std::string* said) {
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(program,
              QStringList{"-h", QString::fromLocal8Bit(qgetenv("CUPS_SERVER"))} + arguments);
    if (!run.waitForFinished(30000))
        return -1;
    if (said)
        *said = run.readAll().toStdString();
    return run.exitStatus() == QProcess::NormalExit ? run.exitCode() : -1;
}

}  // namespace benchtest
