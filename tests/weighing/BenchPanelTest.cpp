// The weighing bench in the panel, with the real display control and a scale on a
// pseudo-terminal: the check's band in the large readout (saved as a picture at 1920 x 1080),
// the status line, pieces from a sample and the refused samples, and tickets as a PDF and on a
// CUPS queue of the test's own.

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>

#include "app/CommandLine.h"
#include "app/DialogTemplates.h"
#include "read/ReadOptions.h"
#include "tests/weighing/BenchPanel.h"
#include "tests/weighing/PrivateCups.h"

namespace benchtest {
namespace {

// A label printer's driver: two label sizes, 62 x 29 mm the default.
constexpr char kLabelPpd[] = R"ppd(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "LABEL.PPD"
*Manufacturer: "Karvel tests"
*Product: "(Label printer)"
*ModelName: "Label printer"
*ShortNickName: "Label printer"
*NickName: "Label printer"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsFilter2: "application/pdf application/pdf 0 -"
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: w176h82
*PageSize w176h82/62 x 29 mm: "<</PageSize[176 82]>>setpagedevice"
*PageSize w289h216/102 x 76 mm: "<</PageSize[289 216]>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: w176h82
*PageRegion w176h82/62 x 29 mm: "<</PageSize[176 82]>>setpagedevice"
*PageRegion w289h216/102 x 76 mm: "<</PageSize[289 216]>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: w176h82
*ImageableArea w176h82/62 x 29 mm: "4 4 172 78"
*ImageableArea w289h216/102 x 76 mm: "4 4 285 212"
*DefaultPaperDimension: w176h82
*PaperDimension w176h82/62 x 29 mm: "176 82"
*PaperDimension w289h216/102 x 76 mm: "289 216"
)ppd";

// An office printer's driver: A4 alone, as a laser printer's; what it is sent is laid out on
// its paper first, as for any driver.
constexpr char kA4Ppd[] = R"ppd(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "OFFICE.PPD"
*Manufacturer: "Karvel tests"
*Product: "(Office printer)"
*ModelName: "Office printer"
*ShortNickName: "Office printer"
*NickName: "Office printer"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsFilter2: "application/vnd.cups-pdf application/pdf 0 -"
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion A4/A4: "<</PageSize[595 842]>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea A4/A4: "18 36 577 806"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
)ppd";

constexpr double kPointsPerMm = 72 / 25.4;

// A header long enough to be broken on a label.
constexpr char kLongHeader[] = "Packing line 3, north hall, second shift, outgoing goods";

// The page text of a PDF, its white space made single.
QString PdfText(const QString& path) {
    QProcess run;
    run.start(QStandardPaths::findExecutable("pdftotext"), {path, "-"});
    EXPECT_TRUE(run.waitForFinished(30000));
    return QString::fromUtf8(run.readAllStandardOutput()).simplified();
}

// What a program of poppler's says of a PDF.
QString Poppler(const char* program, const QStringList& arguments) {
    QProcess run;
    run.start(QStandardPaths::findExecutable(program), arguments);
    EXPECT_TRUE(run.waitForFinished(30000)) << program;
    return QString::fromUtf8(run.readAllStandardOutput());
}

// The page's size in points, as pdfinfo gives it.
QSizeF PageSize(const QString& path) {
    static const QRegularExpression size(R"re(Page size:\s+([\d.]+) x ([\d.]+) pts)re");
    const QRegularExpressionMatch found = size.match(Poppler("pdfinfo", {path}));
    return found.hasMatch() ? QSizeF(found.captured(1).toDouble(), found.captured(2).toDouble())
                            : QSizeF();
}

// The words that reach beyond the page, as pdftotext places them.
QStringList Clipped(const QString& path) {
    const QString boxes = Poppler("pdftotext", {"-bbox", path, "-"});
    static const QRegularExpression page(R"re(<page width="([\d.]+)" height="([\d.]+)")re");
    static const QRegularExpression word(
        R"re(<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="([-\d.]+)" yMax="([-\d.]+)">([^<]*))re");
    const QRegularExpressionMatch size = page.match(boxes);
    if (!size.hasMatch())
        return {"no page in " + path};
    const QRectF sheet(0, 0, size.captured(1).toDouble(), size.captured(2).toDouble());
    QStringList clipped;
    for (const QRegularExpressionMatch& w : word.globalMatch(boxes)) {
        const QRectF box(QPointF(w.captured(1).toDouble(), w.captured(2).toDouble()),
                         QPointF(w.captured(3).toDouble(), w.captured(4).toDouble()));
        if (!sheet.contains(box))
            clipped << w.captured(5);
    }
    return clipped;
}

// The words that run up or down the page instead of across it: a page turned on its side.
QStringList Sideways(const QString& path) {
    const QString boxes = Poppler("pdftotext", {"-bbox", path, "-"});
    static const QRegularExpression word(
        R"re(<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="([-\d.]+)" yMax="([-\d.]+)">([^<]{4,}))re");
    QStringList sideways;
    for (const QRegularExpressionMatch& w : word.globalMatch(boxes)) {
        if (w.captured(4).toDouble() - w.captured(2).toDouble() >
            w.captured(3).toDouble() - w.captured(1).toDouble())
            sideways << w.captured(5);
    }
    return sideways;
}

// Every field of a ticket of `weight` with the check and 10 pieces of 0.025 kg.
std::vector<QString> TicketFields(const char* weight, const char* pieces) {
    return {kLongHeader,
            "Ticket 0000",
            "Date 20",
            "Scale bench-1",
            "Port COM1 (",
            QStringLiteral("Weight %1 kg").arg(weight),
            "Check ok, deviation",
            QStringLiteral("Pieces %1 (one 0.025 kg)").arg(pieces)};
}

bool PopplerMissing() {
    return QStandardPaths::findExecutable("pdftotext").isEmpty() ||
           QStandardPaths::findExecutable("pdfinfo").isEmpty();
}

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
    record::WeighingOptions options;
    options.rules.countPieces = true;
    Start(options);
    auto* beside = panel->findChild<QLabel*>("pieces");
    ASSERT_TRUE(beside);
    QWidget* display = panel->DisplayControl().Widget();
    const auto reading = [display] {
        return QAccessible::queryAccessibleInterface(display)->text(QAccessible::Value);
    };
    CLargeReadout& readout = Readout();
    // Zero refused: nothing is on the pan.
    Show("0.000", true);
    EXPECT_TRUE(beside->isHidden()) << "no count before a sample";
    EXPECT_EQ(reading(), "0.000 kg, stable");
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
    // Beside the display too, and said before the weight; clear of the display and the keys.
    ASSERT_TRUE(PumpUntil([&] { return reading() == "101 pcs, 2.513 kg, stable"; }))
        << reading().toStdString();
    EXPECT_FALSE(beside->isHidden());
    EXPECT_EQ(beside->accessibleName(), "101 pcs, 2.513 kg");
    const QRect strip = beside->geometry();
    EXPECT_TRUE(panel->rect().contains(strip));
    EXPECT_FALSE(strip.intersects(QRect(display->mapTo(panel.get(), QPoint()), display->size())));
    for (const int key : {kIdKeyData, kIdKeyMode, kIdKeyTare, kIdKeyOnOff})
        EXPECT_FALSE(strip.intersects(panel->KeyButton(key)->geometry())) << key;
    if (const QByteArray dir = qgetenv("KARVEL_SHOT_DIR"); !dir.isEmpty())
        panel->grab().save(QDir(dir).filePath(QStringLiteral("pieces-panel.png")));

    // A sample of one, light: under ten display steps. Until it is taken nothing is counted.
    bench->StartCounting(1);
    EXPECT_TRUE(beside->isHidden());
    EXPECT_EQ(reading(), "2.513 kg, stable");
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
    record::WeighingOptions options = Check("500g,-2,+5");
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

TEST_F(BenchPanelTest, ALabelHoldsTheWholeTicketAtItsSizeOrIsRefusedWhenItCannot) {
    if (PopplerMissing())
        GTEST_SKIP() << "pdftotext and pdfinfo (poppler-utils) are missing";
    record::WeighingOptions options = Check("500g,-2,+5");
    options.rules.countPieces = true;
    options.preview = (state.Path() / "label.pdf").string();
    options.ticketHeader = kLongHeader;
    Start(options);
    Weigh("0.250");
    bench->TakeSample();
    const QString pdf = QString::fromStdString(options.preview);
    const struct {
        const char* size;
        const char* weight;
        const char* pieces;
        bool fits;
    } labels[] = {
        {"62x29mm", "0.503", "20", true},
        {"102x76mm", "0.499", "20", true},
        {"101.6x152.4", "0.504", "20", true},
        {"20x15mm", "0.501", "20", false},
    };
    for (const auto& label : labels) {
        std::string error;
        options.ticketSize = record::ParseTicketSize(label.size, &error);
        ASSERT_TRUE(options.ticketSize) << error;
        QFile::remove(pdf);
        Rebench(options, bench->Rules());
        Weigh(label.weight);
        if (!label.fits) {
            EXPECT_FALSE(QFile::exists(pdf));
            EXPECT_TRUE(panel->StatusLine().text().contains(
                "not written: the ticket does not fit on a page of 20 x 15 mm"))
                << panel->StatusLine().text().toStdString();
            continue;
        }
        const QSizeF page = PageSize(pdf);
        EXPECT_NEAR(page.width(), options.ticketSize->widthMm * kPointsPerMm, 0.5) << label.size;
        EXPECT_NEAR(page.height(), options.ticketSize->heightMm * kPointsPerMm, 0.5) << label.size;
        const QString text = PdfText(pdf);
        for (const QString& field : TicketFields(label.weight, label.pieces))
            EXPECT_TRUE(text.contains(field))
                << label.size << ": " << field.toStdString() << " in " << text.toStdString();
        EXPECT_EQ(Clipped(pdf), QStringList()) << label.size;
    }
}

// A label printer's queue: its default media is the ticket's page, whether its driver lists
// the media or a queue without one only names its default.
TEST_F(BenchPanelTest, ALabelPrinterGetsTheTicketAtItsDefaultMediasSize) {
    if (PopplerMissing())
        GTEST_SKIP() << "pdftotext and pdfinfo (poppler-utils) are missing";
    PrivateCups cups;
    if (cups.Missing())
        GTEST_SKIP() << cups.Problem();
    ASSERT_EQ(cups.Problem(), "");
    const struct {
        const char* queue;
        const char* ppd;
        QStringList more;
        QSizeF points;
    } queues[] = {
        {"labels", kLabelPpd, {}, QSizeF(176, 82)},
        {"shipping",
         "",
         {"-o", "media-default=om_102x76mm_102x76mm"},
         QSizeF(102, 76) * kPointsPerMm},
        // Office paper: the ticket as it always was, 80 mm wide.
        {"office", "", {"-o", "media-default=iso_a4_210x297mm"}, QSizeF(80 * kPointsPerMm, 0)},
        // A driver that puts every page on A4: the ticket upright on it.
        {"a4", kA4Ppd, {}, QSizeF(595, 842)},
    };
    record::WeighingOptions options = Check("500g,-2,+5");
    options.rules.countPieces = true;
    options.ticketHeader = kLongHeader;
    Start(options);
    Weigh("0.250");
    bench->TakeSample();
    const char* weights[] = {"0.503", "0.501", "0.502", "0.504"};
    for (std::size_t i = 0; i < std::size(queues); ++i) {
        const auto& q = queues[i];
        std::string said;
        ASSERT_EQ(cups.AddQueue(q.queue, q.ppd, q.more, &said), 0) << said;
        options.printTicket = true;
        options.printer = q.queue;
        Rebench(options, bench->Rules());
        Weigh(weights[i]);
        const QString printed = QString::fromStdString(cups.OutputOf(q.queue));
        ASSERT_TRUE(PumpUntil([&] { return QFile::exists(printed); }, std::chrono::seconds(120)))
            << q.queue << ": " << panel->StatusLine().text().toStdString();
        const QSizeF page = PageSize(printed);
        EXPECT_NEAR(page.width(), q.points.width(), 0.5) << q.queue;
        if (q.points.height() > 0) {
            EXPECT_NEAR(page.height(), q.points.height(), 0.5) << q.queue;
        }
        const QString text = PdfText(printed);
        for (const QString& field : TicketFields(weights[i], "20"))
            EXPECT_TRUE(text.contains(field))
                << q.queue << ": " << field.toStdString() << " in " << text.toStdString();
        EXPECT_EQ(Clipped(printed), QStringList()) << q.queue;
        EXPECT_EQ(Sideways(printed), QStringList()) << q.queue;
    }
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

TEST_F(BenchPanelTest, PrintTicketAskedWithNoPrinterNamedGoesToTheDefaultOne) {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is missing";
    PrivateCups cups;
    if (cups.Missing())
        GTEST_SKIP() << cups.Problem();
    ASSERT_EQ(cups.Problem(), "");
    ASSERT_EQ(cups.Admin("lpadmin", {"-d", "tickets"}), 0);
    Start(Check("500g,-2,+5"));
    Weigh("0.503");
    bench->PrintLast();
    const QString printed = QString::fromStdString(cups.Output());
    ASSERT_TRUE(PumpUntil([&] { return PdfText(printed).contains("Ticket 000001"); },
                          std::chrono::seconds(120)))
        << panel->StatusLine().text().toStdString();
}

TEST_F(BenchPanelTest, AMissingPrinterIsSaidUsesNoTicketNumberAndTheWeighingStillCounts) {
    PrivateCups cups;
    if (cups.Missing())
        GTEST_SKIP() << cups.Problem();
    ASSERT_EQ(cups.Problem(), "");
    Start(Printing("no-such-queue"));
    Weigh("0.499");
    EXPECT_TRUE(panel->StatusLine().text().contains(
        "No ticket: the printer no-such-queue is not known to CUPS"))
        << panel->StatusLine().text().toStdString();
    EXPECT_EQ(captures.size(), 1u);
    Weigh("0.498");
    EXPECT_TRUE(panel->StatusLine().text().contains("No ticket"));
    // No number was used up: the first ticket that reaches the printer is the first one.
    if (PopplerMissing())
        return;
    std::string said;
    ASSERT_EQ(cups.AddQueue("no-such-queue", "", {}, &said), 0) << said;
    Weigh("0.501");
    const QString printed = QString::fromStdString(cups.OutputOf("no-such-queue"));
    ASSERT_TRUE(PumpUntil([&] { return PdfText(printed).contains("Ticket 000001"); },
                          std::chrono::seconds(120)))
        << panel->StatusLine().text().toStdString();
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
TEST(WeighingOptions, BothProgramsTakeTheSameRulesAndRefuseTheSameMistakes) {
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
        {{"--ticket-size", "62x29mm", "--print-ticket"}, true, false},
        {{"--ticket-size=101.6x152.4"}, true, false},
        {{"--ticket-size", "62x29in"}, false, false},
        {{"--ticket-size", "10x29mm"}, false, false},
        {{"--ticket-size", "62"}, false, false},
        {{"--ticket-size"}, false, false},
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
