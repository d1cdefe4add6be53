// karvel-read with every family, one simulated scale each: each of its sinks shows the family's
// value and unit (standard output in each form, the spreadsheet, the broker's state and
// discovery, and typing into a real X client).

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/pipeline/PipelineSupport.h"
#include "tests/read/ReadTestSupport.h"
#include "tests/support/Sheets.h"

namespace pipelinetest {
namespace {

using readtest::Child;

class ReaderSinks : public SimulatedScale {
  protected:
    // karvel-read on the simulator's COM1 with the row's options and `args`.
    std::unique_ptr<Child> Read(const std::vector<std::string>& args) const {
        std::vector<std::string> argv = {readtest::ReaderPath(), "--port", "COM1"};
        argv.insert(argv.end(), Row().program.begin(), Row().program.end());
        argv.insert(argv.end(), args.begin(), args.end());
        return std::make_unique<Child>(argv);
    }

    // One reading in `form`: its line on standard output.
    std::string OneLine(const std::string& form) const {
        auto reader =
            Read({"--capture", "every", "--count", "1", "--header", "never", "--format", form});
        const std::string line = reader->ReadLine().value_or("(none)");
        EXPECT_EQ(reader->Wait(), 0) << reader->Errors();
        return line;
    }

    testing_support::ScopedEnv m_portDir{"KARVEL_PORT_DIR", m_ports.Path()};
    readtest::TempDir m_dir;
};

TEST_P(ReaderSinks, EachOutputFormShowsTheValueAndUnit) {
    const std::string& t = Row().text;
    const std::string& u = Row().unit;
    // Text and value beside each other in the CSV's default columns, after port and device.
    const struct {
        const char* form;
        std::vector<std::string> holds;
    } forms[] = {
        {"jsonl", {JsonFields(Row())}},
        {"csv", {",COM1,", "," + t + "," + t + "," + u + ","}},
        {"text", {" COM1 " + t + " " + u + " "}},
    };
    for (const auto& f : forms) {
        const std::string line = OneLine(f.form);
        for (const std::string& part : f.holds)
            EXPECT_TRUE(Holds(line, part)) << f.form << ": " << line;
    }
}

TEST_P(ReaderSinks, TheSpreadsheetHoldsTheValueAsANumberAndTheUnit) {
    const std::string path = m_dir / "weighings.xlsx";
    auto reader =
        Read({"--capture", "every", "--count", "1", "--format", "xlsx", "--output", path});
    ASSERT_EQ(reader->Wait(), 0) << reader->Errors();
    const auto cells = testing_support::SheetCells(testing_support::FirstSheetXml(path));
    const auto cell = [&cells](const char* ref) { return testing_support::CellOf(cells, ref); };
    EXPECT_EQ(cell("B2"), "COM1");
    EXPECT_EQ(cell("D2"), Row().text);
    // A number keeps its value, not its figures: 12345.00 is written as 12345.
    EXPECT_EQ(Number(cell("E2")), Number(Row().text)) << cell("E2");
    EXPECT_EQ(cell("F2"), Row().unit);
}

TEST_P(ReaderSinks, TheBrokerGetsTheValueInTheStateAndTheUnitInDiscovery) {
    readtest::Broker broker;
    ASSERT_TRUE(broker.Start());
    readtest::Subscriber subscriber(broker.Port(), "#");
    const std::string id = "pipe-" + Row().name;
    auto reader = Read({"--capture", "settled", "--count", "1", "--id", id, "--mqtt", broker.Url(),
                        "--mqtt-discovery"});
    ASSERT_EQ(reader->Wait(), 0) << reader->Errors();
    ExpectStateAndDiscovery(subscriber, id, Row(), *reader);
}

TEST_P(ReaderSinks, TypingGivesTheFormatsTextToTheFocusedForm) {
    const TypingDesk desk;
    if (!desk.Up())
        GTEST_SKIP() << desk.Why();
    auto form = desk.StartForm();
    auto reader = Read({"--count", "1", "--type", "--type-via", "x11", "--type-format",
                        "{value}{tab}{unit}{enter}"});
    ASSERT_EQ(reader->Wait(), 0) << reader->Errors();
    EXPECT_EQ(form->ReadLine(), Row().text + "\t" + Row().unit) << form->Errors();
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, ReaderSinks, testing::ValuesIn(Families()), RowName);

}  // namespace
}  // namespace pipelinetest
