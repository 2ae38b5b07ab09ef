// Server enumeration, address-space browsing and item properties against the simulated servers, through
// the C API only.
#include "sim_support.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <unistd.h>
#endif

using namespace tagclient::testing;

namespace {

class SimBrowse : public SimTest {};

#ifndef _WIN32
// Points the per-user registration file at a folder of this test's own, with the given lines.
class SimEnumeration : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        dir_ = std::filesystem::temp_directory_path() /
               ("tagclient-enum-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_ / "tagclient");
        const char* old = std::getenv("XDG_CONFIG_HOME");
        old_home_ = old ? old : "";
        had_home_ = old != nullptr;
        setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (dir_ / "none").c_str(), 1);
    }
    void TearDown() override {
        if (had_home_)
            setenv("XDG_CONFIG_HOME", old_home_.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_CONFIG_DIRS");
        std::filesystem::remove_all(dir_);
        SimTest::TearDown();
    }
    void Register(const std::string& lines) { std::ofstream(dir_ / "tagclient" / "servers.conf") << lines; }
    int32_t List(const char* host, int32_t version, std::vector<std::string>& prog_ids,
                 std::vector<std::string>& class_ids) {
        VARIANT p, c;
        VariantInit(&p);
        VariantInit(&c);
        int32_t n = QZDAC_GetServers(host, version, &p, &c);
        EXPECT_EQ(p.vt, VT_ARRAY | VT_BSTR);
        EXPECT_EQ(c.vt, VT_ARRAY | VT_BSTR);
        prog_ids = Strings(p);
        class_ids = Strings(c);
        VariantClear(&p);
        VariantClear(&c);
        return n;
    }
    std::filesystem::path dir_;
    std::string old_home_;
    bool had_home_ = false;
};

#endif
} // namespace

#ifndef _WIN32 // the registration file of the simulated servers; on Windows the class registry and server
               // list
TEST_F(SimEnumeration, VersionTwoListsTheServerListFirstThenTheRegistryPass) {
    Register("Acme.Plant.1 {AAAAAAAA-0000-0000-0000-000000000001} da=2 server=da1\n"
             "Acme.Legacy {aaaaaaaa-0000-0000-0000-000000000002}\n"
             "Acme.Hidden {AAAAAAAA-0000-0000-0000-000000000003} opc=no da=2\n");
    std::vector<std::string> prog_ids, class_ids;
    int32_t n = List("", 2, prog_ids, class_ids);
    ASSERT_EQ(static_cast<size_t>(n), prog_ids.size());
    ASSERT_EQ(prog_ids.size(), class_ids.size());
    auto at = [&](const std::string& p) {
        return std::find(prog_ids.begin(), prog_ids.end(), p) - prog_ids.begin();
    };
    // From the server list (category DA 2.0): the DA 2.0 server and Acme.Plant.1, listed once each.
    EXPECT_LT(at("Tagsink.SimServer.DA2"), at("Tagsink.SimServer.DA1"));
    EXPECT_LT(at("Acme.Plant.1"), at("Tagsink.SimServer.DA1"));
    EXPECT_EQ(std::count(prog_ids.begin(), prog_ids.end(), "Acme.Plant.1"), 1);
    EXPECT_EQ(std::count(prog_ids.begin(), prog_ids.end(), "Tagsink.SimServer.DA2"), 1);
    // From the registry pass: the others marked as OPC servers, the class ID text as stored.
    ASSERT_LT(at("Acme.Legacy"), n);
    EXPECT_EQ(class_ids[at("Acme.Legacy")], "{aaaaaaaa-0000-0000-0000-000000000002}");
    EXPECT_EQ(class_ids[at("Acme.Plant.1")], "{AAAAAAAA-0000-0000-0000-000000000001}");
    EXPECT_LT(at("Tagsink.SimServer.Minimal"), n);
    // In the category but not marked as an OPC server: listed by the server list only.
    EXPECT_EQ(std::count(prog_ids.begin(), prog_ids.end(), "Acme.Hidden"), 1);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(SimEnumeration, VersionsZeroAndSevenAskForTheEmptyCategory) {
    Register("Acme.Legacy {AAAAAAAA-0000-0000-0000-000000000002}\n");
    std::vector<std::string> p0, c0, p7, c7, p1, c1, p3, c3;
    int32_t n0 = List("", 0, p0, c0);
    int32_t n7 = List("", 7, p7, c7);
    List("", 1, p1, c1);
    List("", 3, p3, c3);
    EXPECT_EQ(p0, p7);
    EXPECT_EQ(c0, c7);
    EXPECT_EQ(n0, n7);
    // The all-zero category has no classes: only the registry pass contributes, in registry order, and its
    // entries appear whatever the version.
    for (auto* list : {&p0, &p1, &p3})
        EXPECT_NE(std::find(list->begin(), list->end(), "Acme.Legacy"), list->end());
    EXPECT_EQ(std::count(p3.begin(), p3.end(), "Tagsink.SimServer.DA2"), 1);
}

TEST_F(SimEnumeration, UnreachableHostGivesEmptyArrays) {
    std::vector<std::string> p, c;
    EXPECT_EQ(List("far.away.example", 2, p, c), 0);
    EXPECT_TRUE(p.empty());
    EXPECT_TRUE(c.empty());
    EXPECT_TRUE(Reports().empty());
}

#endif // !_WIN32
TEST_F(SimBrowse, HierarchicalAndFlatNamespaces) {
    QZDAC_HSESSION da2 = QZDAC_Connect("", kDA2, 2);
    QZDAC_HSESSION da1 = QZDAC_Connect("", kDA1, 2);
    uint16_t type = 0;
    ASSERT_EQ(QZDAC_GetNameSpace(da2, &type), QZDAC_TRUE);
    EXPECT_EQ(type, 1);
    ASSERT_EQ(QZDAC_GetNameSpace(da1, &type), QZDAC_TRUE);
    EXPECT_EQ(type, 2);
}

TEST_F(SimBrowse, UpAtTheRootIsRefusedWithOneReport) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA2, 2);
    EXPECT_EQ(QZDAC_ChangeBrowsePosition(s, 1, ""), QZDAC_FALSE);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].source, "TServer.ChangeBrowsePosition");
}

TEST_F(SimBrowse, BranchesLeavesAndTheNullOfAnEmptyListing) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA2, 2);
    VARIANT names;
    VariantInit(&names);
    int32_t n = QZDAC_BrowseItems(s, 1, "*", 0, 0, &names);
    auto branches = Strings(names);
    EXPECT_EQ(static_cast<size_t>(n), branches.size());
    EXPECT_NE(std::find(branches.begin(), branches.end(), "Memory"), branches.end());
    ASSERT_EQ(QZDAC_ChangeBrowsePosition(s, 2, "Deep"), QZDAC_TRUE);
    EXPECT_EQ(QZDAC_BrowseItems(s, 2, "*", 0, 0, &names), 0);
    EXPECT_EQ(names.vt, VT_NULL);
    ASSERT_EQ(QZDAC_ChangeBrowsePosition(s, 1, ""), QZDAC_TRUE);
    ASSERT_EQ(QZDAC_ChangeBrowsePosition(s, 2, "Memory"), QZDAC_TRUE);
    n = QZDAC_BrowseItems(s, 2, "Int?", 0, 0, &names);
    EXPECT_EQ(Strings(names), (std::vector<std::string>{"Int1", "Int2", "Int4", "Int8"}));
    EXPECT_EQ(n, 4);
    char id[64];
    ASSERT_EQ(QZDAC_GetItemFullName(s, "Int4", id, 63), QZDAC_TRUE);
    EXPECT_STREQ(id, "Memory.Int4");
    VariantClear(&names);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(SimBrowse, LongItemIdIsCutAtTheLimit) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA2, 2);
    ASSERT_EQ(QZDAC_ChangeBrowsePosition(s, 2, "Names"), QZDAC_TRUE);
    VARIANT names;
    VariantInit(&names);
    QZDAC_BrowseItems(s, 2, "Long*", 0, 0, &names);
    auto leaves = Strings(names);
    VariantClear(&names);
    ASSERT_EQ(leaves.size(), 1u);
    char buffer[128];
    std::memset(buffer, '#', sizeof buffer);
    ASSERT_EQ(QZDAC_GetItemFullName(s, leaves[0].c_str(), buffer, 127), QZDAC_TRUE);
    EXPECT_EQ(std::strlen(buffer), 127u);
    EXPECT_EQ(std::string(buffer, 6), "Names.");
}

TEST_F(SimBrowse, PropertiesComeInAlignedArrays) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA2, 2);
    VARIANT ids, types, texts;
    VariantInit(&ids);
    VariantInit(&types);
    VariantInit(&texts);
    ASSERT_EQ(QZDAC_GetItemProperties(s, "Memory.Int4", &ids, &types, &texts), 6);
    EXPECT_EQ(ids.vt, VT_ARRAY | VT_I4);
    EXPECT_EQ(types.vt, VT_ARRAY | VT_UI2);
    auto descriptions = Strings(texts);
    ASSERT_EQ(descriptions.size(), 6u);
    for (LONG i = 0; i < 6; ++i) {
        int32_t id = 0;
        SafeArrayGetElement(ids.parray, &i, &id);
        EXPECT_EQ(id, i + 1);
    }
    EXPECT_EQ(descriptions[1], "Item Value");
    LONG first = 0;
    uint16_t type = 0;
    SafeArrayGetElement(types.parray, &first, &type);
    EXPECT_EQ(type, VT_I2);
    VariantClear(&ids);
    VariantClear(&types);
    VariantClear(&texts);
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(QZDAC_GetItemPropertyValue(s, "Memory.Constant", 2, &value), QZDAC_TRUE);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 42);
    EXPECT_EQ(QZDAC_GetItemPropertyValue(s, "Memory.Constant", 7, &value), QZDAC_FALSE);
    EXPECT_EQ(value.lVal, 42); // unchanged
    EXPECT_TRUE(Reports().empty());
}

TEST_F(SimBrowse, ServerWithoutBrowsingOrPropertiesFailsWithReports) {
    QZDAC_HSESSION s = QZDAC_Connect("", kMinimal, 2);
    uint16_t type = 9;
    EXPECT_EQ(QZDAC_GetNameSpace(s, &type), QZDAC_FALSE);
    EXPECT_EQ(type, 9);
    VARIANT a, b, c;
    VariantInit(&a);
    VariantInit(&b);
    VariantInit(&c);
    EXPECT_EQ(QZDAC_GetItemProperties(s, "Memory.Int4", &a, &b, &c), 0);
    EXPECT_EQ(a.vt, VT_EMPTY);
    ASSERT_EQ(Reports().size(), 2u);
    EXPECT_EQ(Reports()[0].source, "TServer.GetNameSpace");
    EXPECT_EQ(Reports()[1].source, "TServer.GetItemProperties");
}
