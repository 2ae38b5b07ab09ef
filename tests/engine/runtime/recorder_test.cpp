// Recorder passes driven directly (no thread), against a scripted database and a manual clock.
#include "engine/runtime/buffer_file.hpp"
#include "engine/runtime/record_lock.hpp"
#include "engine/runtime/recorder.hpp"
#include "fake_db.hpp"
#include "model/server.hpp"
#include "recording_reporter.hpp"
#include "test_db.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

namespace tagsink {
namespace {

using tagsink::db::testing::TempDir;
using tagsink::testing::FakeDb;
using tagsink::testing::RecordingReporter;

class RecorderTest : public ::testing::Test {
protected:
    RecorderTest() {
        auto db = std::make_unique<FakeDb>();
        fake_ = db.get();
        server_ = std::make_unique<TServer>(std::move(db));
        server_->SetDBString("fake");
        options_.buffer_file = dir_ / "sql.dat";
        options_.first_reconnect_delay = std::chrono::milliseconds(0);
        options_.longest_reconnect_delay = std::chrono::milliseconds(0);
    }

    Recorder MakeRecorder() { return Recorder(*server_, clock_, reporter_, stats_, options_); }

    void Queue(int from, int count) {
        for (int i = from; i < from + count; ++i)
            QueueStatement(*server_, "S" + std::to_string(i));
    }

    static std::vector<std::string> Names(int from, int count) {
        std::vector<std::string> names;
        for (int i = from; i < from + count; ++i)
            names.push_back("S" + std::to_string(i));
        return names;
    }

    TempDir dir_;
    FakeDb* fake_ = nullptr;
    std::unique_ptr<TServer> server_;
    ManualClock clock_{5000};
    RecordingReporter reporter_;
    RecorderStats stats_;
    RecorderOptions options_;
};

TEST_F(RecorderTest, DefaultLimitsMoveAndExecuteEveryStatementOnTheNextPass) {
    Recorder recorder = MakeRecorder();
    Queue(1, 3);
    EXPECT_TRUE(recorder.DoRecord());
    EXPECT_EQ(fake_->Executed(), Names(1, 3));
    EXPECT_TRUE(server_->PendingList.empty());
    EXPECT_TRUE(server_->OutList.empty());
    EXPECT_EQ(server_->LastFlushTick, 5000u);
    EXPECT_EQ(reporter_.Db(), "DB Connected");
    EXPECT_EQ(reporter_.Texts("TServer.DoRecord"), (std::vector<std::string>{"sql=S1", "sql=S2", "sql=S3"}));
    EXPECT_EQ(fake_->connection_string, "fake") << "DBConnect gives the connection DBString";
}

TEST_F(RecorderTest, BufferCount100AndTime60000HoldUpTo100Statements) {
    server_->SetBufferCount(100);
    server_->SetBufferTime(60000);
    server_->LastFlushTick = clock_.TickCount();
    Recorder recorder = MakeRecorder();
    Queue(1, 100);
    EXPECT_FALSE(recorder.DoRecord());
    EXPECT_EQ(server_->PendingList.size(), 100u);
    EXPECT_TRUE(fake_->Executed().empty());
    Queue(101, 1);
    EXPECT_TRUE(recorder.DoRecord());
    EXPECT_EQ(fake_->Executed(), Names(1, 101));

    // Fewer than 101 move only once more than 60 s have passed since the last move.
    Queue(200, 5);
    clock_.Advance(60000);
    EXPECT_FALSE(recorder.DoRecord()) << "exactly 60000 ms is not more than BufferTime";
    clock_.Advance(1);
    EXPECT_TRUE(recorder.DoRecord());
    EXPECT_EQ(fake_->Executed().size(), 106u);
}

TEST_F(RecorderTest, TickDifferenceIsSigned32BitAcrossTheWrap) {
    server_->SetBufferCount(100);
    server_->SetBufferTime(60000);
    server_->LastFlushTick = 0xFFFFFF00u; // 256 ms before the wrap
    clock_.Set(0x00000100u);              // 256 ms after it: 512 ms since the last flush
    Recorder recorder = MakeRecorder();
    Queue(1, 1);
    EXPECT_FALSE(recorder.DoRecord());
    // A last flush tick "in the future" counts by its absolute distance.
    server_->LastFlushTick = clock_.TickCount() + 70000;
    EXPECT_TRUE(recorder.DoRecord());
}

TEST_F(RecorderTest, BufferCountMinusOneMovesOnEveryPassEvenWhenEmpty) {
    server_->SetBufferCount(-1);
    server_->SetBufferTime(60000);
    server_->LastFlushTick = clock_.TickCount();
    Recorder recorder = MakeRecorder();
    EXPECT_TRUE(recorder.DoRecord());
    clock_.Advance(3);
    EXPECT_TRUE(recorder.DoRecord());
    EXPECT_EQ(server_->LastFlushTick, clock_.TickCount());
}

TEST_F(RecorderTest, JournalsAtOnceWhileTheDatabaseIsAwayAndReplaysInOrder) {
    fake_->reachable = false;
    Recorder recorder = MakeRecorder();
    Queue(1, 1000);
    recorder.DoRecord();
    EXPECT_EQ(server_->OutList.size(), 1000u) << "the statements wait in order";
    EXPECT_EQ(ReadBufferFile(options_.buffer_file).statements, Names(1, 1000)) << "and are on disk already";
    EXPECT_EQ(reporter_.Db(), "DB Disconnected");
    EXPECT_FALSE(reporter_.Texts("TServer.DBConnect").empty());

    Queue(1001, 500);
    recorder.DoRecord();
    EXPECT_EQ(server_->OutList.size(), 1500u);
    EXPECT_EQ(stats_.journaled.load(), 1500u);
    EXPECT_EQ(ReadBufferFile(options_.buffer_file).statements, Names(1, 1500));
    EXPECT_EQ(stats_.spilled.load(), 1500u);

    // The database returns with 20 new statements waiting: the file's lines go first.
    Queue(1501, 20);
    fake_->reachable = true;
    recorder.DoRecord();
    EXPECT_EQ(fake_->Executed(), Names(1, 1520));
    EXPECT_FALSE(std::filesystem::exists(options_.buffer_file));
    EXPECT_EQ(reporter_.Db(), "DB Connected");
    EXPECT_EQ(stats_.journaled.load(), 0u);
}

TEST_F(RecorderTest, LaterSpillsAppendToTheSameFile) {
    fake_->reachable = false;
    Recorder recorder = MakeRecorder();
    Queue(1, 1001);
    recorder.DoRecord();
    Queue(1002, 1001);
    recorder.DoRecord();
    EXPECT_EQ(ReadBufferFile(options_.buffer_file).statements, Names(1, 2002));
}

TEST_F(RecorderTest, LostConnectionKeepsTheStatementFirstAndRetriesIt) {
    Recorder recorder = MakeRecorder();
    Queue(1, 2);
    recorder.DoRecord();
    fake_->reachable = false; // the server goes while the connection looks open
    Queue(3, 2);
    recorder.DoRecord();
    EXPECT_FALSE(fake_->IsConnected());
    EXPECT_EQ(server_->OutList.front(), "S3");
    EXPECT_EQ(reporter_.Db(), "DB Disconnected");
    fake_->reachable = true;
    recorder.DoRecord();
    EXPECT_EQ(fake_->Executed(), Names(1, 4));
}

TEST_F(RecorderTest, RefusedStatementIsRetriedWithGrowingPausesThenMovedAside) {
    fake_->refuse = "BAD";
    options_.retry_window = std::chrono::milliseconds(3500);
    Recorder recorder = MakeRecorder();
    QueueStatement(*server_, "S1");
    QueueStatement(*server_, "Insert Into nowhere BAD");
    QueueStatement(*server_, "S2");
    recorder.DoRecord(); // attempt 1, next after 1 s
    recorder.DoRecord(); // too early: not tried
    EXPECT_EQ(fake_->Executed(), (std::vector<std::string>{"S1"})) << "S2 waits behind the refused statement";
    EXPECT_TRUE(fake_->IsConnected()) << "a refused statement does not cost the connection";
    clock_.Advance(1000);
    recorder.DoRecord(); // attempt 2, next after 2 s
    clock_.Advance(1999);
    recorder.DoRecord(); // too early
    EXPECT_EQ(fake_->Executed(), (std::vector<std::string>{"S1"}));
    clock_.Advance(1);
    recorder.DoRecord(); // attempt 3: 3 s after the first refusal, next after 4 s
    EXPECT_EQ(stats_.rejected.load(), 0u);
    clock_.Advance(4000);
    recorder.DoRecord(); // attempt 4, past the window: moved aside, S2 goes on
    EXPECT_EQ(fake_->Executed(), (std::vector<std::string>{"S1", "S2"}));
    EXPECT_EQ(stats_.rejected.load(), 1u);
    auto rejected = ReadBufferFile(recorder.RejectFile());
    ASSERT_EQ(rejected.statements.size(), 2u);
    EXPECT_NE(rejected.statements[0].find("relation \"nowhere\" does not exist [SQLSTATE 42P01, native 7]"),
              std::string::npos)
        << rejected.statements[0];
    EXPECT_EQ(rejected.statements[1], "Insert Into nowhere BAD");
    EXPECT_EQ(recorder.RejectFile(), dir_ / "sql.rejected");
    auto log = reporter_.Texts("TServer.DoRecord");
    EXPECT_EQ(std::count(log.begin(), log.end(), "sql=Insert Into nowhere BAD"), 4);
}

TEST_F(RecorderTest, SyntaxErrorIsMovedAsideAtOnceAndTheRestGoesOn) {
    fake_->refuse = "BAD";
    fake_->refuse_message = "syntax error at or near \"BAD\"";
    fake_->refuse_sql_state = "42601";
    Recorder recorder = MakeRecorder();
    QueueStatement(*server_, "S1");
    QueueStatement(*server_, "Insert BAD");
    QueueStatement(*server_, "S2");
    recorder.DoRecord();
    EXPECT_EQ(fake_->Executed(), (std::vector<std::string>{"S1", "S2"}));
    EXPECT_EQ(stats_.rejected.load(), 1u);
    EXPECT_NE(stats_.LastFailure().text.find("syntax error"), std::string::npos);
    auto rejected = ReadBufferFile(recorder.RejectFile());
    ASSERT_EQ(rejected.statements.size(), 2u);
    EXPECT_EQ(rejected.statements[1], "Insert BAD");
}

TEST_F(RecorderTest, UnreadableBufferFileIsKeptAndNothingIsTaken) {
    std::filesystem::create_directory(options_.buffer_file); // exists, but cannot be read as a file
    Recorder recorder = MakeRecorder();
    Queue(1, 2);
    recorder.DoRecord();
    clock_.Advance(10000);
    recorder.DoRecord();
    EXPECT_TRUE(std::filesystem::exists(options_.buffer_file));
    EXPECT_TRUE(fake_->Executed().empty()) << "nothing runs before it is on disk";
    EXPECT_EQ(reporter_.Texts("TServer.LoadItem").size(), 1u) << "the same failure is logged once";
    EXPECT_EQ(stats_.failures.load(), 2u) << "but counted on every attempt";
    EXPECT_TRUE(stats_.journal_failing.load());
    recorder.Finish();
    EXPECT_EQ(fake_->Executed(), Names(1, 2)) << "the last pass executes what the journal could not take";
    EXPECT_EQ(stats_.lost.load(), 0u);
}

TEST_F(RecorderTest, UndecodableLinesGoToTheRejectFileAndTheRestIsReplayed) {
    {
        std::ofstream out(options_.buffer_file, std::ios::binary);
        out << "S1\r\n--escaped:broken\\x\r\nS2\r\n";
    }
    Recorder recorder = MakeRecorder();
    recorder.DoRecord();
    EXPECT_EQ(fake_->Executed(), Names(1, 2));
    EXPECT_FALSE(std::filesystem::exists(options_.buffer_file));
    auto rejected = ReadBufferFile(recorder.RejectFile());
    ASSERT_EQ(rejected.statements.size(), 2u);
    EXPECT_NE(rejected.statements[0].find("cannot be decoded"), std::string::npos);
    EXPECT_EQ(rejected.statements[1], "--escaped:broken\\x") << "the bad line is kept exactly as it stood";
}

TEST_F(RecorderTest, StatementWithLineBreakSurvivesSpillAndReplayAsOne) {
    fake_->reachable = false;
    Recorder recorder = MakeRecorder();
    QueueStatement(*server_, "Insert Into T (S) values('line1\r\nline2')");
    recorder.Finish();
    fake_->reachable = true;
    recorder.DoRecord();
    EXPECT_EQ(fake_->Executed(), (std::vector<std::string>{"Insert Into T (S) values('line1\r\nline2')"}));
}

TEST_F(RecorderTest, FinishExecutesWhatItCanAndSpillsTheRest) {
    server_->SetBufferCount(100);
    server_->SetBufferTime(60000);
    server_->LastFlushTick = clock_.TickCount();
    Recorder recorder = MakeRecorder();
    recorder.DoRecord(); // opens the connection
    Queue(1, 5);
    recorder.Finish();
    EXPECT_EQ(fake_->Executed(), Names(1, 5)) << "pending statements are executed at the end";

    fake_->reachable = false;
    fake_->Close();
    Queue(6, 5);
    recorder.Finish();
    EXPECT_TRUE(server_->PendingList.empty());
    EXPECT_EQ(ReadBufferFile(options_.buffer_file).statements, Names(6, 5)) << "nothing queued is lost";
}

TEST_F(RecorderTest, InSqlDatCountsWhatTheJournalHoldsAlsoAfterTheStop) {
    fake_->reachable = false;
    {
        Recorder recorder = MakeRecorder();
        Queue(1, 30);
        recorder.DoRecord();
        EXPECT_EQ(stats_.journaled.load(), 30u);
        recorder.Finish();
        EXPECT_EQ(stats_.waiting.load(), 0u) << "nothing waits in memory after the stop";
        EXPECT_EQ(stats_.journaled.load(), 30u) << "but the file still holds every statement";
        EXPECT_EQ(PeekJournal(options_.buffer_file).entries.size(), 30u);
    }
    // The next run commits the first ten, then the eleventh is refused for a reason that can pass.
    fake_->reachable = true;
    fake_->refuse = "S11";
    Recorder recorder = MakeRecorder();
    Queue(31, 5);
    recorder.DoRecord();
    EXPECT_EQ(fake_->Executed(), Names(1, 10));
    EXPECT_EQ(stats_.journaled.load(), 25u) << "20 replayed and 5 new statements wait behind the refused one";
    recorder.Finish();
    EXPECT_EQ(stats_.journaled.load(), 25u);
    EXPECT_EQ(PeekJournal(options_.buffer_file).entries.size(), 25u);
    fake_->refuse.clear();
    Recorder last = MakeRecorder();
    last.DoRecord();
    EXPECT_EQ(fake_->Executed(), Names(1, 35));
    EXPECT_EQ(stats_.journaled.load(), 0u);
    last.Finish();
    EXPECT_EQ(stats_.journaled.load(), 0u);
}

TEST_F(RecorderTest, FailedSpillKeepsOutListAndIsLogged) {
    fake_->reachable = false;
    bool disk_full = true;
    options_.journal_fault = [&] { return disk_full ? ENOSPC : 0; };
    Recorder recorder = MakeRecorder();
    Queue(1, 1001);
    for (int pass = 0; pass < 50; ++pass) {
        recorder.DoRecord();
        clock_.Advance(10);
    }
    EXPECT_EQ(server_->OutList.size(), 1001u);
    EXPECT_EQ(stats_.journaled.load(), 0u);
    EXPECT_TRUE(stats_.journal_failing.load());
    ASSERT_EQ(reporter_.Texts("TServer.SaveOutList").size(), 1u) << "logged once when it starts";
    EXPECT_NE(reporter_.Texts("TServer.SaveOutList")[0].find("No space left"), std::string::npos);
    const std::uint64_t attempts = stats_.failures.load() - static_cast<std::uint64_t>(fake_->open_attempts);
    EXPECT_GE(attempts, 2u);
    EXPECT_LE(attempts, 4u) << "retried with growing pauses, not on every pass";
    disk_full = false;
    clock_.Advance(10000);
    recorder.DoRecord();
    EXPECT_FALSE(stats_.journal_failing.load());
    EXPECT_EQ(ReadBufferFile(options_.buffer_file).statements, Names(1, 1001));
    ASSERT_EQ(reporter_.Texts("TServer.SaveOutList").size(), 2u) << "and once when it ends";
    EXPECT_NE(reporter_.Texts("TServer.SaveOutList")[1].find("1001 statements"), std::string::npos);
}

TEST_F(RecorderTest, StatementsThatCanBeKeptNowhereAreCountedAsLost) {
    fake_->reachable = false;
    options_.journal_fault = [] { return EIO; };
    Recorder recorder = MakeRecorder();
    Queue(1, 7);
    recorder.DoRecord();
    recorder.Finish();
    EXPECT_EQ(stats_.lost.load(), 7u);
    EXPECT_TRUE(server_->OutList.empty());
    EXPECT_NE(stats_.LastFailure().text.find("7 statements are lost"), std::string::npos);
}

TEST_F(RecorderTest, ReconnectAttemptsAreSpacedOutWhileTheDatabaseStaysAway) {
    options_.first_reconnect_delay = std::chrono::milliseconds(50);
    options_.longest_reconnect_delay = std::chrono::milliseconds(200);
    fake_->reachable = false;
    Recorder recorder = MakeRecorder();
    recorder.DoRecord();
    recorder.DoRecord();
    EXPECT_EQ(fake_->open_attempts, 1);
    clock_.Advance(50);
    recorder.DoRecord();
    EXPECT_EQ(fake_->open_attempts, 2);
    clock_.Advance(99);
    recorder.DoRecord();
    EXPECT_EQ(fake_->open_attempts, 2) << "the second wait is twice the first";
    clock_.Advance(1);
    fake_->reachable = true;
    recorder.DoRecord();
    EXPECT_EQ(fake_->open_attempts, 3);
    EXPECT_TRUE(fake_->IsConnected());
}

} // namespace
} // namespace tagsink
