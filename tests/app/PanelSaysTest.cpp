// What the panel says on standard error beside its status is also a hover away: the broker
// mirror's lines and a log that cannot be opened again go into the status line's note.

#include <QLabel>
#include <QStringList>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <thread>

#include "app/BrokerTrouble.h"
#include "app/CStatusLine.h"
#include "app/readings/LogWriter.h"
#include "record/LogFile.h"
#include "tests/support/PumpUntil.h"
#include "tools/peers/TestFiles.h"

namespace apptest {
namespace {

using testing_support::PumpUntil;

TEST(PanelSays, TheMirrorsLinesFromAnyThreadReachTheStatusLinesNote) {
    CStatusLine status;
    QLabel lamp;
    status.Show(QStringLiteral("STATUS:COM1 OPENED"));
    BrokerTrouble trouble;
    trouble.Say("mqtt: said before the window");
    trouble.ShowOn(status, lamp);
    std::thread network([&trouble] { trouble.Say("mqtt: connected to 127.0.0.1:1883"); });
    network.join();
    EXPECT_TRUE(PumpUntil([&] {
        return status.WholeText() ==
               "STATUS:COM1 OPENED\nmqtt: said before the window\n"
               "mqtt: connected to 127.0.0.1:1883";
    })) << status.WholeText().toStdString();
}

TEST(PanelSays, ALogThatCannotBeOpenedAgainSaysSo) {
    testing_support::TempDir dir;
    const std::string path = (dir.Path() / "readings.csv").string();
    std::string error;
    auto file = record::LogFile::Open(path, "time\r\n", &error);
    ASSERT_TRUE(file) << error;
    LogWriter writer(std::move(file));
    QStringList said;
    QObject::connect(&writer, &LogWriter::said, [&said](const QString& line) { said << line; });
    // Rotated away, and a FIFO in its place: no log is written into that.
    std::filesystem::rename(path, path + ".1");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    writer.Reopen();
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].startsWith("--log: cannot reopen the log: ")) << said[0].toStdString();
    EXPECT_TRUE(said[0].endsWith("still writing to the file opened before."));
    EXPECT_TRUE(writer.Problem().isEmpty());
}

}  // namespace
}  // namespace apptest
