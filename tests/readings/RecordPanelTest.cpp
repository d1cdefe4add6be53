// The weighing record in the panel: the first of the capture point's sinks, so a later sink sees
// a weighing only once it is on the disk, and never one the record refused; the readings window
// lists each weighing with its seq and verifies the record; a ticket carries the seq.

#include <QAction>
#include <QProcess>
#include <QTimer>

#include <signal.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "app/readings/PanelRecord.h"
#include "app/readings/ReadingsCompanion.h"
#include "app/readings/ReadingsModel.h"
#include "app/readings/ReadingsWindow.h"
#include "app/readings/Recorder.h"
#include "app/weighing/TicketSink.h"
#include "platform/serial/PseudoTerminal.h"
#include "record/store/OpenRecord.h"
#include "record/store/PostgresRecord.h"
#include "record/store/RecordOptions.h"
#include "record/store/SqliteRecord.h"
#include "record/store/Verify.h"
#include "tests/app/PortsFixture.h"
#include "tests/readings/CaptureScript.h"
#include "tests/record/SqlFile.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/WaitFor.h"
#include "tools/peers/PgCluster.h"
#include "tools/peers/PortDirectory.h"
#include "tools/peers/ReaderPeers.h"
#include "tools/peers/TestFiles.h"

namespace readingstest {
namespace {

using record::store::Chain;
using record::store::SqliteRecord;

// The last seq of scale bench-1 in the record at `path`; 0 when it has none or cannot be read.
std::uint64_t KeptSeq(const std::string& path) {
    const auto kept = SqliteRecord::Open(path, SqliteRecord::Mode::kRead);
    if (!kept)
        return 0;
    const auto end = (*kept)->End(Chain::kWeighings, "bench-1");
    return end ? end->seq : 0;
}

// Each event of the record at `path` as "KIND: FIELD", the field named `second`.
std::vector<std::string> EventsOf(const std::string& path, const char* second) {
    std::vector<std::string> events;
    const auto kept = SqliteRecord::Open(path, SqliteRecord::Mode::kRead);
    if (!kept) {
        ADD_FAILURE() << kept.Error().Describe();
        return events;
    }
    const posix::Status walked =
        (*kept)->Walk(Chain::kEvents, {}, [&](const record::store::ChainRow& row) {
            events.push_back(row.Field("kind") + ": " + row.Field(second));
            return true;
        });
    EXPECT_TRUE(walked);
    return events;
}

// The rows of `chain` in a record, by scale and seq; none when it cannot be read.
std::vector<record::store::ChainRow> RowsOf(record::store::WeighingRecord& kept, Chain chain) {
    std::vector<record::store::ChainRow> rows;
    EXPECT_TRUE(kept.Walk(chain, {}, [&rows](const record::store::ChainRow& row) {
        rows.push_back(row);
        return true;
    }));
    return rows;
}

// The database of `cluster`, opened to read; null when it cannot be reached.
std::unique_ptr<record::store::PostgresRecord> Database(const recordtest::PgCluster& cluster) {
    auto opened = record::store::PostgresRecord::Open(cluster.Url(), {});
    return opened ? std::move(*opened) : nullptr;
}

// The last seq of bench-1 in the database; 0 when it has none or cannot be reached.
std::uint64_t DatabaseSeq(const recordtest::PgCluster& cluster) {
    const auto kept = Database(cluster);
    const auto end = kept ? kept->End(Chain::kWeighings, "bench-1")
                          : posix::Result<record::store::ChainEnd>(record::store::ChainEnd{});
    return end ? end->seq : 0;
}

// A sink after the record's: what each weighing's seq was when it came, and whether the record
// on the disk held it by then.
struct LaterSink : record::ReadingSink {
    explicit LaterSink(std::string file) : path(std::move(file)) {}
    bool Take(const record::Captured& captured) override {
        seqs.push_back(captured.Record().value_or(0));
        onDisk.push_back(captured.Record() && KeptSeq(path) == *captured.Record());
        return true;
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

// A database that is away: rows wait in its spool, as many as `waiting` says.
struct AwayRecord : RefusingRecord {
    explicit AwayRecord(const std::uint64_t& count) : waiting(count) {}
    std::uint64_t Flush() override { return waiting; }
    const std::uint64_t& waiting;
};

class RecordedPanel : public apptest::PortsFixture {
  protected:
    void SetUp() override {
        Add(1, Role::Scale);
        h.Start();
        ASSERT_EQ(h.panel->Port(), 1);
    }

    // The panel with `kept` as its record, then the capture point (by every frame) and `later`.
    // `before`: called before each check opens the record to read, on the check's thread.
    void StartRecording(
        std::unique_ptr<record::store::WeighingRecord> kept, std::function<void()> before = [] {}) {
        PanelRecord::Setup setup;
        setup.identity = {"ann", "Karvel test"};
        setup.scaleId = [](int) { return std::string("bench-1"); };
        setup.openToRead =
            [path = Path(),
             before]() -> posix::Result<std::unique_ptr<record::store::WeighingRecord>> {
            before();
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
        recordSink = panelRecord.get();
        companion->KeepRecord(std::move(panelRecord));
    }
    void Weigh(std::uint8_t last) {
        h.Feed(testing_support::ScaleFrame({0, 0, 0, 1, 2, 3, 4, 5, last}));
    }
    std::string Path() const { return dir / "weighings.sqlite"; }
    // The box the window's "Verify record..." shows once the check is done.
    const MessageBoxRequest& Verified() {
        const QList<QAction*> items = companion->Window()->actions();
        EXPECT_EQ(items.size(), 1);
        const std::size_t shown = h.boxes.size();
        items.front()->trigger();
        static const MessageBoxRequest kNone;
        const bool done = testing_support::PumpUntil([&] { return h.boxes.size() > shown; });
        EXPECT_TRUE(done);
        return done ? h.boxes.back().request : kNone;
    }

    testing_support::TempDir dir;
    LaterSink later{Path()};
    std::unique_ptr<ReadingsCompanion> companion;
    PanelRecord* recordSink = nullptr;  // the companion's
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

    // A key sent from the panel changes what the weighings after it mean.
    h.panel->OnKeyTareDblClk();
    const MessageBoxRequest& intact = Verified();
    EXPECT_EQ(intact.icon, QMessageBox::Information);
    EXPECT_EQ(intact.text.toStdString(), "3 weighings, 2 events, 1 scales: intact");
    const std::vector<std::string> events = EventsOf(Path(), "detail");
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events[0].starts_with("start: reading COM1")) << events[0];
    EXPECT_EQ(events[1], "key: TARE double");

    ASSERT_EQ(recordtest::RunSql(Path(),
                                 "DROP TRIGGER weighings_never_changed; UPDATE weighings "
                                 "SET value = '7' WHERE seq = 2"),
              "");
    const MessageBoxRequest& broken = Verified();
    EXPECT_EQ(broken.icon, QMessageBox::Warning);
    EXPECT_EQ(broken.text.toStdString(), "3 weighings, 2 events, 1 scales: broken");
    EXPECT_EQ(broken.detail.toStdString(),
              "weighings of scale 'bench-1', seq 2: its fields do not give its hash (the row was "
              "changed)");
}

// The check walks the record on a thread of its own: while it is held up the panel takes and
// keeps weighings; the item is off until its box shows, and one walk runs at a time.
TEST_F(RecordedPanel, VerifyingLeavesTheWindowLiveAndRunsOneCheckAtATime) {
    auto kept = SqliteRecord::Open(Path(), SqliteRecord::Mode::kWrite);
    ASSERT_TRUE(kept);
    std::promise<void> go;
    const std::shared_future<void> gone = go.get_future().share();
    std::atomic<int> opens = 0;
    StartRecording(std::move(*kept), [gone, &opens] {
        ++opens;
        gone.wait_for(std::chrono::seconds(30));
    });
    Weigh(1);
    companion->ShowWindow();
    QAction& verify = *companion->Window()->actions().front();
    const std::size_t shown = h.boxes.size();
    verify.trigger();
    EXPECT_FALSE(verify.isEnabled());
    companion->VerifyRecord();
    Weigh(2);
    EXPECT_EQ(later.seqs, (std::vector<std::uint64_t>{1, 2}));
    EXPECT_EQ(h.boxes.size(), shown);

    go.set_value();
    ASSERT_TRUE(testing_support::PumpUntil([&] { return h.boxes.size() > shown; }));
    EXPECT_EQ(h.boxes.back().request.text.toStdString(), "2 weighings, 1 events, 1 scales: intact");
    EXPECT_TRUE(verify.isEnabled());
    EXPECT_EQ(opens, 1);
}

TEST_F(RecordedPanel, AWeighingTheRecordRefusesGoesToNoOtherSinkAndIsSaid) {
    StartRecording(std::make_unique<RefusingRecord>());
    Weigh(1);
    EXPECT_TRUE(later.seqs.empty());
    EXPECT_TRUE(h.panel->StatusLine().toolTip().contains("the disk is full"))
        << h.panel->StatusLine().toolTip().toStdString();
}

TEST_F(RecordedPanel, TheTooltipsSayHowManyRowsWaitForTheDatabaseWhileAny) {
    std::uint64_t waiting = 0;
    StartRecording(std::make_unique<AwayRecord>(waiting));
    const auto said = [this] {
        return (h.panel->StatusLine().toolTip() + "|" + h.panel->Lamp().toolTip()).toStdString();
    };
    for (const std::uint64_t count : {3, 1200, 0}) {
        waiting = count;
        EXPECT_EQ(recordSink->Flush(), count);
        const std::string told = QString("%L1 weighings and events wait").arg(count).toStdString();
        EXPECT_EQ(said().find(told) != std::string::npos, count != 0) << said();
        EXPECT_EQ(said().find("wait") != std::string::npos, count != 0) << said();
    }
}

// The panel before a real PostgreSQL that goes away: weighings wait in the spool while it is
// stopped, the tooltips say how many, and they go out in order, the chain intact, once it is
// started again.
TEST_F(RecordedPanel, WeighingsWaitForAStoppedDatabaseAndGoOutInOrderOnceItIsBack) {
    recordtest::PgCluster cluster;
    ASSERT_EQ(cluster.Why(), "");
    const auto place = record::store::PlaceOf(cluster.Url(), {});
    ASSERT_TRUE(place);
    const std::string spool = dir / "spool.sqlite";
    auto kept = record::store::OpenRecord(
        *place, {.writing = true, .spool = spool, .say = [](const std::string&) {}});
    ASSERT_TRUE(kept) << kept.Error().Describe();
    StartRecording(std::move(*kept));
    for (std::uint8_t i = 1; i <= 3; ++i)
        Weigh(i);
    EXPECT_EQ(DatabaseSeq(cluster), 3u);

    ASSERT_TRUE(cluster.Stop());
    for (std::uint8_t i = 4; i <= 5; ++i)
        Weigh(i);
    EXPECT_EQ(later.seqs, (std::vector<std::uint64_t>{1, 2, 3, 4, 5}));
    const auto tip = [this] { return h.panel->StatusLine().toolTip().toStdString(); };
    EXPECT_TRUE(testing_support::PumpUntil([&] {
        return tip().find("2 weighings and events wait") != std::string::npos;
    })) << tip();

    ASSERT_TRUE(cluster.Start()) << cluster.Why();
    EXPECT_TRUE(testing_support::PumpUntil([&] { return tip().find("wait") == std::string::npos; },
                                           std::chrono::seconds(30)))
        << tip();
    const auto database = Database(cluster);
    ASSERT_TRUE(database);
    const auto verdict = record::store::Verify(*database);
    ASSERT_TRUE(verdict);
    EXPECT_EQ(record::store::Summary(*verdict), "5 weighings, 1 events, 1 scales: intact");
    // Each row as the spool linked it, in the order it was weighed.
    const auto spooled = SqliteRecord::Open(spool, SqliteRecord::Mode::kRead);
    ASSERT_TRUE(spooled);
    EXPECT_EQ(RowsOf(*database, Chain::kWeighings), RowsOf(**spooled, Chain::kWeighings));
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

// A PDF's text.
std::string PdfText(const std::string& path, const std::string& scratch) {
    return testing_support::RunProgram("/usr/bin/pdftotext", {path, "-"}, scratch).out;
}

// The program as a user runs it: the record is made, every weighing's ticket has its seq, and
// the rows name the build --version prints.
TEST(RecordProgram, TicketsCarryTheSeqAndRowsTheBuildVersionPrints) {
    testing_support::TempDir dir;
    auto pty = serial_port::PseudoTerminal::Create();
    ASSERT_TRUE(pty);
    testing_support::PortDirectory ports;
    ports.Map(1, pty->DevicePath());
    const std::string path = dir / "w.sqlite", ticket = dir / "ticket.pdf";
    // The counter of tickets without a record is far ahead: a ticket numbered by it shows.
    std::filesystem::create_directories(dir / "state/karvel");
    std::ofstream(dir / "state/karvel/tickets-bench-1.seq") << "500\n";
    QProcess karvel;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KARVEL_PORT_DIR", QString::fromStdString(ports.Path()));
    env.insert("XDG_STATE_HOME", QString::fromStdString(dir / "state"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    karvel.setProcessEnvironment(env);
    karvel.start(KARVEL_BINARY, {"--port", "COM1", "--capture", "every", "--id", "bench-1",
                                 "--record", QString::fromStdString("sqlite:" + path),
                                 "--print-preview", QString::fromStdString(ticket)});
    ASSERT_TRUE(karvel.waitForStarted());
    const auto kept = [&path] { return KeptSeq(path); };
    // Frames until three weighings are kept; then the last one's ticket is printed last.
    QTimer again;
    QObject::connect(&again, &QTimer::timeout, [&] { pty->Write(FrameOf(kPrelude)); });
    again.start(100);
    ASSERT_TRUE(testing_support::PumpUntil([&] { return kept() >= 3; }, std::chrono::seconds(30)))
        << karvel.readAllStandardError().toStdString();
    again.stop();
    char number[32];
    ASSERT_TRUE(testing_support::WaitFor(
        [&] {
            std::snprintf(number, sizeof number, "Ticket %06llu",
                          static_cast<unsigned long long>(kept()));
            return PdfText(ticket, dir.Path().string()).find(number) != std::string::npos;
        },
        std::chrono::seconds(30)))
        << PdfText(ticket, dir.Path().string());
    karvel.terminate();
    ASSERT_TRUE(karvel.waitForFinished());

    QProcess version;
    version.start(KARVEL_BINARY, {"--version"});
    ASSERT_TRUE(version.waitForFinished());
    const QStringList lines =
        QString(version.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_TRUE(lines.last().startsWith("Build ")) << lines.join('\n').toStdString();
    const std::string software = (lines.first() + " build " + lines.last().mid(6)).toStdString();
    EXPECT_EQ(EventsOf(path, "software"),
              (std::vector<std::string>{"start: " + software, "stop: " + software}));
}

// The seq a JSON object or a CSV record ends with; 0 when it has none.
std::uint64_t SeqOf(const std::string& line, const char* before) {
    const std::size_t at = line.rfind(before);
    return at == std::string::npos ? 0 : std::stoull(line.substr(at + std::strlen(before)));
}

// 1..n.
std::vector<std::uint64_t> Seqs(std::uint64_t n) {
    std::vector<std::uint64_t> all(n);
    std::iota(all.begin(), all.end(), 1);
    return all;
}

// Karvel on COM1, a pseudo-terminal of the test's, taking every frame as scale bench-1 with
// `more`; its state (a database's spool) in `state`.
class RecordingKarvel {
  public:
    RecordingKarvel(const std::string& state, const std::vector<std::string>& more)
        : m_pty(serial_port::PseudoTerminal::Create()) {
        EXPECT_TRUE(m_pty);
        m_ports.Map(1, m_pty->DevicePath());
        const testing_support::ScopedEnv stateHome("XDG_STATE_HOME", state);
        const testing_support::ScopedEnv portDir("KARVEL_PORT_DIR", m_ports.Path());
        const testing_support::ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
        std::vector<std::string> argv = {KARVEL_BINARY, "--port", "COM1",   "--capture",
                                         "every",       "--id",   "bench-1"};
        argv.insert(argv.end(), more.begin(), more.end());
        m_karvel = std::make_unique<readtest::Child>(argv);
    }
    // Sends a weighing every 100 ms until `done` holds; false when it did not in time.
    bool WeighUntil(const std::function<bool()>& done) {
        QTimer again;
        QObject::connect(&again, &QTimer::timeout, [this] { m_pty->Write(FrameOf(kPrelude)); });
        again.start(100);
        return testing_support::PumpUntil(done, std::chrono::seconds(30));
    }
    readtest::Child& Program() { return *m_karvel; }
    // Ends it as a user's termination request does; its exit status (128 + SIGTERM when it ends
    // as the signal would have ended it).
    std::optional<int> End() {
        m_karvel->Signal(SIGTERM);
        return m_karvel->Wait();
    }

  private:
    std::optional<serial_port::PseudoTerminal> m_pty;
    testing_support::PortDirectory m_ports;
    std::unique_ptr<readtest::Child> m_karvel;
};

// What the record kept is what the log and the broker show: each weighing with its seq, the
// log's header naming the column.
TEST(RecordProgram, TheLogAndTheBrokerCarryEachWeighingsSeq) {
    readtest::Broker broker;
    ASSERT_TRUE(broker.Start());
    readtest::Subscriber subscriber(broker.Port(), "#");
    testing_support::TempDir dir;
    const std::string path = dir / "w.sqlite", log = dir / "w.csv";
    RecordingKarvel karvel(dir / "state",
                           {"--record", "sqlite:" + path, "--log", log, "--mqtt", broker.Url()});
    ASSERT_TRUE(karvel.WeighUntil([&path] { return KeptSeq(path) >= 3; }))
        << karvel.Program().Errors();
    EXPECT_EQ(karvel.End(), 128 + SIGTERM) << karvel.Program().Errors();
    const std::uint64_t kept = KeptSeq(path);

    const std::string csv = testing_support::ReadFile(log);
    EXPECT_TRUE(csv.starts_with(record::CsvHeader().substr(0, record::CsvHeader().size() - 2) +
                                ",record\r\n"))
        << csv;
    std::vector<std::uint64_t> logged;
    for (std::size_t at = csv.find("\r\n"); at + 2 < csv.size(); at = csv.find("\r\n", at + 2))
        logged.push_back(SeqOf(csv.substr(at, csv.find("\r\n", at + 2) - at), ",every,"));
    EXPECT_EQ(logged, Seqs(kept)) << csv;

    const auto published = [](const std::vector<readtest::Message>& all, const char* leaf) {
        std::vector<std::uint64_t> seqs;
        for (const std::string& json :
             readtest::PayloadsOn(all, std::string("karvel/bench-1/") + leaf))
            seqs.push_back(SeqOf(json, ",\"record\":"));
        return seqs;
    };
    EXPECT_TRUE(subscriber.WaitFor([&](const std::vector<readtest::Message>& all) {
        return published(all, "reading").size() >= kept;
    }));
    const std::vector<readtest::Message> all = subscriber.Messages();
    EXPECT_EQ(published(all, "reading"), Seqs(kept));
    ASSERT_FALSE(published(all, "state").empty());
    EXPECT_EQ(published(all, "state").back(), kept);
}

// A log begun without the record's column is refused with --record, before the record is opened:
// rows of two shapes in one file would be misread.
TEST(RecordProgram, ALogBegunWithoutTheRecordColumnIsRefused) {
    testing_support::TempDir dir;
    const std::string log = dir / "w.csv", path = dir / "w.sqlite";
    testing_support::WriteFile(log, record::CsvHeader());
    const testing_support::ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
    readtest::Child karvel({KARVEL_BINARY, "--log", log, "--record", "sqlite:" + path});
    EXPECT_EQ(karvel.Wait(), 2);
    EXPECT_NE(karvel.Errors().find("--record write; give another file"), std::string::npos)
        << karvel.Errors();
    EXPECT_EQ(testing_support::ReadFile(log), record::CsvHeader());
    EXPECT_FALSE(std::filesystem::exists(path));
}

// A run that ends while weighings wait for the database ends with 3 and says so; the next run
// sends them before anything of its own, though it weighs nothing.
TEST(RecordProgram, WeighingsLeftForTheDatabaseEndTheRunWith3AndGoFirstInTheNext) {
    recordtest::PgCluster cluster;
    ASSERT_EQ(cluster.Why(), "");
    testing_support::TempDir state;
    std::uint64_t weighed = 0;
    {
        RecordingKarvel karvel(state.Path(), {"--record", cluster.Url()});
        readtest::Child& program = karvel.Program();
        ASSERT_TRUE(karvel.WeighUntil([&cluster] { return DatabaseSeq(cluster) >= 2; }))
            << program.Errors();
        ASSERT_TRUE(cluster.Stop());
        ASSERT_TRUE(karvel.WeighUntil([&] {
            return program.Errors().find("weighings wait in the spool") != std::string::npos;
        }));
        EXPECT_EQ(karvel.End(), 3) << program.Errors();
        EXPECT_NE(program.Errors().find(" wait in the spool for the database; the next run sends "
                                        "them first"),
                  std::string::npos)
            << program.Errors();
        const auto spool = SqliteRecord::Open(
            record::store::SpoolPath(state.Path(), {}, cluster.Url()), SqliteRecord::Mode::kRead);
        ASSERT_TRUE(spool);
        weighed = (*spool)->End(Chain::kWeighings, "bench-1")->seq;
    }
    ASSERT_TRUE(cluster.Start()) << cluster.Why();
    RecordingKarvel next(state.Path(), {"--record", cluster.Url()});
    EXPECT_TRUE(testing_support::WaitFor([&] { return DatabaseSeq(cluster) == weighed; }))
        << next.Program().Errors();
    EXPECT_EQ(next.End(), 128 + SIGTERM) << next.Program().Errors();
    const auto database = Database(cluster);
    ASSERT_TRUE(database);
    const auto verdict = record::store::Verify(*database);
    ASSERT_TRUE(verdict);
    EXPECT_TRUE(verdict->breaks.empty()) << record::store::Summary(*verdict);
    EXPECT_EQ(verdict->weighings, weighed);
}

}  // namespace
}  // namespace readingstest
