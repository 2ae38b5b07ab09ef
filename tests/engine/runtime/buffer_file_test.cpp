#include "engine/runtime/buffer_file.hpp"
#include "file_size_limit.hpp"
#include "test_db.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace tagsink {
namespace {

using tagsink::db::testing::TempDir;

std::string FileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::filesystem::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
}

struct LineCase {
    std::string statement;
    std::string line;
};

class StatementLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(StatementLine, EncodesOnlyWhatMustBeEscapedAndDecodesBack) {
    EXPECT_EQ(EncodeStatementLine(GetParam().statement), GetParam().line);
    EXPECT_EQ(StatementLineSize(GetParam().statement), GetParam().line.size())
        << "the journal places lines by this size before it writes them";
    EXPECT_EQ(DecodeStatementLine(GetParam().line), GetParam().statement);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StatementLine,
    ::testing::Values(
        LineCase{"Insert Into T1 (DT,V1) values('2026-12-09',1.5)",
                 "Insert Into T1 (DT,V1) values('2026-12-09',1.5)"},
        LineCase{"Update T set S='a\\b' ,X=1  where K=5", "Update T set S='a\\b' ,X=1  where K=5"},
        LineCase{"Insert Into T (S) values('a\nb')", "--escaped:Insert Into T (S) values('a\\nb')"},
        LineCase{"Insert Into T (S) values('a\r\n\\b')",
                 "--escaped:Insert Into T (S) values('a\\r\\n\\\\b')"},
        LineCase{"Insert Into T (S) values('a\rb')", "--escaped:Insert Into T (S) values('a\\rb')"},
        LineCase{"--escaped:not really", "--escaped:--escaped:not really"},
        LineCase{"-- a comment", "-- a comment"}, LineCase{"中文 'x'", "中文 'x'"}));

TEST(BufferFile, BadEscapesAreRefused) {
    EXPECT_THROW(DecodeStatementLine("--escaped:abc\\"), BufferFileError);
    EXPECT_THROW(DecodeStatementLine("--escaped:a\\tb"), BufferFileError);
}

TEST(BufferFile, AppendsCrLfLinesAndReadsThemBack) {
    TempDir dir;
    auto file = dir / "sql.dat";
    AppendStatements(file, {"S1", "S2 with\nbreak"});
    AppendStatements(file, {"S3"});
    EXPECT_EQ(FileText(file), "S1\r\n--escaped:S2 with\\nbreak\r\nS3\r\n");
    auto contents = ReadBufferFile(file);
    EXPECT_EQ(contents.statements, (std::vector<std::string>{"S1", "S2 with\nbreak", "S3"}));
    EXPECT_TRUE(contents.undecodable.empty());
}

TEST(BufferFile, ReadsLfLinesSkipsBlankOnesAndKeepsBadEscapesApart) {
    TempDir dir;
    auto file = dir / "sql.dat";
    WriteText(file, "A\n\r\nB\r\n--escaped:bad\\q\r\nC");
    auto contents = ReadBufferFile(file);
    EXPECT_EQ(contents.statements, (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(contents.undecodable, (std::vector<std::string>{"--escaped:bad\\q"}));
}

TEST(BufferFile, AppendAfterAnUnterminatedLastLineStartsANewLine) {
    TempDir dir;
    auto file = dir / "sql.dat";
    WriteText(file, "OLD");
    AppendStatements(file, {"NEW"});
    EXPECT_EQ(ReadBufferFile(file).statements, (std::vector<std::string>{"OLD", "NEW"}));
}

TEST(BufferFile, ReadingADirectoryFails) {
    TempDir dir;
    std::filesystem::create_directory(dir / "sql.dat");
    EXPECT_THROW(ReadBufferFile(dir / "sql.dat"), BufferFileError);
    EXPECT_THROW(ReadBufferFile(dir / "missing"), BufferFileError);
}

// A spill that fails part-way (here: the file size limit is reached in the middle of the data) leaves the
// file exactly as it was, so the retried spill writes every statement once.
TEST(BufferFile, FailedAppendLeavesTheFileAsItWas) {
    TempDir dir;
    auto file = dir / "sql.dat";
    AppendStatements(file, {"FIRST"});
    const std::string before = FileText(file);

    std::deque<std::string> many(50, std::string(20, 'x'));
    bool failed = false;
    {
        const tagsink::testing::FileSizeLimit limit(before.size() + 100);
        ASSERT_TRUE(limit.Set());
        try {
            AppendStatements(file, many);
        } catch (const BufferFileError& error) {
            failed = true;
            EXPECT_NE(std::string(error.what()).find("sql.dat"), std::string::npos) << error.what();
        }
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(FileText(file), before);

    AppendStatements(file, many); // the retry
    EXPECT_EQ(ReadBufferFile(file).statements.size(), 51u);
}

TEST(BufferFile, RejectedStatementsCarryTimeAndMessage) {
    TempDir dir;
    auto file = dir / "sql.rejected";
    AppendRejected(file, "Insert Into X (A) values('a\nb')", "2026-12-09 06:00:00",
                   "ERROR: relation \"x\" does not exist;\nError while executing the query");
    EXPECT_EQ(
        FileText(file),
        "-- 2026-12-09 06:00:00 rejected: ERROR: relation \"x\" does not exist; Error while executing the "
        "query\r\n--escaped:Insert Into X (A) values('a\\nb')\r\n");
}

TEST(BufferFile, RemoveDeletesAndToleratesAMissingFile) {
    TempDir dir;
    auto file = dir / "sql.dat";
    AppendStatements(file, {"A"});
    RemoveBufferFile(file);
    EXPECT_FALSE(std::filesystem::exists(file));
    RemoveBufferFile(file);
}

} // namespace
} // namespace tagsink
