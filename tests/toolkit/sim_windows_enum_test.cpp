// Server enumeration on Windows: the OPC server-list component (the COM test server's stand-in,
// registered in-process) and the registry pass over HKEY_CLASSES_ROOT, which lists the ProgIDs that carry
// an "OPC" key. The registration of the test server decides what both find.
#ifdef _WIN32

#include "sim_support.hpp"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <set>

using namespace tagclient::testing;

namespace {

class SimWindowsEnumeration : public SimTest {
protected:
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
    static std::string ClassOf(const std::vector<std::string>& prog_ids,
                               const std::vector<std::string>& class_ids, const std::string& prog_id) {
        auto it = std::find(prog_ids.begin(), prog_ids.end(), prog_id);
        return it == prog_ids.end() ? std::string() : class_ids[static_cast<size_t>(it - prog_ids.begin())];
    }
};

} // namespace

TEST_F(SimWindowsEnumeration, VersionTwoListsTheRegisteredServersOnceWithTheirClassIds) {
    std::vector<std::string> p, c;
    int32_t n = List("", 2, p, c);
    ASSERT_GE(n, 3);
    ASSERT_EQ(p.size(), static_cast<size_t>(n));
    ASSERT_EQ(c.size(), static_cast<size_t>(n));
    EXPECT_EQ(ClassOf(p, c, kDA2), kDA2Class);
    EXPECT_NE(ClassOf(p, c, kDA1), "");
    EXPECT_NE(ClassOf(p, c, kMinimal), "");
    EXPECT_EQ(std::set<std::string>(p.begin(), p.end()).size(), p.size()); // each ProgID once
    EXPECT_TRUE(Reports().empty());
}

TEST_F(SimWindowsEnumeration, RegistryPassEntriesAppearForEveryVersion) {
    for (int32_t version : {1, 3, 7}) {
        std::vector<std::string> p, c;
        EXPECT_GE(List("", version, p, c), 3) << "version " << version;
        EXPECT_EQ(ClassOf(p, c, kDA2), kDA2Class) << "version " << version;
    }
    EXPECT_TRUE(Reports().empty());
}

TEST_F(SimWindowsEnumeration, ThisComputerByNameInOtherCaseIsEnumeratedLocally) {
    char name[128] = {};
    DWORD size = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &size));
    for (char* q = name; *q; ++q)
        *q = static_cast<char>(std::islower(static_cast<unsigned char>(*q)) ? std::toupper(*q)
                                                                            : std::tolower(*q));
    std::vector<std::string> local, local_classes, named, named_classes;
    int32_t n = List("", 2, local, local_classes);
    EXPECT_EQ(List(name, 2, named, named_classes), n);
    EXPECT_EQ(named, local);
    EXPECT_EQ(named_classes, local_classes);
}

TEST_F(SimWindowsEnumeration, ProgIdResolvesThroughTheServerListAndTheClassRegistry) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA2, 2);
    EXPECT_NE(s, 0u);
    QZDAC_HSESSION t = QZDAC_Connect("", kDA2Class, 2);
    EXPECT_NE(t, 0u);
    EXPECT_NE(s, t);
    EXPECT_EQ(QZDAC_Connect("", "Tagsink.NoSuchServer.1", 2), 0u);
    EXPECT_TRUE(Reports().empty());
}

#endif
