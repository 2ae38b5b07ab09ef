// Values as they were measured, end to end through the simulated servers and real databases: quality
// items record the quality (and the engine's comm-failure quality once the server vanishes), time-stamp
// items the server's time stamps in UTC with milliseconds, the tables come from the project's DDL, and the
// check finds what is wrong with a project before it runs.
//
// The binary points the simulated servers' control file at a file of its own (the servers vanish through
// it) and runs in the zone Asia/Shanghai, eight hours ahead of UTC, so that local time and UTC differ.
#include "engine/check/project_check.hpp"
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/engine.hpp"
#include "engine/runtime/plain_event_loop.hpp"
#include "engine/schema/project_ddl.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "recording_reporter.hpp"
#include "tagclient.h"
#include "test_db.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace tagsink {
namespace {

using namespace std::chrono_literals;
using db::testing::Exec;
using db::testing::Query;
using db::testing::TempDir;
using db::testing::UniqueName;
using tagsink::testing::RecordingReporter;

constexpr const char* kDa2 = "/Tagsink.SimServer.DA2/";

std::filesystem::path& ControlFile() {
    static std::filesystem::path path;
    return path;
}

class ValuesEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ControlFile() = dir_.path() / "sim-control";
        ASSERT_EQ(::setenv("TAGCLIENT_SIM_CONTROL", ControlFile().c_str(), 1), 0);
        ASSERT_EQ(::setenv("TZ", "Asia/Shanghai", 1), 0);
        ::tzset();
        ASSERT_EQ(QZDAC_Init(), QZDAC_TRUE);
    }
    void TearDown() override { QZDAC_Uninit(); }

private:
    TempDir dir_;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ValuesEnvironment);

void SetServers(const std::string& text) {
    const std::filesystem::path next = ControlFile().string() + ".new";
    {
        std::ofstream out(next, std::ios::binary | std::ios::trunc);
        out << text << "\n";
    }
    std::filesystem::rename(next, ControlFile());
}

// Runs a DDL script statement by statement (comment lines left out).
void RunDdl(const std::string& conn, const std::string& ddl) {
    std::istringstream in(ddl);
    std::string line, statement;
    std::vector<std::string> statements;
    while (std::getline(in, line)) {
        if (line.rfind("--", 0) == 0)
            continue;
        statement += line + "\n";
        if (!line.empty() && line.back() == ';') {
            statement.pop_back();
            statement.pop_back();
            statements.push_back(statement);
            statement.clear();
        }
    }
    ASSERT_FALSE(statements.empty()) << ddl;
    Exec(conn, statements);
}

std::string UtcNowText() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    return text;
}

// A project on the simulated server and a real database, with an engine to run it.
class Recording {
public:
    explicit Recording(const std::string& conn) : server_(std::make_unique<db::OdbcConnection>()) {
        server_.SetOPCString(kDa2);
        server_.SetDBString(conn);
        options_.recorder.buffer_file = dir_ / "sql.dat";
        options_.reconnect.status_poll = 50ms;
        options_.reconnect.first_delay = 10s; // no reconnection within a test
        server_.SetBufferCount(0);
        server_.SetBufferTime(0);
    }

    TServer& Server() { return server_; }

    TGroup& AddGroup(const std::string& table) {
        TGroup& group = TGroup::Create(server_);
        group.SetName("G" + std::to_string(server_.GroupCount()));
        group.SetTableName(table);
        return group;
    }

    Engine& Start() {
        engine_ = std::make_unique<Engine>(server_, loop_, reporter_, SystemClock::Instance(), options_);
        engine_->Run();
        return *engine_;
    }

    template <class Predicate> bool Pump(Predicate predicate, std::chrono::milliseconds limit = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!predicate()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            loop_.ProcessEvents(5ms);
        }
        return true;
    }
    void PumpFor(std::chrono::milliseconds span) {
        const auto until = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < until)
            loop_.ProcessEvents(5ms);
    }

    void Stop() {
        if (engine_)
            engine_->Stop();
    }
    bool NothingLeft() const { return !std::filesystem::exists(options_.recorder.buffer_file); }
    RecordingReporter& Reporter() { return reporter_; }

    ~Recording() {
        engine_.reset();
        events_.reset();
    }

private:
    TempDir dir_;
    TServer server_;
    PlainEventLoop loop_;
    std::unique_ptr<LoopHandle> events_ = WatchToolkitEvents(loop_);
    RecordingReporter reporter_;
    EngineOptions options_;
    std::unique_ptr<Engine> engine_;
};

class ValuesTest : public ::testing::Test {
protected:
    ValuesTest() { SetServers("up"); }
    ~ValuesTest() override { SetServers("up"); }
    TempDir dir_;
    std::string Sqlite() const { return db::testing::SqliteConnectionString(dir_ / "values.db"); }
};

// ---- quality --------------------------------------------------------------------------------------

TEST_F(ValuesTest, QualityItemsRecordGoodUncertainAndTheLostLink) {
    Recording rec(Sqlite());
    const std::string table = UniqueName("quality");
    TGroup& group = rec.AddGroup(table);
    group.SetTimeField("DT");
    group.SetRecordInterval(100);
    group.SetUpdateRate(100);
    TItem::Create(group, "Value", "Random.Real8", "V", TFieldType::ftFloat);
    TItem::Create(group, "Good", "Random.Real8", "QG", TFieldType::ftInteger)
        .SetGainType(TGainType::gtQuality);
    TItem::Create(group, "Unsure", "Quality.Uncertain", "QU", TFieldType::ftInteger)
        .SetGainType(TGainType::gtQuality);
    TItem::Create(group, "GoodText", "Random.Real8", "QT", TFieldType::ftString)
        .SetGainType(TGainType::gtQuality);
    RunDdl(Sqlite(), ProjectDdl(rec.Server(), SqlDialect::SQLite));

    Engine& engine = rec.Start();
    ASSERT_TRUE(engine.Running());
    const std::string good_rows = "select count(*) from " + table + " where QG = 192 and QU = 64";
    ASSERT_TRUE(rec.Pump([&] { return std::stoi(Query(Sqlite(), good_rows)[0][0]) >= 2; }))
        << "rows with the good and the uncertain quality";

    SetServers("down");
    ASSERT_TRUE(rec.Pump([&] { return !engine.Running(); }, 5s)) << "the status poll notices the loss";
    const std::size_t rows_at_loss = Query(Sqlite(), "select count(*) from " + table).size();
    (void)rows_at_loss;
    rec.Stop();
    EXPECT_TRUE(rec.NothingLeft());

    const auto rows = Query(Sqlite(), "select V, QG, QU, QT from " + table + " order by rowid");
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(rows.front()[3], "good");
    const auto& last = rows.back();
    EXPECT_EQ(last[1], "24") << "bad: comm failure after the server vanished";
    EXPECT_EQ(last[2], "24");
    EXPECT_EQ(last[3], "bad: comm failure");
    EXPECT_EQ(last[0], rows[rows.size() - 2][0]) << "the last value is kept with the bad quality";
    for (std::size_t i = 0; i + 1 < rows.size(); ++i)
        EXPECT_NE(rows[i][1], "24") << "only the row after the loss carries the comm failure";
}

TEST_F(ValuesTest, ALostLinkWritesNoExtraRowWithoutAQualityItem) {
    Recording rec(Sqlite());
    const std::string table = UniqueName("plain");
    TGroup& group = rec.AddGroup(table);
    group.SetRecordInterval(100000); // the timer never ticks within the test
    group.SetUpdateRate(100);
    TItem::Create(group, "Value", "Random.Real8", "V", TFieldType::ftFloat);
    RunDdl(Sqlite(), ProjectDdl(rec.Server(), SqlDialect::SQLite));
    Engine& engine = rec.Start();
    ASSERT_TRUE(rec.Pump([&] { return group.Item(0).Quality == 0xC0; }));
    SetServers("down");
    ASSERT_TRUE(rec.Pump([&] { return !engine.Running(); }, 5s));
    rec.Stop();
    EXPECT_EQ(group.Item(0).Quality, 0x18) << "the item holds the comm failure until the server reports";
    EXPECT_TRUE(Query(Sqlite(), "select * from " + table).empty())
        << "a project without quality items writes "
           "what it always wrote";
}

// ---- time stamps ------------------------------------------------------------------------------------

TEST_F(ValuesTest, TimeStampsInUtcWithMillisecondsStayInOrder) {
    Recording rec(Sqlite());
    rec.Server().SetTimeZone(TTimeZone::tzUTC);
    rec.Server().SetTimePrecision(TTimePrecision::tpMilliseconds);
    const std::string table = UniqueName("stamps");
    TGroup& group = rec.AddGroup(table);
    group.SetTrigType(TTrigType::ttDataChange);
    group.SetKeyField("Tag");
    group.SetKeyFieldType(TFieldType::ftString);
    group.SetTimeField("DT");
    group.SetRecordTimeSource(TTimeSource::tsServer);
    group.SetUpdateRate(50);
    // The keyed time-stamp item writes its own row on every change of the counter.
    TItem::Create(group, "Stamp", "Counter.Int4@100", "S", TFieldType::ftDateTime, "c")
        .SetGainType(TGainType::gtTimeStamp);
    RunDdl(Sqlite(), ProjectDdl(rec.Server(), SqlDialect::SQLite));

    const std::string before = UtcNowText();
    rec.Start();
    rec.PumpFor(1600ms);
    rec.Stop();
    const std::string after = UtcNowText();

    const auto rows = Query(Sqlite(), "select Tag, DT, S from " + table + " order by rowid");
    ASSERT_GE(rows.size(), 8u);
    const std::regex ms(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})");
    bool two_in_one_second = false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(std::regex_match(rows[i][1], ms)) << rows[i][1];
        EXPECT_EQ(rows[i][1], rows[i][2]) << "the record time is the server's time stamp";
        EXPECT_GE(rows[i][1].substr(0, 19), before.substr(0, 19)) << "UTC, not local time (8 h ahead)";
        EXPECT_LE(rows[i][1].substr(0, 19), after.substr(0, 19));
        if (i > 0) {
            EXPECT_GT(rows[i][1], rows[i - 1][1]) << "each change later than the one before";
            if (rows[i][1].substr(0, 19) == rows[i - 1][1].substr(0, 19))
                two_in_one_second = true;
        }
    }
    EXPECT_TRUE(two_in_one_second) << "changes 100 ms apart share a second and stay apart";
}

TEST_F(ValuesTest, AProjectWithoutChoicesWritesLocalTimeToTheSecond) {
    Recording rec(Sqlite());
    const std::string table = UniqueName("legacy");
    TGroup& group = rec.AddGroup(table);
    group.SetTimeField("DT");
    group.SetRecordInterval(100);
    TItem::Create(group, "Stamp", "Random.Real8", "S", TFieldType::ftDateTime)
        .SetGainType(TGainType::gtTimeStamp);
    RunDdl(Sqlite(), ProjectDdl(rec.Server(), SqlDialect::SQLite));
    rec.Start();
    rec.PumpFor(700ms);
    rec.Stop();
    const auto rows = Query(Sqlite(), "select DT, S from " + table);
    ASSERT_FALSE(rows.empty());
    const std::regex seconds(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)");
    for (const auto& row : rows) {
        EXPECT_TRUE(std::regex_match(row[0], seconds)) << row[0];
        EXPECT_GT(row[0], UtcNowText()) << "local time, 8 h ahead of UTC here";
    }
}

// ---- tables made from the project ---------------------------------------------------------------------

void RecordIntoMadeTables(const std::string& conn, SqlDialect dialect) {
    Recording rec(conn);
    rec.Server().SetTimePrecision(TTimePrecision::tpMilliseconds);
    const std::string snapshots = UniqueName("snap");
    const std::string changes = UniqueName("chg");
    TGroup& snap = rec.AddGroup(snapshots);
    snap.SetTimeField("DT");
    snap.SetRecordInterval(100);
    TItem::Create(snap, "Real", "Random.Real8", "R", TFieldType::ftFloat);
    TItem::Create(snap, "Int", "Random.Int4", "I", TFieldType::ftInteger);
    TItem::Create(snap, "Text", "Random.String", "T", TFieldType::ftString);
    TItem::Create(snap, "Flag", "Random.Boolean", "B", TFieldType::ftBoolean);
    TItem::Create(snap, "Q", "Random.Real8", "Q", TFieldType::ftSmallint).SetGainType(TGainType::gtQuality);
    TItem::Create(snap, "QText", "Random.Real8", "QT", TFieldType::ftString)
        .SetGainType(TGainType::gtQuality);
    TItem::Create(snap, "Stamp", "Random.Real8", "S", TFieldType::ftDateTime)
        .SetGainType(TGainType::gtTimeStamp);
    TItem::Create(snap, "Money", "Random.Real8", "M", TFieldType::ftCurrency);
    TGroup& chg = rec.AddGroup(changes);
    chg.SetTrigType(TTrigType::ttDataChange);
    chg.SetKeyField("Tag");
    chg.SetKeyFieldType(TFieldType::ftString);
    chg.SetTimeField("DT");
    chg.SetUpdateRate(100);
    TItem::Create(chg, "Count", "Counter.Int4@100", "V", TFieldType::ftInteger, "counter");
    const std::string ddl = ProjectDdl(rec.Server(), dialect);
    RunDdl(conn, ddl);
    RunDdl(conn, ddl); // IF NOT EXISTS: a second run changes nothing

    rec.Start();
    rec.PumpFor(1200ms);
    rec.Stop();
    EXPECT_TRUE(rec.NothingLeft()) << "every statement reached the database";
    EXPECT_TRUE(rec.Reporter().Texts("TServer.DoRecord").empty() ||
                rec.Reporter().Texts("TServer.DoRecord")[0].rfind("sql=", 0) == 0);
    const auto snap_rows = Query(conn, "select Q, QT from " + snapshots);
    EXPECT_GE(snap_rows.size(), 5u);
    for (const auto& row : snap_rows) {
        EXPECT_EQ(row[0], "192");
        EXPECT_EQ(row[1], "good");
    }
    EXPECT_GE(Query(conn, "select V from " + changes).size(), 5u);
    Exec(conn, {"drop table " + snapshots, "drop table " + changes});
}

TEST_F(ValuesTest, TheSqliteDdlIsExecutedAndRecordedInto) {
    RecordIntoMadeTables(Sqlite(), SqlDialect::SQLite);
}

TEST_F(ValuesTest, ThePostgresDdlIsExecutedAndRecordedInto) {
    TAGSINK_REQUIRE_POSTGRES(pg);
    RecordIntoMadeTables(pg, SqlDialect::PostgreSQL);
}

TEST_F(ValuesTest, TheMariadbDdlIsExecutedAndRecordedInto) {
    TAGSINK_REQUIRE_MARIADB(maria);
    RecordIntoMadeTables(maria, SqlDialect::MariaDB);
}

// ---- the check ------------------------------------------------------------------------------------------

// A clean project on SQLite whose tables (and update rows) exist.
struct CheckedProject {
    explicit CheckedProject(const std::string& conn, SqlDialect dialect = SqlDialect::SQLite)
        : root(std::make_unique<db::OdbcConnection>()) {
        root.SetOPCString(kDa2);
        root.SetDBString(conn);
        inserts = UniqueName("ins");
        updates = UniqueName("upd");
        TGroup& ins = TGroup::Create(root);
        ins.SetName("Inserts");
        ins.SetTableName(inserts);
        ins.SetTimeField("DT");
        TItem::Create(ins, "Real", "Random.Real8", "R", TFieldType::ftFloat);
        TItem::Create(ins, "Text", "Random.String", "T", TFieldType::ftString);
        TItem::Create(ins, "Q", "Random.Real8", "Q", TFieldType::ftInteger).SetGainType(TGainType::gtQuality);
        TGroup& upd = TGroup::Create(root);
        upd.SetName("Updates");
        upd.SetTableName(updates);
        upd.SetRecordType(TRecordType::rtUpdate);
        upd.SetKeyField("K");
        upd.SetKeyFieldType(TFieldType::ftInteger);
        TItem::Create(upd, "One", "Random.Int4", "V", TFieldType::ftInteger, "1");
        RunDdl(conn, ProjectDdl(root, dialect));
        Exec(conn, {"insert into " + updates + " (K) values (1)"});
    }
    TServer root;
    std::string inserts, updates;
};

bool Has(const CheckReport& report, CheckSeverity severity, const std::string& path,
         const std::string& part) {
    for (const CheckFinding& f : report.findings)
        if (f.severity == severity && f.path == path && f.text.find(part) != std::string::npos)
            return true;
    return false;
}

std::string Lines(const CheckReport& report) {
    std::string out;
    for (const CheckFinding& f : report.findings)
        out += FindingLine(f) + "\n";
    return out;
}

TEST_F(ValuesTest, TheCheckPassesACleanProject) {
    CheckedProject project(Sqlite());
    std::vector<std::string> progress;
    const CheckReport report =
        CheckProject(project.root, [&](const std::string& p) { progress.push_back(p); });
    EXPECT_TRUE(report.Passed()) << Lines(report);
    EXPECT_EQ(report.findings.size(), 0u) << Lines(report);
    EXPECT_EQ(report.Summary(project.root), "check passed: 2 groups, 4 items, no errors, no warnings");
    EXPECT_FALSE(progress.empty());
    EXPECT_FALSE(project.root.DBConnection().IsConnected()) << "the check closes what it opened";
}

// PostgreSQL folds the unquoted mixed-case names of the project to lower case.
TEST_F(ValuesTest, TheCheckPassesACleanProjectOnPostgres) {
    TAGSINK_REQUIRE_POSTGRES(pg);
    CheckedProject project(pg, SqlDialect::PostgreSQL);
    const CheckReport report = CheckProject(project.root);
    EXPECT_TRUE(report.Passed()) << Lines(report);
    EXPECT_EQ(report.findings.size(), 0u) << Lines(report);
    project.root.Group(0).Item(1).SetFieldType(TFieldType::ftInteger); // Random.String into an integer
    EXPECT_TRUE(Has(CheckProject(project.root), CheckSeverity::Error, "Manager.Inserts.Text", "gives text"));
    Exec(pg, {"drop table " + project.inserts, "drop table " + project.updates});
}

TEST_F(ValuesTest, TheCheckFindsEachSeededFault) {
    CheckedProject project(Sqlite());
    TServer& root = project.root;
    TGroup& ins = root.Group(0);
    TGroup& upd = root.Group(1);
    TItem::Create(ins, "Unknown", "No.Such.Item", "R2", TFieldType::ftFloat);
    TItem::Create(ins, "TextAsInt", "Random.String", "Q", TFieldType::ftInteger); // also a duplicate of Q
    TItem::Create(ins, "NoColumn", "Random.Real8", "Missing", TFieldType::ftFloat);
    TItem::Create(ins, "NoType", "Random.Real8", "R", TFieldType::ftUnknown);
    TItem::Create(ins, "Mistyped", "Random.Real8", "T", TFieldType::ftFloat); // T is already taken, too
    Exec(Sqlite(), {"alter table " + project.inserts + " add column N integer"});
    TItem::Create(ins, "IntoInt", "Random.String", "N", TFieldType::ftString);
    TItem::Create(upd, "Two", "Random.Int4", "V", TFieldType::ftInteger, "2"); // no row with K=2
    TGroup& keyless = TGroup::Create(root);
    keyless.SetName("Keyless");
    keyless.SetTableName(project.updates);
    keyless.SetRecordType(TRecordType::rtUpdate);
    TGroup& missing = TGroup::Create(root);
    missing.SetName("Missing");
    missing.SetTableName("no_such_table");
    TItem::Create(missing, "X", "Random.Real8", "X", TFieldType::ftFloat);

    const CheckReport report = CheckProject(root);
    const std::string lines = Lines(report);
    EXPECT_FALSE(report.Passed());
    EXPECT_TRUE(Has(report, CheckSeverity::Error, "Manager.Inserts.Unknown", "does not know the item ID"))
        << lines;
    EXPECT_TRUE(Has(report, CheckSeverity::Error, "Manager.Inserts.TextAsInt", "gives text")) << lines;
    EXPECT_TRUE(
        Has(report, CheckSeverity::Error, "Manager.Inserts.NoColumn", "column Missing does not exist"))
        << lines;
    EXPECT_TRUE(
        Has(report, CheckSeverity::Error, "Manager.Inserts.NoType", "ftUnknown writes an empty value"))
        << lines;
    EXPECT_TRUE(Has(report, CheckSeverity::Error, "Manager.Inserts.IntoInt", "a text value into column N"))
        << lines;
    EXPECT_TRUE(Has(report, CheckSeverity::Warning, "Manager.Inserts.TextAsInt", "already written by Q"))
        << lines;
    EXPECT_TRUE(Has(report, CheckSeverity::Warning, "Manager.Inserts.Mistyped", "already written by Text"))
        << lines;
    EXPECT_TRUE(Has(report, CheckSeverity::Error, "Manager.Updates.Two", "K=2")) << lines;
    EXPECT_FALSE(Has(report, CheckSeverity::Error, "Manager.Updates.One", "K=1")) << lines;
    EXPECT_TRUE(Has(report, CheckSeverity::Error, "Manager.Keyless", "needs a KeyField")) << lines;
    EXPECT_TRUE(Has(report, CheckSeverity::Error, "Manager.Missing", "table no_such_table does not exist"))
        << lines;
    EXPECT_EQ(report.Summary(root).rfind("check failed: 4 groups, 12 items, ", 0), 0u)
        << report.Summary(root);
}

// Procedure groups: every column name (key, time, items) must be a parameter of the procedure.
TEST_F(ValuesTest, TheCheckFindsMissingProceduresAndParametersOnPostgres) {
    TAGSINK_REQUIRE_POSTGRES(pg);
    const std::string proc = UniqueName("chkp");
    Exec(pg, {"create function " + proc +
              "(k integer, dt text, v double precision) returns integer language sql as 'select k'"});
    TServer root(std::make_unique<db::OdbcConnection>());
    root.SetOPCString(kDa2);
    root.SetDBString(pg);
    auto procedure_group = [&](const std::string& name, const std::string& procedure) -> TGroup& {
        TGroup& group = TGroup::Create(root);
        group.SetName(name);
        group.SetTableType(TTableType::ttStoredProc);
        group.SetTableName(procedure);
        group.SetKeyField("k");
        group.SetKeyFieldType(TFieldType::ftInteger);
        group.SetTimeField("dt");
        TItem::Create(group, "V", "Random.Real8", "v", TFieldType::ftFloat, "1");
        return group;
    };
    procedure_group("Good", proc);
    TGroup& wrong = procedure_group("Wrong", proc);
    wrong.SetTimeField("stamp");
    TItem::Create(wrong, "Extra", "Random.Real8", "extra", TFieldType::ftFloat, "1");
    procedure_group("Absent", proc + "_none");

    const CheckReport report = CheckProject(root);
    const std::string lines = Lines(report);
    Exec(pg, {"drop function " + proc});
    for (const CheckFinding& f : report.findings)
        EXPECT_NE(f.path.rfind("Manager.Good", 0), 0u) << "a procedure that fits: " << lines;
    EXPECT_TRUE(Has(report, CheckSeverity::Error, "Manager.Wrong", "has no parameter stamp")) << lines;
    EXPECT_TRUE(Has(report, CheckSeverity::Error, "Manager.Wrong.Extra", "has no parameter extra")) << lines;
    EXPECT_FALSE(Has(report, CheckSeverity::Error, "Manager.Wrong.V", "has no parameter")) << lines;
    EXPECT_TRUE(Has(report, CheckSeverity::Error, "Manager.Absent", "does not exist")) << lines;
    EXPECT_FALSE(report.Passed());
}

TEST_F(ValuesTest, TheCheckReportsAServerAndADatabaseItCannotReach) {
    TServer root(std::make_unique<db::OdbcConnection>());
    root.SetOPCString("/No.Such.Server/");
    root.SetDBString("Driver={No Such Driver};");
    TGroup& group = TGroup::Create(root);
    group.SetName("G");
    group.SetTableName("T");
    const CheckReport report = CheckProject(root);
    EXPECT_TRUE(Has(report, CheckSeverity::Error, "Manager", "cannot connect to the OPC server"))
        << Lines(report);
    EXPECT_TRUE(Has(report, CheckSeverity::Error, "Manager", "cannot open the database")) << Lines(report);
}

} // namespace
} // namespace tagsink
