// The readings window's Export CSV and Copy give the rows the log has, in the log's form.

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/readings/LogWriter.h"
#include "app/readings/ReadingsCompanion.h"
#include "app/readings/ReadingsModel.h"
#include "app/readings/ReadingsWindow.h"
#include "app/readings/Recorder.h"
#include "record/Forms.h"
#include "tests/app/PortsFixture.h"
#include "tests/readings/CaptureScript.h"

namespace readingstest {
namespace {

// A device name a CSV field must quote.
const char* const kDevice = "/dev/serial/by-id/usb-Scales,Inc-if00";

std::string ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

TEST(WindowExport, ExportGivesTheLoggedRowsAndCopyTheirFieldsTabSeparated) {
    for (const RuleCase& rule : kRuleCases) {
        SCOPED_TRACE(rule.rule);
        QTemporaryDir dir;
        std::string error;
        auto file = record::LogFile::Open(dir.filePath("log.csv").toStdString(),
                                          record::CsvHeader(), &error);
        ASSERT_TRUE(file) << error;
        LogWriter log(std::move(file));
        Recorder recorder(*record::ParseRule(rule.rule));
        ReadingsModel model;
        Trend trend;
        recorder.FeedTrend(&trend);
        QObject::connect(&recorder, &Recorder::captured, &model, &ReadingsModel::Append);
        QObject::connect(&recorder, &Recorder::captured, &log, &LogWriter::Write);
        ReadingsWindow window(model, recorder, trend);

        recorder.OnPortState({scale::PortState::Change::kOpened, 7, kDevice});
        std::vector<ScriptFrame> frames = {kPrelude};
        frames.insert(frames.end(), kScript.begin(), kScript.end());
        frames.push_back(kEnd);
        auto time = std::chrono::system_clock::now();
        for (const ScriptFrame& f : frames) {
            const scale::FrameBytes bytes = FrameOf(f);
            time += std::chrono::milliseconds(12);
            recorder.OnFrame({bytes, scale::SlotsOf(bytes), time, {}});
        }

        const QString all = dir.filePath("all.csv");
        QString exportError;
        ASSERT_TRUE(window.ExportCsv(all, false, &exportError)) << exportError.toStdString();
        EXPECT_EQ(ReadAll(all), ReadAll(dir.filePath("log.csv")));
        const std::vector<LoggedRow> rows = ParseLog(ReadAll(all));
        EXPECT_EQ(ScriptRows(rows, rule.rule), ExpectedRows(rule));
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows[0].port, "COM7");

        // The first and last row selected: those two alone, and as tab-separated fields.
        const int last = model.rowCount() - 1;
        window.Table().selectRow(0);
        window.Table().selectionModel()->select(
            model.index(last, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QString some = dir.filePath("some.csv");
        ASSERT_TRUE(window.ExportCsv(some, true, &exportError));
        const std::vector<LoggedRow> chosen = ParseLog(ReadAll(some));
        ASSERT_EQ(chosen.size(), 2u);
        EXPECT_EQ(chosen[1].rest, rows.back().rest);
        window.CopyRows();
        const QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 3);
        EXPECT_TRUE(lines[0].startsWith("time_utc\tport\tdevice\ttext\t"));
        EXPECT_EQ(lines[2].split('\t').mid(1, 4), (QStringList{"COM7", kDevice, "9.999", "9.999"}));
    }
}

TEST(WindowExport, StatisticsLeaveOutAnotherUnitAndSaySo) {
    Recorder recorder(record::CaptureRule::kEvery);
    ReadingsModel model;
    Trend trend;
    QObject::connect(&recorder, &Recorder::captured, &model, &ReadingsModel::Append);
    ReadingsWindow window(model, recorder, trend);
    recorder.OnPortState({scale::PortState::Change::kOpened, 1, "/dev/ttyS0"});
    for (const ScriptFrame& f : kScript) {
        const scale::FrameBytes bytes = FrameOf(f);
        recorder.OnFrame({bytes, scale::SlotsOf(bytes), std::chrono::system_clock::now(), {}});
    }
    window.Refresh();
    // Rows 1-3 and 7 are kg numbers; 4-6 are lb; 8 is over load.
    EXPECT_EQ(window.StatisticsShown().toStdString(),
              "4 readings in kg: sum 370.368 kg, minimum 0.000 kg, maximum 123.456 kg, mean "
              "92.59200 kg, standard deviation 61.72800 kg, range 123.456 kg; 3 in another unit "
              "left out; 1 not a number left out.");
}

class WindowOpenedLater : public apptest::PortsFixture {};

// Without --log nothing is attached until the window opens, long after the scan opened the port.
TEST_F(WindowOpenedLater, CapturesFromThePortThePanelAlreadyShowsOpen) {
    Add(2, Role::Scale);
    h.Start();
    ASSERT_EQ(h.panel->Port(), 2);
    ReadingsCompanion companion(*h.panel, RecordOptions{}, nullptr);
    companion.ShowWindow();
    ASSERT_TRUE(companion.Window());
    const ScriptFrame settled{"12.5", scalesim::kUnitKg, kStable};
    const scale::FrameBytes bytes = FrameOf(settled);
    ASSERT_TRUE(FrameReachesDisplay(2, {bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                                        bytes[9], bytes[10], bytes[11]}));
    companion.Window()->Refresh();
    QAbstractItemModel& rows = *companion.Window()->Table().model();
    ASSERT_EQ(rows.rowCount(), 1);
    EXPECT_EQ(rows.index(0, ReadingsModel::kPort).data().toString(), "COM2");
    EXPECT_EQ(rows.index(0, ReadingsModel::kReading).data().toString(), "12.5");
}

}  // namespace
}  // namespace readingstest
