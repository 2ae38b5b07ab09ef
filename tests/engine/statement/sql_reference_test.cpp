// docs/reference/sql-examples.md: every combination of TableType, RecordType and TrigType as an example
// project (project text) and the statements the real builder makes of it.
//
// The page is rendered here from the examples below and compared with the checked-in file, so the page
// cannot drift from the builder. After a deliberate change of the builder or of an example, write the page
// anew with
//
//     TAGSINK_WRITE_DOCS=1 build/bin/tagsink_sql_reference_test
//
// and review the difference with git diff.
#include "engine/runtime/engine.hpp"
#include "engine/statement/date_text.hpp"
#include "engine/statement/field_format.hpp"
#include "engine/statement/statement_builder.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "platform/variant.hpp"
#include "project_text.hpp"
#include "statement_fixture.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace tagsink {
namespace {

using testing::FakeConnection;
using testing::Parameters;

// The wall-clock time of every example (local time; the test runs in UTC).
const DateTimeParts kNow{2026, 3, 14, 9, 26, 53, 0};

// One thing that happens to a running group: a snapshot tick, or a new value of one item.
struct Event {
    std::string item;  // empty: a snapshot timer tick at kNow
    qz::Variant value; // the new value
    int second = 0;    // the server's time stamp: kNow's minute, this second (UTC)
};

struct Example {
    std::string title;
    std::string notes;                             // Markdown shown above the project
    std::vector<std::string> lines;                // project text, the TServer line left out
    std::vector<std::string> procedure_parameters; // what the database reports; empty: not listed
    std::map<std::string, qz::Variant> values;     // item values before the first event
    std::vector<Event> events;
    std::string afterwards; // Markdown shown below the statements
};

std::uint64_t FileTimeAt(int second) {
    DateTimeParts parts = kNow;
    parts.second = second;
    // OLE days to FILETIME ticks: day 0 is 30 December 1899, FILETIME counts from 1 January 1601.
    const double days = EncodeDateTime(parts) + 109205.0;
    return static_cast<std::uint64_t>(days * 864000000000.0 + 0.5);
}

std::string TimeOfDay(int second) {
    DateTimeParts parts = kNow;
    parts.second = second;
    return FormatDateTimeParts("hh:nn:ss", parts);
}

std::string Describe(const qz::Variant& value) {
    const VARIANT& v = value.get();
    switch (v.vt) {
    case VT_BSTR:
        return "\"" + VariantText(v) + "\" (text)";
    case VT_BOOL:
        return VariantText(v) + " (boolean)";
    case VT_R8:
    case VT_R4:
        return VariantText(v) + " (floating point)";
    default:
        return VariantText(v) + " (integer)";
    }
}

// What the engine does on a data change of one item (Engine::DataChange and its trigger), with the
// fixed clock of this page.
void DataChange(TGroup& group, TItem& item, const Event& event, std::vector<std::string>& out) {
    Engine::SetValue(item, event.value.get(), 0xC0, FileTimeAt(event.second));
    if (group.TrigType() != TTrigType::ttDataChange || !IsKey(item) || !HasNewValue(item))
        return;
    const std::string time_text = group.TimeFieldType() != TFieldType::ftUnknown
                                      ? TimeText(item, group.TimeFieldType())
                                      : CurrentTimeText(group, EncodeDateTime(kNow));
    std::string statement = BuildStatement(group, KeyText(item), time_text, group.RecordType());
    if (!statement.empty())
        out.push_back(statement);
}

// What the engine does on a snapshot tick (Engine::SnapShot): one statement per distinct key text, or one
// without a key when no item has a key.
void SnapShot(TGroup& group, std::vector<std::string>& out) {
    const std::string time_text = CurrentTimeText(group, EncodeDateTime(kNow));
    std::set<std::string> keys;
    for (std::size_t i = 0; i < group.ItemCount(); ++i) {
        TItem& item = group.Item(i);
        if (!IsKey(item))
            continue;
        RowKey key = KeyText(item);
        std::string lower = key.Sql;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (key.empty() || !keys.insert(lower).second)
            continue;
        std::string statement = BuildStatement(group, key, time_text, group.RecordType());
        if (!statement.empty())
            out.push_back(statement);
    }
    if (keys.empty()) {
        std::string statement = BuildStatement(group, RowKey{}, time_text, group.RecordType());
        if (!statement.empty())
            out.push_back(statement);
    }
}

TItem* FindItem(TGroup& group, const std::string& name) {
    return group.FindItem(name);
}

// Imports the example's group into `root`, with the root line that the page leaves out (a project text
// without one is refused).
void ImportExample(const Example& example, TServer& root) {
    std::string text = "{\"class\":\"TServer\",\"name\":\"Manager\"}\n";
    for (const std::string& line : example.lines)
        text += line + "\n";
    std::istringstream in(text);
    ImportProjectText(in, example.title, root);
}

// Renders one example: its heading, notes, project text, the events and the statements they produce.
std::string Render(const Example& example, int number) {
    TServer root(std::make_unique<FakeConnection>(Parameters(example.procedure_parameters)));
    ImportExample(example, root);
    EXPECT_EQ(root.GroupCount(), 1u) << example.title;
    TGroup& group = root.Group(0);
    if (!example.procedure_parameters.empty())
        group.GetProcSchema().FetchParameters(group.TableName());
    for (const auto& [name, value] : example.values) {
        TItem* item = FindItem(group, name);
        EXPECT_NE(item, nullptr) << example.title << ": no item " << name;
        if (item)
            Engine::SetValue(*item, value.get(), 0xC0, FileTimeAt(0));
    }

    std::ostringstream page;
    page << "## " << number << ". " << example.title << "\n\n" << example.notes << "\n\n";
    page << "```json\n";
    for (const std::string& line : example.lines)
        page << line << "\n";
    page << "```\n\n";
    if (!example.procedure_parameters.empty()) {
        page << "The database reports the procedure's parameters as";
        for (std::size_t i = 0; i < example.procedure_parameters.size(); ++i)
            page << (i ? ", `" : " `") << example.procedure_parameters[i] << "`";
        page << " (listed in this run of the program).\n\n";
    }
    if (!example.values.empty()) {
        page << "Values received so far:";
        bool first = true;
        for (const auto& [name, value] : example.values) {
            page << (first ? " " : ", ") << "`" << name << "` = " << Describe(value);
            first = false;
        }
        page << ".\n\n";
    }
    for (const Event& event : example.events) {
        std::vector<std::string> statements;
        if (event.item.empty()) {
            page << "Snapshot tick at " << FormatDateTimeParts("yyyy-mm-dd hh:nn:ss", kNow) << ":\n\n";
            SnapShot(group, statements);
        } else {
            TItem* item = FindItem(group, event.item);
            EXPECT_NE(item, nullptr) << example.title << ": no item " << event.item;
            if (!item)
                continue;
            page << "`" << event.item << "` changes to " << Describe(event.value) << ", server time "
                 << TimeOfDay(event.second) << " UTC, clock " << TimeOfDay(kNow.second) << ":\n\n";
            DataChange(group, *item, event, statements);
        }
        page << "```sql\n";
        if (statements.empty())
            page << "-- no statement\n";
        for (const std::string& statement : statements)
            page << statement << "\n";
        page << "```\n\n";
    }
    if (!example.afterwards.empty())
        page << example.afterwards << "\n\n";
    return page.str();
}

const std::string kGroupReadings =
    R"({"class":"TGroup","name":"Readings","TableType":"ttTable","TableName":"Readings","TimeField":"DT",)"
    R"("RecordType":"rtInsert","TrigType":"ttSnapShot","RecordInterval":1000,"UpdateRate":250})";

std::vector<Example> Examples() {
    std::vector<Example> list;

    list.push_back(
        {"ttTable · rtInsert · ttSnapShot: one row per tick",
         "Every `RecordInterval` ms the group inserts one row with the last value of every item. "
         "No item has a `Key`, so there is one row per tick. `TimeField` DT receives the clock "
         "time of the tick; `TimeFieldType` is left at `ftUnknown`, which for the record time means "
         "\"the current time, written as `ftDateTime`\" (for an item, `ftUnknown` writes an empty "
         "value instead). Texts are written as SQL string literals, booleans as `True`/`False`.",
         {kGroupReadings,
          R"({"class":"TItem","name":"Sine","ItemName":"Sine.Real8","FieldName":"Sine","FieldType":"ftFloat"})",
          R"({"class":"TItem","name":"Ramp","ItemName":"Ramp.Int4","FieldName":"Ramp","FieldType":"ftInteger"})",
          R"({"class":"TItem","name":"Word","ItemName":"Text.Words","FieldName":"Word","FieldType":"ftString"})",
          R"({"class":"TItem","name":"Flag","ItemName":"Toggle.Boolean","FieldName":"Flag","FieldType":"ftBoolean"})"},
         {},
         {{"Sine", qz::Variant(12.5)},
          {"Ramp", qz::Variant(42)},
          {"Word", qz::Variant("it's")},
          {"Flag", qz::Variant(true)}},
         {Event{}},
         "A data change alone writes nothing in a snapshot group: the values wait for the next tick."});

    list.push_back(
        {"ttTable · rtUpdate · ttSnapShot: keep one row per key up to date",
         "Every tick updates one row per distinct `Key`. An item with a `Key` belongs only to the row of "
         "that key; an item without one (here `Mode`) belongs to every row. The key text is the item's `Key` "
         "written with `KeyFieldType` (here a string literal). The row must already exist: an update of a "
         "missing row changes nothing, and the database reports no error.",
         {R"({"class":"TGroup","name":"Pumps","TableType":"ttTable","TableName":"PumpState","TimeField":"Updated",)"
          R"("KeyField":"Tag","KeyFieldType":"ftString","RecordType":"rtUpdate","TrigType":"ttSnapShot","RecordInterval":5000})",
          R"({"class":"TItem","name":"Speed1","ItemName":"Random.Real8","FieldName":"Speed","FieldType":"ftFloat","Key":"pump1"})",
          R"({"class":"TItem","name":"Running1","ItemName":"Toggle.Boolean","FieldName":"Running","FieldType":"ftBoolean","Key":"pump1"})",
          R"({"class":"TItem","name":"Speed2","ItemName":"Ramp.Real8","FieldName":"Speed","FieldType":"ftFloat","Key":"pump2"})",
          R"({"class":"TItem","name":"Mode","ItemName":"Enum.Mode","FieldName":"Mode","FieldType":"ftInteger"})"},
         {},
         {{"Speed1", qz::Variant(1450.0)},
          {"Running1", qz::Variant(true)},
          {"Speed2", qz::Variant(980.25)},
          {"Mode", qz::Variant(2)}},
         {Event{}},
         "The trailing space after each assignment and the two spaces before `where` are how the builder "
         "writes them; every database accepts them."});

    list.push_back(
        {"ttTable · rtInsert · ttDataChange: one row per change of a keyed item",
         "A data-change group writes when an item with a `Key` receives a new value or quality; items "
         "without "
         "a `Key` never trigger, they only ride along in the rows of keyed items. Both items write into the "
         "same column `Value`; the key column `Tag` tells the rows apart. With `TimeFieldType` `ftDateTime` "
         "the time is the server's time stamp of the value, converted to local time (this page is rendered "
         "in UTC).",
         {R"({"class":"TGroup","name":"Changes","TableType":"ttTable","TableName":"Events","TimeField":"DT",)"
          R"("TimeFieldType":"ftDateTime","KeyField":"Tag","KeyFieldType":"ftString","RecordType":"rtInsert","TrigType":"ttDataChange","UpdateRate":500})",
          R"({"class":"TItem","name":"Counter","ItemName":"Counter.Int4","FieldName":"Value","FieldType":"ftFloat","Key":"counter"})",
          R"({"class":"TItem","name":"Random","ItemName":"Random.Real8","FieldName":"Value","FieldType":"ftFloat","Key":"random"})"},
         {},
         {},
         {Event{"Counter", qz::Variant(17), 50}, Event{"Random", qz::Variant(0.25), 51},
          Event{"Counter", qz::Variant(17), 52}},
         "The third change repeats the value 17 with the same quality: the item does not count as changed "
         "and nothing is written."});

    list.push_back(
        {"ttTable · rtUpdate · ttDataChange: update the row of the key that changed",
         "Each change of a keyed item updates its own row only. `TimeFieldType` `ftUnknown` writes the clock "
         "time of the change (not the server's time stamp). The key here is a number: `KeyFieldType` "
         "`ftInteger` writes the `Key` \"7\" as 7.",
         {R"({"class":"TGroup","name":"Latest","TableType":"ttTable","TableName":"Latest","TimeField":"Updated",)"
          R"("KeyField":"Id","KeyFieldType":"ftInteger","RecordType":"rtUpdate","TrigType":"ttDataChange"})",
          R"({"class":"TItem","name":"Level","ItemName":"Sine.Real8","FieldName":"Level","FieldType":"ftFloat","Key":"7"})",
          R"({"class":"TItem","name":"Alarm","ItemName":"Memory.Boolean","FieldName":"Alarm","FieldType":"ftBoolean","Key":"8"})"},
         {},
         {},
         {Event{"Level", qz::Variant(-3.75), 53}, Event{"Alarm", qz::Variant(false), 53}},
         ""});

    const std::string proc_group =
        R"({"class":"TGroup","name":"Proc","TableType":"ttStoredProc","TableName":"record_reading","TimeField":"DT",)"
        R"("RecordType":"rtInsert","TrigType":"ttSnapShot","RecordInterval":1000})";
    const std::vector<std::string> proc_items = {
        R"({"class":"TItem","name":"Sine","ItemName":"Sine.Real8","FieldName":"Sine","FieldType":"ftFloat"})",
        R"({"class":"TItem","name":"Ramp","ItemName":"Ramp.Int4","FieldName":"Ramp","FieldType":"ftInteger"})"};
    std::vector<std::string> proc_lines{proc_group};
    proc_lines.insert(proc_lines.end(), proc_items.begin(), proc_items.end());

    list.push_back(
        {"ttStoredProc · rtInsert · ttSnapShot: a procedure call per tick",
         "With `TableType` `ttStoredProc`, `TableName` names a procedure and every record is an `exec` with "
         "named arguments `@FieldName=value`. The arguments are the pairs in their order (key, time, items); "
         "their number is the number of parameters the program has listed for the procedure in this run, "
         "so declare the procedure's parameters in the same order as the pairs.",
         proc_lines,
         {"@DT", "@Sine", "@Ramp"},
         {{"Sine", qz::Variant(12.5)}, {"Ramp", qz::Variant(42)}},
         {Event{}},
         ""});

    {
        std::vector<std::string> lines = proc_lines;
        lines[0].replace(lines[0].find("rtInsert"), 8, "rtUpdate");
        list.push_back(
            {"ttStoredProc · rtUpdate · ttSnapShot: RecordType does not matter for procedures",
             "The same group with `RecordType` `rtUpdate`: a procedure group ignores `RecordType`, "
             "and the statement is the same as above.",
             lines,
             {"@DT", "@Sine", "@Ramp"},
             {{"Sine", qz::Variant(12.5)}, {"Ramp", qz::Variant(42)}},
             {Event{}},
             ""});
    }

    list.push_back(
        {"ttStoredProc · rtInsert · ttSnapShot, parameters never listed: no arguments",
         "The parameter list of a procedure is fetched only when the operator lists it in the desktop "
         "program (the field-name editor of an item of the group). Until that has happened in this run of "
         "the program, and always in `tagsink-run`, no parameter is known and the call carries no "
         "arguments.",
         proc_lines,
         {},
         {{"Sine", qz::Variant(12.5)}, {"Ramp", qz::Variant(42)}},
         {Event{}},
         "A procedure that declares defaults for all its parameters accepts such a call; any other fails "
         "when it is executed, and the statement is set aside (see the operations guide)."});

    const std::string change_proc =
        R"({"class":"TGroup","name":"ProcChanges","TableType":"ttStoredProc","TableName":"record_event",)"
        R"("TimeField":"DT","TimeFieldType":"ftDateTime","KeyField":"Tag","KeyFieldType":"ftString",)"
        R"("RecordType":"rtInsert","TrigType":"ttDataChange"})";
    const std::vector<std::string> change_items = {
        R"({"class":"TItem","name":"Counter","ItemName":"Counter.Int4","FieldName":"Value","FieldType":"ftInteger","Key":"counter"})",
        R"({"class":"TItem","name":"Unit","GainType":"gtFixed","DefaultValue":"'pcs'","FieldName":"Unit","FieldType":"ftString"})"};
    std::vector<std::string> change_lines{change_proc};
    change_lines.insert(change_lines.end(), change_items.begin(), change_items.end());

    list.push_back(
        {"ttStoredProc · rtInsert · ttDataChange: a procedure call per change",
         "The keyed item `Counter` triggers; `Unit` is a `gtFixed` item whose `DefaultValue` is written "
         "verbatim, so it carries its own quotes.",
         change_lines,
         {"@Tag", "@DT", "@Value", "@Unit"},
         {},
         {Event{"Counter", qz::Variant(18), 40}},
         ""});

    {
        std::vector<std::string> lines = change_lines;
        lines[0].replace(lines[0].find("rtInsert"), 8, "rtUpdate");
        list.push_back({"ttStoredProc · rtUpdate · ttDataChange",
                        "As above with `RecordType` `rtUpdate`: the same call.",
                        lines,
                        {"@Tag", "@DT", "@Value", "@Unit"},
                        {},
                        {Event{"Counter", qz::Variant(18), 40}},
                        ""});
    }

    list.push_back(
        {"ttTable · rtUpdate without a key: nothing is written",
         "An update needs a `KeyField` and an item with a `Key`; without them every tick builds nothing (and "
         "the items' values are still taken, so they no longer count as changed). The item `Spare` has no "
         "`FieldName` and is never written.",
         {R"({"class":"TGroup","name":"NoKey","TableType":"ttTable","TableName":"PumpState","TimeField":"Updated",)"
          R"("RecordType":"rtUpdate","TrigType":"ttSnapShot"})",
          R"({"class":"TItem","name":"Speed","ItemName":"Random.Real8","FieldName":"Speed","FieldType":"ftFloat"})",
          R"({"class":"TItem","name":"Spare","ItemName":"Random.Int4"})"},
         {},
         {{"Speed", qz::Variant(1450.0)}, {"Spare", qz::Variant(3)}},
         {Event{}},
         ""});

    list.push_back(
        {"ttTable · rtInsert · ttSnapShot with keys but KeyFieldType ftUnknown",
         "`KeyFieldType` is left at `ftUnknown`, which writes no text: every key text is empty, so the tick "
         "writes one row without the key column, and the keyed items, which belong only to their own rows, "
         "are left out. Only the unkeyed item `Mode` is written.",
         {R"({"class":"TGroup","name":"Forgotten","TableType":"ttTable","TableName":"PumpLog","TimeField":"DT",)"
          R"("KeyField":"Tag","RecordType":"rtInsert","TrigType":"ttSnapShot"})",
          R"({"class":"TItem","name":"Speed1","ItemName":"Random.Real8","FieldName":"Speed","FieldType":"ftFloat","Key":"pump1"})",
          R"({"class":"TItem","name":"Mode","ItemName":"Enum.Mode","FieldName":"Mode","FieldType":"ftInteger"})"},
         {},
         {{"Speed1", qz::Variant(1450.0)}, {"Mode", qz::Variant(2)}},
         {Event{}},
         ""});

    return list;
}

std::string RenderPage() {
    std::ostringstream page;
    page
        << "# SQL examples: what each kind of group writes\n\n"
           "<!-- Generated by tests/engine/statement/sql_reference_test.cpp; do not edit by hand. After a\n"
           "     change of the statement builder or of an example, write it anew with\n"
           "     TAGSINK_WRITE_DOCS=1 build/bin/tagsink_sql_reference_test -->\n\n"
           "Every example below is a group in project text (see "
           "[the project text format](../project-text-format.md); the `TServer` line is left out), what the "
           "running group receives, and the exact statements the statement builder makes of it. The test "
           "`SqlReference.PageMatchesTheBuilder` renders this page and fails when it differs from the "
           "checked-in file. Item IDs are those of the [simulated servers](../simulated-servers.md). The "
           "properties are explained in [TGroup](tgroup.md) and [TItem](titem.md); how values become text in "
           "[value formatting](../value-formatting.md).\n\n"
           "Dates and times use the fixed formats `'yyyy-mm-dd'`, `'hh:nn:ss'` and "
           "`'yyyy-mm-dd hh:nn:ss'`; the clock of every example stands at "
        << FormatDateTimeParts("yyyy-mm-dd hh:nn:ss", kNow) << ".\n\n";
    std::vector<Example> examples = Examples();
    for (std::size_t i = 0; i < examples.size(); ++i)
        page << Render(examples[i], static_cast<int>(i + 1));
    std::string text = page.str();
    while (text.size() > 1 && text[text.size() - 1] == '\n' && text[text.size() - 2] == '\n')
        text.pop_back();
    return text;
}

class SqlReference : public ::testing::Test {
protected:
    void SetUp() override {
        // Server time stamps are converted to local time: render the page in UTC wherever it runs.
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

TEST_F(SqlReference, CoversEveryCombinationOfTableRecordAndTrigType) {
    std::set<std::string> combinations;
    for (const Example& example : Examples()) {
        TServer root(std::make_unique<FakeConnection>(Parameters({})));
        ImportExample(example, root);
        const TGroup& group = root.Group(0);
        combinations.insert(std::to_string(static_cast<int>(group.TableType())) +
                            std::to_string(static_cast<int>(group.RecordType())) +
                            std::to_string(static_cast<int>(group.TrigType())));
    }
    EXPECT_EQ(combinations.size(), 8u);
}

TEST_F(SqlReference, PageMatchesTheBuilder) {
    const std::string page = RenderPage();
    const std::string path = std::string(TAGSINK_SOURCE_DIR) + "/docs/reference/sql-examples.md";
    if (const char* write = std::getenv("TAGSINK_WRITE_DOCS"); write && std::string(write) == "1") {
        std::ofstream(path, std::ios::binary) << page;
        GTEST_SKIP() << "wrote " << path;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path << " is missing; write it with TAGSINK_WRITE_DOCS=1 "
                    << "tagsink_sql_reference_test";
    std::stringstream stored;
    stored << in.rdbuf();
    EXPECT_EQ(stored.str(), page) << path
                                  << " differs from what the statement builder produces; if the change is "
                                     "intended, write it anew with TAGSINK_WRITE_DOCS=1 and review git diff";
}

} // namespace
} // namespace tagsink
