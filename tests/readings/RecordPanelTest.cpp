// The weighing record in the panel: the first of the capture point's sinks, so a later sink sees
// a weighing only once it is on the disk, and never one the record refused; the readings window
// lists each weighing with its seq and verifies the record; a ticket carries the seq.

#include <QAction>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/readings/PanelRecord.h"
#include "app/readings/ReadingsCompanion.h"
#include "app/readings/ReadingsModel.h"
#include "app/readings/ReadingsWindow.h"
#include "app/readings/Recorder.h"
#include "app/weighing/TicketSink.h"
#include "record/store/SqliteRecord.h"
#include "tests/app/PortsFixture.h"
#include "tests/record/SqlFile.h"
#include "tests/support/ChildProcess.h"
#include "tools/peers/TestFiles.h"

namespace readingstest {
namespace {

using record::store::Chain;
using record::store::SqliteRecord;

// A sink after the record's: what each weighing's seq was when it came, and whether the record
// on the disk held it by then.
struct LaterSink : record::ReadingSink {
    explicit LaterSink(std::string file) : path(std::move(file)) {}
    bool Take(const record::Captured& captured) override {
        seqs.push_back(captured.Record().value_or(0));
        onDisk.push_back(OnDisk(captured.Record().value_or(0)));
        return true;
    }
    bool OnDisk(std::uint64_t seq) const {
        const auto kept = SqliteRecord::Open(path, SqliteRecord::Mode::kRead);
        if (!kept)
            return false;
        const auto end = (*kept)->End(Chain::kWeighings, "bench-1");
        return end && end->seq == seq;
    }
    std::string path;
    std::vector<std::uint64_t> seqs;
    std::vector<bool> onDisk;
};

// A record whose every write fails, as a full disk's would.
struct RefusingRecord : record::store::WeighingRecord {
    posix::Result<record::store::ChainRow> Append(record::store::ChainRow) override {
        return posix::SystemError::Because("the disk is full");
    }
    posix::Status Insert(const record::store::ChainRow&) override { return posix::Success(); }
    posix::Result<record::store::ChainEnd> End(Chain, const std::string&) override {
        return record::store::ChainEnd{};
    }
    posix::Status Walk(Chain, const record::store::RowQuery&,
                       const std::function<bool(const record::store::ChainRow&)>&) override {
        return posix::Success();
    }
    bool Created() const override { return false; }
    std::string Where() const override { return "nowhere"; }
};

class RecordedPanel : public apptest::PortsFixture {
  protected:
    void SetUp() override {
        Add(1, Role::Scale);
        h.Start();
        ASSERT_EQ(h.panel->Port(), 1);
    }

    // The panel with `kept` as its record, then the capture point (by every frame) and `later`.
    void StartRecording(std::unique_ptr<record::store::WeighingRecord> kept) {
        PanelRecord::Setup setup;
        setup.identity = {"ann", "Karvel test"};
        setup.scaleId = [](int) { return std::string("bench-1"); };
        setup.openToRead =
            [path = Path()]() -> posix::Result<std::unique_ptr<record::store::WeighingRecord>> {
            auto opened = SqliteRecord::Open(path, SqliteRecord::Mode::kRead);
            if (!opened)
                return opened.Error();
            return std::unique_ptr<record::store::WeighingRecord>(std::move(*opened));
        };
        auto panelRecord = std::make_unique<PanelRecord>(*h.panel, std::move(kept), setup);
        RecordOptions every;
        every.rule = record::CaptureRule::kEvery;
        companion = std::make_unique<ReadingsCompanion>(*h.panel, every, nullptr);
        companion->Capture().AddSink(std::make_unique<record::LentSink>(*panelRecord));
        companion->Capture().AddSink(std::make_unique<record::LentSink>(later));
        companion->KeepRecord(std::move(panelRecord));
    }
    void Weigh(std::uint8_t last) {
        h.Feed(testing_support::ScaleFrame({0, 0, 0, 1, 2, 3, 4, 5, last}));
    }
    std::string Path() const { return dir / "weighings.sqlite"; }
    // The box the window's "Verify record..." shows.
    const MessageBoxRequest& Verified() {
        const QList<QAction*> items = companion->Window()->actions();
        EXPECT_EQ(items.size(), 1);
        items.front()->trigger();
        return h.boxes.back().request;
    }

    testing_support::TempDir dir;
    LaterSink later{Path()};
    std::unique_ptr<ReadingsCompanion> companion;
};

TEST_F(RecordedPanel, EachWeighingIsOnTheDiskBeforeLaterSinksAndListedWithItsSeq) {
    auto kept = SqliteRecord::Open(Path(), SqliteRecord::Mode::kWrite);
    ASSERT_TRUE(kept);
    StartRecording(std::move(*kept));
    for (std::uint8_t i = 1; i <= 3; ++i)
        Weigh(i);
    EXPECT_EQ(later.seqs, (std::vector<std::uint64_t>{1, 2, 3}));
    EXPECT_EQ(later.onDisk, (std::vector<bool>{true, true, true}));

    // Opened after the weighings: it lists them all the same.
    companion->ShowWindow();
    ReadingsWindow& window = *companion->Window();
    window.Refresh();
    ReadingsModel& rows = static_cast<ReadingsModel&>(*window.Table().model());
    rows.Publish();
    EXPECT_FALSE(window.Table().isColumnHidden(ReadingsModel::kRecord));
    ASSERT_EQ(rows.rowCount(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(rows.index(row, ReadingsModel::kRecord).data().toString(),
                  QString::number(row + 1));

    const MessageBoxRequest& intact = Verified();
    EXPECT_EQ(intact.icon, QMessageBox::Information);
    EXPECT_EQ(intact.text.toStdString(), "3 weighings, 1 events, 1 scales: intact");

    ASSERT_EQ(recordtest::RunSql(Path(),
                                 "DROP TRIGGER weighings_never_changed; UPDATE weighings "
                                 "SET value = '7' WHERE seq = 2"),
              "");
    const MessageBoxRequest& broken = Verified();
    EXPECT_EQ(broken.icon, QMessageBox::Warning);
    EXPECT_EQ(broken.text.toStdString(), "3 weighings, 1 events, 1 scales: broken");
    EXPECT_EQ(broken.detail.toStdString(),
              "weighings of scale 'bench-1', seq 2: its fields do not give its hash (the row was "
              "changed)");
}

TEST_F(RecordedPanel, AWeighingTheRecordRefusesGoesToNoOtherSinkAndIsSaid) {
    StartRecording(std::make_unique<RefusingRecord>());
    Weigh(1);
    EXPECT_TRUE(later.seqs.empty());
    EXPECT_TRUE(h.panel->StatusLine().toolTip().contains("the disk is full"))
        << h.panel->StatusLine().toolTip().toStdString();
}

// A ticket's number: the record's seq when the weighing has one, reprints too; else the counter.
TEST(RecordTicket, NumbersATicketByItsSeqWhenTheWeighingHasOne) {
    testing_support::TempDir dir;
    const std::string preview = dir / "ticket.pdf";
    record::WeighingOptions options;
    options.preview = preview;
    TicketSink tickets({options, dir.Path().string(), nullptr, [] { return std::string("b"); },
                        [](const QString& said) { ADD_FAILURE() << said.toStdString(); }});
    const scale::FrameBytes bytes{};
    const record::CapturedReading reading =
        record::CaptureOf({bytes, scale::SlotsOf(bytes), std::chrono::system_clock::now(), {}}, 1,
                          "/dev/ttyS0", record::CaptureRule::kEvery);
    const struct {
        std::optional<std::uint64_t> seq;
        const char* number;
    } cases[] = {{42, "Ticket 000042"},
                 {std::nullopt, "Ticket 000001"},
                 {42, "Ticket 000042"},
                 {std::nullopt, "Ticket 000002"}};
    for (const auto& c : cases) {
        tickets.Print(reading, false, c.seq);
        const auto text =
            testing_support::RunProgram("/usr/bin/pdftotext", {preview, "-"}, dir.Path().string());
        EXPECT_NE(text.out.find(c.number), std::string::npos) << c.number << "\n" << text.out;
    }
}

}  // namespace
}  // namespace readingstest
