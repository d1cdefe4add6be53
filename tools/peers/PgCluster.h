#pragma once

// A PostgreSQL cluster of the caller's own (a test's or a benchmark's): initdb and pg_ctl from
// the distribution's package, run as user nobody (when the caller runs as root) into a temporary
// folder, listening only on a socket in that folder. Never the machine's cluster.

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/SystemError.h"
#include "tools/peers/RunProgram.h"
#include "tools/peers/TestFiles.h"

namespace recordtest {

class PgCluster {
  public:
    // With a password, the user nobody logs in with it (SCRAM); else without one.
    explicit PgCluster(const std::string& password = {}) {
        if (!GiveToNobody(m_dir.Path()))
            return;
        std::vector<std::string> login = {"-A", "trust"};
        if (!password.empty()) {
            testing_support::WriteFile(m_dir / "pw", password + "\n");
            if (!GiveToNobody(m_dir / "pw"))
                return;
            login = {"-A", "scram-sha-256", "--pwfile", m_dir / "pw"};
        }
        const std::string bin = BinFolder();
        if (bin.empty()) {
            m_why = "no /usr/lib/postgresql/*/bin/initdb";
            return;
        }
        m_pgCtl = bin + "/pg_ctl";
        std::vector<std::string> args = {"-D", Data(), "-U", "nobody", "-E", "UTF8", "--no-sync"};
        args.insert(args.end(), login.begin(), login.end());
        const auto made = AsNobody(bin + "/initdb", args);
        if (made.exitStatus != 0)
            m_why = made.out + made.err;
        else
            Start();
    }
    // Starts it again after Stop; false (with Why) when it did not start.
    bool Start() {
        const auto started =
            AsNobody(m_pgCtl, {"-D", Data(), "-l", m_dir / "log", "-w", "-o",
                               "-k " + m_dir.Path().string() + " -c listen_addresses=", "start"});
        if (started.exitStatus != 0)
            m_why = started.out + started.err + testing_support::ReadFile(m_dir / "log");
        return started.exitStatus == 0;
    }
    // Stops it as an administrator does, its clients sent away.
    bool Stop() { return AsNobody(m_pgCtl, {"-D", Data(), "-m", "fast", "stop"}).exitStatus == 0; }
    ~PgCluster() {
        if (!m_pgCtl.empty())
            AsNobody(m_pgCtl, {"-D", Data(), "-m", "immediate", "stop"});
    }
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    // Empty when it runs; else why not.
    const std::string& Why() const { return m_why; }
    std::string Url() const {
        return "postgresql:///postgres?host=" + m_dir.Path().string() + "&user=nobody";
    }

  private:
    static std::string BinFolder() {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", error))
            if (std::filesystem::exists(entry.path() / "bin/initdb"))
                return (entry.path() / "bin").string();
        return {};
    }
    std::string Data() const { return m_dir / "data"; }
    // As root the cluster runs as nobody, who must own its files; any other user owns them.
    bool GiveToNobody(const std::filesystem::path& path) {
        if (::geteuid() != 0 ||
            ::chown(path.c_str(), testing_support::kNobody, testing_support::kNobody) == 0)
            return true;
        m_why = "cannot give " + path.string() + " to nobody: " + posix::ErrnoText(errno);
        return false;
    }
    testing_support::ProgramRun AsNobody(const std::string& program,
                                         const std::vector<std::string>& args) const {
        // initdb refuses root; any other user runs it as itself.
        return testing_support::RunProgram(
            program, args, m_scratch.Path().string(),
            ::geteuid() == 0 ? std::optional<uid_t>(testing_support::kNobody) : std::nullopt);
    }

    testing_support::TempDir m_dir;
    testing_support::TempDir m_scratch;
    std::string m_pgCtl;
    std::string m_why;
};

}  // namespace recordtest
