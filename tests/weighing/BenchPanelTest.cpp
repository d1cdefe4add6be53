// The weighing bench in the panel, with the real display control and a scale on a
// pseudo-terminal: the check's band in the large readout (saved as a picture at 1920 x 1080),
// the status line, pieces from a sample and the refused samples, and tickets as a PDF and on a
// CUPS queue of the test's own.

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/CScalePanelDlg.h"
#include "app/CommandLine.h"
#include "app/readout/CLargeReadout.h"
#include "app/weighing/BenchCompanion.h"
#include "read/ReadOptions.h"
#include "tests/support/PortDirectory.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/TestFiles.h"
#include "tests/weighing/PrivateCups.h"

namespace benchtest {
namespace {

using testing_support::PortDirectory;
using testing_support::PtyPeer;
using testing_support::PumpUntil;
using testing_support::ScaleFrame;

constexpr std::uint8_t kStable = 0x04;
constexpr std::uint8_t kKg = 0x01;

// "0.503" as the nine slot values of a kg reading.
std::array<std::uint8_t, 9> Showing(std::string_view text, bool stable = true) {
    static constexpr std::uint8_t kDigits[] = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                               0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    std::array<std::uint8_t, 9> values{0, stable ? kStable : std::uint8_t{0}, kKg};
    std::size_t cell = 9;
    bool point = false;
    for (auto c = text.rbegin(); c != text.rend(); ++c) {
        if (*c == '.') {
            point = true;
            continue;
        }
        values[--cell] = static_cast<std::uint8_t>(kDigits[*c - '0'] | (point ? 0x80 : 0));
        point = false;
    }
    return values;
}

// The page text of a PDF, its white space made single.
QString PdfText(const QString& path) {
    QProcess run;
    run.start(QStandardPaths::findExecutable("pdftotext"), {path, "-"});
    EXPECT_TRUE(run.waitForFinished(30000));
    return QString::fromUtf8(run.readAllStandardOutput()).simplified();
}

class BenchPanelTest : public ::testing::Test {
  protected:
    void Start(record::BenchOptions options) {
        qputenv("KARVEL_COMPONENT_MANIFEST", KARVEL_MANIFEST);
        ports.Map(1, scale.DevicePath());
        PanelServices services;
        services.ports = ports.Ports();
        services.presenter = [](QWidget*, const MessageBoxRequest& r) {
            ADD_FAILURE() << r.text.toStdString();
        };
        panel = std::make_unique<CScalePanelDlg>(services);
        ASSERT_EQ(panel->CreateDisplayControl(), component::kOk);
        panel->OnInitDialog();
        ASSERT_EQ(panel->Port(), 1);
        BenchCompanion::Setup setup;
        setup.options = std::move(options);
        setup.stateFolder = state.Path().string();
        setup.scaleId = "bench-1";
        bench = std::make_unique<BenchCompanion>(*panel, std::move(setup));
        QObject::connect(bench.get(), &BenchCompanion::checked,
                         [this](const record::CapturedReading& r) { captures.push_back(r); });
        panel->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
        QObject::connect(&repeat, &QTimer::timeout, [this] { scale.Send(ScaleFrame(shown)); });
        repeat.start(20);
    }
    void TearDown() override {
        repeat.stop();
        bench.reset();
        panel.reset();
        qunsetenv("KARVEL_COMPONENT_MANIFEST");
    }
    // Puts `text` on the pan and waits until the panel shows it.
    void Show(std::string_view text, bool stable) {
        shown = Showing(text, stable);
        const QString reading = QString::fromLatin1(text.data(), text.size()) + " kg";
        ASSERT_TRUE(PumpUntil([&] {
            return QAccessible::queryAccessibleInterface(panel->DisplayControl().Widget())
                ->text(QAccessible::Value)
                .startsWith(reading);
        })) << text;
    }
    // Puts `text` on the pan, settled, and waits until it was captured.
    void Weigh(std::string_view text) {
        shown = Showing(text);
        const std::size_t before = captures.size();
        ASSERT_TRUE(PumpUntil([&] { return captures.size() > before; })) << text;
    }
    CLargeReadout& Readout() {
        panel->ReadingAccess().ShowLargeReadout();
        return *panel->ReadingAccess().LargeReadout();
    }
    static record::BenchOptions Check(std::string_view rule) {
        record::BenchOptions options;
        std::string error;
        options.rules.check = record::ParseCheck(rule, &error);
        EXPECT_TRUE(options.rules.check) << error;
        return options;
    }

    // The check, with a ticket of each weighing on `printer`.
    static record::BenchOptions Printing(const char* printer) {
        record::BenchOptions options = Check("500g,-2,+5");
        options.printTicket = true;
        options.printer = printer;
        return options;
    }

    PortDirectory ports;
    PtyPeer scale{PtyPeer::Role::Scale};
    testing_support::TempDir state;
    std::unique_ptr<CScalePanelDlg> panel;
    std::unique_ptr<BenchCompanion> bench;
    std::vector<record::CapturedReading> captures;
    std::array<std::uint8_t, 9> shown = Showing("0.000");
    QTimer repeat;
};

TEST_F(BenchPanelTest, TheBandSaysTheVerdictInWordAndColourAndTheStatusLineSaysItToo) {
    Start(Check("500g,-2,+5"));
    CLargeReadout& readout = Readout();
    readout.resize(1920, 1080);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&readout));
    ASSERT_TRUE(PumpUntil([&] { return readout.size() == QSize(1920, 1080); }));
    const struct {
        const char* weight;
        const char* word;
        QColor colour;
        const char* status;
    } cases[] = {
        {"0.497", "UNDER", QColor(255, 176, 0), "UNDER 0.497 kg (-3 g)"},
        {"0.498", "OK", QColor(0, 120, 0), "OK 0.498 kg (-2 g)"},
        {"0.505", "OK", QColor(0, 120, 0), "OK 0.505 kg (+5 g)"},
        {"0.506", "OVER", QColor(176, 0, 0), "OVER 0.506 kg (+6 g)"},
    };
    for (const auto& c : cases) {
        Weigh(c.weight);
        const QLabel& band = readout.Band();
        ASSERT_TRUE(PumpUntil([&] { return band.isVisible(); })) << c.weight;
        EXPECT_TRUE(band.text().contains(QStringLiteral("<b>%1</b>").arg(c.word))) << c.weight;
        EXPECT_EQ(band.width(), readout.width());
        const QImage shot = readout.grab().toImage();
        EXPECT_EQ(shot.pixelColor(4, band.geometry().bottom() - 2), c.colour) << c.weight;
        EXPECT_TRUE(panel->StatusLine().text().endsWith(c.status))
            << panel->StatusLine().text().toStdString();
        EXPECT_EQ(band.accessibleName(),
                  QStringLiteral("%1: %2 kg settled, deviation %3")
                      .arg(c.word, c.weight, QString(c.status).section('(', 1).chopped(1)));
        if (const QByteArray dir = qgetenv("KARVEL_SHOT_DIR"); !dir.isEmpty())
            shot.save(QDir(dir).filePath(QStringLiteral("band-%1.png").arg(c.word)));
    }
    // The pan cleared: the last verdict no longer stands.
    shown = Showing("0.000");
    EXPECT_TRUE(PumpUntil([&] { return !readout.Band().isVisible(); }));
}

TEST_F(BenchPanelTest, PiecesFromASampleAndRefusedSamples) {
    record::BenchOptions options;
    options.rules.countPieces = true;
    Start(options);
    CLargeReadout& readout = Readout();
    // Zero refused: nothing is on the pan.
    Show("0.000", true);
    bench->TakeSample();
    EXPECT_TRUE(panel->StatusLine().text().contains("Sample refused: the sample weighs nothing"))
        << panel->StatusLine().text().toStdString();
    // Moving: not settled.
    Show("0.250", false);
    bench->TakeSample();
    EXPECT_TRUE(panel->StatusLine().text().endsWith("Sample refused: the weight is not settled"));

    Weigh("0.250");
    bench->TakeSample();
    EXPECT_TRUE(panel->StatusLine().text().contains("one piece 0.025 kg"))
        << panel->StatusLine().text().toStdString();
    Weigh("2.513");
    ASSERT_TRUE(PumpUntil([&] { return readout.Band().text().contains("101 pcs"); }))
        << readout.Band().text().toStdString();
    EXPECT_TRUE(readout.Band().text().contains("2.513 kg"));
    EXPECT_EQ(captures.back().pieces->pieces, "101");

    // A sample of one, light: under ten display steps.
    bench->StartCounting(1);
    Weigh("0.008");
    bench->TakeSample();
    EXPECT_TRUE(panel->StatusLine().text().contains("a light sample"));
    Weigh("0.041");
    EXPECT_EQ(captures.back().pieces->pieces, "5");
}

TEST_F(BenchPanelTest, ATicketOfEachWeighingAsAPdfWithNumbersThatNeverRepeat) {
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is missing";
    record::BenchOptions options = Check("500g,-2,+5");
    options.preview = (state.Path() / "ticket.pdf").string();
    options.ticketHeader = "Packing line 3";
    Start(options);
    const auto text = [&] { return PdfText(QString::fromStdString(options.preview)); };
    Weigh("0.503");
    const QString first = text();
    for (const char* part : {"Packing line 3", "Ticket 000001", "Scale bench-1", "Port COM1",
                             "Weight 0.503 kg", "Check ok, deviation 3 g (500 g -2 +5)"})
        EXPECT_TRUE(first.contains(part)) << part << " in " << first.toStdString();
    Weigh("0.497");
    EXPECT_TRUE(text().contains("Ticket 000002")) << text().toStdString();
    EXPECT_TRUE(text().contains("Check under"));
}

TEST_F(BenchPanelTest, TicketsOnARealQueueAndAPrinterThatStopsOrIsMissingIsSaid) {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is missing";
    PrivateCups cups;
    if (cups.Missing())
        GTEST_SKIP() << cups.Problem();
    ASSERT_EQ(cups.Problem(), "");
    Start(Printing("tickets"));
    const QString printed = QString::fromStdString(cups.Output());
    Weigh("0.507");
    ASSERT_TRUE(PumpUntil([&] { return QFile::exists(printed); }, std::chrono::seconds(120)))
        << panel->StatusLine().text().toStdString();
    const QString page = PdfText(printed);
    for (const char* part : {"Ticket 000001", "Weight 0.507 kg", "Check over, deviation 7 g"})
        EXPECT_TRUE(page.contains(part)) << part << " in " << page.toStdString();

    // Stopped: the job waits in the queue, and the user is told.
    ASSERT_EQ(cups.Admin("cupsdisable", {"tickets"}), 0);
    Weigh("0.500");
    EXPECT_TRUE(panel->StatusLine().text().contains("Ticket 2: the printer tickets is stopped"))
        << panel->StatusLine().text().toStdString();
    EXPECT_EQ(captures.back().check->verdict, record::Verdict::kOk) << "still weighed";
    ASSERT_EQ(cups.Admin("cupsenable", {"tickets"}), 0);
    ASSERT_TRUE(PumpUntil([&] { return PdfText(printed).contains("Ticket 000002"); },
                          std::chrono::seconds(120)));
}

TEST_F(BenchPanelTest, AMissingPrinterIsSaidAndTheWeighingStillCounts) {
    PrivateCups cups;
    if (cups.Missing())
        GTEST_SKIP() << cups.Problem();
    ASSERT_EQ(cups.Problem(), "");
    Start(Printing("no-such-queue"));
    Weigh("0.499");
    EXPECT_TRUE(panel->StatusLine().text().contains(
        "Ticket 1 not printed: the printer no-such-queue is not known to CUPS"))
        << panel->StatusLine().text().toStdString();
    EXPECT_EQ(captures.size(), 1u);
    Weigh("0.498");
    EXPECT_TRUE(panel->StatusLine().text().contains("Ticket 2 not printed"));
}

TEST_F(BenchPanelTest, TheReadingsWindowsEditorChangesTheCheckAndCountsHowTheWeighingsFell) {
    Start(Check("500g,-2,+5"));
    const std::unique_ptr<QWidget> section(bench->MakeCheckSection());
    auto* rule = section->findChild<QLineEdit*>();
    auto* apply = section->findChild<QPushButton*>();
    QLabel* tally = nullptr;
    for (QLabel* label : section->findChildren<QLabel*>())
        tally = label->accessibleName() == "Check statistics" ? label : tally;
    ASSERT_TRUE(rule && apply && tally);
    EXPECT_EQ(rule->text(), "500g,-2,+5");
    for (const char* weight : {"0.497", "0.500", "0.501", "0.506"})
        Weigh(weight);
    EXPECT_EQ(tally->text(), "1 under, 2 ok, 1 over: yield 50.0 %");
    const struct {
        const char* given;
        bool taken;
    } edits[] = {{"600g,-1", false}, {"498g,510g", true}, {"0.5kg,-0,+0", true}, {"", true}};
    for (const auto& e : edits) {
        rule->setText(e.given);
        apply->click();
        EXPECT_EQ(tally->text().startsWith("Not a rule"), !e.taken) << e.given;
        // A rule refused leaves the one before.
        EXPECT_EQ(bench->Rules()->check.has_value(), !e.taken || *e.given != '\0') << e.given;
    }
    rule->setText("498g,510g");
    apply->click();
    Weigh("0.507");
    EXPECT_EQ(tally->text(), "0 under, 1 ok, 0 over: yield 100.0 %");
}

// What the panel and the reader take on their command lines, and what they refuse.
TEST(BenchOptions, BothProgramsTakeTheSameRulesAndRefuseTheSameMistakes) {
    const struct {
        std::vector<std::string_view> args;
        bool panel;
        bool reader;
    } cases[] = {
        {{"--check", "500g,-2,+5"}, true, true},
        {{"--check=0.5kg,2,5", "--check-sound"}, true, false},
        {{"--check-limits", "498g,505g"}, true, true},
        {{"--check", "500g,-2,+5", "--check-limits", "1,2"}, false, false},
        {{"--check", "500pcs,-2,+5"}, false, false},
        {{"--check"}, false, false},
        {{"--count-pieces"}, true, false},               // the reader takes SAMPLE only on --keys
        {{"--count-pieces=25", "--keys"}, false, true},  // the panel has its Sample item
        {{"--count-pieces=0"}, false, false},
        {{"--print-ticket"}, true, false},
        {{"--print-ticket", "office", "--ticket-header", "Line 3"}, true, false},
        {{"--print-preview", "t.pdf"}, true, false},
        {{"--print-preview"}, false, false},
    };
    for (const auto& c : cases) {
        QStringList panelArgs{"Karvel"};
        std::string shown;
        for (const std::string_view arg : c.args) {
            panelArgs << QString::fromUtf8(arg.data(), static_cast<qsizetype>(arg.size()));
            shown += std::string(arg) + " ";
        }
        const CommandLine cmd = ParseCommandLine(panelArgs);
        EXPECT_EQ(cmd.error.isEmpty(), c.panel) << shown << cmd.error.toStdString();
        std::string error;
        EXPECT_EQ(reader::ParseReadOptions(c.args, &error).has_value(), c.reader) << shown << error;
    }
    const CommandLine cmd =
        ParseCommandLine({"Karvel", "--print-ticket=office", "--count-pieces=25", "--demo"});
    EXPECT_EQ(cmd.bench.printer, "office");
    EXPECT_EQ(cmd.bench.rules.sampleSize, 25);
    EXPECT_TRUE(cmd.demo);
}

}  // namespace
}  // namespace benchtest
