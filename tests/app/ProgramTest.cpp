// The Karvel program as a user starts it: options, and the cases in which it ends at once.

#include <signal.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/CScalePanelApp.h"
#include "platform/serial/PseudoTerminal.h"
#include "tests/support/PumpUntil.h"
#include "tools/peers/PortDirectory.h"

namespace apptest {
namespace {

using testing_support::PortDirectory;
using testing_support::PumpUntil;

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

Outcome RunKarvel(const QStringList& args, const QProcessEnvironment& env) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(KARVEL_BINARY), args);
    Outcome run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "Karvel did not end";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

QProcessEnvironment Offscreen() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}

QProcessEnvironment NoDisplay() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    return env;
}

// As GNU programs say it, without a display, even when Qt is told to use one.
TEST(Program, VersionNamesTheReleaseAndTheLicence) {
    const Outcome run = RunKarvel({"-platform", "xcb", "--version"}, NoDisplay());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.startsWith("Karvel 1.0.0.1\nCopyright (C) 2026 the Karvel authors\n"))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("MIT")) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("Karvel.EXE")) << run.out.toStdString();
    EXPECT_EQ(RunKarvel({"--style", "Fusion", "--help"}, NoDisplay()).exitCode, 0);
}

TEST(Program, HelpNamesEveryOptionAndAnUnknownOneIsRefused) {
    const Outcome help = RunKarvel({"--help"}, Offscreen());
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option :
         {"--demo", "--port", "--list-ports", "--follow", "--help", "--version"})
        EXPECT_TRUE(help.out.contains(option)) << option;
    const Outcome bad = RunKarvel({"--frobnicate"}, Offscreen());
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains("--frobnicate"));
}

TEST(Program, WithoutADisplayItSaysHowToRunOnAVirtualOne) {
    const Outcome run = RunKarvel({}, NoDisplay());
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains("xvfb-run -a Karvel --demo")) << run.err.toStdString();
}

TEST(Program, ListPortsNamesTheDeviceBehindEachComNumber) {
    PortDirectory ports;
    // Plain pseudo-terminals: no thread of ours may run while the program is forked off.
    auto one = serial_port::PseudoTerminal::Create();
    auto three = serial_port::PseudoTerminal::Create();
    ASSERT_TRUE(one && three);
    ports.Map(1, one->DevicePath());
    ports.Map(3, three->DevicePath());
    QProcessEnvironment env = Offscreen();
    env.insert("KARVEL_PORT_DIR", QString::fromStdString(ports.Path()));
    const Outcome run = RunKarvel({"--list-ports"}, env);
    EXPECT_EQ(run.exitCode, 0);
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << run.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith("COM1"));
    EXPECT_TRUE(lines[0].contains(QString::fromStdString(one->DevicePath())));
    EXPECT_TRUE(lines[1].startsWith("COM3"));
    EXPECT_TRUE(lines[1].contains(QString::fromStdString(three->DevicePath())));
}

TEST(Program, APortFolderThatOthersCanWriteIsRefusedWithAMessage) {
    PortDirectory ports;
    auto one = serial_port::PseudoTerminal::Create();
    ASSERT_TRUE(one);
    ports.Map(1, one->DevicePath());
    ASSERT_TRUE(QFile::setPermissions(QString::fromStdString(ports.Path()),
                                      QFileDevice::Permissions(0x7777)));
    QProcessEnvironment env = Offscreen();
    env.insert("KARVEL_PORT_DIR", QString::fromStdString(ports.Path()));
    const Outcome run = RunKarvel({"--list-ports"}, env);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "No serial ports.\n");
    EXPECT_TRUE(
        run.err.contains(QString::fromStdString(ports.Path() + " can be written by every user")))
        << run.err.toStdString();
}

TEST(Program, ListPortsFollowsPortsThatComeAndGo) {
    PortDirectory ports;
    auto one = serial_port::PseudoTerminal::Create();
    auto two = serial_port::PseudoTerminal::Create();
    ASSERT_TRUE(one && two);
    ports.Map(1, one->DevicePath());
    QProcess karvel;
    QProcessEnvironment env = Offscreen();
    env.insert("KARVEL_PORT_DIR", QString::fromStdString(ports.Path()));
    karvel.setProcessEnvironment(env);
    karvel.start(QStringLiteral(KARVEL_BINARY), {"--list-ports", "--follow"});
    QString out;
    auto waitFor = [&](const QString& text) {
        const QDeadlineTimer deadline(30000);
        while (!out.contains(text) && !deadline.hasExpired() &&
               karvel.state() != QProcess::NotRunning) {
            karvel.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
            out += QString::fromLocal8Bit(karvel.readAllStandardOutput());
        }
        return out.contains(text);
    };
    ASSERT_TRUE(waitFor(QString::fromStdString(one->DevicePath()) + "\n")) << out.toStdString();
    ports.Map(2, two->DevicePath());
    EXPECT_TRUE(waitFor(QString::fromStdString("COM2  " + ports.Path() + "/COM2")))
        << out.toStdString();
    ports.Unmap(1);
    EXPECT_TRUE(waitFor("\n\nCOM2")) << out.toStdString();
    // A folder removed and made again is followed too.
    ports.MakeAgain();
    ports.Map(3, one->DevicePath());
    EXPECT_TRUE(waitFor(QString::fromStdString("COM3  " + ports.Path() + "/COM3")))
        << out.toStdString();
    karvel.terminate();
    ASSERT_TRUE(karvel.waitForFinished(30000));
    EXPECT_EQ(karvel.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(karvel.exitCode(), 0);
}

TEST(Program, WithoutTheDisplayControlItExplainsAndTouchesNoPort) {
    PortDirectory ports;
    auto scale = serial_port::PseudoTerminal::Create();
    ASSERT_TRUE(scale);
    ports.Map(1, scale->DevicePath());
    QProcessEnvironment env = Offscreen();
    env.insert("KARVEL_PORT_DIR", QString::fromStdString(ports.Path()));
    env.insert("KARVEL_COMPONENT_MANIFEST",
               QString::fromStdString(ports.Path() + "/missing.manifest"));
    env.insert("KARVEL_COMPONENT_STORE", QString::fromStdString(ports.Path() + "/missing.store"));
    const Outcome run = RunKarvel({}, env);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains("{22C8BBAD-8918-4858-8EED-45BEE06CC11F}"))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("lumeq-register"));
    EXPECT_TRUE(run.err.contains("Karvel.manifest"));
    // The program has ended: a probe byte would be waiting at the peer by now.
    EXPECT_TRUE(scale->Read(std::chrono::milliseconds(0)).empty());
}

// Started from the menu nobody sees standard error: with a screen the explanation is also a box.
TEST(Program, AMissingControlIsExplainedInABoxOnlyWhenThereIsAScreen) {
    EXPECT_FALSE(MessageBoxesVisible());  // offscreen: a box would block a run nobody watches
    const QString message = DisplayUnavailableMessage(
        component::kClassNotRegistered, QStringLiteral("the manifest /x/Karvel.manifest does not "
                                                       "list it"));
    for (const bool onScreen : {true, false}) {
        std::vector<MessageBoxRequest> shown;
        ReportDisplayUnavailable(message, onScreen,
                                 [&](QWidget*, const MessageBoxRequest& r) { shown.push_back(r); });
        ASSERT_EQ(shown.size(), onScreen ? 1u : 0u);
        if (!onScreen)
            continue;
        EXPECT_EQ(shown[0].icon, QMessageBox::Critical);
        EXPECT_TRUE(
            shown[0].text.startsWith("Karvel cannot create the display control "
                                     "{22C8BBAD-8918-4858-8EED-45BEE06CC11F}"))
            << shown[0].text.toStdString();
        for (const char* part : {"/x/Karvel.manifest", "lumeq-register", "No serial port"})
            EXPECT_TRUE(shown[0].detail.contains(part)) << part;
    }
}

#ifdef KARVEL_HAS_SCALESIM
// Karvel --demo with its temporary folders in a folder of the test's, started up to the point
// where the panel's scan has reached the simulated scale.
class DemoProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_tmp.isValid());
        // The session's runtime folder, where the demo keeps its ports.
        ASSERT_TRUE(QDir().mkdir(RuntimePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ExeOwner));
        Start(karvel);
        ASSERT_EQ(PortFolders().size(), 1);
    }

    // In a process group of its own, as a shell starts it.
    void Start(QProcess& process) {
        QProcessEnvironment env = Offscreen();
        env.insert("TMPDIR", m_tmp.path());
        env.insert("XDG_RUNTIME_DIR", RuntimePath());
        env.insert("QT_LOGGING_RULES", "karvel.demo.info=true");  // the simulator's event log
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setChildProcessModifier([] { ::setpgid(0, 0); });
        process.start(QStringLiteral(KARVEL_BINARY), {"--demo"});
        ASSERT_TRUE(process.waitForStarted(60000));
        // The simulator tells when the scan has reached the scale: the panel is up.
        output.clear();
        const QDeadlineTimer deadline(60000);
        while (!output.contains("probe answered") && !deadline.hasExpired() &&
               process.state() == QProcess::Running) {
            process.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
            output += process.readAll();
        }
        ASSERT_TRUE(output.contains("probe answered")) << output.toStdString();
    }

    // The demo's simulated-port folders.
    QStringList PortFolders() const {
        return QDir(RuntimePath()).entryList({"karvel-demo-*"}, QDir::Dirs | QDir::NoDotAndDotDot);
    }
    QString RuntimePath() const { return m_tmp.path() + "/runtime"; }

    QProcess karvel;
    QByteArray output;  // what Karvel and the simulator printed while starting

  private:
    QTemporaryDir m_tmp;
};

// Qt's options reach Qt in either form: -platform alone gives the panel its display, and a style
// Qt does not have is Qt's to complain about.
TEST(Program, QtsOptionsReachQt) {
    struct Case {
        QStringList args;
        const char* said;  // by Qt
    };
    const Case cases[] = {
        {{"-platform", "offscreen", "-style", "Fusion", "--demo"}, ""},
        {{"--platform", "offscreen", "--style=NoSuchStyle", "--demo"}, "NoSuchStyle"},
    };
    for (const Case& c : cases) {
        QTemporaryDir tmp;
        QProcessEnvironment env = NoDisplay();
        env.insert("TMPDIR", tmp.path());
        env.insert("XDG_RUNTIME_DIR", tmp.path() + "/runtime");
        env.insert("QT_LOGGING_RULES", "karvel.demo.info=true");
        QProcess karvel;
        karvel.setProcessEnvironment(env);
        karvel.setProcessChannelMode(QProcess::MergedChannels);
        karvel.start(QStringLiteral(KARVEL_BINARY), c.args);
        QByteArray output;
        const QDeadlineTimer deadline(60000);
        while (!output.contains("probe answered") && !deadline.hasExpired() &&
               karvel.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            output += karvel.readAll();
        EXPECT_TRUE(output.contains("probe answered")) << output.toStdString();
        karvel.terminate();
        EXPECT_TRUE(karvel.waitForFinished(60000));
        output += karvel.readAll();
        EXPECT_TRUE(output.contains(c.said)) << output.toStdString();
    }
}

// Whether `pid` holds the device behind `link` open.
bool Holds(qint64 pid, const QString& link) {
    const QString device = QFileInfo(link).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System)) {
        if (!device.isEmpty() && fd.symLinkTarget() == device)
            return true;
    }
    return false;
}

TEST(Program, TheDemosSimulatorSaysNothingUnlessAskedOrItFails) {
    QTemporaryDir tmp;
    const QString runtime = tmp.path() + "/runtime";
    ASSERT_TRUE(QDir().mkdir(
        runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    QProcessEnvironment env = Offscreen();
    env.insert("TMPDIR", tmp.path());
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.remove("QT_LOGGING_RULES");
    QProcess karvel;
    karvel.setProcessEnvironment(env);
    karvel.start(QStringLiteral(KARVEL_BINARY), {"--demo"});
    // Up when the panel holds the simulated scale's port open.
    const auto com5 = [&] {
        const QStringList folders =
            QDir(runtime).entryList({"karvel-demo-*"}, QDir::Dirs | QDir::NoDotAndDotDot);
        return folders.isEmpty() ? QString() : runtime + "/" + folders[0] + "/COM5";
    };
    // Nothing tells when a process opens a file: look again every few milliseconds.
    QTimer look;
    look.start(20);
    EXPECT_TRUE(
        PumpUntil([&] { return Holds(karvel.processId(), com5()); }, std::chrono::seconds(60)));
    ::kill(static_cast<pid_t>(karvel.processId()), SIGINT);
    ASSERT_TRUE(karvel.waitForFinished(60000));
    const QString said = QString::fromLocal8Bit(karvel.readAllStandardError());
    EXPECT_FALSE(said.contains("probe answered")) << said.toStdString();
    EXPECT_FALSE(said.contains("karvel-scalesim")) << said.toStdString();
}

TEST_F(DemoProgram, CtrlCEndsItAndRemovesItsPorts) {
    ::kill(static_cast<pid_t>(karvel.processId()), SIGINT);
    ASSERT_TRUE(karvel.waitForFinished(60000)) << "Ctrl+C did not end the panel";
    // Ended as Ctrl+C ends a program, after cleaning up.
    EXPECT_EQ(karvel.exitStatus(), QProcess::CrashExit);
    EXPECT_TRUE(PortFolders().isEmpty()) << (output + karvel.readAll()).toStdString();
}

TEST_F(DemoProgram, KilledItLeavesNoPortsBehind) {
    // Nothing runs in Karvel after SIGKILL: the simulator sees its input end and cleans up.
    QFileSystemWatcher watcher({RuntimePath()});
    karvel.kill();
    ASSERT_TRUE(karvel.waitForFinished(60000));
    EXPECT_TRUE(PumpUntil([&] { return PortFolders().isEmpty(); }, std::chrono::seconds(60)))
        << PortFolders().join(' ').toStdString();
}

TEST_F(DemoProgram, AFolderLeftByAKilledProcessGroupIsRemovedAtTheNextStart) {
    const QStringList left = PortFolders();
    ::kill(-static_cast<pid_t>(karvel.processId()), SIGKILL);  // the simulator too
    ASSERT_TRUE(karvel.waitForFinished(60000));
    ASSERT_EQ(PortFolders(), left);

    QProcess again;
    Start(again);
    const QStringList now = PortFolders();
    EXPECT_EQ(now.size(), 1);
    EXPECT_FALSE(now.contains(left.value(0))) << now.join(' ').toStdString();
    ::kill(static_cast<pid_t>(again.processId()), SIGINT);
    ASSERT_TRUE(again.waitForFinished(60000));
    EXPECT_TRUE(PortFolders().isEmpty());
}
#endif

}  // namespace
}  // namespace apptest
