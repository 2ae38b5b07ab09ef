// Sessions, groups and items against the simulated servers, through the C API only.
#include "sim_support.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cctype>
#include <cstring>

using namespace tagclient::testing;

namespace {
class SimSessions : public SimTest {};
class SimGroups : public SimTest {};
class SimItems : public SimTest {};

int g_shutdowns = 0;
int32_t QZDAC_CALL ShutdownAndDisconnect(QZDAC_HSESSION s) {
    ++g_shutdowns;
    EXPECT_EQ(QZDAC_Disconnect(s), QZDAC_TRUE);
    return 0;
}
} // namespace

TEST_F(SimSessions, ConnectsByProgIdAndByClassId) {
    QZDAC_HSESSION by_name = QZDAC_Connect("", kDA2, 2);
    QZDAC_HSESSION by_class = QZDAC_Connect("", kDA2Class, 0);
    EXPECT_NE(by_name, 0u);
    EXPECT_NE(by_class, 0u);
    EXPECT_NE(by_name, by_class);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(SimSessions, ComputerNameInOtherCaseIsThisComputer) {
    char name[128] = {};
#ifdef _WIN32
    DWORD size = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &size));
#else
    ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
#endif
    for (char* p = name; *p; ++p)
        *p = static_cast<char>(std::islower(static_cast<unsigned char>(*p)) ? std::toupper(*p)
                                                                            : std::tolower(*p));
    EXPECT_NE(QZDAC_Connect(name, kDA1, 2), 0u);
}

TEST_F(SimSessions, UnknownProgIdAndUnreachableHost) {
    EXPECT_EQ(QZDAC_Connect("", "No.Such.Server", 2), 0u);
    EXPECT_TRUE(Reports().empty());
    EXPECT_EQ(QZDAC_Connect("far.away.example", kDA2Class, 2), 0u);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].source, "TServer.Connect");
}

TEST_F(SimSessions, StatusOfTheServer) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA2, 2);
    FILETIME start{}, now{}, last{};
    uint16_t state = 0, major = 0, minor = 0, build = 0;
    uint32_t band = 0, groups = 9;
    char vendor[128];
    ASSERT_EQ(QZDAC_GetServerStatus(s, &start, &now, &last, &state, &band, &groups, &major, &minor, &build,
                                    vendor, 127),
              QZDAC_TRUE);
    EXPECT_EQ(state, 1);
    EXPECT_EQ(groups, 0u);
    EXPECT_EQ(major, 2);
    EXPECT_STREQ(vendor, "Tagsink simulated OPC DA 2.0 server");
    char cut[8];
    std::memset(cut, '#', sizeof cut);
    QZDAC_GetServerStatus(s, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                          cut, 5);
    EXPECT_EQ(std::string(cut, 7), std::string("Tagsi\0#", 7));
}

TEST_F(SimSessions, ShutdownRequestReachesTheProcedureWhichMayDisconnect) {
    g_shutdowns = 0;
    QZDAC_HSESSION s = QZDAC_Connect("", kDA2, 2);
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "work", QZDAC_TRUE, 100, 0, 0, 0);
    ASSERT_NE(QZDAC_AddItem(s, g, "Counter.Int4@50"), 0u);
    ASSERT_EQ(QZDAC_SetShutdownProc(s, &ShutdownAndDisconnect), QZDAC_TRUE);
    ASSERT_TRUE(ControlText(s, "Control.Shutdown", u"maintenance"));
    EXPECT_EQ(g_shutdowns, 0); // nothing before the client dispatches
    EXPECT_TRUE(PumpUntil([] { return g_shutdowns > 0; }));
    Pump(200);
    EXPECT_EQ(g_shutdowns, 1);
    EXPECT_EQ(QZDAC_Disconnect(s), QZDAC_FALSE);
}

TEST_F(SimGroups, ConnectionPointGroupDeliversChanges) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA2, 2);
    QZDAC_SetDataChangeProc(s, &OnChange);
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "fast", QZDAC_TRUE, 50, 0, 0, 0);
    QZDAC_HITEM i = QZDAC_AddItem(s, g, "Counter.Int4@50");
    ASSERT_NE(i, 0u);
    EXPECT_EQ(QZDAC_RefreshGroup(s, g, 1), QZDAC_TRUE);
    ASSERT_TRUE(PumpUntil([] { return Changes().size() >= 3; }));
    for (auto& c : Changes()) {
        EXPECT_EQ(c.session, s);
        EXPECT_EQ(c.group, g);
        EXPECT_EQ(c.item, i);
        EXPECT_EQ(c.value.vt, VT_I4);
        EXPECT_EQ(c.quality, 0xC0u);
    }
}

TEST_F(SimGroups, DataObjectGroupOfTheOlderServerDeliversChanges) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA1, 2);
    QZDAC_SetDataChangeExProc(s, &OnChangeEx);
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "g", QZDAC_TRUE, 50, 0, 0, 0);
    QZDAC_HITEM text = QZDAC_AddItemEx(s, g, "Text.Words@50", 31);
    QZDAC_HITEM arr = QZDAC_AddItemEx(s, g, "Array.String@50", 32);
    ASSERT_NE(text, 0u);
    ASSERT_NE(arr, 0u);
    EXPECT_EQ(QZDAC_RefreshGroup(s, g, 1), QZDAC_TRUE);
    ASSERT_TRUE(PumpUntil([] { return Changes().size() >= 6; }));
    bool saw_text = false, saw_array = false;
    for (auto& c : Changes()) {
        ASSERT_TRUE(c.extended);
        if (c.item == text) {
            EXPECT_EQ(c.client_value, 31);
            EXPECT_FALSE(Text(c.value).empty());
            saw_text = true;
        } else {
            EXPECT_EQ(c.item, arr);
            EXPECT_EQ(c.client_value, 32);
            EXPECT_EQ(c.value.vt, VT_ARRAY | VT_BSTR);
            EXPECT_FALSE(Strings(c.value).empty());
            saw_array = true;
        }
    }
    EXPECT_TRUE(saw_text && saw_array);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(SimGroups, MalformedBlockIsDroppedWithAReportAndDeliveryGoesOn) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA1, 2);
    QZDAC_SetDataChangeProc(s, &OnChange);
    ASSERT_TRUE(ControlText(s, "Control.MalformedStream", u"offset"));
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "g", QZDAC_TRUE, 50, 0, 0, 0);
    ASSERT_NE(QZDAC_AddItem(s, g, "Counter.Int4@50"), 0u);
    ASSERT_TRUE(PumpUntil([this] { return HasReport("TGroup.DoDOCallBack"); }));
    ASSERT_TRUE(PumpUntil([] { return Changes().size() >= 2; }));
    int reports = 0;
    for (auto& r : Reports())
        reports += r.source == "TGroup.DoDOCallBack";
    EXPECT_EQ(reports, 1);
}

TEST_F(SimGroups, MinimalServerGroupHasNoRefresh) {
    QZDAC_HSESSION s = QZDAC_Connect("", kMinimal, 2);
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "g", QZDAC_TRUE, 100, 0, 0, 0);
    ASSERT_NE(g, 0u);
    EXPECT_EQ(QZDAC_RefreshGroup(s, g, 1), QZDAC_FALSE);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].source, "TGroup.Refresh");
}

TEST_F(SimGroups, RevisedRateAndRefusedRemoval) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA2, 2);
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "g", QZDAC_TRUE, 1000, 0, 0, 0);
    ASSERT_EQ(QZDAC_SetGroupStat(s, g, 10, QZDAC_TRUE, 0, 0, 0), QZDAC_TRUE);
    uint32_t rate = 0, lcid = 0;
    QZDAC_BOOL active = 0;
    int32_t bias = 0;
    float band = 0;
    ASSERT_EQ(QZDAC_GetGroupStat(s, g, &rate, &active, &bias, &band, &lcid), QZDAC_TRUE);
    EXPECT_EQ(rate, 50u);
    QZDAC_HITEM control = QZDAC_AddItem(s, g, "Control.RefuseRemoveGroup");
    VARIANT one;
    one.vt = VT_I4;
    one.lVal = 1;
    ASSERT_EQ(QZDAC_WriteItem(s, g, control, one, QZDAC_FALSE), QZDAC_TRUE);
    EXPECT_EQ(QZDAC_RemoveGroup(s, g), QZDAC_FALSE);
    EXPECT_TRUE(HasReport("TServer.RemoveGroup"));
    EXPECT_EQ(QZDAC_GetGroupStat(s, g, &rate, &active, &bias, &band, &lcid), QZDAC_TRUE);
    EXPECT_EQ(QZDAC_RemoveGroup(s, g), QZDAC_TRUE);
}

TEST_F(SimGroups, DuplicateNameIsRefusedButTheExportSaysTrue) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA2, 2);
    QZDAC_HGROUP a = QZDAC_AddGroup(s, "a", QZDAC_TRUE, 1000, 0, 0, 0);
    QZDAC_HGROUP b = QZDAC_AddGroup(s, "b", QZDAC_TRUE, 1000, 0, 0, 0);
    ASSERT_NE(a, 0u);
    EXPECT_EQ(QZDAC_SetGroupName(s, b, "a"), QZDAC_TRUE);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(SimItems, AddItemsCountsRefusalsAndKeepsOrder) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA2, 2);
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "g", QZDAC_TRUE, 1000, 0, 0, 0);
    VARIANT ids;
    ids.vt = VT_ARRAY | VT_BSTR;
    ids.parray = SafeArrayCreateVector(VT_BSTR, 0, 3);
    const char16_t* names[] = {u"Memory.Int4", u"No.Such.Item", u"Memory.Real8"};
    for (LONG i = 0; i < 3; ++i) {
        BSTR b = SysAllocString(reinterpret_cast<const OLECHAR*>(names[i]));
        SafeArrayPutElement(ids.parray, &i, b);
        SysFreeString(b);
    }
    VARIANT none;
    VariantInit(&none);
    VARIANT handles;
    VariantInit(&handles);
    EXPECT_EQ(QZDAC_AddItems(s, g, 3, ids, none, &handles), 1);
    ASSERT_EQ(handles.vt, VT_ARRAY | VT_I4);
    int32_t h[3] = {};
    for (LONG i = 0; i < 3; ++i)
        SafeArrayGetElement(handles.parray, &i, &h[i]);
    EXPECT_NE(h[0], 0);
    EXPECT_EQ(h[1], 0);
    EXPECT_NE(h[2], 0);
    EXPECT_TRUE(Reports().empty());
    VariantClear(&ids);
    VariantClear(&handles);
}

TEST_F(SimItems, WriteThenReadAMemoryItem) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA2, 2);
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "g", QZDAC_TRUE, 1000, 0, 0, 0);
    QZDAC_HITEM i = QZDAC_AddItem(s, g, "Memory.String");
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(reinterpret_cast<const OLECHAR*>(u"hello 温度"));
    ASSERT_EQ(QZDAC_WriteItem(s, g, i, v, QZDAC_FALSE), QZDAC_TRUE);
    EXPECT_EQ(Text(v), "hello 温度"); // the caller's value is untouched
    VariantClear(&v);
    VARIANT out;
    VariantInit(&out);
    FILETIME t{};
    uint16_t q = 0;
    ASSERT_EQ(QZDAC_ReadItem(s, g, i, &out, &t, &q), QZDAC_TRUE);
    EXPECT_EQ(Text(out), "hello 温度");
    EXPECT_EQ(q, 0xC0);
    VariantClear(&out);
}

TEST_F(SimItems, FailedDeviceReadKeepsTheCallersVariables) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA2, 2);
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "g", QZDAC_TRUE, 1000, 0, 0, 0);
    QZDAC_HITEM i = QZDAC_AddItem(s, g, "Fault.ReadError");
    VARIANT v;
    v.vt = VT_I2;
    v.iVal = 5;
    FILETIME t{1, 1};
    uint16_t q = 3;
    EXPECT_EQ(QZDAC_ReadItem(s, g, i, &v, &t, &q), QZDAC_FALSE);
    EXPECT_EQ(v.vt, VT_I2);
    EXPECT_EQ(q, 3);
    EXPECT_EQ(t.dwLowDateTime, 1u);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(SimItems, AsynchronousWriteOnTheOlderServerFails) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA1, 2);
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "g", QZDAC_TRUE, 1000, 0, 0, 0);
    QZDAC_HITEM i = QZDAC_AddItem(s, g, "Memory.Int4");
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = 3;
    EXPECT_EQ(QZDAC_WriteItem(s, g, i, v, QZDAC_TRUE), QZDAC_FALSE);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].source, "TGroup.WriteItem");
}

TEST_F(SimItems, ValidateRemoveAndRefusedItems) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA2, 2);
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "g", QZDAC_TRUE, 1000, 0, 0, 0);
    EXPECT_EQ(QZDAC_ValidateItem(s, g, "Memory.Int4", 0, 0), QZDAC_TRUE);
    EXPECT_EQ(QZDAC_ValidateItem(s, g, "No.Such", 0, 0), QZDAC_FALSE);
    VARIANT two;
    two.vt = VT_I4;
    two.lVal = 1;
    ASSERT_TRUE(Control(s, "Control.RefuseItems", two));
    EXPECT_EQ(QZDAC_AddItem(s, g, "Memory.Int4"), 0u);
    QZDAC_HITEM i = QZDAC_AddItem(s, g, "Memory.Int4");
    ASSERT_NE(i, 0u);
    EXPECT_EQ(QZDAC_ActiveItem(s, g, i, QZDAC_FALSE), QZDAC_TRUE);
    EXPECT_EQ(QZDAC_RemoveItem(s, g, i), QZDAC_TRUE);
    EXPECT_EQ(QZDAC_RemoveItem(s, g, i), QZDAC_FALSE);
    EXPECT_TRUE(Reports().empty());
}
