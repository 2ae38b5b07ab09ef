// The replay check of the Windows stage must pass a good replay and name every way a replay can go wrong.
#include "engine/runtime/buffer_file.hpp"
#include "outcome.hpp"
#include "test_db.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

namespace tagsink::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::string Insert(int n) {
    return "insert into Readings (DT, Ramp, Word) values ('2026-12-10 10:00:0" + std::to_string(n) + "', " +
           std::to_string(n) + ", 'w" + std::to_string(n) + "')";
}

class ReplayCheck : public ::testing::Test {
protected:
    ReplayCheck() {
        db::testing::Exec(connection_, {"create table Readings (DT text, Ramp integer, Word text)"});
        Journal journal(files_.kept_journal);
        journal.Open();
        std::vector<std::uint64_t> ends;
        journal.Append({Insert(1), Insert(2), Insert(3)}, ends);
        journal.Close();
        files_.queued = 2;
    }
    void Record(const std::vector<int>& rows) {
        std::vector<std::string> statements;
        for (int n : rows)
            statements.push_back(Insert(n));
        db::testing::Exec(connection_, statements);
    }

    db::testing::TempDir dir_;
    ReplayFiles files_{dir_ / "kept.dat", dir_ / "sql.dat", dir_ / "rec.db", "Readings", 0};
    std::string connection_ = db::testing::SqliteConnectionString(files_.database);
};

TEST_F(ReplayCheck, PassesEveryKeptStatementOnceAndFirst) {
    Record({1, 2, 3, 7, 8});
    const ReplayOutcome outcome = CheckReplay(files_);
    EXPECT_THAT(outcome.faults, IsEmpty());
    EXPECT_EQ(outcome.kept, 3u);
    EXPECT_EQ(outcome.rows, 5u);
}

TEST_F(ReplayCheck, NamesALostRowAndATwiceWrittenOneEvenWhenTheCountHolds) {
    Record({1, 3, 3, 7, 8});
    const ReplayOutcome outcome = CheckReplay(files_);
    ASSERT_EQ(outcome.faults.size(), 3u);
    EXPECT_THAT(outcome.faults[0], HasSubstr("never arrived: (2026-12-10 10:00:02, 2, w2)"));
    EXPECT_THAT(outcome.faults[1], HasSubstr("arrived 2 times: (2026-12-10 10:00:03, 3, w3)"));
    EXPECT_THAT(outcome.faults[2], HasSubstr("not the first rows"));
}

TEST_F(ReplayCheck, NamesAMissingReplayByItsCount) {
    Record({7, 8});
    const ReplayOutcome outcome = CheckReplay(files_);
    ASSERT_FALSE(outcome.faults.empty());
    EXPECT_THAT(outcome.faults[0], HasSubstr("2 rows after the replay, 3 kept and 2 new"));
}

TEST_F(ReplayCheck, NamesRowsOutOfOrderAndStatementsLeftInTheJournal) {
    Record({7, 1, 2, 3, 8});
    std::filesystem::copy_file(files_.kept_journal, files_.journal);
    std::filesystem::copy_file(ProgressFileFor(files_.kept_journal), ProgressFileFor(files_.journal));
    const ReplayOutcome outcome = CheckReplay(files_);
    EXPECT_EQ(outcome.left, 3u);
    EXPECT_THAT(outcome.faults, ::testing::ElementsAre(HasSubstr("3 statements are still waiting"),
                                                       HasSubstr("not the first rows")));
}

TEST_F(ReplayCheck, AnEmptyKeptJournalIsAFault) {
    std::filesystem::remove(files_.kept_journal);
    std::filesystem::remove(ProgressFileFor(files_.kept_journal));
    Journal(files_.kept_journal).Open();
    files_.queued = 0;
    EXPECT_THAT(CheckReplay(files_).faults, ::testing::ElementsAre(HasSubstr("holds no statement")));
}

TEST(QueuedFromLog, TakesTheLastProgressLine) {
    db::testing::TempDir dir;
    std::ofstream(dir / "run.log", std::ios::binary)
        << "OPC Connected | DB Connected\r\nqueued 4 | executed 4\r\nqueued 12 | executed 12\r\nStopping\r\n";
    EXPECT_EQ(QueuedFromLog(dir / "run.log"), 12u);
    std::ofstream(dir / "quiet.log") << "nothing here\n";
    EXPECT_EQ(QueuedFromLog(dir / "quiet.log"), std::nullopt);
}

} // namespace
} // namespace tagsink::testing
