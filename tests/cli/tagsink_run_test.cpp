// tagsink-run recording the sample project into SQLite heals its OPC link with no operator action: after
// a shutdown request, after the server vanished for 10 seconds, and when the server was missing at start.
// The simulated servers are controlled from this process, outside the recorder, through their control
// file (TAGCLIENT_SIM_CONTROL, docs/simulated-servers.md); rows are counted before and after. Its last
// progress line counts what stays in "sql.dat" after the stop.
#include "engine/runtime/buffer_file.hpp"
#include "recorder_process.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using namespace std::chrono_literals;
using tagsink::testing::CountOf;
using tagsink::testing::ReadWholeFile;
using tagsink::testing::Recorder;

TEST(TagsinkRunReconnect, WritesRowsAgainAfterAShutdownRequest) {
    Recorder r;
    r.Start(120);
    ASSERT_TRUE(r.WaitFor([&] { return r.Rows() >= 2; }, 20s)) << r.Log();
    ASSERT_EQ(r.Connections(), 1u);

    r.SetServers("shutdown maintenance window");
    ASSERT_TRUE(r.WaitFor([&] { return CountOf(r.Log(), "(shutdown request)") == 1; }, 10s)) << r.Log();
    ASSERT_TRUE(r.WaitFor([&] { return r.Connections() == 2; }, 15s)) << "connected again\n" << r.Log();
    const std::size_t healed = r.Rows();
    EXPECT_TRUE(r.WaitFor([&] { return r.Rows() >= healed + 2; }, 15s))
        << "rows after healing: " << r.Rows() << ", at healing: " << healed << "\n"
        << r.Log();
    EXPECT_EQ(r.Finish(), 0) << r.Log();
    EXPECT_EQ(CountOf(r.Log(), "--TServer.Reconnect--"), 1u) << "one line for the loss\n" << r.Log();
}

TEST(TagsinkRunReconnect, WritesRowsAgainAfterTheServerVanishedForTenSeconds) {
    Recorder r;
    r.Start(180);
    ASSERT_TRUE(r.WaitFor([&] { return r.Rows() >= 2; }, 20s)) << r.Log();

    r.SetServers("down");
    const auto vanished = std::chrono::steady_clock::now();
    ASSERT_TRUE(r.WaitFor([&] { return CountOf(r.Log(), "does not answer") == 1; }, 10s))
        << "the status poll notices\n"
        << r.Log();
    std::this_thread::sleep_for(1s); // the stop executes what was queued before the loss
    const std::size_t at_loss = r.Rows();
    std::this_thread::sleep_until(vanished + 10s);
    EXPECT_EQ(r.Rows(), at_loss) << "nothing is recorded while the server is away";
    EXPECT_EQ(r.Connections(), 1u);

    r.SetServers("up");
    ASSERT_TRUE(r.WaitFor([&] { return r.Connections() == 2; }, 45s)) << "connected again\n" << r.Log();
    EXPECT_TRUE(r.WaitFor([&] { return r.Rows() >= at_loss + 2; }, 15s))
        << "rows after healing: " << r.Rows() << ", at the loss: " << at_loss << "\n"
        << r.Log();
    EXPECT_EQ(r.Finish(), 0) << r.Log();
    const std::string log = r.Log();
    EXPECT_EQ(CountOf(log, "--TServer.Reconnect--"), 1u) << log;
    EXPECT_EQ(CountOf(log, "--Run--OPCServer.Connected=False"), 0u) << "refused attempts log nothing\n"
                                                                    << log;
}

TEST(TagsinkRunReconnect, WritesRowsWhenTheServerWasMissingAtStart) {
    Recorder r;
    r.SetServers("down");
    r.Start(120);
    ASSERT_TRUE(r.WaitFor([&] { return CountOf(r.Log(), "reconnect attempts") > 0; }, 15s))
        << "the progress line shows the attempts\n"
        << r.Log();
    EXPECT_EQ(CountOf(r.Log(), "--Run--OPCServer.Connected=False"), 1u) << r.Log();
    EXPECT_EQ(r.Rows(), 0u);

    r.SetServers("up");
    ASSERT_TRUE(r.WaitFor([&] { return r.Connections() == 1; }, 30s)) << r.Log();
    EXPECT_TRUE(r.WaitFor([&] { return r.Rows() >= 2; }, 15s)) << r.Log();
    EXPECT_EQ(r.Finish(), 0) << "the server was connected in the end\n" << r.Log();
}

TEST(TagsinkRunReconnect, ExitsWithStatusTwoWhenTheServerNeverCame) {
    Recorder r;
    r.SetServers("down");
    r.Start(3);
    // The run ends by itself after its 3 s; a SIGTERM sent meanwhile could come while it exits.
    EXPECT_EQ(r.Wait(), 2) << r.Log();
    EXPECT_GT(CountOf(r.Log(), "could not be connected"), 0u) << r.Log();
    EXPECT_EQ(r.Rows(), 0u);
}

TEST(TagsinkRunJournal, TheLastProgressLineCountsWhatStaysInSqlDat) {
    Recorder r;
    // The tables are away: every statement is refused for a reason that can pass and waits in the journal.
    tagsink::db::testing::Exec(r.Connection(), {"alter table Readings rename to Readings_away",
                                                "alter table Events rename to Events_away"});
    r.Start(3); // ends by itself: a signal during its stop would cut the stop short
    EXPECT_EQ(r.Wait(), 0) << "nothing is lost\n" << r.Log();
    const long long kept = r.LastProgress("in sql.dat");
    EXPECT_GT(kept, 0) << r.Log();
    EXPECT_EQ(kept, static_cast<long long>(tagsink::PeekJournal(r.Dir() / "sql.dat").entries.size()))
        << "the progress line says what the file holds\n"
        << r.Log();
    EXPECT_EQ(r.LastProgress("waiting"), 0) << r.Log();

    // The tables are back: the next run replays the journal and empties it.
    tagsink::db::testing::Exec(r.Connection(), {"alter table Readings_away rename to Readings",
                                                "alter table Events_away rename to Events"});
    r.Start(3); // ends by itself: a signal during its stop would cut the stop short
    EXPECT_EQ(r.Wait(), 0) << r.Log();
    EXPECT_EQ(r.LastProgress("in sql.dat"), 0) << r.Log();
    EXPECT_FALSE(std::filesystem::exists(r.Dir() / "sql.dat"));
    EXPECT_GE(static_cast<long long>(r.Rows()), 1) << r.Log();
}

// --log-file: what went to standard error goes into a file rotated at its size limit, every line whole.
TEST(TagsinkRunLogFile, RotatesTheOutputAndKeepsEveryLineWhole) {
    Recorder r;
    r.Start(120, {"--log-file", "run.log", "--log-size", "2048", "--log-files", "2"});
    const auto log = r.Dir() / "run.log";
    ASSERT_TRUE(r.WaitFor([&] { return std::filesystem::exists(log.string() + ".2"); }, 30s))
        << "two rotations\n"
        << r.Log();
    std::this_thread::sleep_for(3s); // more rotations: the oldest file goes
    EXPECT_EQ(r.Finish(), 0) << r.Log();
    EXPECT_EQ(r.Log(), "") << "nothing on standard error";
    EXPECT_FALSE(std::filesystem::exists(log.string() + ".3"));
    std::string all;
    for (const std::string name : {".2", ".1", ""}) {
        const std::string text = ReadWholeFile(log.string() + name);
        ASSERT_FALSE(text.empty()) << "run.log" << name;
        EXPECT_LE(text.size(), 2048u) << "run.log" << name;
        EXPECT_EQ(text.back(), '\n') << "run.log" << name << " ends inside a line";
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            const bool whole = line.rfind("20", 0) == 0 || line.rfind("queued ", 0) == 0 ||
                               line.rfind("tagsink-run: ", 0) == 0 || line.rfind("Stopping (", 0) == 0;
            EXPECT_TRUE(whole) << "run.log" << name << ": a torn line: " << line;
        }
        all += text;
    }
    EXPECT_EQ(CountOf(all, "Stopping (interrupted)"), 1u);
    EXPECT_GE(CountOf(all, "--TServer.DoRecord--sql=Insert Into Readings"), 1u);
    EXPECT_NE(ReadWholeFile(log).find("queued "), std::string::npos)
        << "the last progress line is in the newest file";
}

TEST(TagsinkRunLogFile, ALogFolderThatIsMissingIsRefusedAtTheStart) {
    Recorder r;
    r.Start(5, {"--log-file", "no-such-folder/run.log"});
    EXPECT_EQ(r.Wait(), 1);
    EXPECT_NE(
        r.Log().find("cannot open the log file \"no-such-folder/run.log\": the folder \"no-such-folder\" "
                     "does not exist"),
        std::string::npos)
        << r.Log();
    EXPECT_EQ(r.Rows(), 0u) << "nothing recorded";
}

} // namespace
