// What tagsink-run tells the operator: the progress line's counters, the first failure of each kind with
// its reason, the database failure with its connection string and what to check, where refused statements
// went, and a refused OPC connection with its reason (the runner run as a program).
#include "engine/runtime/recorder_stats.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "rotating_log.hpp"
#include "stderr_reporter.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

using namespace tagsink;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

struct Output {
    int status = -1;
    std::string text;
};

Output RunRunner(const std::string& arguments, const std::filesystem::path& folder) {
    const std::string command =
        "cd '" + folder.string() + "' && '" TAGSINK_RUN_PATH "' " + arguments + " 2>&1";
    Output out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    std::array<char, 4096> buffer{};
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        out.text.append(buffer.data(), n);
    const int status = pclose(pipe);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::filesystem::path TempFolder(const char* name) {
    std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                   (std::string("tagsink-run-") + name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

void WriteProject(const std::filesystem::path& file, const std::string& opc_string,
                  const std::string& db_string) {
    TServer server;
    server.SetOPCString(opc_string);
    server.SetDBString(db_string);
    TGroup& group = TGroup::Create(server);
    group.SetName("Snapshot");
    group.SetTableName("readings");
    group.SetRecordInterval(100);
    TItem& sine = TItem::Create(group);
    sine.SetName("Sine");
    sine.SetItemName("Sine.Real8");
    sine.SetFieldName("S");
    server.SaveToFile(file.string());
}

} // namespace

TEST(TagsinkRunReporter, ConnectionStringsLoseTheirPassword) {
    EXPECT_EQ(WithoutPassword("Driver={PostgreSQL Unicode};Server=db;Uid=rec;Pwd=secret;"),
              "Driver={PostgreSQL Unicode};Server=db;Uid=rec;Pwd=***;");
    EXPECT_EQ(WithoutPassword("DSN=plant; Password = p;w"), "DSN=plant; Password =***;w");
    EXPECT_EQ(WithoutPassword("Database=a.db"), "Database=a.db");
    EXPECT_EQ(WithoutPassword(""), "");
}

TEST(TagsinkRunReporter, DatabaseFailuresSayWhichConnectionAndWhatToCheck) {
    const std::string missing =
        DbConnectFailureText("Driver={SQLite3};Database=/no/such/folder/plant.db;", "[SQLite]connect failed");
    EXPECT_THAT(missing, HasSubstr("\"Driver={SQLite3};Database=/no/such/folder/plant.db;\""));
    EXPECT_THAT(missing, HasSubstr("[SQLite]connect failed"));
    EXPECT_THAT(missing, HasSubstr("the folder \"/no/such/folder\" of the database file does not exist"));
    EXPECT_THAT(missing, HasSubstr("odbcinst -q -d"));

    const std::filesystem::path folder = TempFolder("sqlite");
    const std::string present = DbConnectFailureText(
        "Driver={SQLite3};Database=" + (folder / "plant.db").string() + ";", "[SQLite]connect failed");
    EXPECT_THAT(present, HasSubstr("can be read and written"));
    std::filesystem::remove_all(folder);

    const std::string server = DbConnectFailureText("Driver={PostgreSQL Unicode};Server=db;Uid=u;Pwd=secret;",
                                                    "could not connect to server");
    EXPECT_THAT(server, HasSubstr("the user and the password"));
    EXPECT_THAT(server, Not(HasSubstr("secret")));
    EXPECT_THAT(DbConnectFailureText("", "no driver"), HasSubstr("the project has no DBString"));
}

TEST(TagsinkRunReporter, KeepsTheFirstFailureOfEachKindAndWhereRefusedStatementsWent) {
    StderrReporter reporter(false);
    reporter.SetDbString("Driver={SQLite3};Database=/no/such/folder/plant.db;");
    reporter.WriteLog("uMap", "TServer.DBConnect", "[SQLite]connect failed");
    reporter.WriteLog("uMap", "TServer.DBConnect", "[SQLite]second failure");
    reporter.WriteLog("uMap", "TServer.DoRecord", "sql=Insert Into readings (S) values(1)");
    reporter.WriteLog("uMap", "TServer.DoRecord", "[SQLite]no such table: readings (1)");
    reporter.WriteLog(
        "uMap", "TServer.DoRecord",
        "Statement moved to /data/sql.rejected after 3 attempts: Insert Into readings (S) values(1)");
    reporter.WriteLog("uMap", "TItem.Run", "ItemAdd=No.Such.Item");
    reporter.WriteLog("uMap", "TItem.Run", "ItemAdd=false");

    const auto first = reporter.FirstFailures();
    ASSERT_EQ(first.count("database connection failure"), 1u);
    EXPECT_THAT(first.at("database connection failure"), HasSubstr("[SQLite]connect failed"));
    EXPECT_THAT(first.at("database connection failure"), HasSubstr("/no/such/folder"));
    EXPECT_THAT(first.at("database failure"), HasSubstr("no such table"));
    EXPECT_THAT(first.at("OPC item failure"), HasSubstr("\"No.Such.Item\""));
    EXPECT_EQ(first.count("statement set aside"), 1u);
    EXPECT_EQ(reporter.RejectPath(), "/data/sql.rejected");

    RecorderStats stats;
    stats.executed = 12;
    stats.waiting = 3;
    stats.journaled = 40;
    stats.rejected = 2;
    const std::string line = reporter.ProgressLine(20, stats);
    EXPECT_THAT(line, HasSubstr("queued 20  executed 12  waiting 3  in sql.dat 40  quarantined 2 in "
                                "/data/sql.rejected  failures 0 | OPC Disconnected | DB Disconnected"));
    EXPECT_THAT(line, Not(HasSubstr("LOST")));
    stats.lost = 1;
    stats.NoteFailure("cannot write sql.dat: disk full");
    EXPECT_THAT(reporter.ProgressLine(20, stats), HasSubstr("failures 1  LOST 1"));

    const std::string summary = reporter.Summary(stats);
    EXPECT_THAT(summary,
                HasSubstr("1 database or disk failure(s); the last: cannot write sql.dat: disk full"));
    EXPECT_THAT(summary, HasSubstr("first database connection failure: "));
    EXPECT_THAT(summary,
                HasSubstr("2 statement(s) the database refused were set aside in /data/sql.rejected"));
}

TEST(TagsinkRunReporter, NothingToSayWhenAllWentWell) {
    StderrReporter reporter(false);
    reporter.WriteLog("uMap", "TServer.DoRecord", "sql=Insert Into readings (S) values(1)");
    reporter.WriteLog("uMap", "TItem.Run", "ItemAdd=Sine.Real8");
    reporter.WriteLog("uMap", "TItem.Run", "ItemAdd=true");
    RecorderStats stats;
    stats.executed = 5;
    EXPECT_TRUE(reporter.FirstFailures().empty());
    EXPECT_EQ(reporter.Summary(stats), "");
}

TEST(TagsinkRunProgram, AnOpcServerThatCannotBeReachedIsReportedWithAReason) {
    const std::filesystem::path folder = TempFolder("opc");
    WriteProject(folder / "p.DAT", "/No.Such.Server.1", "Driver={SQLite3};Database=plant.db;");
    const Output out = RunRunner("p.DAT --seconds 1", folder);
    EXPECT_EQ(out.status, 2) << out.text;
    EXPECT_THAT(out.text, HasSubstr("cannot connect to the OPC server \"/No.Such.Server.1\": ")) << out.text;
    std::filesystem::remove_all(folder);
}

TEST(TagsinkRunProgram, ADatabaseThatCannotBeOpenedIsReportedWithItsConnectionString) {
    const std::filesystem::path folder = TempFolder("db");
    const std::string db =
        "Driver={SQLite3};Database=" + (folder / "gone" / "plant.db").string() + ";Timeout=200;";
    WriteProject(folder / "p.DAT", "/Tagsink.SimServer.DA2/{D886E9B9-5576-47DF-B743-B81B90B0B9BF}", db);
    const Output out = RunRunner("p.DAT --seconds 2", folder);
    EXPECT_EQ(out.status, 0) << out.text;
    EXPECT_THAT(out.text, HasSubstr("first database connection failure")) << out.text;
    EXPECT_THAT(out.text, HasSubstr((folder / "gone").string() + "\" of the database file does not exist"))
        << out.text;
    EXPECT_THAT(out.text, HasSubstr("DB Disconnected")) << out.text;
    std::filesystem::remove_all(folder);
}

// With a log file, Print's text goes there and not to standard error; a file that cannot be written
// sends the text to standard error with the reason, said once per failure.
TEST(TagsinkRunReporter, PrintsIntoTheLogFileAndFallsBackToStandardError) {
    const std::filesystem::path folder = TempFolder("logfile");
    std::filesystem::create_directories(folder / "logs");
    const std::filesystem::path path = folder / "logs" / "run.log";
    {
        RotatingLogFile file(path, {1024, 1});
        StderrReporter reporter(true);
        reporter.SetLogFile(&file);
        ::testing::internal::CaptureStderr();
        reporter.WriteLog("uMap", "Run", "OPCServer.Connected=true");
        reporter.Print("queued 1  executed 1\n");
        std::filesystem::remove_all(folder / "logs");
        reporter.Print(std::string(1100, 'x') + "\n"); // past the limit: the rotation finds no folder
        reporter.Print("second\n");
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_THAT(err, Not(HasSubstr("OPCServer.Connected=true")));
        EXPECT_THAT(err, HasSubstr(std::string(1100, 'x') + "\n")) << "the text is not lost";
        EXPECT_THAT(err, HasSubstr("second\n"));
        EXPECT_EQ(err.find("tagsink-run: cannot open the log file"),
                  err.rfind("tagsink-run: cannot open the log file"))
            << "the reason once\n"
            << err;
        EXPECT_THAT(err, HasSubstr("does not exist; writing to standard error"));
        std::filesystem::create_directories(folder / "logs");
        ::testing::internal::CaptureStderr();
        reporter.Print("back\n");
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    }
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "back\n");
    std::filesystem::remove_all(folder);
}

TEST(TagsinkRunProgram, WithALogFileTheReasonOfAFailedStartIsInTheFile) {
    const std::filesystem::path folder = TempFolder("logstart");
    { std::ofstream(folder / "p.DAT") << "not a project"; }
    const Output out = RunRunner("p.DAT --seconds 1 --log-file run.log", folder);
    EXPECT_EQ(out.status, 1) << out.text;
    EXPECT_EQ(out.text, "") << "nothing on standard error";
    std::ifstream in(folder / "run.log");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_THAT(text, HasSubstr("tagsink-run: p.DAT: ")) << text;
    std::filesystem::remove_all(folder);
}
