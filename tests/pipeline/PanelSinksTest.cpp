// The panel with every family, one simulated scale each: the program's log, ticket, broker and
// typing, and the readings window with its spreadsheet export, each show the family's value and
// unit.

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/readings/ReadingsCompanion.h"
#include "app/readings/ReadingsModel.h"
#include "app/readings/ReadingsWindow.h"
#include "scale/families/Family.h"
#include "tests/app/PanelHarness.h"
#include "tests/pipeline/PipelineSupport.h"
#include "tests/read/ReadTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/Sheets.h"
#include "tests/support/WaitFor.h"
#include "tools/peers/PortDirectory.h"

namespace pipelinetest {
namespace {

using readtest::Child;

// A PDF's text with its white space made single.
std::string PdfText(const std::string& path, const std::string& scratch) {
    const auto run = testing_support::RunProgram("/usr/bin/pdftotext", {path, "-"}, scratch);
    std::string single;
    for (const char c : run.out) {
        const bool space = c == ' ' || c == '\n' || c == '\t' || c == '\f';
        if (!space)
            single += c;
        else if (!single.empty() && single.back() != ' ')
            single += ' ';
    }
    return single;
}

// Karvel on the simulator's COM1 with the row's options and `args`; its ticket numbers are kept
// in `state`.
std::unique_ptr<Child> StartKarvel(const FamilyRow& row, const std::vector<std::string>& args,
                                   const testing_support::TempDir& state) {
    const testing_support::ScopedEnv stateHome("XDG_STATE_HOME", state.Path().string());
    std::vector<std::string> argv = {KARVEL_BINARY, "--port", "COM1"};
    argv.insert(argv.end(), row.program.begin(), row.program.end());
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<Child>(argv);
}

class PanelProgram : public SimulatedScale {
  protected:
    testing_support::ScopedEnv m_portDir{"KARVEL_PORT_DIR", m_ports.Path()};
    testing_support::TempDir m_dir;
};

TEST_P(PanelProgram, TheLogTicketAndBrokerShowTheValueAndUnit) {
    readtest::Broker broker;
    ASSERT_TRUE(broker.Start());
    readtest::Subscriber subscriber(broker.Port(), "#");
    const std::string log = m_dir / "weighings.csv", ticket = m_dir / "ticket.pdf";
    const std::string id = "panel-" + Row().name;
    auto panel = StartKarvel(Row(),
                             {"--log", log, "--print-preview", ticket, "--id", id, "--mqtt",
                              broker.Url(), "--mqtt-discovery"},
                             m_dir);
    const std::string& t = Row().text;
    const std::string& u = Row().unit;
    EXPECT_TRUE(testing_support::WaitForFile(log, [&](const std::string& csv) {
        return Holds(csv, ",COM1,");
    })) << panel->Errors();
    EXPECT_TRUE(Holds(testing_support::ReadFile(log), "," + t + "," + t + "," + u + ","))
        << testing_support::ReadFile(log);
    // "Weight", or "Gross" when the scale says so.
    std::string said;
    EXPECT_TRUE(testing_support::WaitFor([&] {
        return Holds(said = PdfText(ticket, m_dir.Path()), " " + t + " " + u);
    })) << said;
    ExpectStateAndDiscovery(subscriber, id, Row(), *panel);
}

// The panel takes the focus when it shows (no window manager), so typing waits; the form takes
// it next, and the readings after that are typed.
TEST_P(PanelProgram, TypingGivesTheFormatsTextToTheFocusedForm) {
    const TypingDesk desk;
    if (!desk.Up())
        GTEST_SKIP() << desk.Why();
    const testing_support::ScopedEnv platform("QT_QPA_PLATFORM", "xcb");
    auto panel = StartKarvel(Row(),
                             {"--capture", "every", "--type", "--type-via", "x11", "--type-format",
                              "{value}{tab}{unit}{enter}"},
                             m_dir);
    ASSERT_TRUE(panel->WaitForError("typing paused: a Karvel window has the focus"))
        << panel->Errors();
    auto form = desk.StartForm();
    EXPECT_EQ(form->ReadLine(), Row().text + "\t" + Row().unit) << panel->Errors();
}

class PanelWindow : public SimulatedScale {
  protected:
    void TearDown() override { h.panel.reset(); }  // lets the port go before the scale goes

    // The row's family as the panel is told it: none for the described scan.
    void TellFamily() {
        const std::vector<std::string>& options = Row().program;
        if (options.empty())
            return;
        scale_link::FamilyLink::Choice choice;
        choice.family = scale::families::Find(options[1]);
        if (options.size() > 3)
            choice.pattern = options[3];
        h.panel->SetFamily(choice);
    }

    apptest::PanelHarness h{m_ports.Ports()};
};

TEST_P(PanelWindow, TheReadingsWindowAndItsSpreadsheetShowTheValueAndUnit) {
    TellFamily();
    h.Start();
    ASSERT_EQ(h.panel->Port(), 1);
    ReadingsCompanion companion(*h.panel, RecordOptions{}, nullptr);
    companion.ShowWindow();
    ReadingsWindow& window = *companion.Window();
    QAbstractItemModel& rows = *window.Table().model();
    ASSERT_TRUE(testing_support::PumpUntil(
        [&] {
            window.Refresh();
            return rows.rowCount() >= 1;
        },
        readtest::kPatience));
    const auto shown = [&](int column) {
        return rows.index(0, column).data().toString().toStdString();
    };
    EXPECT_EQ(shown(ReadingsModel::kReading), Row().text);
    EXPECT_EQ(shown(ReadingsModel::kUnit), Row().unit);
    EXPECT_TRUE(Holds(shown(ReadingsModel::kIndicators), "stable"))
        << shown(ReadingsModel::kIndicators);
    const std::string sum = "1 reading in " + Row().unit + ": sum " + Row().text + " " + Row().unit;
    EXPECT_TRUE(window.StatisticsShown().toStdString().starts_with(sum))
        << window.StatisticsShown().toStdString();

    QTemporaryDir dir;
    const QString path = dir.filePath("readings.xlsx");
    QString error;
    ASSERT_TRUE(window.ExportSheet(path, false, &error)) << error.toStdString();
    const auto cells =
        testing_support::SheetCells(testing_support::FirstSheetXml(path.toStdString()));
    const auto cell = [&cells](const char* ref) { return testing_support::CellOf(cells, ref); };
    EXPECT_EQ(cell("B2"), "COM1");
    EXPECT_EQ(cell("D2"), Row().text);
    EXPECT_EQ(Number(cell("E2")), Number(Row().text)) << cell("E2");
    EXPECT_EQ(cell("F2"), Row().unit);
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, PanelProgram, testing::ValuesIn(Families()), RowName);
INSTANTIATE_TEST_SUITE_P(EveryFamily, PanelWindow, testing::ValuesIn(Families()), RowName);

}  // namespace
}  // namespace pipelinetest
