// The readings window: Export CSV and Copy give the rows the log has, in the log's form, and
// write as the log does; its bound; where it opens; its keyboard.

#include <QApplication>
#include <QChartView>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLocale>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <regex>

#include "app/readings/LogWriter.h"
#include "app/readings/Placement.h"
#include "app/readings/ReadingsCompanion.h"
#include "app/readings/ReadingsModel.h"
#include "app/readings/ReadingsWindow.h"
#include "app/readings/Recorder.h"
#include "record/Forms.h"
#include "scale/families/Family.h"
#include "tests/app/PortsFixture.h"
#include "tests/readings/CaptureScript.h"
#include "tests/support/Sheets.h"
#include "tools/peers/FamilyPeer.h"

namespace readingstest {
namespace {

// A device name a CSV field must quote.
const char* const kDevice = "/dev/serial/by-id/usb-Scales,Inc-if00";

std::string ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// A window whose recorder captures every frame; with `fed`, those of the script from COM1.
struct ScriptedWindow {
    explicit ScriptedWindow(bool fed = true) {
        QObject::connect(&recorder, &Recorder::captured, &model, &ReadingsModel::Append);
        if (!fed)
            return;
        recorder.OnPortState({scale::PortState::Change::kOpened, 1, "/dev/ttyS0"});
        for (const ScriptFrame& f : kScript) {
            const scale::FrameBytes bytes = FrameOf(f);
            recorder.OnFrame({bytes, scale::SlotsOf(bytes), std::chrono::system_clock::now(), {}});
        }
    }
    Recorder recorder{record::CaptureRule::kEvery};
    ReadingsModel model;
    Trend trend;
    ReadingsWindow window{model, recorder, trend};
};

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

// The export is written as the log is: never through a link, and a file keeps its mode.
TEST(WindowExport, RefusesALinkAndKeepsAFilesMode) {
    ScriptedWindow bare(false);
    ReadingsWindow& window = bare.window;
    QTemporaryDir dir;
    const QString target = dir.filePath("target.csv");
    const QString link = dir.filePath("readings.csv");
    ASSERT_TRUE(QFile(target).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(target, link));
    QString error;
    EXPECT_FALSE(window.ExportCsv(link, false, &error));
    EXPECT_TRUE(error.contains("is a symbolic link")) << error.toStdString();
    EXPECT_EQ(ReadAll(target), "");
    EXPECT_TRUE(QFileInfo(link).isSymLink());

    const QString readOnly = dir.filePath("read-only.csv");
    ASSERT_TRUE(QFile(readOnly).open(QIODevice::WriteOnly));
    const auto mode = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    ASSERT_TRUE(QFile::setPermissions(readOnly, mode));
    EXPECT_TRUE(window.ExportCsv(readOnly, false, &error)) << error.toStdString();
    EXPECT_EQ(ReadAll(readOnly), record::CsvHeader());
    // Owner, group and others; not the bits that mirror the owner for this user.
    EXPECT_EQ(QFile::permissions(readOnly) & QFileDevice::Permissions(0x7077), mode);
}

// --csv-decimal ,: the log and the window's export alike, one form in each file.
TEST(WindowExport, TheDecimalCommaFormReachesTheLogAndTheExport) {
    const record::CsvDialect comma{','};
    QTemporaryDir dir;
    std::string error;
    auto file =
        record::LogFile::Open(dir.filePath("log.csv").toStdString(),
                              record::CsvHeader(record::DefaultCsvColumns(), comma), &error);
    ASSERT_TRUE(file) << error;
    ScriptedWindow scripted(false);
    LogWriter log(std::move(file), comma);
    QObject::connect(&scripted.recorder, &Recorder::captured, &log, &LogWriter::Write);
    scripted.window.SetCsvDialect(comma);
    scripted.recorder.OnPortState({scale::PortState::Change::kOpened, 1, "/dev/ttyS0"});
    const scale::FrameBytes bytes = FrameOf(kScript[1]);
    scripted.recorder.OnFrame({bytes, scale::SlotsOf(bytes), std::chrono::system_clock::now(), {}});
    const QString exported = dir.filePath("all.csv");
    QString exportError;
    ASSERT_TRUE(scripted.window.ExportCsv(exported, false, &exportError));
    EXPECT_EQ(ReadAll(exported), ReadAll(dir.filePath("log.csv")));
    EXPECT_TRUE(ReadAll(exported).starts_with("time_utc;port;device;"));
    EXPECT_NE(ReadAll(exported).find(";/dev/ttyS0;123,456;123,456;kg;1;"), std::string::npos)
        << ReadAll(exported);
    // Copy gives the same fields, tab-separated.
    scripted.window.Table().selectAll();
    scripted.window.CopyRows();
    const QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[1].split('\t').mid(1, 5),
              (QStringList{"COM1", "/dev/ttyS0", "123,456", "123,456", "kg"}));
}

TEST(WindowExport, StatisticsLeaveOutAnotherUnitAndSaySo) {
    ScriptedWindow scripted;
    ReadingsWindow& window = scripted.window;
    window.Refresh();
    // Rows 1-3 and 7 are kg numbers; 4-6 are lb; 8 is over load.
    EXPECT_EQ(window.StatisticsShown().toStdString(),
              "4 readings in kg: sum 370.368 kg, minimum 0.000 kg, maximum 123.456 kg, mean "
              "92.59200 kg, standard deviation 61.72800 kg, range 123.456 kg; 3 in another unit "
              "left out; 1 not a number left out.");
}

// A flood of captures: the window holds the latest rows up to its bound and says what left.
TEST(WindowExport, HoldsTheLatestRowsUpToItsBoundAndSaysWhenOlderOnesLeave) {
    ScriptedWindow bare(false);
    ReadingsWindow& window = bare.window;
    ReadingsModel& model = bare.model;
    const scale::FrameBytes bytes = FrameOf({"1.000", scalesim::kUnitKg, kStable});
    const auto start =
        std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
    const int total = ReadingsModel::kMaxRows + ReadingsModel::kLeaveAtOnce + 5;
    for (int i = 0; i < total; ++i) {
        const scale::Frame frame{
            bytes, scale::SlotsOf(bytes), start + std::chrono::milliseconds(i), {}};
        model.Append(record::CaptureOf(frame, 1, "/dev/ttyS0", record::CaptureRule::kEvery));
        if (i % 3000 == 0)
            model.Publish();  // as its timer does, twice a second
    }
    window.Refresh();
    const int rows = model.rowCount();
    EXPECT_LE(rows, ReadingsModel::kMaxRows);
    EXPECT_GE(rows, ReadingsModel::kMaxRows - ReadingsModel::kLeaveAtOnce);
    EXPECT_EQ(model.RowsLeft(), static_cast<std::uint64_t>(total - rows));
    EXPECT_EQ(model.At(0).time, start + std::chrono::milliseconds(total - rows));
    EXPECT_EQ(model.At(rows - 1).time, start + std::chrono::milliseconds(total - 1));
    EXPECT_EQ(model.AllStatistics().count, static_cast<std::size_t>(rows));
    EXPECT_TRUE(window.LeftNote().contains(QLocale().toString(model.RowsLeft())))
        << window.LeftNote().toStdString();
    EXPECT_TRUE(window.LeftNote().contains(QLocale().toString(ReadingsModel::kMaxRows)));
    model.Clear();
    EXPECT_EQ(window.LeftNote(), QString());
}

// 1920 x 1080 with a panel of 375 x 140, as the window manager gives them.
TEST(WindowPlacement, OpensBesideThePanelAndWhollyOnTheScreen) {
    const QRect screen(0, 0, 1920, 1080);
    const QSize size(760, 620);
    const struct {
        QRect panel;
        QRect screen;
        QMargins frame;
        QRect placed;
    } cases[] = {
        {{100, 100, 375, 140}, screen, {}, {483, 100, 760, 620}},              // to the right
        {{1500, 100, 375, 140}, screen, {}, {732, 100, 760, 620}},             // to the left
        {{100, 900, 375, 140}, screen, {}, {483, 460, 760, 620}},              // raised to fit
        {{100, 475, 375, 140}, screen, {4, 24, 4, 4}, {483, 432, 768, 648}},   // with decorations
        {{700, 100, 375, 140}, {0, 0, 1280, 1024}, {}, {520, 248, 760, 620}},  // below
        {{0, 0, 375, 140}, {0, 0, 800, 600}, {}, {0, 0, 760, 600}},            // made to fit
        {{1950, 50, 375, 140}, {1920, 0, 1920, 1080}, {}, {2333, 50, 760, 620}},  // second screen
    };
    for (const auto& c : cases) {
        const QRect placed = PlaceBeside(c.panel, size, c.frame, c.screen);
        EXPECT_EQ(placed, c.placed) << c.panel.x() << "," << c.panel.y();
        EXPECT_TRUE(c.screen.contains(placed)) << c.panel.x() << "," << c.panel.y();
    }
}

// Tab leaves the table for the next control, and the statistics follow a selection at once.
TEST(WindowKeyboard, TabLeavesTheTableAndStatisticsFollowTheSelection) {
    ScriptedWindow scripted;
    ReadingsWindow& window = scripted.window;
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.Table().setFocus();
    window.Table().selectRow(1);
    EXPECT_TRUE(window.StatisticsShown().startsWith("1 selected reading in kg: sum 123.456 kg"))
        << window.StatisticsShown().toStdString();
    QTest::keyClick(&window.Table(), Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), &window.Table());
    EXPECT_EQ(window.Table().currentIndex().row(), 1);
}

// In a low plot the value axis's labels (0.00 to 0.30 kg) are shown whole, never "...": no more
// ticks than there is room for.
TEST(WindowPlot, TheValueLabelsOfALowPlotAreShownWhole) {
    Recorder recorder(record::CaptureRule::kSettled);
    ReadingsModel model;
    Trend trend;
    recorder.FeedTrend(&trend);
    ReadingsWindow window(model, recorder, trend);
    window.resize(760, 400);  // the plot at its least height
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.Refresh();
    QCoreApplication::processEvents();
    auto time = std::chrono::system_clock::now() - std::chrono::seconds(30);
    recorder.OnPortState({scale::PortState::Change::kOpened, 1, "/dev/ttyS0"});
    for (const char* cells : {"0.000", "0.258", "0.000", "0.251"}) {
        const scale::FrameBytes bytes = FrameOf({cells, scalesim::kUnitKg, kStable});
        time += std::chrono::seconds(1);
        recorder.OnFrame({bytes, scale::SlotsOf(bytes), time, {}});
    }
    window.Refresh();
    auto* view = window.findChild<QChartView*>();
    ASSERT_NE(view, nullptr);
    QStringList labels;
    ASSERT_TRUE(testing_support::PumpUntil([&] {
        labels.clear();
        for (const QGraphicsItem* item : view->scene()->items()) {
            if (const auto* text = dynamic_cast<const QGraphicsTextItem*>(item);
                text && text->isVisible())
                labels.push_back(text->toPlainText());
        }
        // Laid out for the readings: their unit and top tick shown, or cut.
        return labels.contains("kg") &&
               std::any_of(labels.begin(), labels.end(), [](const QString& label) {
                   return label.contains("...") || label.contains(QChar(0x2026)) ||
                          (label.toDouble() >= 0.25 && label.toDouble() < 0.5);
               });
    })) << labels.join(" | ").toStdString();
    for (const QString& label : labels)
        EXPECT_FALSE(label.contains(QChar(0x2026)) || label.contains("...")) << label.toStdString();
}

// kg, the port closed for ten seconds, kg again, then MODE to lb: the axis says the unit, no line
// bridges the closed port or joins kg to lb, and the ticks are round.
TEST(WindowPlot, OneLinePerRunOfAUnitAndRoundTicks) {
    Recorder recorder(record::CaptureRule::kSettled);
    ReadingsModel model;
    Trend trend;
    recorder.FeedTrend(&trend);
    QObject::connect(&recorder, &Recorder::captured, &model, &ReadingsModel::Append);
    ReadingsWindow window(model, recorder, trend);
    auto time = std::chrono::system_clock::now() - std::chrono::seconds(60);
    const auto send = [&](const char* cells, std::uint8_t unit, int frames) {
        for (int i = 0; i < frames; ++i) {
            const scale::FrameBytes bytes = FrameOf({cells, unit, kStable});
            time += std::chrono::milliseconds(250);
            recorder.OnFrame({bytes, scale::SlotsOf(bytes), time, {}});
        }
    };
    recorder.OnPortState({scale::PortState::Change::kOpened, 1, "/dev/ttyS0"});
    send("13.989", scalesim::kUnitKg, 20);
    recorder.OnPortState({scale::PortState::Change::kClosed, 1, "/dev/ttyS0"});
    time += std::chrono::seconds(10);
    recorder.OnPortState({scale::PortState::Change::kOpened, 1, "/dev/ttyS0"});
    send("22.730", scalesim::kUnitKg, 20);
    window.Refresh();
    EXPECT_EQ(window.ValueAxisTitle(), "kg");
    const std::vector<QList<QPointF>> kg = window.PlottedLines();
    ASSERT_EQ(kg.size(), 2u);
    EXPECT_EQ(kg[0].back().y(), 13.989);
    EXPECT_EQ(kg[1].front().y(), 22.73);
    EXPECT_GE(kg[1].front().x() - kg[0].back().x(), 10000);
    const std::vector<double> ticks = window.ValueTicksShown();
    ASSERT_GE(ticks.size(), 2u);
    EXPECT_DOUBLE_EQ(ticks[1] - ticks[0], 2);
    for (const double tick : ticks)
        EXPECT_NEAR(tick / 2, std::round(tick / 2), 1e-9) << tick;

    send("50.12", scalesim::kUnitLb, 8);
    window.Refresh();
    EXPECT_EQ(window.ValueAxisTitle(), "lb");
    const std::vector<QList<QPointF>> lb = window.PlottedLines();
    ASSERT_EQ(lb.size(), 1u);
    for (const QPointF& p : lb[0])
        EXPECT_EQ(p.y(), 50.12);
    if (const char* shots = std::getenv("KARVEL_SHOTS")) {
        send("22.730", scalesim::kUnitKg, 40);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.Refresh();
        QApplication::processEvents();  // the chart lays out its axes when it gets to it
        window.grab().save(QString::fromLocal8Bit(shots) + "/readings-plot.png");
    }
}

class WindowOpenedLater : public apptest::PortsFixture {};

// Without --log the window, opened long after the scan opened the port, begins with the load on
// the pan.
TEST_F(WindowOpenedLater, CapturesFromThePortThePanelAlreadyShowsOpen) {
    Add(2, Role::Scale);
    h.Start();
    ASSERT_EQ(h.panel->Port(), 2);
    ReadingsCompanion companion(*h.panel, RecordOptions{}, nullptr);
    // The panel captures from its start; what settled before the window opened is not lost to it.
    companion.Capture();
    const ScriptFrame settled{"12.5", scalesim::kUnitKg, kStable};
    const scale::FrameBytes bytes = FrameOf(settled);
    const std::array<std::uint8_t, 9> shown = {bytes[3], bytes[4], bytes[5],  bytes[6], bytes[7],
                                               bytes[8], bytes[9], bytes[10], bytes[11]};
    ASSERT_TRUE(FrameReachesDisplay(2, shown));
    const char* shots = std::getenv("KARVEL_SHOTS");
    if (shots) {
        h.panel->move(1200, 800);  // low on the right: the window was seen partly off the screen
        h.panel->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(h.panel.get()));
    }
    companion.ShowWindow();
    ASSERT_TRUE(companion.Window());
    // Wholly on the panel's screen, whatever its size.
    const QRect screen = h.panel->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(companion.Window()->frameGeometry()))
        << companion.Window()->frameGeometry().x() << ","
        << companion.Window()->frameGeometry().y();
    if (shots) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(companion.Window()));
        h.panel->screen()->grabWindow(0).save(QString::fromLocal8Bit(shots) + "/beside.png");
    }
    ASSERT_TRUE(FrameReachesDisplay(2, shown));
    companion.Window()->Refresh();
    QAbstractItemModel& rows = *companion.Window()->Table().model();
    ASSERT_EQ(rows.rowCount(), 1);
    EXPECT_EQ(rows.index(0, ReadingsModel::kPort).data().toString(), "COM2");
    EXPECT_EQ(rows.index(0, ReadingsModel::kReading).data().toString(), "12.5");
}

// Ctrl+R on a panel reading another family: each row and the export hold the family's reading
// as it decoded it (there are no frame bytes to decode), and the spreadsheet keeps its numbers'
// point under a decimal-comma locale.
class FamilyWindow : public apptest::PortsFixture {
  protected:
    void TearDown() override { h.panel.reset(); }  // lets the port go before the peer goes
    // Opens the window on the panel, waits for its first row and exports it.
    void ExpectFamilyRowAndSheet() {
        ReadingsCompanion companion(*h.panel, RecordOptions{}, nullptr);
        companion.ShowWindow();
        ReadingsWindow& window = *companion.Window();
        QAbstractItemModel& rows = *window.Table().model();
        ASSERT_TRUE(testing_support::PumpUntil([&] {
            window.Refresh();
            return rows.rowCount() >= 1;
        }));
        const auto shown = [&](int column) { return rows.index(0, column).data().toString(); };
        EXPECT_EQ(shown(ReadingsModel::kReading), "12.345");
        EXPECT_EQ(shown(ReadingsModel::kUnit), "kg");
        EXPECT_EQ(shown(ReadingsModel::kIndicators), "stable");
        EXPECT_TRUE(window.StatisticsShown().startsWith("1 reading in kg: sum 12.345 kg,"))
            << window.StatisticsShown().toStdString();

        QTemporaryDir dir;
        const QString path = dir.filePath("readings.xlsx");
        QString error;
        ASSERT_TRUE(window.ExportSheet(path, false, &error)) << error.toStdString();
        const std::string xml = testing_support::FirstSheetXml(path.toStdString());
        const auto cells = testing_support::SheetCells(xml);
        const auto cell = [&cells](const char* ref) { return testing_support::CellOf(cells, ref); };
        EXPECT_EQ(cell("B2"), "COM1");
        EXPECT_EQ(cell("C2"), h.panel->FamilyLink()->Device());
        EXPECT_FALSE(cell("C2").empty());
        EXPECT_EQ(cell("D2"), "12.345");
        EXPECT_EQ(cell("E2"), "12.345");
        EXPECT_EQ(cell("F2"), "kg");
        EXPECT_EQ(cell("G2"), "1");
        EXPECT_FALSE(std::regex_search(xml, std::regex(R"(\d,\d)"))) << xml;
    }

    std::unique_ptr<testing_support::FamilyPeer> peer;
};

TEST_F(FamilyWindow, RowsAndTheSpreadsheetHoldTheFamilysReading) {
    const std::string missing = testing_support::DecimalCommaLocaleMissing();
    ASSERT_TRUE(missing.empty()) << missing;
    const testing_support::DecimalCommaLocale decimalComma;
    const struct {
        const char* family;
        unsigned baud;
        const char* line;
    } cases[] = {{"sics", 9600, "S S     12.345 kg\r\n"}, {"and", 2400, "ST,+0012.345 kg\r\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.family);
        h.Build({});  // a new panel, which lets the last peer's port go
        peer = std::make_unique<testing_support::FamilyPeer>(
            testing_support::FamilyPeer::Talk{c.baud, {c.line}, {}, {}});
        ports.Map(1, peer->DevicePath());
        scale_link::FamilyLink::Choice choice;
        choice.family = scale::families::Find(c.family);
        h.panel->SetFamily(choice);
        h.Start();
        ASSERT_EQ(h.panel->Port(), 1);
        ExpectFamilyRowAndSheet();
    }
}

// Ending the panel while the window holds readings nobody saved asks first; with nothing
// unsaved it ends at once, as it always has.
class EndingThePanel : public apptest::PortsFixture {
  protected:
    void SetUp() override {
        Add(2, Role::Scale);
        h.Start();
        ASSERT_EQ(h.panel->Port(), 2);
        h.onBox = [this](const MessageBoxRequest& request) {
            if (request.answer)
                *request.answer = m_answer;
        };
    }
    // Opens the window and captures a settled reading in it.
    void Capture(ReadingsCompanion& companion) {
        companion.ShowWindow();
        const scale::FrameBytes bytes = FrameOf({"12.5", scalesim::kUnitKg, kStable});
        ASSERT_TRUE(FrameReachesDisplay(2, {bytes[3], bytes[4], bytes[5], bytes[6], bytes[7],
                                            bytes[8], bytes[9], bytes[10], bytes[11]}));
    }
    void Show() {
        h.panel->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(h.panel.get()));
    }
    enum { kSave, kDiscard, kCancel };
    int m_answer = kCancel;
};

TEST_F(EndingThePanel, AsksWhileReadingsAreUnsavedAndCancelKeepsThePanel) {
    ReadingsCompanion companion(*h.panel, RecordOptions{}, nullptr);
    Capture(companion);
    Show();
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        QTest::keyClick(h.panel.get(), key);
        EXPECT_TRUE(h.panel->isVisible()) << key;
    }
    EXPECT_FALSE(h.panel->close()) << "the close box";
    ASSERT_EQ(h.boxes.size(), 3u);
    const MessageBoxRequest& asked = h.boxes[0].request;
    EXPECT_EQ(asked.text, "1 reading in the readings window was neither logged nor exported.");
    ASSERT_EQ(asked.choices.size(), 3u);
    EXPECT_EQ(asked.choices[kSave].text, "&Save as spreadsheet...");
    EXPECT_EQ(asked.choices[kCancel].role, QMessageBox::RejectRole);
    EXPECT_EQ(h.boxes[0].parent, h.panel.get());

    m_answer = kDiscard;
    QTest::keyClick(h.panel.get(), Qt::Key_Escape);
    EXPECT_FALSE(h.panel->isVisible());
    EXPECT_EQ(h.panel->result(), QDialog::Rejected);
}

TEST_F(EndingThePanel, SavingAsASpreadsheetEndsThePanelOnceTheFileIsWritten) {
    ReadingsCompanion companion(*h.panel, RecordOptions{}, nullptr);
    Capture(companion);
    QTemporaryDir dir;
    QString chosen;
    companion.Window()->SetPathChooser(
        [&chosen](QWidget*, const QString&, const QString&, const QString&) { return chosen; });
    Show();
    m_answer = kSave;
    QTest::keyClick(h.panel.get(), Qt::Key_Escape);  // no file chosen: nothing is lost
    EXPECT_TRUE(h.panel->isVisible());
    chosen = dir.filePath("readings.xlsx");
    QTest::keyClick(h.panel.get(), Qt::Key_Escape);
    EXPECT_FALSE(h.panel->isVisible());
    EXPECT_TRUE(ReadAll(chosen).starts_with("PK")) << chosen.toStdString();
    EXPECT_EQ(h.boxes.size(), 2u);
}

TEST_F(EndingThePanel, EndsWithoutAQuestionWhenNothingIsUnsaved) {
    ReadingsCompanion companion(*h.panel, RecordOptions{}, nullptr);
    Show();
    QTest::keyClick(h.panel.get(), Qt::Key_Escape);  // the window never opened
    EXPECT_FALSE(h.panel->isVisible());

    Capture(companion);
    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(companion.Window()->ExportCsv(dir.filePath("all.csv"), false, &error))
        << error.toStdString();
    Show();
    QTest::keyClick(h.panel.get(), Qt::Key_Return);
    EXPECT_FALSE(h.panel->isVisible());
    EXPECT_EQ(h.panel->result(), QDialog::Accepted);
    EXPECT_TRUE(h.boxes.empty());
}

}  // namespace
}  // namespace readingstest
