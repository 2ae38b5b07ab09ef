// The tagsink-project program end to end, run as a separate process.
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/project_file.hpp"
#include "model/server.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace tagsink {
namespace {

class ProjectTool : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tagsink-cli-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // Runs the tool; returns its exit code and leaves its output in out_ and err_.
    int Run(const std::string& args) { return Shell(std::string(TAGSINK_PROJECT_TOOL) + " " + args); }
    // Runs a shell command the same way.
    int Shell(const std::string& command_line) {
        const auto out = dir_ / "stdout", err = dir_ / "stderr";
        const std::string command = command_line + " >" + out.string() + " 2>" + err.string();
        const int status = std::system(command.c_str());
        out_ = Read(out);
        err_ = Read(err);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static std::string Read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void Write(const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    std::string P(const std::string& name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
    std::string out_, err_;
};

TEST_F(ProjectTool, FileExportedAndImportedComesBackByteForByte) {
    TServer root;
    root.SetBufferCount(10);
    root.SetBufferTime(5000);
    root.SetOPCString("/Sim.Server.1/{X}");
    root.SetDescription("");
    TGroup& g = TGroup::Create(root);
    g.SetName("Group1");
    g.SetDescription("\xE6\xB8\xA9\xE5\xBA\xA6");
    g.SetDeadband(2.5f);
    TItem& i = TItem::Create(g);
    i.SetName("Item1");
    i.SetFieldType(TFieldType::ftFloat);
    root.SaveToFile(P("a.DAT"));

    ASSERT_EQ(Run("export " + P("a.DAT")), 0) << err_;
    Write(dir_ / "a.jsonl", out_);
    ASSERT_EQ(Run("import " + P("a.jsonl") + " " + P("b.DAT")), 0) << err_;
    EXPECT_EQ(Read(dir_ / "b.DAT"), Read(dir_ / "a.DAT"));
}

TEST_F(ProjectTool, UnloadableFileFailsWithTheLoadersMessage) {
    Write(dir_ / "bad.DAT", "TPF1");
    EXPECT_EQ(Run("export " + P("bad.DAT")), 1);
    EXPECT_EQ(err_, P("bad.DAT") + ": Invalid stream format\n");
    EXPECT_EQ(out_, "");
    EXPECT_EQ(Run("export " + P("none.DAT")), 1);
    EXPECT_EQ(err_, "Cannot open file \"" + P("none.DAT") + "\". No such file or directory\n");
}

TEST_F(ProjectTool, FailedImportLeavesTheOldFileAlone) {
    Write(dir_ / "p.DAT", "previous");
    Write(dir_ / "p.jsonl", "{\"class\":\"TGroup\",\"name\":\"G\"}\n{\"class\":\"TItem\",\"Colour\":1}\n");
    EXPECT_EQ(Run("import " + P("p.jsonl") + " " + P("p.DAT")), 1);
    EXPECT_EQ(err_, P("p.jsonl") +
                        ":2: TItem G.Item1: unknown property 'Colour' of TItem; its properties are "
                        "FieldName, FieldType, ItemName, GainType, DefaultValue, CalcExpr, Key\n");
    EXPECT_EQ(Read(dir_ / "p.DAT"), "previous");
    EXPECT_EQ(Run("import " + P("p.jsonl") + " " + P("new.DAT")), 1);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "new.DAT"));
}

TEST_F(ProjectTool, FilesInFoldersWithNonAsciiNames) {
    // "Anlage Süd/测试": the CSV, the project file and the messages keep the names as given.
    const std::string folder = "Anlage S\xC3\xBC"
                               "d/\xE6\xB5\x8B\xE8\xAF\x95";
    std::filesystem::create_directories(dir_ / folder);
    Write(dir_ / folder / "items.csv", "group,item,id,field,type,key\nG,,Ch.A,A,ftFloat,\n");
    const std::string csv = "'" + P(folder + "/items.csv") + "'", project = "'" + P(folder + "/p.DAT") + "'";
    ASSERT_EQ(Run("add-items " + csv + " " + project), 0) << err_;
    EXPECT_NE(err_.find(P(folder + "/items.csv") + ": 1 items added"), std::string::npos) << err_;
    EXPECT_TRUE(std::filesystem::is_regular_file(dir_ / folder / "p.DAT"));
    ASSERT_EQ(Run("export " + project), 0) << err_;
    EXPECT_NE(out_.find("ItemName = \"Ch.A\""), std::string::npos) << out_;
    EXPECT_EQ(Run("export '" + P(folder + "/none.DAT") + "'"), 1);
    EXPECT_NE(err_.find(P(folder + "/none.DAT")), std::string::npos) << err_;
}

TEST_F(ProjectTool, AddItemsFromCsvIntoNewAndExistingFiles) {
    Write(dir_ / "items.csv", "group,item,id,field,type,key\nG,,Ch.A,A,ftFloat,\nG,,Ch.B,B,ftString,k\n");
    ASSERT_EQ(Run("add-items " + P("items.csv") + " " + P("p.DAT")), 0) << err_;
    ASSERT_EQ(Run("add-items " + P("items.csv") + " " + P("p.DAT")), 0) << err_;
    TServer root;
    root.LoadFromFile(P("p.DAT"));
    ASSERT_EQ(root.GroupCount(), 1u);
    ASSERT_EQ(root.Group(0).ItemCount(), 4u);
    EXPECT_EQ(root.Group(0).Item(3).Name(), "Item4");
    EXPECT_EQ(root.Group(0).Item(3).Key(), "k");
    // A broken CSV changes nothing.
    const std::string before = Read(dir_ / "p.DAT");
    Write(dir_ / "bad.csv", "G,,x,y,ftNothing\n");
    EXPECT_EQ(Run("add-items " + P("bad.csv") + " " + P("p.DAT")), 1);
    EXPECT_EQ(err_, P("bad.csv") +
                        ":1: column 5 (field type): bad enumeration identifier: 'ftNothing' is not a "
                        "TFieldType identifier; allowed: ftUnknown, ftString, ftSmallint, ftInteger, ftWord, "
                        "ftBoolean, ftFloat, ftCurrency, ftBCD, ftDate, ftTime, ftDateTime, ftBytes, "
                        "ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle, "
                        "ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar, ftWideString, ftLargeint, ftADT, "
                        "ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob, ftVariant, ftInterface, "
                        "ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd\n");
    EXPECT_EQ(Read(dir_ / "p.DAT"), before);
}

TEST_F(ProjectTool, ImportTakesItemsAfterTheText) {
    Write(dir_ / "p.jsonl", "{\"class\":\"TServer\",\"BufferCount\":5}\n");
    Write(dir_ / "items.csv", "Line1,Speed,PLC.Speed,SPEED,ftFloat\n");
    ASSERT_EQ(Run("import " + P("p.jsonl") + " " + P("p.DAT") + " --items " + P("items.csv")), 0) << err_;
    TServer root;
    root.LoadFromFile(P("p.DAT"));
    EXPECT_EQ(root.BufferCount(), 5);
    EXPECT_EQ(root.Group(0).Item(0).ItemName(), "PLC.Speed");
}

TEST_F(ProjectTool, BadCommandLineIsRefused) {
    EXPECT_NE(Run("frobnicate"), 0);
    EXPECT_NE(Run("export"), 0);
}

// The project text through the tool: a sample project exported, edited and imported again.
class ProjectTextTool : public ProjectTool {
protected:
    // Builds a project file, exports it and returns the text.
    std::string ExportedSample() {
        TServer root;
        root.SetBufferCount(10);
        root.SetOPCString("/Sim.Server.1/{X}");
        TGroup& g = TGroup::Create(root);
        g.SetName("Line1");
        g.SetTableName("T1");
        TItem& a = TItem::Create(g);
        a.SetName("Speed");
        a.SetItemName("PLC.Speed");
        a.SetFieldName("SPEED");
        a.SetFieldType(TFieldType::ftFloat);
        TItem& b = TItem::Create(g);
        b.SetName("Temp");
        b.SetItemName("PLC.Temp");
        TGroup::Create(root).SetName("Line2");
        root.SaveToFile(P("sample.DAT"));
        EXPECT_EQ(Run("export " + P("sample.DAT")), 0) << err_;
        return out_;
    }
    static std::string Replace(std::string text, const std::string& from, const std::string& to) {
        const auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos)
            text.replace(at, from.size(), to);
        return text;
    }
    // Imports `text` over an existing project file and expects the refusal `message`, the file untouched.
    void ExpectRefused(const std::string& text, const std::string& message) {
        Write(dir_ / "prod.DAT", "the plant's project");
        Write(dir_ / "in.txt", text);
        EXPECT_EQ(Run("import " + P("in.txt") + " " + P("prod.DAT")), 1);
        EXPECT_EQ(err_, P("in.txt") + message + "\n");
        EXPECT_EQ(Read(dir_ / "prod.DAT"), "the plant's project");
    }
};

TEST_F(ProjectTextTool, EmptyAndCommentOnlyTextsLeaveTheProjectAlone) {
    const std::string none =
        ": the text holds no project: a project text has a TServer line (the root), and this one has none";
    ExpectRefused("", none);
    ExpectRefused("# only a comment\n\n   \n# and another\n", none);
    ExpectRefused("\xEF\xBB\xBF# a comment after a byte-order mark\n", none);
    ExpectRefused("{\"tagsink-project\":2}\n# nothing else\n",
                  ": the text holds no project: a project text has a TServer block (the root), and this one "
                  "has none");
    ExpectRefused("{\"class\":\"TGroup\",\"name\":\"G\"}\n",
                  ": the text has no TServer line (the root): a project text has exactly one");
    // standard input too
    Write(dir_ / "prod.DAT", "the plant's project");
    EXPECT_EQ(Run("import - " + P("prod.DAT") + " </dev/null"), 1);
    EXPECT_EQ(err_, "<stdin>" + none + "\n");
    EXPECT_EQ(Read(dir_ / "prod.DAT"), "the plant's project");
}

TEST_F(ProjectTextTool, DuplicateKeysAreRefusedInAnyLetterCase) {
    const std::string head = "{\"class\":\"TServer\"}\n";
    ExpectRefused(head + "{\"class\":\"TGroup\",\"UpdateRate\":5,\"UpdateRate\":7}\n",
                  ":2: duplicate key 'UpdateRate': 'UpdateRate' is already given on this line (keys are "
                  "compared without regard to letter case)");
    ExpectRefused(head + "{\"class\":\"TGroup\",\"UpdateRate\":5,\"updaterate\":7}\n",
                  ":2: duplicate key 'updaterate': 'UpdateRate' is already given on this line (keys are "
                  "compared without regard to letter case)");
    ExpectRefused(head + "{\"class\":\"TGroup\",\"name\":\"A\",\"Name\":\"B\"}\n",
                  ":2: duplicate key 'Name': 'name' is already given on this line (keys are compared without "
                  "regard to letter case)");
    ExpectRefused("{\"tagsink-project\":2}\n[TServer Manager]\n[TGroup G]\nUpdateRate = 5\nUPDATERATE = 7\n",
                  ":5: TGroup G: duplicate property 'UPDATERATE': 'UpdateRate' is already given on line 4 "
                  "(keys are compared without regard to letter case)");
}

TEST_F(ProjectTextTool, ByteOrderMarkBeforeACommentOrABlankLine) {
    const std::string text = ExportedSample();
    for (const std::string& start :
         {std::string("# exported for review\n"), std::string("\n"), std::string("   \r\n")}) {
        Write(dir_ / "bom.txt", "\xEF\xBB\xBF" + start + text);
        ASSERT_EQ(Run("import " + P("bom.txt") + " " + P("bom.DAT")), 0) << err_;
        EXPECT_EQ(Read(dir_ / "bom.DAT"), Read(dir_ / "sample.DAT"));
    }
    Write(dir_ / "bom.jsonl", "\xEF\xBB\xBF# old form\n{\"class\":\"TServer\",\"BufferCount\":4}\n");
    ASSERT_EQ(Run("import " + P("bom.jsonl") + " " + P("bom.DAT")), 0) << err_;
}

TEST_F(ProjectTextTool, GroupInsertedBetweenItemsIsAnError) {
    const std::string text = ExportedSample();
    // as a merge might place it: a new group block between the two items of Line1
    ExpectRefused(
        Replace(text, "\n[TItem Line1.Temp]", "\n[TGroup Line3]\n\n[TItem Line1.Temp]"),
        ":35: TItem Line1.Temp: names the group 'Line1' but stands below TGroup Line3 (line 33): an "
        "item follows its own group's block and that group's other items");
    // an existing group moved there
    ExpectRefused(
        Replace(text, "[TItem Line1.Temp]", "[TItem Line2.Temp]"),
        ":33: TItem Line2.Temp: names the group 'Line2' but stands below TGroup Line1 (line 10): an "
        "item follows its own group's block and that group's other items");
    ExpectRefused(Replace(text, "[TItem Line1.Temp]", "[TItem Line9.Temp]"),
                  ":33: TItem Line9.Temp: names the group 'Line9', which the text does not have; it stands "
                  "below TGroup Line1 (line 10)");
    // the old line form checks a "group" key when it has one
    ExpectRefused(
        "{\"class\":\"TServer\"}\n{\"class\":\"TGroup\",\"name\":\"A\"}\n"
        "{\"class\":\"TGroup\",\"name\":\"B\"}\n{\"class\":\"TItem\",\"group\":\"A\",\"name\":\"I\"}\n",
        ":4: TItem A.I: names the group 'A' but stands below TGroup B (line 3): an item follows its "
        "own group's line and that group's other items");
    Write(dir_ / "old.jsonl",
          "{\"class\":\"TServer\"}\n{\"class\":\"TGroup\",\"name\":\"A\"}\n"
          "{\"class\":\"TItem\",\"group\":\"a\",\"name\":\"I\"}\n{\"class\":\"TItem\"}\n");
    ASSERT_EQ(Run("import " + P("old.jsonl") + " " + P("old.DAT")), 0) << err_;
    TServer root;
    root.LoadFromFile(P("old.DAT"));
    EXPECT_EQ(root.Group(0).ItemCount(), 2u);
}

TEST_F(ProjectTextTool, HandWrittenFloatsSurviveAnExportUnchanged) {
    const std::string text = ExportedSample();
    for (const std::string value : {"0.1", "0.3", "2.5", "1e-5", "33.3", "0.01", "123456.79", "-7.25", "1e30",
                                    "NaN", "-Infinity", "0"}) {
        const std::string edited = Replace(text, "Deadband = 0\n", "Deadband = " + value + "\n");
        Write(dir_ / "edited.txt", edited);
        ASSERT_EQ(Run("import " + P("edited.txt") + " " + P("edited.DAT")), 0) << err_;
        ASSERT_EQ(Run("export " + P("edited.DAT")), 0) << err_;
        EXPECT_EQ(out_, edited) << value;
    }
    // a value that is no float's shortest form comes back as the float's shortest form
    Write(dir_ / "edited.txt", Replace(text, "Deadband = 0\n", "Deadband = 0.10000000149011612\n"));
    ASSERT_EQ(Run("import " + P("edited.txt") + " " + P("edited.DAT")), 0) << err_;
    ASSERT_EQ(Run("export " + P("edited.DAT")), 0) << err_;
    EXPECT_NE(out_.find("Deadband = 0.1\n"), std::string::npos);
}

TEST_F(ProjectTextTool, TwoBranchesEditingOneItemMergeWithoutConflict) {
    const std::string text = ExportedSample();
    const std::string repo = P("repo");
    // a repository of its own, untouched by the user's or the system's git settings
    const std::string git = "GIT_CONFIG_GLOBAL=/dev/null GIT_CONFIG_NOSYSTEM=1 git -C " + repo +
                            " -c user.name=Test -c user.email=test@example.invalid -c commit.gpgsign=false ";
    std::filesystem::create_directories(repo);
    ASSERT_EQ(Shell(git + "init -q -b main"), 0) << err_;
    Write(dir_ / "repo" / "project.txt", text);
    ASSERT_EQ(Shell(git + "add project.txt"), 0) << err_;
    ASSERT_EQ(Shell(git + "commit -q -m base"), 0) << err_;
    // one operator renames the column of Speed, another gives Speed a key
    ASSERT_EQ(Shell(git + "checkout -q -b column"), 0) << err_;
    Write(dir_ / "repo" / "project.txt", Replace(text, "FieldName = \"SPEED\"", "FieldName = \"SPEED_RPM\""));
    ASSERT_EQ(Shell(git + "commit -q -am column"), 0) << err_;
    ASSERT_EQ(Shell(git + "diff --numstat HEAD~1"), 0) << err_;
    EXPECT_EQ(out_, "1\t1\tproject.txt\n"); // a one-property edit is a one-line diff
    ASSERT_EQ(Shell(git + "checkout -q -b key main"), 0) << err_;
    Write(dir_ / "repo" / "project.txt",
          Replace(text, "Key = \"\"\n\n[TItem Line1.Temp]", "Key = \"K1\"\n\n[TItem Line1.Temp]"));
    ASSERT_EQ(Shell(git + "commit -q -am key"), 0) << err_;
    // and a third changes the group's update rate
    ASSERT_EQ(Shell(git + "checkout -q -b rate main"), 0) << err_;
    Write(dir_ / "repo" / "project.txt", Replace(text, "UpdateRate = 1000", "UpdateRate = 250"));
    ASSERT_EQ(Shell(git + "commit -q -am rate"), 0) << err_;

    ASSERT_EQ(Shell(git + "checkout -q main"), 0) << err_;
    ASSERT_EQ(Shell(git + "merge -q --no-edit column"), 0) << err_;
    ASSERT_EQ(Shell(git + "merge -q --no-edit key"), 0) << out_ << err_;
    ASSERT_EQ(Shell(git + "merge -q --no-edit rate"), 0) << out_ << err_;
    ASSERT_EQ(Run("import " + P("repo/project.txt") + " " + P("merged.DAT")), 0) << err_;
    TServer root;
    root.LoadFromFile(P("merged.DAT"));
    const TItem& speed = root.Group(0).Item(0);
    EXPECT_EQ(speed.FieldName(), "SPEED_RPM");
    EXPECT_EQ(speed.Key(), "K1");
    EXPECT_EQ(root.Group(0).UpdateRate(), 250);
    EXPECT_EQ(root.Group(0).ItemCount(), 2u);
}

TEST_F(ProjectTextTool, CheckValidatesWithoutWriting) {
    const std::string text = ExportedSample();
    Write(dir_ / "good.txt", text);
    Write(dir_ / "bad.txt", Replace(text, "FieldType = ftFloat", "FieldType = ftFlaot"));
    Write(dir_ / "items.csv", "group,item,id\nLine1,Flow,PLC.Flow\nLine4,,PLC.Level,LEVEL,ftFloat\n");
    Write(dir_ / "clash.csv", "Line1,Speed,PLC.Other\n");
    const auto before = std::distance(std::filesystem::directory_iterator(dir_), {});

    EXPECT_EQ(Run("check " + P("good.txt")), 0) << err_;
    EXPECT_EQ(out_, P("good.txt") + ": ok, 2 groups, 2 items\n");
    EXPECT_EQ(err_, "");
    EXPECT_EQ(Run("check " + P("good.txt") + " " + P("sample.DAT") + " " + P("items.csv")), 0) << err_;
    EXPECT_EQ(out_, P("good.txt") + ": ok, 2 groups, 2 items\n" + P("sample.DAT") +
                        ": ok, 2 groups, 2 items\n" + P("items.csv") + ": ok, 2 groups, 2 items\n");
    EXPECT_EQ(Run("check " + P("good.txt") + " --items " + P("items.csv")), 0) << err_;
    EXPECT_EQ(out_, P("good.txt") + ": ok, 3 groups, 4 items\n");
    EXPECT_EQ(Run("check - <" + P("good.txt")), 0) << err_;
    EXPECT_EQ(out_, "<stdin>: ok, 2 groups, 2 items\n");

    // every file is checked; each failure is reported; exit 1
    EXPECT_EQ(Run("check " + P("bad.txt") + " " + P("good.txt") + " " + P("missing.txt")), 1);
    EXPECT_EQ(out_, P("good.txt") + ": ok, 2 groups, 2 items\n");
    EXPECT_EQ(err_, P("bad.txt") +
                        ":26: TItem Line1.Speed: bad enumeration identifier: FieldType: 'ftFlaot' is "
                        "not a TFieldType identifier; allowed: ftUnknown, ftString, ftSmallint, "
                        "ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD, ftDate, ftTime, "
                        "ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic, "
                        "ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar, "
                        "ftWideString, ftLargeint, ftADT, ftArray, ftReference, ftDataSet, "
                        "ftOraBlob, ftOraClob, ftVariant, ftInterface, ftIDispatch, ftGuid, "
                        "ftTimeStamp, ftFMTBcd\n"
                        "Cannot open file \"" +
                        P("missing.txt") + "\". No such file or directory\n");
    EXPECT_EQ(Run("check " + P("sample.DAT") + " --items " + P("clash.csv")), 1);
    EXPECT_EQ(err_, P("clash.csv") +
                        ":1: column 2 (item name): group Line1 already has an item named Speed (in "
                        "the project)\n");
    EXPECT_NE(Run("check " + P("good.txt") + " " + P("sample.DAT") + " --items " + P("items.csv")), 0);
    EXPECT_NE(Run("check"), 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), before);
}

TEST_F(ProjectTextTool, MessagesNameTheObjectTheValueAndWhatIsAllowed) {
    const std::string rule =
        "a name is empty, or an ASCII letter or '_' followed by ASCII letters, digits or "
        "'_', at most 255 characters";
    const std::string head = "{\"tagsink-project\":2}\n[TServer Manager]\n[TGroup G]\n";
    ExpectRefused(head + "[TItem G.2x]\n", ":4: TItem G.2x: ''2x'' is not a valid component name; " + rule);
    ExpectRefused(head + "[TItem G." + std::string(300, 'n') + "]\n",
                  ":4: TItem G." + std::string(300, 'n') + ": the name has 300 characters; " + rule);
    ExpectRefused(
        head + "[TItem G.A]\n[TItem G.a]\n",
        ":5: TItem G.a: A component named a already exists: TItem G.A on line 4 (names are compared "
        "without regard to letter case)");
    ExpectRefused(head + "RecordType = rtDelete\n",
                  ":4: TGroup G: bad enumeration identifier: RecordType: 'rtDelete' is not a TRecordType "
                  "identifier; allowed: rtInsert, rtUpdate");
    ExpectRefused(head + "TrigType = 1\n",
                  ":4: TGroup G: bad enumeration identifier: TrigType: expected a "
                  "TTrigType identifier (ttSnapShot, ttDataChange), found the number 1");
    ExpectRefused(head + "RecordInterval = \"fast\"\n",
                  ":4: TGroup G: bad number: RecordInterval: expected a whole number from -2147483648 to "
                  "2147483647, found the string \"fast\"");
    ExpectRefused(head + "Colour = 1\n",
                  ":4: TGroup G: unknown property 'Colour' of TGroup; its properties are "
                  "TableType, TableName, TimeField, TimeFieldType, KeyField, KeyFieldType, "
                  "RecordInterval, RecordType, TrigType, UpdateRate, Deadband, "
                  "Description, RecordTimeSource");
    // a generated name never clashes with a name given later: the generated one steps aside
    Write(dir_ / "gen.jsonl", "{\"class\":\"TServer\"}\n{\"class\":\"TGroup\",\"name\":\"G\"}\n"
                              "{\"class\":\"TItem\"}\n{\"class\":\"TItem\",\"name\":\"Item1\"}\n");
    ASSERT_EQ(Run("import " + P("gen.jsonl") + " " + P("gen.DAT")), 0) << err_;
    TServer root;
    root.LoadFromFile(P("gen.DAT"));
    EXPECT_EQ(root.Group(0).Item(0).Name(), "Item2");
    EXPECT_EQ(root.Group(0).Item(1).Name(), "Item1");
    // a damaged project file is named
    Write(dir_ / "damaged.DAT", std::string("TPF0\xF4\x07TServer\x07Manager\x0B", 21));
    EXPECT_EQ(Run("export " + P("damaged.DAT")), 1);
    EXPECT_EQ(err_, P("damaged.DAT") + ": Stream read error\n");
    EXPECT_EQ(out_, "");
    Write(dir_ / "p.DAT", "TPFX");
    Write(dir_ / "a.csv", "G,I,x\n");
    EXPECT_EQ(Run("add-items " + P("a.csv") + " " + P("p.DAT")), 1);
    EXPECT_EQ(err_, P("p.DAT") + ": Invalid stream format\n");
    // a CSV row that lacks the OPC item ID
    Write(dir_ / "short.csv", "group,item,id\nG,Speed\n");
    EXPECT_EQ(Run("add-items " + P("short.csv") + " " + P("new.DAT")), 1);
    EXPECT_EQ(err_, P("short.csv") +
                        ":2: the row has 2 columns; a row needs at least the first 3 (group, item "
                        "name, OPC item ID); field name, field type and key may be left out\n");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "new.DAT"));
    // a bad name in a CSV names its column and the rule
    Write(dir_ / "names.csv", "Line-1,Speed,PLC.Speed\n");
    EXPECT_EQ(Run("add-items " + P("names.csv") + " " + P("new.DAT")), 1);
    EXPECT_EQ(err_, P("names.csv") + ":1: column 1 (group): ''Line-1'' is not a valid component name; " +
                        rule + "\n");
    Write(dir_ / "names.csv", "Line1,Speed,PLC.Speed\nLine1," + std::string(256, 's') + ",PLC.S\n");
    EXPECT_EQ(Run("check " + P("names.csv")), 1);
    EXPECT_EQ(err_, P("names.csv") + ":2: column 2 (item name): the name has 256 characters; " + rule + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "new.DAT"));
}

TEST_F(ProjectTextTool, OldLineFormImportsToTheSameFile) {
    ExportedSample();
    Write(dir_ / "old.jsonl",
          "{\"tagsink-project\":1}\n"
          "{\"class\":\"TServer\",\"name\":\"Manager\",\"OPCString\":\"/Sim.Server.1/"
          "{X}\",\"BufferCount\":10}\n"
          "{\"class\":\"TGroup\",\"name\":\"Line1\",\"TableName\":\"T1\"}\n"
          "{\"class\":\"TItem\",\"name\":\"Speed\",\"ItemName\":\"PLC.Speed\",\"FieldName\":\"SPEED\","
          "\"FieldType\":\"ftFloat\"}\n"
          "{\"class\":\"TItem\",\"name\":\"Temp\",\"ItemName\":\"PLC.Temp\"}\n"
          "{\"class\":\"TGroup\",\"name\":\"Line2\"}\n");
    ASSERT_EQ(Run("import " + P("old.jsonl") + " " + P("old.DAT")), 0) << err_;
    EXPECT_EQ(Read(dir_ / "old.DAT"), Read(dir_ / "sample.DAT"));
}

TEST_F(ProjectTextTool, EveryProjectFileOfTheTestsComesBackByteForByte) {
    // Files this program wrote come back byte for byte; a file from elsewhere (other prefixes, 8-bit
    // texts) comes back as this program writes it after loading.
    const std::filesystem::path source = TAGSINK_SOURCE_DIR;
    struct Case {
        std::filesystem::path path;
        bool written_here;
    };
    const Case cases[] = {{source / "docs/samples/sample.DAT", true},
                          {source / "fuzz/project_file/corpus/worked-example.dat", true},
                          {source / "fuzz/project_file/corpus/encodings.dat", false}};
    for (const auto& c : cases) {
        ASSERT_EQ(Run("export " + c.path.string()), 0) << c.path << err_;
        Write(dir_ / "t.txt", out_);
        ASSERT_EQ(Run("import " + P("t.txt") + " " + P("t.DAT")), 0) << c.path << err_;
        TServer loaded;
        loaded.LoadFromFile(c.path.string());
        loaded.SaveToFile(P("saved.DAT"));
        EXPECT_EQ(Read(dir_ / "t.DAT"), Read(dir_ / "saved.DAT")) << c.path;
        if (c.written_here) {
            EXPECT_EQ(Read(dir_ / "t.DAT"), Read(c.path)) << c.path;
        }
        // and the text of the rebuilt file is the same text
        const std::string text = Read(dir_ / "t.txt");
        ASSERT_EQ(Run("export " + P("t.DAT")), 0) << err_;
        EXPECT_EQ(out_, text) << c.path;
    }
}

} // namespace
} // namespace tagsink
