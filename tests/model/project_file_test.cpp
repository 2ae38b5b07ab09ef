#include "model/group.hpp"
#include "model/item.hpp"
#include "model/project_error.hpp"
#include "model/project_file.hpp"
#include "file_size_limit.hpp"
#include "model/server.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace tagsink {
namespace {

// Builds expected bytes from hex bytes and words: a word stands for its length byte and its ASCII bytes.
struct Bytes {
    std::string data;
    Bytes& operator()(std::initializer_list<int> hex) {
        for (int b : hex)
            data += static_cast<char>(b);
        return *this;
    }
    Bytes& operator()(std::string_view word) {
        data += static_cast<char>(word.size());
        data.append(word);
        return *this;
    }
};

std::string Hex(std::string_view bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
        out += ' ';
    }
    return out;
}

std::string WorkedExampleBytes() {
    Bytes b;
    b({0x54, 0x50, 0x46, 0x30});
    b({0xF4})("TServer")("Manager");
    b("BufferCount")({0x02, 0x0A});
    b("BufferTime")({0x03, 0x88, 0x13});
    b("Description")({0x06})("Manager");
    b({0x00});
    b({0xF4})("TGroup")("Group1");
    b("TableType")({0x07})("ttTable");
    b("TableName")({0x06})("T1");
    b("TimeFieldType")({0x07})("ftUnknown");
    b("KeyFieldType")({0x07})("ftUnknown");
    b("RecordInterval")({0x03, 0xE8, 0x03});
    b("RecordType")({0x07})("rtInsert");
    b("TrigType")({0x07})("ttSnapShot");
    b("UpdateRate")({0x03, 0xE8, 0x03});
    b("Description")({0x06})("Group1");
    b({0x00});
    b({0xF4})("TItem")("Item1");
    b("FieldName")({0x06})("V1");
    b("FieldType")({0x07})("ftFloat");
    b("ItemName")({0x06})("Tag1");
    b("GainType")({0x07})("gtGain");
    b({0x00, 0x00, 0x00, 0x00});
    return b.data;
}

void BuildWorkedExample(TServer& root) {
    root.SetBufferCount(10);
    root.SetBufferTime(5000);
    TGroup& group = TGroup::Create(root);
    group.SetName("Group1");
    group.SetTableName("T1");
    TItem& item = TItem::Create(group);
    item.SetName("Item1");
    item.SetFieldName("V1");
    item.SetFieldType(TFieldType::ftFloat);
    item.SetItemName("Tag1");
}

std::string LoadMessage(std::string_view bytes, TServer& root) {
    try {
        ReadProjectStream(bytes, root);
    } catch (const ProjectError& e) {
        return e.what();
    }
    return "(loaded)";
}

// The bytes of a root block holding one string property with the given encoded value.
std::string RootWithDescription(std::initializer_list<int> value) {
    Bytes b;
    b({0x54, 0x50, 0x46, 0x30, 0xF4})("TServer")("Manager");
    b("BufferCount")({0x02, 0x00})("BufferTime")({0x02, 0x00})("Description")(value)({0x00, 0x00});
    return b.data;
}

TEST(ProjectFile, WorkedExampleIsWrittenByteForByte) {
    TServer root;
    BuildWorkedExample(root);
    const std::string expected = WorkedExampleBytes();
    ASSERT_EQ(expected.size(), 345u);
    EXPECT_EQ(Hex(WriteProjectStream(root)), Hex(expected));
}

TEST(ProjectFile, WorkedExampleReadsBackEqual) {
    TServer root;
    ReadProjectStream(WorkedExampleBytes(), root);
    EXPECT_EQ(root.Name(), "Manager");
    EXPECT_EQ(root.BufferCount(), 10);
    EXPECT_EQ(root.BufferTime(), 5000);
    ASSERT_EQ(root.GroupCount(), 1u);
    TGroup& group = root.Group(0);
    EXPECT_EQ(group.Name(), "Group1");
    EXPECT_EQ(group.TableName(), "T1");
    EXPECT_EQ(group.Description(), "Group1");
    ASSERT_EQ(group.ItemCount(), 1u);
    EXPECT_EQ(group.Item(0).FieldType(), TFieldType::ftFloat);
    EXPECT_EQ(group.Item(0).ItemName(), "Tag1");
    EXPECT_EQ(WriteProjectStream(root), WorkedExampleBytes());
}

struct EncodingCase {
    const char* utf8;
    std::initializer_list<int> encoded;
};

TEST(ProjectFile, StringEncodingsAreWrittenAndRead) {
    const EncodingCase cases[] = {
        {"Ab", {0x06, 0x02, 0x41, 0x62}},
        {"a\xC3\xA9", {0x14, 0x03, 0, 0, 0, 0x61, 0xC3, 0xA9}},                      // aé
        {"\xC3\xA9", {0x12, 0x01, 0, 0, 0, 0xE9, 0x00}},                             // é
        {"\xE6\xB8\xA9\xE5\xBA\xA6", {0x12, 0x02, 0, 0, 0, 0x29, 0x6E, 0xA6, 0x5E}}, // U+6E29 U+5EA6
        {"AB\xE6\xB8\xA9", {0x14, 0x05, 0, 0, 0, 0x41, 0x42, 0xE6, 0xB8, 0xA9}},     // A B U+6E29
        {"\xF0\x9F\x98\x80", {0x12, 0x02, 0, 0, 0, 0x3D, 0xD8, 0x00, 0xDE}}, // outside the BMP: u = 2n
    };
    for (const auto& c : cases) {
        TServer root;
        root.SetDescription(c.utf8);
        const std::string expected = RootWithDescription(c.encoded);
        EXPECT_EQ(Hex(WriteProjectStream(root)), Hex(expected)) << c.utf8;
        TServer back;
        ReadProjectStream(expected, back);
        EXPECT_EQ(back.Description(), c.utf8);
    }
}

TEST(ProjectFile, LongTextUsesFourByteLength) {
    TServer root;
    TGroup& group = TGroup::Create(root);
    group.SetName("G");
    TItem& item = TItem::Create(group);
    item.SetName("I");
    item.SetCalcExpr(std::string(300, 'x'));
    const std::string bytes = WriteProjectStream(root);
    const std::string entry = std::string("\x08"
                                          "CalcExpr\x0C\x2C\x01\x00\x00",
                                          14) +
                              std::string(300, 'x');
    EXPECT_NE(bytes.find(entry), std::string::npos);
    TServer back;
    ReadProjectStream(bytes, back);
    EXPECT_EQ(back.Group(0).Item(0).CalcExpr(), std::string(300, 'x'));
    // 255 characters still fit a short text.
    item.SetCalcExpr(std::string(255, 'y'));
    EXPECT_NE(WriteProjectStream(root).find(std::string("\x08"
                                                        "CalcExpr\x06\xFF",
                                                        11)),
              std::string::npos);
}

TEST(ProjectFile, IntegerWidths) {
    TServer root;
    root.SetBufferCount(0);
    root.SetBufferTime(100000);
    std::string bytes = WriteProjectStream(root);
    EXPECT_NE(bytes.find(std::string("\x0B"
                                     "BufferCount\x02\x00",
                                     14)),
              std::string::npos);
    EXPECT_NE(bytes.find(std::string("\x0A"
                                     "BufferTime\x04\xA0\x86\x01\x00",
                                     16)),
              std::string::npos);
    const std::pair<std::int32_t, std::string> widths[] = {
        {127, std::string("\x02\x7F", 2)},
        {-128, std::string("\x02\x80", 2)},
        {128, std::string("\x03\x80\x00", 3)},
        {-32768, std::string("\x03\x00\x80", 3)},
        {32768, std::string("\x04\x00\x80\x00\x00", 5)},
        {std::numeric_limits<std::int32_t>::min(), std::string("\x04\x00\x00\x00\x80", 5)},
    };
    for (const auto& [value, encoded] : widths) {
        root.SetBufferCount(value);
        bytes = WriteProjectStream(root);
        EXPECT_NE(bytes.find("\x0B"
                             "BufferCount" +
                             encoded),
                  std::string::npos)
            << value;
        TServer back;
        ReadProjectStream(bytes, back);
        EXPECT_EQ(back.BufferCount(), value);
    }
}

TEST(ProjectFile, DeadbandIsExtendedAndOmittedAtZero) {
    TServer root;
    TGroup& group = TGroup::Create(root);
    group.SetName("G");
    EXPECT_EQ(WriteProjectStream(root).find("Deadband"), std::string::npos);
    group.SetDeadband(-0.0f);
    EXPECT_EQ(WriteProjectStream(root).find("Deadband"), std::string::npos);
    group.SetDeadband(1.0f);
    EXPECT_NE(WriteProjectStream(root).find(std::string("Deadband\x05\0\0\0\0\0\0\0\x80\xFF\x3F", 19)),
              std::string::npos);
    group.SetDeadband(0.5f);
    EXPECT_NE(WriteProjectStream(root).find(std::string("Deadband\x05\0\0\0\0\0\0\0\x80\xFE\x3F", 19)),
              std::string::npos);
    for (float value :
         {0.1f, -2.5f, 1e-40f, std::numeric_limits<float>::max(), std::numeric_limits<float>::infinity()}) {
        group.SetDeadband(value);
        TServer back;
        ReadProjectStream(WriteProjectStream(root), back);
        EXPECT_EQ(back.Group(0).Deadband(), value);
    }
    group.SetDeadband(std::numeric_limits<float>::quiet_NaN());
    TServer back;
    ReadProjectStream(WriteProjectStream(root), back);
    EXPECT_TRUE(std::isnan(back.Group(0).Deadband()));
}

TEST(ProjectFile, DeadbandAcceptsAnIntegerValue) {
    Bytes b;
    b({0x54, 0x50, 0x46, 0x30, 0xF4})("TServer")("Manager")({0x00});
    b({0xF4})("TGroup")("G")("Deadband")({0x02, 0x05, 0x00, 0x00, 0x00});
    TServer root;
    ReadProjectStream(b.data, root);
    EXPECT_EQ(root.Group(0).Deadband(), 5.0f);
}

TEST(ProjectFile, EmptyStringsAndZeroDeadbandAreNotWritten) {
    TServer root;
    root.SetDescription("");
    TGroup& group = TGroup::Create(root);
    group.SetName("G");
    group.SetDescription("");
    TItem::Create(group).SetName("I");
    const std::string bytes = WriteProjectStream(root);
    for (const char* name : {"OPCString", "DBString", "Description", "TableName", "TimeField", "KeyField",
                             "Deadband", "FieldName", "ItemName", "DefaultValue", "CalcExpr", "Key"})
        EXPECT_EQ(bytes.find(static_cast<char>(std::strlen(name)) + std::string(name)), std::string::npos)
            << name;
    TServer back;
    ReadProjectStream(bytes, back);
    EXPECT_EQ(back.Description(), "Manager"); // the fresh root's own Description stays
    EXPECT_EQ(back.Group(0).Description(), "G");
    EXPECT_EQ(back.Group(0).Deadband(), 0.0f);
}

TEST(ProjectFile, EmptiedGroupDescriptionComesBackAsTheName) {
    TServer root;
    TGroup& group = TGroup::Create(root);
    group.SetName("Group7");
    group.SetDescription("");
    TServer back;
    ReadProjectStream(WriteProjectStream(root), back);
    EXPECT_EQ(back.Group(0).Description(), "Group7");
}

TEST(ProjectFile, OrderAndStoredNamesSurvive) {
    TServer root;
    for (const char* g : {"B", "A"}) {
        TGroup& group = TGroup::Create(root);
        group.SetName(g);
        for (const char* i : {"Item3", "Item1"})
            TItem::Create(group).SetName(i);
    }
    TServer back;
    ReadProjectStream(WriteProjectStream(root), back);
    ASSERT_EQ(back.GroupCount(), 2u);
    EXPECT_EQ(back.Group(0).Name(), "B");
    EXPECT_EQ(back.Group(1).Name(), "A");
    EXPECT_EQ(back.Group(1).Item(0).Name(), "Item3");
    EXPECT_EQ(back.Group(1).Item(1).Name(), "Item1");
}

TEST(ProjectFile, EveryEnumerationValueRoundTrips) {
    TServer root;
    TGroup& group = TGroup::Create(root);
    group.SetName("G");
    group.SetTableType(TTableType::ttStoredProc);
    group.SetRecordType(TRecordType::rtUpdate);
    group.SetTrigType(TTrigType::ttDataChange);
    for (int f = 0; f < 38; ++f) {
        TItem& item = TItem::Create(group);
        item.SetName("I" + std::to_string(f));
        item.SetFieldType(static_cast<TFieldType>(f));
        item.SetGainType(static_cast<TGainType>(f % 3));
    }
    TServer back;
    ReadProjectStream(WriteProjectStream(root), back);
    EXPECT_EQ(back.Group(0).TableType(), TTableType::ttStoredProc);
    EXPECT_EQ(back.Group(0).RecordType(), TRecordType::rtUpdate);
    EXPECT_EQ(back.Group(0).TrigType(), TTrigType::ttDataChange);
    for (int f = 0; f < 38; ++f) {
        EXPECT_EQ(static_cast<int>(back.Group(0).Item(static_cast<std::size_t>(f)).FieldType()), f);
        EXPECT_EQ(static_cast<int>(back.Group(0).Item(static_cast<std::size_t>(f)).GainType()), f % 3);
    }
}

TEST(ProjectFile, BadSignatureLeavesTheRootAsCreated) {
    TServer root;
    std::string bytes = WorkedExampleBytes();
    bytes[3] = '1';
    EXPECT_EQ(LoadMessage(bytes, root), "Invalid stream format");
    EXPECT_EQ(root.Name(), "Manager");
    EXPECT_EQ(root.GroupCount(), 0u);
    EXPECT_EQ(LoadMessage("", root), "Invalid stream format");
    EXPECT_EQ(LoadMessage("TP", root), "Invalid stream format");
}

TEST(ProjectFile, UnknownPropertyInSecondGroupStopsThere) {
    Bytes b;
    b({0x54, 0x50, 0x46, 0x30, 0xF4})("TServer")("Manager")("BufferCount")({0x02, 0x07})({0x00});
    b({0xF4})("TGroup")("Group1")("TableName")({0x06})("T1")({0x00, 0x00});
    b({0xF4})("TGroup")("Group2")("TableName")({0x06})("T2")("Colour")({0x02, 0x01})({0x00, 0x00});
    b({0xF4})("TGroup")("Group3")({0x00, 0x00, 0x00});
    TServer root;
    EXPECT_EQ(LoadMessage(b.data, root), "Error reading Group2.Colour: Property Colour does not exist");
    EXPECT_EQ(root.BufferCount(), 7);
    ASSERT_EQ(root.GroupCount(), 2u);
    EXPECT_EQ(root.Group(0).TableName(), "T1");
    EXPECT_EQ(root.Group(1).TableName(), "T2"); // read before the failure
}

TEST(ProjectFile, EnumerationIdentifiersIgnoreCase) {
    Bytes b;
    b({0x54, 0x50, 0x46, 0x30, 0xF4})("TServer")("Manager")({0x00});
    b({0xF4})("TGroup")("G")("tabletype")({0x07})("TTSTOREDPROC")("TableType")({0x07})("TTTABLE")(
        {0x00, 0x00, 0x00});
    TServer root;
    ReadProjectStream(b.data, root);
    EXPECT_EQ(root.Group(0).TableType(), TTableType::ttTable);
}

TEST(ProjectFile, WrongValuesAreRefused) {
    const auto group = [](auto&& property) {
        Bytes b;
        b({0x54, 0x50, 0x46, 0x30, 0xF4})("TServer")("Manager")({0x00});
        b({0xF4})("TGroup")("G");
        property(b);
        b({0x00, 0x00, 0x00});
        return b.data;
    };
    const std::pair<std::string, std::string> cases[] = {
        {group([](Bytes& b) { b("TableType")({0x07})("ttView"); }),
         "Error reading G.TableType: Invalid property value"},
        {group([](Bytes& b) {
             b("TableType")({0x02, 0x00});
         }),
         "Error reading G.TableType: Invalid property value"},
        {group([](Bytes& b) { b("UpdateRate")({0x06})("5"); }),
         "Error reading G.UpdateRate: Invalid property value"},
        {group([](Bytes& b) {
             b("TableName")({0x02, 0x01});
         }),
         "Error reading G.TableName: Invalid property value"},
        {group([](Bytes& b) { b("Deadband")({0x06})("1"); }),
         "Error reading G.Deadband: Invalid property value"},
        {group([](Bytes& b) {
             b("UpdateRate")({0x13, 0, 0, 0, 0, 0, 0, 0, 0});
         }),
         "Error reading G.UpdateRate: Invalid property value"},
    };
    for (const auto& [bytes, message] : cases) {
        TServer root;
        EXPECT_EQ(LoadMessage(bytes, root), message);
    }
}

TEST(ProjectFile, BadNamesAreRefusedWithTheObjectsMessage) {
    Bytes b;
    b({0x54, 0x50, 0x46, 0x30, 0xF4})("TServer")("Manager")({0x00});
    b({0xF4})("TGroup")("Group1")({0x00, 0x00});
    b({0xF4})("TGroup")("GROUP1")({0x00, 0x00, 0x00});
    TServer root;
    EXPECT_EQ(LoadMessage(b.data, root),
              "Error reading TGroup.Name: A component named GROUP1 already exists");
    Bytes c;
    c({0x54, 0x50, 0x46, 0x30, 0xF4})("TServer")("9Manager")({0x00, 0x00});
    TServer other;
    EXPECT_EQ(LoadMessage(c.data, other),
              "Error reading Manager.Name: ''9Manager'' is not a valid component name");
}

TEST(ProjectFile, UnknownAndMisplacedClassesAreRefused) {
    const auto file = [](auto&& children) {
        Bytes b;
        b({0x54, 0x50, 0x46, 0x30, 0xF4})("TServer")("Manager")({0x00});
        children(b);
        b({0x00});
        return b.data;
    };
    const std::pair<std::string, std::string> cases[] = {
        {file([](Bytes& b) {
             b({0xF4})("TButton")("B")({0x00, 0x00});
         }),
         "Class TButton not found"},
        {file([](Bytes& b) {
             b({0xF4})("TItem")("I")({0x00, 0x00});
         }),
         "Misplaced TItem block I inside TServer Manager: items belong inside a group"},
        {file([](Bytes& b) {
             b({0xF4})("TServer")("S")({0x00, 0x00});
         }),
         "Misplaced TServer block S inside TServer Manager: a project has exactly one root"},
        {file([](Bytes& b) {
             b({0xF4})("TGroup")("G")({0x00})({0xF4})("TGroup")("H")({0x00, 0x00, 0x00});
         }),
         "Misplaced TGroup block H inside TGroup G: groups belong directly under the root"},
        {file([](Bytes& b) {
             b({0xF4})("TGroup")("G")({0x00})({0xF4})("TItem")("I")({0x00})({0xF4})("TItem")("J")(
                 {0, 0, 0, 0});
         }),
         "Misplaced TItem block J inside TItem I: items belong inside a group"},
        {file([](Bytes& b) {
             b({0xF5})("TGroup")("G")({0x00, 0x00});
         }),
         "Invalid stream format: an object block is marked as inherited (prefix F5), which project files "
         "never "
         "contain"},
    };
    for (const auto& [bytes, message] : cases) {
        TServer root;
        EXPECT_EQ(LoadMessage(bytes, root), message);
        for (std::size_t i = 0; i < root.GroupCount(); ++i)
            EXPECT_EQ(root.Group(i).Name(), "G"); // nothing was created under the wrong owner
    }
}

TEST(ProjectFile, PrefixVariantsAreAccepted) {
    Bytes b;
    b({0x54, 0x50, 0x46, 0x30})("TServer")("Manager")({0x00}); // root without prefix
    b({0xF2, 0x03, 0x10, 0x00})("TGroup")("G")({0x00, 0x00});  // flag 2 with an ignored position
    b({0xF0})("TGroup")("H")({0x00, 0x00, 0x00});
    TServer root;
    ReadProjectStream(b.data, root);
    ASSERT_EQ(root.GroupCount(), 2u);
    EXPECT_EQ(root.Group(1).Name(), "H");
}

TEST(ProjectFile, EightBitTextIsReadAsCodePage936) {
    TServer root;
    ReadProjectStream(RootWithDescription({0x06, 0x05, 0xCE, 0xC2, 0xB6, 0xC8, 0x41}), root);
    EXPECT_EQ(root.Description(), "\xE6\xB8\xA9\xE5\xBA\xA6"
                                  "A"); // U+6E29 U+5EA6 A
}

TEST(ProjectFile, BrokenUnicodeIsReplacedNotCopied) {
    TServer root;
    ReadProjectStream(RootWithDescription({0x14, 0x02, 0, 0, 0, 0xC3, 0x41}), root);
    EXPECT_EQ(root.Description(), "\xEF\xBF\xBD"
                                  "A");
    TServer other;
    ReadProjectStream(RootWithDescription({0x12, 0x01, 0, 0, 0, 0x00, 0xD8}), other);
    EXPECT_EQ(other.Description(), "\xEF\xBF\xBD");
}

TEST(ProjectFile, EveryTruncationGivesAMessage) {
    TServer full;
    BuildWorkedExample(full);
    full.SetOPCString("h/\xE6\xB8\xA9/x");
    full.Group(0).SetDeadband(2.5f);
    full.Group(0).Item(0).SetCalcExpr(std::string(300, 'c'));
    const std::string bytes = WriteProjectStream(full);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        TServer root;
        const std::string message = LoadMessage(std::string_view(bytes).substr(0, cut), root);
        if (cut < 4)
            EXPECT_EQ(message, "Invalid stream format") << cut;
        else
            EXPECT_EQ(message, "Stream read error") << cut;
    }
}

TEST(ProjectFile, HugeLengthFieldsDoNotAllocate) {
    for (int type : {0x0C, 0x12, 0x14}) {
        TServer root;
        EXPECT_EQ(LoadMessage(RootWithDescription({type, 0xFF, 0xFF, 0xFF, 0x7F, 0x41}), root),
                  "Stream read error");
    }
}

TEST(ProjectFile, OnlyAnEmptyProjectCanBeLoaded) {
    TServer root;
    TGroup::Create(root);
    EXPECT_THROW(ReadProjectStream(WorkedExampleBytes(), root), ProjectError);
    EXPECT_EQ(root.GroupCount(), 1u);
}

// Files on disk.
class ProjectFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tagsink-model-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    static std::string ReadFile(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::filesystem::path dir_;
};

TEST_F(ProjectFileOnDisk, SaveWritesTheFileAndClearsDirty) {
    TServer root;
    BuildWorkedExample(root);
    root.Group(0).Item(0).SetDirty(true);
    const auto path = dir_ / "Tagsink.DAT";
    root.SaveToFile(path);
    EXPECT_FALSE(root.Dirty());
    EXPECT_EQ(ReadFile(path), WorkedExampleBytes());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1); // no temporary file left
    TServer back;
    back.LoadFromFile(path);
    EXPECT_EQ(back.Group(0).Item(0).ItemName(), "Tag1");
}

TEST_F(ProjectFileOnDisk, FailedSaveKeepsTheOldFileAndDirty) {
    const auto path = dir_ / "Tagsink.DAT";
    { std::ofstream(path, std::ios::binary) << "old contents"; }
    std::filesystem::permissions(
        dir_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                  std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    // Directory permissions bind only an unprivileged user: as root, do the save in a child process
    // that has given up its privileges.
    const bool privileged = ::geteuid() == 0;
    const pid_t child = privileged ? ::fork() : 0;
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (privileged && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        TServer root;
        BuildWorkedExample(root);
        root.SetDirty(true);
        std::string message;
        try {
            root.SaveToFile(path);
        } catch (const ProjectError& e) {
            message = e.what();
        }
        const bool ok = message == "Cannot create file \"" + path.string() + "\". Permission denied" &&
                        root.Dirty() && ReadFile(path) == "old contents";
        if (privileged)
            ::_exit(ok ? 0 : 1);
        EXPECT_TRUE(ok) << message;
        return;
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(path), "old contents");
}

TEST_F(ProjectFileOnDisk, WriteFailureMidwayKeepsTheOldFileAndDirty) {
    const auto path = dir_ / "Tagsink.DAT";
    { std::ofstream(path, std::ios::binary) << "old contents"; }
    TServer root;
    BuildWorkedExample(root);
    root.Group(0).SetDescription(std::string(100000, 'd'));
    root.SetDirty(true);
    std::string message;
    {
        // The disk "fills up" after 4 KiB: writes beyond it fail with EFBIG.
        const tagsink::testing::FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.Set());
        try {
            root.SaveToFile(path);
        } catch (const ProjectError& e) {
            message = e.what();
        }
    }
    EXPECT_EQ(message, "Cannot write file \"" + path.string() + "\". File too large");
    EXPECT_TRUE(root.Dirty());
    EXPECT_EQ(ReadFile(path), "old contents");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1); // the temporary file is gone
}

TEST_F(ProjectFileOnDisk, SavingOntoADirectoryFailsCleanly) {
    const auto path = dir_ / "Tagsink.DAT";
    std::filesystem::create_directory(path);
    std::filesystem::create_directory(path / "inside");
    TServer root;
    root.SetDirty(true);
    try {
        root.SaveToFile(path);
        FAIL() << "saved onto a directory";
    } catch (const ProjectError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + path.string() + "\". Is a directory");
    }
    EXPECT_TRUE(root.Dirty());
    EXPECT_TRUE(std::filesystem::is_directory(path / "inside"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

TEST_F(ProjectFileOnDisk, SavingIntoAMissingDirectoryFails) {
    TServer root;
    root.SetDirty(true);
    const auto path = dir_ / "missing" / "Tagsink.DAT";
    try {
        root.SaveToFile(path);
        FAIL();
    } catch (const ProjectError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + path.string() + "\". No such file or directory");
    }
    EXPECT_TRUE(root.Dirty());
}

TEST_F(ProjectFileOnDisk, SaveReplacesTheFileBehindALink) {
    const auto target = dir_ / "real.DAT";
    const auto link = dir_ / "Tagsink.DAT";
    { std::ofstream(target) << "old"; }
    std::filesystem::create_symlink(target, link);
    TServer root;
    BuildWorkedExample(root);
    root.SaveToFile(link);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(target), WorkedExampleBytes());
}

TEST_F(ProjectFileOnDisk, LoadingAMissingFileNamesIt) {
    TServer root;
    const auto path = dir_ / "none.DAT";
    try {
        root.LoadFromFile(path);
        FAIL();
    } catch (const ProjectError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + path.string() + "\". No such file or directory");
    }
    try {
        root.LoadFromFile(dir_);
        FAIL();
    } catch (const ProjectError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + dir_.string() + "\". Is a directory");
    }
}

} // namespace
} // namespace tagsink
