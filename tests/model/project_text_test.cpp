#include "item_csv.hpp"
#include "model/enumerations.hpp"
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

std::vector<std::string> Lines(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line))
        all.push_back(line);
    return all;
}

TEST(ProjectText, ExportIsOneBlockPerObjectWithOnePropertyPerLineInDeclaredOrder) {
    TServer root;
    const std::vector<std::string> all = Lines(Export(Sample(root)));
    // format line, then per object a blank line, a header and one line per property
    ASSERT_EQ(all.size(), 1u + (2 + 5) + 2 * (2 + 12) + 2 * (2 + 7));
    EXPECT_EQ(all[0], "{\"tagsink-project\":2}");
    EXPECT_EQ(all[1], "");
    EXPECT_EQ(all[2], "[TServer Manager]");
    EXPECT_EQ(all[3], "OPCString = \"/Sim.Server.1/{6E29}\"");
    EXPECT_EQ(all[5], "BufferCount = -1");
    EXPECT_EQ(all[7], "Description = \"\xE6\xB8\xA9\xE5\xBA\xA6 \\\"quoted\\\"\\n\\tnext line\"");
    EXPECT_EQ(all[9], "[TGroup Group1]");
    EXPECT_EQ(all[10], "TableType = ttStoredProc");
    EXPECT_EQ(all[11], "TableName = \"\"");
    EXPECT_EQ(all[20], "Deadband = 0.1");
    EXPECT_EQ(all[21], "Description = \"Group1\"");
    EXPECT_EQ(all[23], "[TItem Group1.Item3]");
    EXPECT_EQ(all[24], "FieldName = \"\"");
    EXPECT_EQ(all[25], "FieldType = ftFMTBcd");
    EXPECT_EQ(all[32], "[TItem Group1.Item1]");
    EXPECT_EQ(all[41], "[TGroup G2]");
    EXPECT_EQ(all[52], "Deadband = Infinity");
}

TEST(ProjectText, FloatsAreWrittenInTheirShortestForm) {
    struct Case {
        float value;
        const char* text;
    };
    const Case cases[] = {{0.1f, "0.1"},     {0.3f, "0.3"},
                          {2.5f, "2.5"},     {100.0f, "100"},
                          {1e-5f, "1e-5"},   {3.4028235e38f, "3.4028235e38"},
                          {-0.0f, "-0"},     {33.333332f, "33.333332"},
                          {1e-45f, "1e-45"}, {0.0f, "0"}};
    for (const auto& c : cases) {
        TServer root;
        TGroup& g = TGroup::Create(root);
        g.SetName("G");
        g.SetDeadband(c.value);
        const std::vector<std::string> all = Lines(Export(root));
        EXPECT_EQ(all[20], std::string("Deadband = ") + c.text) << c.text;
        TServer back;
        Import(Export(root), back);
        EXPECT_EQ(std::signbit(back.Group(0).Deadband()), std::signbit(c.value)) << c.text;
        EXPECT_EQ(back.Group(0).Deadband(), c.value) << c.text;
    }
}

TEST(ProjectText, MinimalTextFillsInitialValuesAndNames) {
    TServer root;
    Import("# a comment\n\n{\"class\":\"TServer\"}\n{\"class\":\"TGroup\"}\n"
           "{\"class\":\"TItem\",\"ItemName\":\"A.B\"}\n"
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

TEST(ProjectText, GeneratedNamesStepAsideForNamesGivenLater) {
    TServer root;
    Import("{\"class\":\"TServer\"}\n{\"class\":\"TGroup\"}\n{\"class\":\"TItem\"}\n"
           "{\"class\":\"TItem\",\"name\":\"item1\"}\n{\"class\":\"TGroup\",\"name\":\"Group1\"}\n",
           root);
    EXPECT_EQ(root.Group(0).Name(), "Group2");
    EXPECT_EQ(root.Group(0).Item(0).Name(), "Item2");
    EXPECT_EQ(root.Group(0).Item(1).Name(), "item1");
    EXPECT_EQ(root.Group(1).Name(), "Group1");
}

TEST(ProjectText, BlockFormReadsWhatItWrites) {
    TServer root;
    Import("\xEF\xBB\xBF# hand written\n{\"tagsink-project\":2}\n[TServer Manager]\nBufferCount=3\n\n"
           "[TGroup Line1]\n  deadband =  0.1 \nTRIGTYPE = \"ttDataChange\"\n# a note\n"
           "[TItem line1.Speed]\nItemName = \"PLC.Speed\"\nFieldType = ftfloat\n"
           "[TItem Line1.]\n[TGroup]\n",
           root);
    EXPECT_EQ(root.BufferCount(), 3);
    ASSERT_EQ(root.GroupCount(), 2u);
    EXPECT_EQ(root.Group(0).Deadband(), 0.1f);
    EXPECT_EQ(root.Group(0).TrigType(), TTrigType::ttDataChange);
    EXPECT_EQ(root.Group(0).Item(0).ItemName(), "PLC.Speed");
    EXPECT_EQ(root.Group(0).Item(0).FieldType(), TFieldType::ftFloat);
    EXPECT_EQ(root.Group(0).Item(1).Name(), "");
    EXPECT_EQ(root.Group(1).Name(), "");
}

TEST(ProjectText, ErrorsNameTheLineTheObjectAndTheProblem) {
    const std::string head =
        "{\"tagsink-project\":1}\n{\"class\":\"TServer\"}\n{\"class\":\"TGroup\",\"name\":\"G\"}\n";
    EXPECT_EQ(ImportError(head + "{\"class\":\"TItem\",\"FieldNme\":\"V\"}\n"),
              "p.jsonl:4: TItem G.Item1: unknown property 'FieldNme' of TItem; its properties are FieldName, "
              "FieldType, ItemName, GainType, DefaultValue, CalcExpr, Key");
    EXPECT_EQ(ImportError(head + "{\"class\":\"TItem\",\"name\":\"I\",\"FieldType\":\"ftFlaot\"}\n"),
              "p.jsonl:4: TItem G.I: bad enumeration identifier: FieldType: 'ftFlaot' is not a TFieldType "
              "identifier; allowed: " +
                  AllowedIdentifiers(kFieldTypeInfo));
    EXPECT_EQ(ImportError(head + "{\"class\":\"TGroup\",\"name\":\"H\",\"TrigType\":1}\n"),
              "p.jsonl:4: TGroup H: bad enumeration identifier: TrigType: expected a TTrigType identifier "
              "(ttSnapShot, ttDataChange), found the number 1");
    EXPECT_EQ(ImportError(head + "{\"class\":\"TGroup\",\"UpdateRate\":2147483648}\n"),
              "p.jsonl:4: TGroup Group1: bad number: UpdateRate: expected a whole number from -2147483648 to "
              "2147483647, found the number 2147483648");
    EXPECT_EQ(ImportError(head + "{\"class\":\"TGroup\",\"UpdateRate\":1.5}\n"),
              "p.jsonl:4: TGroup Group1: bad number: UpdateRate: expected a whole number from -2147483648 to "
              "2147483647, found the number 1.5");
    EXPECT_EQ(ImportError(head + "{\"class\":\"TGroup\",\"Deadband\":1e300}\n"),
              "p.jsonl:4: TGroup Group1: bad number: Deadband: 1e+300 is beyond the range of a 32-bit float");
    EXPECT_EQ(ImportError(head + "{\"class\":\"TGroup\",\"name\":\"g\"}\n"),
              "p.jsonl:4: TGroup g: A component named g already exists: TGroup G on line 3 (names are "
              "compared without regard to letter case)");
    EXPECT_EQ(ImportError(head + "{\"class\":\"TItem\",\"name\":\"2x\"}\n"),
              "p.jsonl:4: TItem G.2x: ''2x'' is not a valid component name; a name is empty, or an ASCII "
              "letter or '_' followed by ASCII letters, digits or '_', at most 255 characters");
    EXPECT_EQ(ImportError(head + "{\"class\":\"TItem\",\"name\":\"" + std::string(256, 'a') + "\"}\n"),
              "p.jsonl:4: TItem G." + std::string(256, 'a') +
                  ": the name has 256 characters; a name is empty, or an ASCII letter or '_' followed by "
                  "ASCII letters, digits or '_', at most 255 characters");
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
    EXPECT_EQ(ImportError("{\"tagsink-project\":3}\n"),
              "p.jsonl:1: unsupported format line {\"tagsink-project\":3}; this program reads "
              "{\"tagsink-project\":1} (JSON lines) and {\"tagsink-project\":2} (blocks)");
    EXPECT_EQ(ImportError("[1]\n"), "p.jsonl:1: expected a JSON object {...}, found array");
    // a number too large for any number type is a message, not an escaping exception
    EXPECT_THAT(ImportError(head + "{\"class\":\"TGroup\",\"UpdateRate\":1e99999}\n"),
                ::testing::StartsWith("p.jsonl:4: bad JSON: "));
    // a text without its root
    EXPECT_EQ(ImportError(""), "p.jsonl: the text holds no project: a project text has a TServer line (the "
                               "root), and this one has none");
    EXPECT_EQ(ImportError("{\"class\":\"TGroup\"}\n"),
              "p.jsonl: the text has no TServer line (the root): a project text has exactly one");
}

TEST(ProjectText, BlockFormErrors) {
    const std::string head = "{\"tagsink-project\":2}\n[TServer Manager]\n[TGroup G]\n";
    EXPECT_EQ(ImportError("[TServer Manager]\n"),
              "p.jsonl:1: a text of blocks begins with the format line {\"tagsink-project\":2}");
    EXPECT_EQ(ImportError("{\"tagsink-project\":2}\nBufferCount = 1\n"),
              "p.jsonl:2: the property 'BufferCount' stands before the first block header such as [TServer "
              "Manager]");
    EXPECT_EQ(ImportError(head + "UpdateRate = 5\nTableName = \"T\"\nupdaterate = 7\n"),
              "p.jsonl:6: TGroup G: duplicate property 'updaterate': 'UpdateRate' is already given on line 4 "
              "(keys are compared without regard to letter case)");
    EXPECT_EQ(ImportError(head + "[TItem G]\n"),
              "p.jsonl:4: an item block names its group and itself: [TItem Group1.Item1], found '[TItem G]'");
    EXPECT_EQ(ImportError(head + "[TItem G.I\n"), "p.jsonl:4: a block header ends with ']': [TServer "
                                                  "Manager], [TGroup Group1] or [TItem Group1.Item1]");
    EXPECT_EQ(ImportError(head + "UpdateRate 5\n"),
              "p.jsonl:4: expected a line 'Property = value' or a block header such as [TGroup Group1], "
              "found 'UpdateRate 5'");
    EXPECT_EQ(ImportError(head + "TableName = T1\n"),
              "p.jsonl:4: TGroup G: bad value: TableName: expected a string in double quotes, found the "
              "word T1");
    EXPECT_EQ(
        ImportError(head + "TableName = \"T1\" x\n"),
        "p.jsonl:4: TableName: bad string: column 6: syntax error while parsing value - invalid literal; "
        "last read: '\"T1\" x'; expected end of input");
    EXPECT_EQ(ImportError(head + "UpdateRate = 1.5\n"),
              "p.jsonl:4: TGroup G: bad number: UpdateRate: expected a whole number from -2147483648 to "
              "2147483647, found the number 1.5");
    EXPECT_EQ(ImportError(head + "Deadband = 1e39\n"),
              "p.jsonl:4: TGroup G: bad number: Deadband: 1e39 is beyond the range of a 32-bit float");
    EXPECT_EQ(
        ImportError(head + "Deadband = .5\n"),
        "p.jsonl:4: Deadband: expected a string in double quotes, a number or an identifier, found '.5'");
    EXPECT_EQ(ImportError(head + "Deadband = \n"), "p.jsonl:4: Deadband: no value after '='");
    EXPECT_EQ(ImportError(head + "[TItem H.I]\n"),
              "p.jsonl:4: TItem H.I: names the group 'H', which the text does not have; it stands below "
              "TGroup G (line 3)");
    EXPECT_EQ(ImportError("{\"tagsink-project\":2}\n[TServer]\n[TItem G.I]\n"),
              "p.jsonl:3: the item block [TItem G.I] stands before any TGroup block: an item block follows "
              "its group's block");
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

TEST(ItemCsv, GeneratedNamesStepAsideForNamesOfLaterRows) {
    TServer root;
    EXPECT_EQ(AddCsv("G,,a\nG,item1,b\nH,,c\nG,,d\n", root), 4u);
    EXPECT_EQ(root.Group(0).Item(0).Name(), "Item2");
    EXPECT_EQ(root.Group(0).Item(1).Name(), "item1");
    EXPECT_EQ(root.Group(0).Item(2).Name(), "Item3");
    EXPECT_EQ(root.Group(1).Item(0).Name(), "Item1");
}

TEST(ItemCsv, SemicolonSeparatedSheets) {
    TServer root;
    EXPECT_EQ(AddCsv("G;I1;A,B;F;ftString;k\n", root), 1u);
    EXPECT_EQ(root.Group(0).Item(0).ItemName(), "A,B");
}

TEST(ItemCsv, ErrorsNameTheLineAndTheColumn) {
    EXPECT_EQ(CsvError("G,I,id,f,ftFlaot\n"),
              "items.csv:1: column 5 (field type): bad enumeration identifier: 'ftFlaot' is not a TFieldType "
              "identifier; allowed: " +
                  AllowedIdentifiers(kFieldTypeInfo));
    EXPECT_EQ(CsvError("group\nG,I,a\nG,i,b\n"),
              "items.csv:3: column 2 (item name): group G already has an item named I (line 2)");
    EXPECT_EQ(CsvError("G,I,a\n\"G,x\n"), "items.csv:2: a quoted field is not closed");
    EXPECT_EQ(CsvError("1G,I,a\n"),
              "items.csv:1: column 1 (group): ''1G'' is not a valid component name; a name is empty, or an "
              "ASCII letter or '_' followed by ASCII letters, digits or '_', at most 255 characters");
    EXPECT_EQ(CsvError("G,I-1,a\n"),
              "items.csv:1: column 2 (item name): ''I-1'' is not a valid component name; a name is empty, or "
              "an ASCII letter or '_' followed by ASCII letters, digits or '_', at most 255 characters");
    EXPECT_EQ(CsvError("G," + std::string(300, 'x') + ",a\n"),
              "items.csv:1: column 2 (item name): the name has 300 characters; a name is empty, or an ASCII "
              "letter or '_' followed by ASCII letters, digits or '_', at most 255 characters");
    EXPECT_EQ(CsvError(",I,a\n"), "items.csv:1: column 1 (group) is empty; every item names its group");
    EXPECT_EQ(CsvError("G,I,a,b,ftFloat,k,extra\n"), "items.csv:1: expected at most 6 columns (group, item "
                                                     "name, OPC item ID, field name, field type, key), "
                                                     "found 7");
    EXPECT_EQ(CsvError("G,\"a\"b\n"), "items.csv:1: text after the closing quote of a quoted field");
    // the first three columns are required; field name, field type and key may be left out
    EXPECT_EQ(CsvError("G,I\n"), "items.csv:1: the row has 2 columns; a row needs at least the first 3 "
                                 "(group, item name, OPC item ID); field name, field type and key may be "
                                 "left out");
    EXPECT_EQ(CsvError("G\n"), "items.csv:1: the row has 1 column; a row needs at least the first 3 (group, "
                               "item name, OPC item ID); field name, field type and key may be left out");
    EXPECT_EQ(CsvError("G,I,\n"), "items.csv:1: column 3 (OPC item ID) is empty; every item needs the OPC "
                                  "item ID it subscribes");
    EXPECT_EQ(CsvError("G,I,a\n"), "(added)");
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
