// Karvel --log as a user runs it: scripted frames through a pseudo-terminal, the CSV it appends,
// a rotation, a file that refuses to grow, and plain Karvel leaving a home folder untouched.

#include <signal.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>

#include "platform/serial/PseudoTerminal.h"
#include "tests/readings/CaptureScript.h"
#include "tests/support/PumpUntil.h"
#include "tools/peers/PortDirectory.h"

namespace readingstest {
namespace {

constexpr std::chrono::seconds kDeadline(30);

std::string ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

bool HasRow(const std::string& csv, const std::string& rest) {
    return csv.find("," + rest + "\r\n") != std::string::npos;
}

// Karvel on COM1 (a pseudo-terminal of the test's) appending to a log in a folder of the test's.
class LoggingKarvel {
  public:
    explicit LoggingKarvel(const char* rule) : m_pty(serial_port::PseudoTerminal::Create()) {
        EXPECT_TRUE(m_pty && m_dir.isValid());
        m_ports.Map(1, m_pty->DevicePath());
        m_path = m_dir.filePath("weighings.csv");
        QFile(m_path).open(QIODevice::WriteOnly);  // empty: the header must still come
        m_watcher.addPath(m_dir.path());
        m_watcher.addPath(m_path);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KARVEL_PORT_DIR", QString::fromStdString(m_ports.Path()));
        m_karvel.setProcessEnvironment(env);
        QObject::connect(&m_karvel, &QProcess::readyReadStandardError,
                         [this] { m_err += m_karvel.readAllStandardError(); });
        m_karvel.start(QStringLiteral(KARVEL_BINARY),
                       {"--port", "COM1", "--log", m_path, "--capture", rule});
        EXPECT_TRUE(m_karvel.waitForStarted(30000));
    }
    ~LoggingKarvel() {
        m_karvel.terminate();
        if (!m_karvel.waitForFinished(30000))
            m_karvel.kill();
    }

    void Send(const ScriptFrame& frame) {
        const scale::FrameBytes bytes = FrameOf(frame);
        EXPECT_TRUE(m_pty->Write(bytes));
    }
    // Sends the prelude until the panel has the port open and the log shows it.
    bool Begin(const std::string& rule) {
        QTimer again;
        QObject::connect(&again, &QTimer::timeout, [this] { Send(kPrelude); });
        again.start(100);
        Send(kPrelude);
        return WaitForRow(std::string(kPreludeRow) + "," + rule);
    }
    bool WaitForRow(const std::string& rest) {
        return Wait([&] { return HasRow(Log(), rest); });
    }
    bool Wait(const std::function<bool()>& done) {
        return testing_support::PumpUntil(
            [&] {
                m_watcher.addPath(m_path);  // again after a rename
                return done();
            },
            kDeadline);
    }
    std::string Log() const { return ReadAll(m_path); }
    const QString& Path() const { return m_path; }
    QString Err() const { return QString::fromLocal8Bit(m_err); }
    qint64 Pid() const { return m_karvel.processId(); }

  private:
    QTemporaryDir m_dir;
    std::optional<serial_port::PseudoTerminal> m_pty;
    testing_support::PortDirectory m_ports;
    QString m_path;
    QFileSystemWatcher m_watcher;
    QProcess m_karvel;
    QByteArray m_err;
};

TEST(LogProgram, EachRuleLogsTheScriptedFramesOnceAndInOrder) {
    for (const RuleCase& rule : kRuleCases) {
        SCOPED_TRACE(rule.rule);
        LoggingKarvel karvel(rule.rule);
        ASSERT_TRUE(karvel.Begin(rule.rule)) << karvel.Log() << karvel.Err().toStdString();
        for (const ScriptFrame& frame : kScript)
            karvel.Send(frame);
        karvel.Send(kEnd);
        const std::string end = std::string(kEndRow) + "," + rule.rule;
        ASSERT_TRUE(karvel.WaitForRow(end)) << karvel.Log();
        const std::vector<LoggedRow> rows = ParseLog(karvel.Log());
        EXPECT_EQ(ScriptRows(rows, rule.rule), ExpectedRows(rule));
        for (const LoggedRow& row : rows) {
            EXPECT_EQ(row.port, "COM1");
            EXPECT_TRUE(row.device.ends_with("/COM1")) << row.device;
        }
    }
}

TEST(LogProgram, AHangUpReopensARotatedLogAndAFileThatStopsGrowingIsSaidOnceAndCaughtUp) {
    LoggingKarvel karvel("settled");
    ASSERT_TRUE(karvel.Begin("settled"));
    const QString rotated = karvel.Path() + ".1";
    ASSERT_TRUE(QFile::rename(karvel.Path(), rotated));
    ASSERT_EQ(::kill(static_cast<pid_t>(karvel.Pid()), SIGHUP), 0);
    // The reopened file is new and empty, so it starts with the header.
    ASSERT_TRUE(karvel.Wait([&] { return QFile::exists(karvel.Path()) && !karvel.Log().empty(); }))
        << karvel.Err().toStdString();
    const auto row = [](const char* weight) {
        return std::string(weight) + "," + weight + ",kg,1,0,0,0,0,0,settled";
    };
    karvel.Send({"1.000", scalesim::kUnitKg, kStable});
    ASSERT_TRUE(karvel.WaitForRow(row("1.000")));
    EXPECT_EQ(ParseLog(karvel.Log()).size(), 1u);
    EXPECT_FALSE(HasRow(ReadAll(rotated), row("1.000")));
    EXPECT_FALSE(ParseLog(ReadAll(rotated)).empty());

    // The file takes nothing more: the next rows are kept, said once, and written afterwards.
    const rlimit full{static_cast<rlim_t>(karvel.Log().size()), RLIM_INFINITY};
    ASSERT_EQ(::prlimit(static_cast<pid_t>(karvel.Pid()), RLIMIT_FSIZE, &full, nullptr), 0);
    karvel.Send({"2.000", scalesim::kUnitKg, kStable});
    ASSERT_TRUE(karvel.Wait([&] { return karvel.Err().contains("cannot write"); }));
    karvel.Send({"3.000", scalesim::kUnitKg, kStable});
    const rlimit room{RLIM_INFINITY, RLIM_INFINITY};
    ASSERT_EQ(::prlimit(static_cast<pid_t>(karvel.Pid()), RLIMIT_FSIZE, &room, nullptr), 0);
    ASSERT_TRUE(karvel.WaitForRow(row("3.000"))) << karvel.Err().toStdString();
    EXPECT_TRUE(HasRow(karvel.Log(), row("2.000")));
    EXPECT_EQ(karvel.Err().count("cannot write"), 1) << karvel.Err().toStdString();
    EXPECT_TRUE(karvel.Wait([&] { return karvel.Err().contains("writing to"); }));
}

// A log goes on in the form it was begun in: rows of two forms in one file would be misread.
TEST(LogProgram, ALogBegunInTheOtherCsvFormIsRefused) {
    const struct {
        const char* header;
        const char* decimal;  // --csv-decimal, or none
        const char* says;
    } cases[] = {
        {"time_utc,port,device\r\n", ",", "was begun with decimal points"},
        {"time_utc;port;device\r\n", nullptr, "was begun with decimal commas"},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath("weighings.csv");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.header);
        file.close();
        QStringList args{"--log", path};
        if (c.decimal)
            args << "--csv-decimal" << c.decimal;
        QProcess karvel;
        karvel.start(QStringLiteral(KARVEL_BINARY), args);
        ASSERT_TRUE(karvel.waitForFinished(30000));
        EXPECT_EQ(karvel.exitCode(), 2);
        EXPECT_TRUE(QString::fromLocal8Bit(karvel.readAllStandardError()).contains(c.says));
        EXPECT_EQ(ReadAll(path), c.header);
    }
}

TEST(LogProgram, PlainKarvelLeavesAnEmptyHomeEmpty) {
    QTemporaryDir home;
    QTemporaryDir runtime;
    auto pty = serial_port::PseudoTerminal::Create();
    ASSERT_TRUE(pty && home.isValid() && runtime.isValid());
    testing_support::PortDirectory ports;
    ports.Map(1, pty->DevicePath());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KARVEL_PORT_DIR", QString::fromStdString(ports.Path()));
    env.insert("HOME", home.path());
    for (const char* name :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        env.insert(name, home.path() + "/" + name);
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    QProcess karvel;
    karvel.setProcessEnvironment(env);
    karvel.start(QStringLiteral(KARVEL_BINARY), QStringList());
    ASSERT_TRUE(karvel.waitForStarted(30000));
    // The scan's probe, answered; then a session of frames.
    ASSERT_EQ(pty->ReadExactly(1, std::chrono::seconds(30)), std::vector<std::uint8_t>{0x05});
    const std::uint8_t answer[] = {0x06, 0xAA};
    ASSERT_TRUE(pty->Write(answer));
    for (const ScriptFrame& frame : kScript) {
        const scale::FrameBytes bytes = FrameOf(frame);
        ASSERT_TRUE(pty->Write(bytes));
    }
    karvel.terminate();
    ASSERT_TRUE(karvel.waitForFinished(30000));
    EXPECT_EQ(QDir(home.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
}

}  // namespace
}  // namespace readingstest
