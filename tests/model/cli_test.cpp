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
    int Run(const std::string& args) {
        const auto out = dir_ / "stdout", err = dir_ / "stderr";
        const std::string command =
            std::string(TAGSINK_PROJECT_TOOL) + " " + args + " >" + out.string() + " 2>" + err.string();
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

} // namespace
} // namespace tagsink
