// The journal files on their own: recovery after kills at the awkward moments, old plain buffer files,
// and a real full file system (a small tmpfs when the test may mount one).
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/buffer_file.hpp"
#include "engine/runtime/record_lock.hpp"
#include "engine/runtime/recorder.hpp"
#include "fake_db.hpp"
#include "file_size_limit.hpp"
#include "model/server.hpp"
#include "recording_reporter.hpp"
#include "test_db.hpp"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <thread>

namespace tagsink {
namespace {

using tagsink::db::testing::TempDir;

void WriteFile(const std::filesystem::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
}

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Statements(const Journal::Recovered& recovered) {
    std::vector<std::string> texts;
    for (const auto& entry : recovered.entries)
        texts.push_back(entry.statement);
    return texts;
}

TEST(Journal, AnOldPlainBufferFileIsReplayedWhole) {
    TempDir dir;
    WriteFile(dir / "sql.dat", "A\r\nB\nC"); // LF alone and no last line end, as a hand-written file may be
    Journal journal(dir / "sql.dat");
    Journal::Recovered recovered = journal.Open();
    EXPECT_TRUE(recovered.plain_file);
    EXPECT_EQ(Statements(recovered), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_TRUE(std::filesystem::exists(dir / "sql.dat.progress"));
    std::vector<std::uint64_t> ends;
    journal.Append({"D"}, ends);
    EXPECT_EQ(ReadFile(dir / "sql.dat"), "A\r\nB\nC\r\nD\r\n");
}

TEST(Journal, OnlyWhatFollowsTheMarkIsReplayedAndAHalfWrittenLineIsCut) {
    TempDir dir;
    {
        Journal journal(dir / "sql.dat");
        journal.Open();
        std::vector<std::uint64_t> ends;
        journal.Append({"A", "B", "C"}, ends);
        journal.Mark(ends[1], false);
    }
    {
        std::ofstream out(dir / "sql.dat", std::ios::binary | std::ios::app);
        out << "Insert Into T values(1"; // killed in the middle of an append
    }
    Journal journal(dir / "sql.dat");
    Journal::Recovered recovered = journal.Open();
    EXPECT_FALSE(recovered.plain_file);
    EXPECT_EQ(Statements(recovered), (std::vector<std::string>{"C"}));
    EXPECT_EQ(recovered.cut_bytes, 22u);
    EXPECT_EQ(ReadFile(dir / "sql.dat"), "A\r\nB\r\nC\r\n");
    EXPECT_EQ(PeekJournal(dir / "sql.dat").entries.size(), 1u);
}

TEST(Journal, WaitingCountsTheStatementsAfterTheMark) {
    TempDir dir;
    {
        Journal journal(dir / "sql.dat");
        journal.Open();
        EXPECT_EQ(journal.Waiting(), 0u);
        std::vector<std::uint64_t> first, second;
        journal.Append({"A", "B", "C"}, first);
        journal.Append({"D"}, second);
        EXPECT_EQ(journal.Waiting(), 4u);
        journal.Mark(first[1], false);
        EXPECT_EQ(journal.Waiting(), 2u);
        journal.Mark(first[2], false);
        EXPECT_EQ(journal.Waiting(), 1u);
        journal.Close();
        EXPECT_EQ(journal.Waiting(), 1u) << "the file is unchanged by closing";
    }
    Journal journal(dir / "sql.dat");
    journal.Open();
    EXPECT_EQ(journal.Waiting(), 1u);
    std::vector<std::uint64_t> ends;
    journal.Append({"E", "F"}, ends);
    EXPECT_EQ(journal.Waiting(), 3u);
    EXPECT_EQ(PeekJournal(dir / "sql.dat").entries.size(), 3u);
    journal.Mark(ends[1], false);
    EXPECT_EQ(journal.Waiting(), 0u);
    journal.Compact();
    EXPECT_EQ(journal.Waiting(), 0u);
}

TEST(Journal, CompactionStartsANewGenerationAndSurvivesAKillHalfWay) {
    TempDir dir;
    std::string key, generation;
    {
        Journal journal(dir / "sql.dat");
        journal.Open();
        std::vector<std::uint64_t> ends;
        journal.Append({"A", "B"}, ends);
        journal.Mark(ends[1], false);
        key = journal.Key();
        generation = journal.Generation();
        journal.Compact();
        EXPECT_FALSE(std::filesystem::exists(dir / "sql.dat"));
        EXPECT_EQ(journal.Key(), key) << "the key names the directory's journal for good";
        EXPECT_NE(journal.Generation(), generation);
        EXPECT_EQ(journal.Position(), 0u);
    }
    // A kill after sql.dat was removed and before the progress file was rewritten: the old mark points
    // past the end; nothing is replayed and a new generation starts.
    {
        Journal journal(dir / "sql.dat");
        journal.Open();
        std::vector<std::uint64_t> ends;
        journal.Append({"A", "B"}, ends);
        journal.Mark(ends[1], false);
        generation = journal.Generation();
    }
    std::filesystem::remove(dir / "sql.dat");
    Journal journal(dir / "sql.dat");
    EXPECT_TRUE(journal.Open().entries.empty());
    EXPECT_NE(journal.Generation(), generation);
    std::vector<std::uint64_t> ends;
    journal.Append({"C"}, ends);
    EXPECT_EQ(Statements(PeekJournal(dir / "sql.dat")), (std::vector<std::string>{"C"}));
}

TEST(Journal, AFailedFlushCutsTheFileBackToWhatWasOnDisk) {
    TempDir dir;
    Journal journal(dir / "sql.dat");
    journal.Open();
    std::vector<std::uint64_t> ends;
    journal.Append({"A"}, ends);
    int fault = EIO;
    std::string seen;
    journal.flush_fault = [&] {
        seen = ReadFile(dir / "sql.dat"); // written, not yet flushed
        return fault;
    };
    EXPECT_THROW(journal.Append({"B", "C"}, ends), BufferFileError);
    EXPECT_EQ(seen, "A\r\nB\r\nC\r\n");
    EXPECT_TRUE(ends.empty());
    EXPECT_EQ(journal.Size(), 3u);
    EXPECT_EQ(journal.Waiting(), 1u) << "only the flushed statement waits";
    EXPECT_EQ(ReadFile(dir / "sql.dat"), "A\r\n");
    fault = 0;
    journal.Append({"B", "C"}, ends);
    EXPECT_EQ(ends, (std::vector<std::uint64_t>{6, 9}));
    EXPECT_EQ(ReadFile(dir / "sql.dat"), "A\r\nB\r\nC\r\n") << "the retry writes the statements once";
    EXPECT_EQ(journal.Waiting(), 3u);
}

// The journal places statements before it writes them, so that they can execute while another thread
// writes and flushes their text. The places handed out are where the lines end up; a write that fails
// half way (here at a file size limit, after its first megabyte) is taken back whole, and the retry
// writes every statement once.
TEST(Journal, ReservedStatementsAreWrittenWhereTheyWerePlacedOrTakenBackWhole) {
    TempDir dir;
    Journal journal(dir / "sql.dat");
    journal.Open();
    std::vector<std::uint64_t> ends;
    journal.Append({"A"}, ends);
    std::vector<std::string> statements;
    for (int i = 0; i < 80000; ++i)
        statements.push_back(i % 1000 == 7
                                 ? "Insert Into T (S) values('line\nbreak " + std::to_string(i) + "')"
                                 : "Insert Into T (N) values(" + std::to_string(i) + ")");
    const Reservation reservation = journal.Reserve(statements.begin(), statements.end(), ends);
    ASSERT_EQ(ends.size(), statements.size());
    EXPECT_EQ(reservation.offset, 3u);
    EXPECT_EQ(journal.Size(), ends.back());
    EXPECT_EQ(journal.Waiting(), 80001u);
    ASSERT_GT(reservation.size, 2u << 20) << "more than one piece is written";

    std::error_code error;
    {
        const tagsink::testing::FileSizeLimit limit(3u << 19); // a megabyte and a half
        ASSERT_TRUE(limit.Set());
        std::thread writer([&] { error = journal.WriteReserved(reservation); });
        writer.join();
    }
    EXPECT_TRUE(error) << "the write past the limit fails";
    journal.CutBack(reservation.offset);
    EXPECT_EQ(ReadFile(dir / "sql.dat"), "A\r\n");
    EXPECT_EQ(journal.Size(), 3u);
    EXPECT_EQ(journal.Waiting(), 1u);

    const Reservation again = journal.Reserve(statements.begin(), statements.end(), ends);
    std::thread retry([&] {
        error = journal.WriteReserved(again);
        if (!error)
            error = journal.FlushWritten();
    });
    retry.join();
    ASSERT_FALSE(error) << error.message();
    journal.Close();
    const Journal::Recovered recovered = Journal(dir / "sql.dat").Open();
    ASSERT_EQ(recovered.entries.size(), statements.size() + 1);
    EXPECT_EQ(recovered.cut_bytes, 0u);
    for (std::size_t i = 0; i < statements.size(); ++i) {
        ASSERT_EQ(recovered.entries[i + 1].statement, statements[i]) << i;
        ASSERT_EQ(recovered.entries[i + 1].end, ends[i]) << i;
    }
}

// A file system of 64 KiB: the journal fills it while the database is away. Nothing acknowledged is lost,
// the fault is logged when it starts and when it ends, and the statements waiting in memory reach the
// database once it is back.
TEST(Journal, AFullFileSystemLosesNothingAcknowledged) {
    TempDir dir;
    const std::filesystem::path mount_point = dir / "small";
    std::filesystem::create_directory(mount_point);
    if (mount("tmpfs", mount_point.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (not root?); the disk-fault hook tests cover this";
    struct Unmount {
        std::filesystem::path path;
        ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount{mount_point};

    auto db = std::make_unique<tagsink::testing::FakeDb>();
    auto* fake = db.get();
    fake->reachable = false;
    TServer server(std::move(db));
    server.SetDBString("fake");
    ManualClock clock(1000);
    tagsink::testing::RecordingReporter reporter;
    RecorderStats stats;
    RecorderOptions options;
    options.buffer_file = mount_point / "sql.dat";
    options.reject_file = dir / "sql.rejected";
    options.first_reconnect_delay = std::chrono::milliseconds(0);
    options.longest_reconnect_delay = std::chrono::milliseconds(0);
    Recorder recorder(server, clock, reporter, stats, options);
    const std::string filler(200, 'x');
    int queued = 0;
    for (int pass = 0; pass < 100; ++pass) {
        for (int i = 0; i < 10; ++i, ++queued)
            QueueStatement(server, "Insert " + std::to_string(queued) + " " + filler);
        recorder.DoRecord();
        clock.Advance(50);
    }
    ASSERT_TRUE(stats.journal_failing.load()) << "1000 statements of 200 bytes do not fit into 64 KiB";
    const std::uint64_t on_disk = PeekJournal(options.buffer_file).entries.size();
    EXPECT_GT(on_disk, 100u);
    EXPECT_EQ(stats.journaled.load(), on_disk);
    EXPECT_EQ(server.OutList.size(), 1000u) << "the rest waits in memory";
    EXPECT_EQ(reporter.Texts("TServer.SaveOutList").size(), 1u) << "logged once, not on every pass";

    fake->reachable = true;
    for (int pass = 0; pass < 50 && stats.executed.load() < 1000; ++pass) {
        recorder.DoRecord();
        clock.Advance(6000);
    }
    if (stats.executed.load() != 1000u)
        for (auto& line : reporter.Lines())
            if (line.text.rfind("sql=", 0) != 0)
                std::printf("%s %s\n", line.operation.c_str(), line.text.c_str());
    EXPECT_EQ(stats.executed.load(), 1000u);
    auto executed = fake->Executed();
    ASSERT_EQ(executed.size(), 1000u);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(executed[static_cast<size_t>(i)], "Insert " + std::to_string(i) + " " + filler);
    EXPECT_EQ(reporter.Texts("TServer.SaveOutList").size(), 2u) << "and once when it ends";
    EXPECT_EQ(stats.lost.load(), 0u);
}

// A recorder's surroundings on a real SQLite file "<table>.db" holding `table` (id, n), with the journal
// "sql.dat" beside it. Each test makes the recorder itself, once it has set its options. Lambdas name its
// members (recording.conn), not a test's structured bindings: clang before 16 cannot capture those.
struct SqliteRecording {
    explicit SqliteRecording(const std::string& table)
        : conn(tagsink::db::testing::SqliteConnectionString(dir / (table + ".db"))),
          server(std::make_unique<db::OdbcConnection>()) {
        tagsink::db::testing::Exec(
            conn, {"create table " + table + " (id integer primary key autoincrement, n integer)"});
        server.SetDBString(conn);
        options.buffer_file = dir / "sql.dat";
    }

    TempDir dir;
    std::string conn;
    TServer server;
    ManualClock clock{1000};
    tagsink::testing::RecordingReporter reporter;
    RecorderStats stats;
    RecorderOptions options;
};

// The column n of every row of `table`, in the order the rows were inserted.
std::vector<std::string> Numbers(const std::string& conn, const std::string& table) {
    std::vector<std::string> out;
    for (auto& row : tagsink::db::testing::Query(conn, "select n from " + table + " order by id"))
        out.push_back(row[0]);
    return out;
}

// A batch on a real SQLite file with one statement the database refuses for good: the batch is rolled
// back and run again one by one, only that statement goes to the reject file, the others commit in order
// and the progress table holds the journal's position.
TEST(Journal, RefusedStatementInABatchIsFoundAndOnlyItIsPutAside) {
    SqliteRecording recording("B");
    auto& [dir, conn, server, clock, reporter, stats, options] = recording;
    Recorder recorder(server, clock, reporter, stats, options);
    for (int i = 0; i < 10; ++i)
        QueueStatement(server, i == 4 ? std::string("Insert Into B (n) valuez(4)")
                                      : "Insert Into B (n) values(" + std::to_string(i) + ")");
    recorder.DoRecord();
    EXPECT_EQ(Numbers(conn, "B"), (std::vector<std::string>{"0", "1", "2", "3", "5", "6", "7", "8", "9"}));
    EXPECT_EQ(stats.executed.load(), 9u);
    EXPECT_EQ(stats.rejected.load(), 1u);
    auto rejected = ReadBufferFile(dir / "sql.rejected").statements;
    ASSERT_EQ(rejected.size(), 2u);
    EXPECT_EQ(rejected[1], "Insert Into B (n) valuez(4)");
    EXPECT_NE(rejected[0].find("syntax error"), std::string::npos) << rejected[0];
    auto progress = tagsink::db::testing::Query(conn, "select committed_to from tagsink_journal");
    ASSERT_EQ(progress.size(), 1u);
    EXPECT_EQ(progress[0][0], "290")
        << "the end of the last statement (ten lines of 29 bytes) committed with it";
    EXPECT_FALSE(std::filesystem::exists(dir / "sql.dat"));
    EXPECT_EQ(stats.journaled.load(), 0u);
}

// The flush overlaps the execution: while it runs, the batch goes on past its size, and it commits once
// the flush is done. Switched off, nothing executes before the flush.
TEST(Journal, StatementsExecuteWhileTheJournalIsFlushed) {
    for (const bool overlap : {true, false}) {
        SCOPED_TRACE(overlap ? "overlapping" : "flush first");
        SqliteRecording recording(overlap ? "D" : "E");
        auto& [dir, conn, server, clock, reporter, stats, options] = recording;
        options.batch_size = 2;
        options.overlap_journal_flush = overlap;
        std::atomic<std::size_t> executed_while_flushing{0};
        options.journal_flush_fault = [&] {
            // Long enough for the ten statements of the pass to execute meanwhile, if they may.
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(overlap ? 5 : 1);
            while (std::chrono::steady_clock::now() < until &&
                   recording.reporter.Texts("TServer.DoRecord").size() < 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            executed_while_flushing = recording.reporter.Texts("TServer.DoRecord").size();
            return 0;
        };
        Recorder recorder(server, clock, reporter, stats, options);
        const std::string table = overlap ? "D" : "E";
        for (int i = 0; i < 10; ++i)
            QueueStatement(server, "Insert Into " + table + " (n) values(" + std::to_string(i) + ")");
        recorder.DoRecord();
        EXPECT_EQ(executed_while_flushing.load(), overlap ? 10u : 0u);
        EXPECT_EQ(Numbers(conn, table).size(), 10u);
        EXPECT_EQ(stats.executed.load(), 10u);
        auto progress = tagsink::db::testing::Query(conn, "select committed_to from tagsink_journal");
        ASSERT_EQ(progress.size(), 1u);
        EXPECT_EQ(progress[0][0], "290") << "the end of the last statement, committed with it";
        recorder.Finish();
    }
}

// No statement is committed before the journal's flush has succeeded. The flush is made slow and looks
// at the database meanwhile: nothing of the pass may be committed yet (a recorder that executed while
// flushing would have to hold its COMMIT), and the journal already holds the statements. A flush that
// fails commits nothing; the statements wait in memory and arrive once, in order, when the journal works
// again.
TEST(Journal, TheBatchCommitsOnlyAfterTheJournalIsOnDisk) {
    SqliteRecording recording("C");
    auto& [dir, conn, server, clock, reporter, stats, options] = recording;
    std::atomic<int> flushes{0};
    std::atomic<int> fault{0};
    std::atomic<long> rows_seen{-1};
    std::atomic<long> journaled_seen{-1};
    options.journal_flush_fault = [&] {
        ++flushes;
        // Time for a batch that runs meanwhile to execute (and, were it not held back, to commit).
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        rows_seen =
            std::stol(tagsink::db::testing::Query(recording.conn, "select count(*) from C").at(0).at(0));
        journaled_seen = static_cast<long>(PeekJournal(recording.dir / "sql.dat").entries.size());
        return fault.load();
    };
    Recorder recorder(server, clock, reporter, stats, options);
    auto queue = [&](int from, int count) {
        for (int i = from; i < from + count; ++i)
            QueueStatement(recording.server, "Insert Into C (n) values(" + std::to_string(i) + ")");
    };
    auto expected = [](int count) {
        std::vector<std::string> out;
        for (int i = 0; i < count; ++i)
            out.push_back(std::to_string(i));
        return out;
    };

    queue(0, 10);
    recorder.DoRecord();
    EXPECT_EQ(flushes.load(), 1);
    EXPECT_EQ(rows_seen.load(), 0) << "a row was committed before the journal was on disk";
    EXPECT_EQ(journaled_seen.load(), 10) << "the journal holds the batch while it is flushed";
    EXPECT_EQ(Numbers(conn, "C"), expected(10));
    EXPECT_EQ(stats.executed.load(), 10u);
    EXPECT_EQ(stats.spilled.load(), 10u);

    fault = EIO;
    queue(10, 5);
    recorder.DoRecord();
    EXPECT_EQ(flushes.load(), 2);
    EXPECT_EQ(rows_seen.load(), 10) << "the batch was not committed while the flush ran";
    EXPECT_EQ(Numbers(conn, "C"), expected(10)) << "nothing of the failed flush was committed";
    EXPECT_TRUE(stats.journal_failing.load());
    EXPECT_EQ(server.OutList.size(), 5u) << "the statements wait in memory";
    EXPECT_EQ(stats.journaled.load(), 0u);
    EXPECT_EQ(PeekJournal(dir / "sql.dat").entries.size(), 0u) << "the journal is cut back";
    ASSERT_EQ(reporter.Texts("TServer.SaveOutList").size(), 1u);
    EXPECT_NE(reporter.Texts("TServer.SaveOutList")[0].find("Input/output error"), std::string::npos)
        << reporter.Texts("TServer.SaveOutList")[0];

    fault = 0;
    clock.Advance(10000);
    queue(15, 5);
    recorder.DoRecord();
    EXPECT_FALSE(stats.journal_failing.load());
    EXPECT_EQ(Numbers(conn, "C"), expected(20)) << "every statement once, in order";
    EXPECT_EQ(stats.executed.load(), 20u);
    EXPECT_EQ(stats.lost.load(), 0u);
    recorder.Finish();
    EXPECT_EQ(Numbers(conn, "C"), expected(20));
    EXPECT_EQ(stats.journaled.load(), 0u);
}

} // namespace
} // namespace tagsink
