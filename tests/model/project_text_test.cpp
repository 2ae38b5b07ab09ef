#include "item_csv.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/project_file.hpp"
#include "model/server.hpp"
#include "project_text.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

namespace tagsink {
namespace {

std::string Export(const TServer& root, const StoredProperties* stored = nullptr) {
    std::ostringstream out;
    ExportProjectText(root, out, stored);
    return out.str();
}

void Import(const std::string& text, TServer& root) {
    std::istringstream in(text);
    ImportProjectText(in, "p.jsonl", root);
}

std::string ImportError(const std::string& text) {
    TServer root;
    try {
        Import(text, root);
    } catch (const TextError& e) {
        return e.what();
    }
    return "(imported)";
}

// A file's bytes -> text -> bytes, the way the tool does it.
std::string RoundTrip(const std::string& bytes) {
    TServer loaded;
    StoredProperties stored;
    ReadProjectStream(bytes, loaded, [&](const TNamedItem& o, const PropInfo& p) {
        stored.insert({&o, &p});
    });
    TServer rebuilt;
    Import(Export(loaded, &stored), rebuilt);
    return WriteProjectStream(rebuilt);
}

TServer& Sample(TServer& root) {
    root.SetOPCString("/Sim.Server.1/{6E29}");
    root.SetDBString("Driver={SQLite3};Database=a b.db");
    root.SetBufferCount(-1);
    root.SetBufferTime(100000);
    root.SetDescription("\xE6\xB8\xA9\xE5\xBA\xA6 \"quoted\"\n\tnext line");
    TGroup& g = TGroup::Create(root);
    g.SetName("Group1");
    g.SetTableType(TTableType::ttStoredProc);
    g.SetDeadband(0.1f);
    g.SetTrigType(TTrigType::ttDataChange);
    TItem& i = TItem::Create(g);
    i.SetName("Item3");
    i.SetFieldType(TFieldType::ftFMTBcd);
    i.SetCalcExpr(std::string(300, 'x'));
    TItem::Create(g).SetName("Item1");
    TGroup& h = TGroup::Create(root);
    h.SetName("G2");
    h.SetDescription(""); // stored without Description
    h.SetDeadband(std::numeric_limits<float>::infinity());
    return root;
}

TEST(ProjectText, ExportImportGivesTheSameFile) {
    TServer root;
    const std::string bytes = WriteProjectStream(Sample(root));
    EXPECT_EQ(RoundTrip(bytes), bytes);
}

TEST(ProjectText, EmptiedDescriptionsSurviveTheText) {
    TServer root;
    root.SetDescription("");
    TGroup& g = TGroup::Create(root);
    g.SetName("G");
    g.SetDescription("");
    const std::string bytes = WriteProjectStream(root);
    EXPECT_EQ(bytes.find("Description"), std::string::npos);
    EXPECT_EQ(RoundTrip(bytes), bytes);
}

TEST(ProjectText, ExportIsOneLinePerObjectInDeclaredOrder) {
    TServer root;
    const std::string text = Export(Sample(root));
    std::istringstream lines(text);
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line))
        all.push_back(line);
    ASSERT_EQ(all.size(), 6u);
    EXPECT_EQ(all[0], "{\"tagsink-project\":1}");
    EXPECT_EQ(all[1].rfind("{\"class\":\"TServer\",\"name\":\"Manager\",\"OPCString\":", 0), 0u);
    EXPECT_NE(all[2].find("\"Deadband\":0.10000000149011612"), std::string::npos);
    EXPECT_NE(all[5].find("\"Deadband\":\"Infinity\""), std::string::npos);
    EXPECT_LT(all[2].find("TableType"), all[2].find("TableName"));
}

TEST(ProjectText, MinimalTextFillsInitialValuesAndNames) {
    TServer root;
    Import("# a comment\n\n{\"class\":\"TGroup\"}\n{\"class\":\"TItem\",\"ItemName\":\"A.B\"}\n"
           "{\"class\":\"TItem\",\"fieldtype\":\"FTFLOAT\"}\n{\"class\":\"TGroup\",\"name\":\"X\"}\n",
           root);
    ASSERT_EQ(root.GroupCount(), 2u);
    EXPECT_EQ(root.Name(), "Manager");
    EXPECT_EQ(root.Group(0).Name(), "Group1");
    EXPECT_EQ(root.Group(0).Description(), "Group1");
    EXPECT_EQ(root.Group(0).Item(1).Name(), "Item2");
    EXPECT_EQ(root.Group(0).Item(1).FieldType(), TFieldType::ftFloat);
    EXPECT_EQ(root.Group(0).UpdateRate(), 1000);
    EXPECT_EQ(root.Group(1).Description(), "X");
}

TEST(ProjectText, ErrorsNameTheLineAndTheProblem) {
    const std::string head =
        "{\"tagsink-project\":1}\n{\"class\":\"TServer\"}\n{\"class\":\"TGroup\",\"name\":\"G\"}\n";
    EXPECT_EQ(ImportError(head + "{\"class\":\"TItem\",\"FieldNme\":\"V\"}\n"),
              "p.jsonl:4: unknown property 'FieldNme' of TItem");
    EXPECT_EQ(ImportError(head + "{\"class\":\"TItem\",\"FieldType\":\"ftFlaot\"}\n"),
              "p.jsonl:4: bad enumeration identifier: FieldType: 'ftFlaot' is not a TFieldType identifier");
    EXPECT_EQ(
        ImportError(head + "{\"class\":\"TGroup\",\"UpdateRate\":2147483648}\n"),
        "p.jsonl:4: bad number: UpdateRate: expected a whole number from -2147483648 to 2147483647, found "
        "the number 2147483648");
    EXPECT_EQ(
        ImportError(head + "{\"class\":\"TGroup\",\"UpdateRate\":1.5}\n"),
        "p.jsonl:4: bad number: UpdateRate: expected a whole number from -2147483648 to 2147483647, found "
        "the number 1.5");
    EXPECT_EQ(ImportError(head + "{\"class\":\"TGroup\",\"Deadband\":1e300}\n"),
              "p.jsonl:4: bad number: Deadband: 1e+300 is beyond the range of a 32-bit float");
    EXPECT_EQ(ImportError(head + "{\"class\":\"TGroup\",\"name\":\"g\"}\n"),
              "p.jsonl:4: A component named g already exists");
    EXPECT_EQ(ImportError(head + "{\"class\":\"TItem\",\"name\":\"2x\"}\n"),
              "p.jsonl:4: ''2x'' is not a valid component name");
    EXPECT_EQ(
        ImportError(head + "{\"class\":\"TItem\",\"name\":\"ok\",\n"),
        "p.jsonl:4: bad JSON: column 30: syntax error while parsing object key - unexpected end of input; "
        "expected string literal");
    EXPECT_EQ(ImportError(head + "{\"class\":\"TServer\"}\n"),
              "p.jsonl:4: a second TServer line: a project has exactly one root");
    EXPECT_EQ(ImportError("{\"class\":\"TItem\"}\n"),
              "p.jsonl:1: a TItem line must follow the line of its TGroup");
    EXPECT_EQ(ImportError("{\"class\":\"TButton\"}\n"),
              "p.jsonl:1: unknown class 'TButton' (expected TServer, TGroup or TItem)");
    EXPECT_EQ(ImportError("{\"tagsink-project\":2}\n"),
              "p.jsonl:1: unsupported format line {\"tagsink-project\":2}; this program reads "
              "{\"tagsink-project\":1}");
    EXPECT_EQ(ImportError("[1]\n"), "p.jsonl:1: expected a JSON object {...}, found array");
    // a number too large for any number type is a message, not an escaping exception
    EXPECT_THAT(ImportError(head + "{\"class\":\"TGroup\",\"UpdateRate\":1e99999}\n"),
                ::testing::StartsWith("p.jsonl:4: bad JSON: "));
}

std::size_t AddCsv(const std::string& csv, TServer& root) {
    std::istringstream in(csv);
    return AddItemsFromCsv(in, "items.csv", root);
}

std::string CsvError(const std::string& csv) {
    TServer root;
    try {
        AddCsv(csv, root);
    } catch (const TextError& e) {
        return e.what();
    }
    return "(added)";
}

TEST(ItemCsv, AddsItemsAndGroups) {
    TServer root;
    TGroup& existing = TGroup::Create(root);
    existing.SetName("Boilers");
    TItem::Create(existing).SetName("Item1");
    const std::size_t added = AddCsv("\xEF\xBB\xBFGroup,Item,ID,Field,Type,Key\r\n"
                                     "Boilers,,Ch1.Temp,TEMP,ftFloat,\r\n"
                                     "boilers,Press,\"Ch1.P,1\",PRESS,ftinteger,\"B\"\"1\"\r\n"
                                     "\r\n"
                                     "Pumps,,\"multi\nline\",,,\r\n"
                                     "Pumps,,x\r\n",
                                     root);
    EXPECT_EQ(added, 4u);
    ASSERT_EQ(root.GroupCount(), 2u);
    EXPECT_EQ(existing.ItemCount(), 3u);
    EXPECT_EQ(existing.Item(1).Name(), "Item2");
    EXPECT_EQ(existing.Item(1).FieldType(), TFieldType::ftFloat);
    EXPECT_EQ(existing.Item(2).ItemName(), "Ch1.P,1");
    EXPECT_EQ(existing.Item(2).Key(), "B\"1");
    EXPECT_EQ(existing.Item(2).FieldType(), TFieldType::ftInteger);
    TGroup& pumps = root.Group(1);
    EXPECT_EQ(pumps.Description(), "Pumps");
    EXPECT_EQ(pumps.Item(0).ItemName(), "multi\nline");
    EXPECT_EQ(pumps.Item(1).Name(), "Item2");
}

TEST(ItemCsv, SemicolonSeparatedSheets) {
    TServer root;
    EXPECT_EQ(AddCsv("G;I1;A,B;F;ftString;k\n", root), 1u);
    EXPECT_EQ(root.Group(0).Item(0).ItemName(), "A,B");
}

TEST(ItemCsv, ErrorsNameTheLine) {
    EXPECT_EQ(CsvError("G,I,id,f,ftFlaot\n"),
              "items.csv:1: bad enumeration identifier: 'ftFlaot' is not a TFieldType identifier");
    EXPECT_EQ(CsvError("group\nG,I\nG,i\n"), "items.csv:3: group G already has an item named i");
    EXPECT_EQ(CsvError("G,I\n\"G,x\n"), "items.csv:2: a quoted field is not closed");
    EXPECT_EQ(CsvError("1G,I\n"), "items.csv:1: ''1G'' is not a valid component name");
    EXPECT_EQ(CsvError("G,I-1\n"), "items.csv:1: ''I-1'' is not a valid component name");
    EXPECT_EQ(CsvError(",I\n"), "items.csv:1: the group name is empty");
    EXPECT_EQ(CsvError("G,I,a,b,ftFloat,k,extra\n"), "items.csv:1: expected at most 6 columns (group, item "
                                                     "name, OPC item ID, field name, field type, key), "
                                                     "found 7");
    EXPECT_EQ(CsvError("G,\"a\"b\n"), "items.csv:1: text after the closing quote of a quoted field");
}

TEST(ItemCsv, HundredThousandItemsGetGeneratedNamesQuickly) {
    std::string csv;
    for (int i = 0; i < 100000; ++i)
        csv += "G,,Tag" + std::to_string(i) + ",V,ftFloat\n";
    TServer root;
    EXPECT_EQ(AddCsv(csv, root), 100000u);
    EXPECT_EQ(root.Group(0).Item(99999).Name(), "Item100000");
}

} // namespace
} // namespace tagsink
