// The record thread against a real SQLite file.
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/buffer_file.hpp"
#include "engine/runtime/record_lock.hpp"
#include "engine/runtime/record_thread.hpp"
#include "model/server.hpp"
#include "recording_reporter.hpp"
#include "test_db.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

namespace tagsink {
namespace {

using namespace std::chrono_literals;
using tagsink::db::testing::Query;
using tagsink::db::testing::TempDir;
using tagsink::testing::RecordingReporter;

template <class Predicate> bool WaitFor(Predicate predicate, std::chrono::milliseconds limit = 20s) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// The names of this process's threads, as `top -H` and `ps -L` show them.
std::set<std::string> ThreadNames() {
    std::set<std::string> names;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        if (std::getline(comm, name))
            names.insert(name);
    }
    return names;
}

class RecordThreadTest : public ::testing::Test {
protected:
    RecordThreadTest() {
        conn_ = tagsink::db::testing::SqliteConnectionString(dir_ / "rec.db") + "JournalMode=WAL;";
        tagsink::db::testing::Exec(conn_,
                                   {"create table R (Id integer primary key autoincrement, N integer)"});
        server_.SetDBString(conn_);
        options_.buffer_file = dir_ / "sql.dat";
    }

    std::vector<std::string> Numbers() {
        std::vector<std::string> numbers;
        for (auto& row : Query(conn_, "select N from R order by Id"))
            numbers.push_back(row[0]);
        return numbers;
    }

    TempDir dir_;
    std::string conn_;
    TServer server_{std::make_unique<db::OdbcConnection>()};
    RecordingReporter reporter_;
    RecorderStats stats_;
    RecorderOptions options_;
};

TEST_F(RecordThreadTest, ExecutesQueuedStatementsInOrderWhileTheyArrive) {
    TRecordThread thread(server_, SystemClock::Instance(), reporter_, stats_, options_);
    std::vector<std::string> expected;
    for (int i = 0; i < 300; ++i) {
        QueueStatement(server_, "Insert Into R (N) values(" + std::to_string(i) + ")");
        expected.push_back(std::to_string(i));
        if (i % 50 == 0)
            std::this_thread::sleep_for(1ms);
    }
    ASSERT_TRUE(WaitFor([&] { return stats_.executed.load() == 300; })) << stats_.executed.load();
    thread.RequestStop();
    thread.Join();
    EXPECT_FALSE(thread.Running());
    EXPECT_EQ(Numbers(), expected);
    EXPECT_EQ(reporter_.Db(), "DB Connected");
    EXPECT_TRUE(stats_.db_connected.load());
}

TEST_F(RecordThreadTest, StopLosesNothingThatWasQueued) {
    server_.SetBufferCount(1000000); // nothing moves before the stop
    server_.SetBufferTime(1000000);
    server_.LastFlushTick = SystemClock::Instance().TickCount();
    server_.SetDBString(tagsink::db::testing::SqliteConnectionString(dir_ / "missing" / "x.db") +
                        "NoCreat=1;");
    {
        TRecordThread thread(server_, SystemClock::Instance(), reporter_, stats_, options_);
        for (int i = 0; i < 10; ++i)
            QueueStatement(server_, "Insert Into R (N) values(" + std::to_string(i) + ")");
        // destroyed here: stop and wait
    }
    EXPECT_TRUE(server_.PendingList.empty());
    EXPECT_TRUE(server_.OutList.empty());
    EXPECT_EQ(ReadBufferFile(options_.buffer_file).statements.size(), 10u);

    // The next run, with the database back, replays them before anything new.
    server_.SetDBString(conn_);
    server_.SetBufferCount(0);
    server_.SetBufferTime(0);
    QueueStatement(server_, "Insert Into R (N) values(10)");
    TRecordThread thread(server_, SystemClock::Instance(), reporter_, stats_, options_);
    ASSERT_TRUE(WaitFor([&] { return stats_.executed.load() == 11; }));
    thread.RequestStop();
    thread.Join();
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
    EXPECT_FALSE(std::filesystem::exists(options_.buffer_file));
}

// The system's tools tell the recorder's threads apart: the record thread, and the helper that writes and
// flushes the journal (slowed down here, so that it is seen while it works).
TEST_F(RecordThreadTest, TheRecordThreadAndItsJournalHelperCarryNames) {
    options_.journal_flush_fault = [] {
        std::this_thread::sleep_for(300ms);
        return 0;
    };
    TRecordThread thread(server_, SystemClock::Instance(), reporter_, stats_, options_);
    for (int i = 0; i < 100; ++i)
        QueueStatement(server_, "Insert Into R (N) values(" + std::to_string(i) + ")");
    std::set<std::string> seen;
    EXPECT_TRUE(WaitFor(
        [&] {
            for (const std::string& name : ThreadNames())
                seen.insert(name);
            return seen.count("tagsink-record") == 1 && seen.count("tagsink-journal") == 1;
        },
        10s));
    thread.RequestStop();
    thread.Join();
}

TEST_F(RecordThreadTest, LogAndLinkTextsComeFromTheRecordThread) {
    server_.SetDBString("Driver={NoSuchDriver};");
    TRecordThread thread(server_, SystemClock::Instance(), reporter_, stats_, options_);
    ASSERT_TRUE(WaitFor([&] { return !reporter_.Texts("TServer.DBConnect").empty(); }));
    ASSERT_TRUE(WaitFor([&] { return reporter_.Db() == "DB Disconnected"; }));
    thread.RequestStop();
    thread.RequestStop(); // twice is harmless
    thread.Join();
    thread.Join();
}

} // namespace
} // namespace tagsink
