// The panel's display read by an AT-SPI client on a real accessibility bus, under Xvfb: the
// script checks the focus, the Text interface, one event per settled reading and the note after
// CLOSE (tests/app/atspi/reading_over_atspi.py).

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

constexpr int kSkipped = 77;

TEST(AtspiReading, AScreenReaderReadsAndHearsEachSettledReading) {
    for (const char* program : {"dbus-run-session", "Xvfb"}) {
        if (QStandardPaths::findExecutable(program).isEmpty())
            GTEST_SKIP() << program << " is missing";
    }
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    // The bus needs the system's settings schemas, which the tests' data folders hide.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
    run.setProcessEnvironment(env);
    run.start("dbus-run-session", {"--", "/usr/bin/python3", "-u", ATSPI_SCRIPT, KARVEL_BINARY});
    ASSERT_TRUE(run.waitForFinished(120000)) << run.readAll().toStdString();
    const std::string output = run.readAll().toStdString();
    if (run.exitCode() == kSkipped)
        GTEST_SKIP() << output;
    EXPECT_EQ(run.exitCode(), 0) << output;
}

}  // namespace
