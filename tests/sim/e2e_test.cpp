// The simulated servers end to end, through the public C API only: what a client sees of each server, of
// every fault-control item, of the data-object streams and of the registration files.
#include <platform/oleauto.h>
#include <tagclient.h>

#include <gtest/gtest.h>

#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr const char* kDa2 = "Tagsink.SimServer.DA2";
constexpr const char* kDa1 = "Tagsink.SimServer.DA1";
constexpr const char* kMinimal = "Tagsink.SimServer.Minimal";
constexpr const char* kDa2Clsid = "{D886E9B9-5576-47DF-B743-B81B90B0B9BF}";

std::string Utf8Of(BSTR b) {
    if (b == nullptr)
        return {};
    int n =
        WideCharToMultiByte(CP_UTF8, 0, b, static_cast<INT>(SysStringLen(b)), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, b, static_cast<INT>(SysStringLen(b)), s.data(), n, nullptr, nullptr);
    return s;
}

BSTR BstrOf(const std::u16string& s) {
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size()));
}

struct Report {
    std::string source, message;
};
std::vector<Report> g_reports;

void QZDAC_LOGCALL LogProc(BSTR source, BSTR message) {
    g_reports.push_back({Utf8Of(source), Utf8Of(message)});
    SysFreeString(source);
    SysFreeString(message);
}

struct Change {
    QZDAC_HSESSION session;
    QZDAC_HGROUP group;
    QZDAC_HITEM item;
    VARIANT value;
    FILETIME time;
    uint16_t quality;
};
std::vector<Change> g_changes;

void QZDAC_CALL OnChange(QZDAC_HSESSION s, QZDAC_HGROUP g, QZDAC_HITEM i, VARIANT v, FILETIME t, uint32_t q) {
    Change c{s, g, i, {}, t, static_cast<uint16_t>(q)};
    VariantInit(&c.value);
    VariantCopy(&c.value, &v);
    g_changes.push_back(c);
}

std::vector<QZDAC_HSESSION> g_shutdowns;
int32_t QZDAC_CALL OnShutdown(QZDAC_HSESSION s) {
    g_shutdowns.push_back(s);
    return 0;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        // Registration files of this test only.
        char pattern[] = "/tmp/sim-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        setenv("XDG_CONFIG_HOME", (dir_ / "home").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (dir_ / "system").c_str(), 1);
        ClearChanges();
        g_reports.clear();
        g_shutdowns.clear();
        QZDAC_SetLogProc(&LogProc);
        ASSERT_EQ(QZDAC_Init(), QZDAC_TRUE);
    }
    void TearDown() override {
        EXPECT_EQ(QZDAC_Uninit(), QZDAC_TRUE);
        QZDAC_SetLogProc(nullptr);
        ClearChanges();
        std::filesystem::remove_all(dir_);
    }
    static void ClearChanges() {
        for (auto& c : g_changes)
            VariantClear(&c.value);
        g_changes.clear();
    }

    // Dispatches the library's events until `done` holds or 5 s have passed.
    static bool Pump(const std::function<bool()>& done) {
        const intptr_t fd = QZDAC_GetEventHandle();
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            pollfd p{static_cast<int>(fd), POLLIN, 0};
            poll(&p, 1, 20);
            QZDAC_DispatchEvents();
        }
        return true;
    }
    // Dispatches events for a while (to see that something does not happen).
    static void PumpFor(int ms) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        Pump([&] { return std::chrono::steady_clock::now() > until; });
    }

    void WriteFile(const std::string& sub, const std::string& text) {
        std::filesystem::create_directories(dir_ / sub / "tagclient");
        std::ofstream(dir_ / sub / "tagclient" / "servers.conf") << text;
    }

    static QZDAC_BOOL WriteText(QZDAC_HSESSION s, QZDAC_HGROUP g, QZDAC_HITEM i, const std::u16string& text) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = BstrOf(text);
        QZDAC_BOOL ok = QZDAC_WriteItem(s, g, i, v, QZDAC_FALSE);
        VariantClear(&v);
        return ok;
    }
    static QZDAC_BOOL WriteInt(QZDAC_HSESSION s, QZDAC_HGROUP g, QZDAC_HITEM i, int32_t value) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = value;
        return QZDAC_WriteItem(s, g, i, v, QZDAC_FALSE);
    }
    static bool Reported(const std::string& source) {
        for (const auto& r : g_reports)
            if (r.source == source)
                return true;
        return false;
    }

    std::filesystem::path dir_;
};

std::vector<std::string> Strings(const VARIANT& v) {
    std::vector<std::string> out;
    if (v.vt != (VT_ARRAY | VT_BSTR))
        return out;
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(v.parray, 1, &lo);
    SafeArrayGetUBound(v.parray, 1, &hi);
    for (LONG i = lo; i <= hi; ++i) {
        BSTR b = nullptr;
        SafeArrayGetElement(v.parray, &i, &b);
        out.push_back(Utf8Of(b));
        SysFreeString(b);
    }
    return out;
}

TEST_F(EndToEnd, EachServerConnectsByProgIdOrClassIdAndReportsItsStatus) {
    QZDAC_HSESSION by_name = QZDAC_Connect("", kDa2, 2);
    QZDAC_HSESSION by_class = QZDAC_Connect("", kDa2Clsid, 0);
    QZDAC_HSESSION da1 = QZDAC_Connect("", kDa1, 0);
    QZDAC_HSESSION minimal = QZDAC_Connect("", kMinimal, 0);
    ASSERT_NE(by_name, 0u);
    ASSERT_NE(by_class, 0u);
    ASSERT_NE(da1, 0u);
    ASSERT_NE(minimal, 0u);
    EXPECT_EQ(QZDAC_Connect("", "Tagsink.SimServer.None", 0), 0u);
    EXPECT_EQ(QZDAC_Connect("unreachable-host.invalid", kDa2Clsid, 0), 0u);
    EXPECT_TRUE(Reported("TServer.Connect"));

    FILETIME start, now, last;
    uint16_t state = 0, major = 0, minor = 0, build = 0;
    uint32_t band = 0, groups = 7;
    char vendor[64];
    ASSERT_EQ(QZDAC_GetServerStatus(da1, &start, &now, &last, &state, &band, &groups, &major, &minor, &build,
                                    vendor, 63),
              QZDAC_TRUE);
    EXPECT_EQ(state, 1);
    EXPECT_EQ(groups, 0u);
    EXPECT_EQ(major, 1);
    EXPECT_STREQ(vendor, "Tagsink simulated OPC DA 1.0 server");
}

TEST_F(EndToEnd, ConnectionPointDeliversWrittenValuesAndQualities) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDa2, 2);
    ASSERT_NE(s, 0u);
    ASSERT_EQ(QZDAC_SetDataChangeProc(s, &OnChange), QZDAC_TRUE);
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "values", QZDAC_TRUE, 50, 0, 0.0f, 0);
    ASSERT_NE(g, 0u);
    QZDAC_HITEM memory = QZDAC_AddItem(s, g, "Memory.Int4");
    QZDAC_HITEM bad = QZDAC_AddItem(s, g, "Quality.Bad");
    ASSERT_NE(memory, 0u);
    ASSERT_NE(bad, 0u);
    EXPECT_EQ(QZDAC_AddItem(s, g, "No.Such.Item"), 0u);
    ASSERT_TRUE(Pump([&] { return g_changes.size() >= 2; }));
    ClearChanges();
    ASSERT_EQ(WriteInt(s, g, memory, 42), QZDAC_TRUE);
    ASSERT_TRUE(Pump([&] {
        for (const auto& c : g_changes)
            if (c.item == memory)
                return true;
        return false;
    }));
    for (const auto& c : g_changes) {
        EXPECT_EQ(c.session, s);
        EXPECT_EQ(c.group, g);
        if (c.item == memory) {
            EXPECT_EQ(c.value.vt, VT_I4);
            EXPECT_EQ(c.value.lVal, 42);
            EXPECT_EQ(c.quality, 0xC0);
        } else {
            EXPECT_EQ(c.item, bad);
            EXPECT_EQ(c.quality, 0x00);
        }
    }
}

TEST_F(EndToEnd, DataObjectStreamsCarryStringsAndArraysToTheClient) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDa1, 0);
    ASSERT_NE(s, 0u);
    QZDAC_SetDataChangeProc(s, &OnChange);
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "stream", QZDAC_TRUE, 50, 0, 0.0f, 0);
    QZDAC_HITEM words = QZDAC_AddItem(s, g, "Text.Words@50");
    QZDAC_HITEM array = QZDAC_AddItem(s, g, "Array.String@50");
    ASSERT_NE(words, 0u);
    ASSERT_NE(array, 0u);
    ASSERT_TRUE(Pump([&] { return g_changes.size() >= 6; }));
    bool saw_word = false, saw_array = false;
    for (const auto& c : g_changes) {
        if (c.item == words) {
            ASSERT_EQ(c.value.vt, VT_BSTR);
            EXPECT_FALSE(Utf8Of(c.value.bstrVal).empty());
            saw_word = true;
        } else if (c.item == array) {
            ASSERT_EQ(c.value.vt, VT_ARRAY | VT_BSTR);
            EXPECT_EQ(Strings(c.value).size(), 10u);
            saw_array = true;
        }
    }
    EXPECT_TRUE(saw_word);
    EXPECT_TRUE(saw_array);
    EXPECT_TRUE(g_reports.empty());
}

TEST_F(EndToEnd, MalformedStreamIsDroppedWithAReportAndTheNextOneDelivered) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDa1, 0);
    ASSERT_NE(s, 0u);
    QZDAC_SetDataChangeProc(s, &OnChange);
    QZDAC_HGROUP control = QZDAC_AddGroup(s, "control", QZDAC_FALSE, 1000, 0, 0.0f, 0);
    QZDAC_HITEM damage = QZDAC_AddItem(s, control, "Control.MalformedStream");
    ASSERT_NE(damage, 0u);
    for (const char16_t* kind : {u"offset", u"count", u"string", u"truncated"}) {
        g_reports.clear();
        ClearChanges();
        QZDAC_HGROUP g = QZDAC_AddGroup(s, "", QZDAC_TRUE, 50, 0, 0.0f, 0);
        ASSERT_EQ(WriteText(s, control, damage, kind), QZDAC_TRUE);
        QZDAC_HITEM item = QZDAC_AddItem(s, g, "Text.Words@50");
        ASSERT_NE(item, 0u);
        ASSERT_TRUE(Pump([&] { return !g_changes.empty(); }));
        EXPECT_TRUE(Reported("TGroup.DoDOCallBack"));
        QZDAC_RemoveGroup(s, g);
    }
    g_reports.clear();
    EXPECT_EQ(WriteText(s, control, damage, u"sideways"), QZDAC_FALSE);
    EXPECT_TRUE(g_reports.empty()); // a refused write is no failure of the call
}

TEST_F(EndToEnd, ShutdownControlCallsTheShutdownProcedure) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDa2, 2);
    ASSERT_NE(s, 0u);
    QZDAC_SetShutdownProc(s, &OnShutdown);
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "g", QZDAC_TRUE, 1000, 0, 0.0f, 0);
    QZDAC_HITEM item = QZDAC_AddItem(s, g, "Control.Shutdown");
    ASSERT_EQ(WriteText(s, g, item, u"maintenance"), QZDAC_TRUE);
    EXPECT_TRUE(g_shutdowns.empty()); // never inside the write
    ASSERT_TRUE(Pump([&] { return !g_shutdowns.empty(); }));
    EXPECT_EQ(g_shutdowns[0], s);
}

TEST_F(EndToEnd, RefuseRemoveGroupAndFailNextReachTheClientAsReportedFailures) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDa2, 2);
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "g", QZDAC_TRUE, 1000, 0, 0.0f, 0);
    QZDAC_HITEM refuse = QZDAC_AddItem(s, g, "Control.RefuseRemoveGroup");
    QZDAC_HITEM fail = QZDAC_AddItem(s, g, "Control.FailNext");
    ASSERT_EQ(WriteInt(s, g, refuse, 1), QZDAC_TRUE);
    EXPECT_EQ(QZDAC_RemoveGroup(s, g), QZDAC_FALSE);
    EXPECT_TRUE(Reported("TServer.RemoveGroup"));

    g_reports.clear();
    ASSERT_EQ(WriteText(s, g, fail, u"GetStatus=0x80070005;AddGroup"), QZDAC_TRUE);
    FILETIME a, b, c;
    uint16_t st, ma, mi, bu;
    uint32_t bw, gc;
    char vendor[8];
    EXPECT_EQ(QZDAC_GetServerStatus(s, &a, &b, &c, &st, &bw, &gc, &ma, &mi, &bu, vendor, 7), QZDAC_FALSE);
    EXPECT_TRUE(Reported("TServer.GetServerStatus"));
    EXPECT_EQ(QZDAC_AddGroup(s, "h", QZDAC_TRUE, 1000, 0, 0.0f, 0), 0u);
    EXPECT_TRUE(Reported("TServer.AddGroup"));
    EXPECT_EQ(QZDAC_RemoveGroup(s, g), QZDAC_TRUE);
}

TEST_F(EndToEnd, RefusedAdviseFallsBackToTheDataObject) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDa2, 2);
    ASSERT_NE(s, 0u);
    QZDAC_SetDataChangeProc(s, &OnChange);
    QZDAC_HGROUP control = QZDAC_AddGroup(s, "control", QZDAC_FALSE, 1000, 0, 0.0f, 0);
    QZDAC_HITEM fail = QZDAC_AddItem(s, control, "Control.FailNext");
    ASSERT_EQ(WriteText(s, control, fail, u"Advise"), QZDAC_TRUE);
    g_reports.clear();
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "fallback", QZDAC_TRUE, 50, 0, 0.0f, 0);
    ASSERT_NE(g, 0u);
    // A refused Advise is no failure: the group works, and one line tells which path it took.
    ASSERT_EQ(g_reports.size(), 1u);
    EXPECT_EQ(g_reports[0].source, "TGroup.Initialize");
    EXPECT_NE(g_reports[0].message.find("OPC DA 1.0 data object"), std::string::npos) << g_reports[0].message;
    QZDAC_HITEM item = QZDAC_AddItem(s, g, "Text.Words@50");
    ASSERT_TRUE(Pump([&] { return !g_changes.empty(); }));
    ASSERT_EQ(g_changes[0].item, item);
    EXPECT_EQ(g_changes[0].value.vt, VT_BSTR);
    // Refreshing still goes through IOPCAsyncIO2, which has no subscriber now.
    EXPECT_EQ(QZDAC_RefreshGroup(s, g, 1), QZDAC_FALSE);
    EXPECT_TRUE(Reported("TGroup.Refresh"));
}

TEST_F(EndToEnd, HiddenConnectionPointsLeaveAGroupWithoutSubscription) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDa2, 2);
    QZDAC_SetDataChangeProc(s, &OnChange);
    QZDAC_HGROUP control = QZDAC_AddGroup(s, "control", QZDAC_FALSE, 1000, 0, 0.0f, 0);
    QZDAC_HITEM hide = QZDAC_AddItem(s, control, "Control.HideInterface");
    ASSERT_EQ(WriteText(s, control, hide, u"ConnectionPointContainer"), QZDAC_TRUE);
    g_reports.clear();
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "bare", QZDAC_TRUE, 50, 0, 0.0f, 0);
    ASSERT_NE(g, 0u);
    EXPECT_TRUE(Reported("TGroup.Initialize"));
    QZDAC_HITEM item = QZDAC_AddItem(s, g, "Counter.Int4@50");
    ASSERT_NE(item, 0u);
    PumpFor(300);
    EXPECT_TRUE(g_changes.empty());
    VARIANT v;
    VariantInit(&v);
    FILETIME t;
    uint16_t q = 0;
    ASSERT_EQ(QZDAC_ReadItem(s, g, item, &v, &t, &q), QZDAC_TRUE); // synchronous I/O still works
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(q, 0xC0);
}

TEST_F(EndToEnd, AsynchronousWritesNeedTheDa2Interface) {
    QZDAC_HSESSION da2 = QZDAC_Connect("", kDa2, 2);
    QZDAC_HSESSION da1 = QZDAC_Connect("", kDa1, 0);
    QZDAC_SetDataChangeProc(da2, &OnChange);
    QZDAC_HGROUP g2 = QZDAC_AddGroup(da2, "g", QZDAC_TRUE, 50, 0, 0.0f, 0);
    QZDAC_HGROUP g1 = QZDAC_AddGroup(da1, "g", QZDAC_TRUE, 50, 0, 0.0f, 0);
    QZDAC_HITEM i2 = QZDAC_AddItem(da2, g2, "Memory.Real8");
    QZDAC_HITEM i1 = QZDAC_AddItem(da1, g1, "Memory.Real8");
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = 2.5;
    g_reports.clear();
    EXPECT_EQ(QZDAC_WriteItem(da1, g1, i1, v, QZDAC_TRUE), QZDAC_FALSE);
    EXPECT_TRUE(Reported("TGroup.WriteItem"));
    ASSERT_EQ(QZDAC_WriteItem(da2, g2, i2, v, QZDAC_TRUE), QZDAC_TRUE);
    ASSERT_TRUE(Pump([&] {
        for (const auto& c : g_changes)
            if (c.item == i2 && c.value.vt == VT_R8 && c.value.dblVal == 2.5)
                return true;
        return false;
    }));
}

TEST_F(EndToEnd, RefusedItemsAreCountedByAddItems) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDa2, 2);
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "g", QZDAC_TRUE, 1000, 0, 0.0f, 0);
    QZDAC_HITEM refuse = QZDAC_AddItem(s, g, "Control.RefuseItems");
    ASSERT_EQ(WriteInt(s, g, refuse, 1), QZDAC_TRUE);
    EXPECT_EQ(QZDAC_AddItem(s, g, "Memory.Int4"), 0u);
    EXPECT_NE(QZDAC_AddItem(s, g, "Memory.Int4"), 0u);
}

TEST_F(EndToEnd, BrowsingAndPropertiesFollowEachServersOrganisation) {
    QZDAC_HSESSION da2 = QZDAC_Connect("", kDa2, 2);
    QZDAC_HSESSION da1 = QZDAC_Connect("", kDa1, 0);
    QZDAC_HSESSION minimal = QZDAC_Connect("", kMinimal, 0);
    uint16_t ns = 0;
    ASSERT_EQ(QZDAC_GetNameSpace(da1, &ns), QZDAC_TRUE);
    EXPECT_EQ(ns, 2);
    ASSERT_EQ(QZDAC_GetNameSpace(da2, &ns), QZDAC_TRUE);
    EXPECT_EQ(ns, 1);
    g_reports.clear();
    EXPECT_EQ(QZDAC_ChangeBrowsePosition(da2, 1, ""), QZDAC_FALSE);
    ASSERT_EQ(g_reports.size(), 1u);
    EXPECT_EQ(g_reports[0].source, "TServer.ChangeBrowsePosition");
    EXPECT_EQ(QZDAC_GetNameSpace(minimal, &ns), QZDAC_FALSE);
    EXPECT_TRUE(Reported("TServer.GetNameSpace"));

    VARIANT names;
    VariantInit(&names);
    ASSERT_EQ(QZDAC_ChangeBrowsePosition(da2, 2, "Memory"), QZDAC_TRUE);
    EXPECT_EQ(QZDAC_BrowseItems(da2, 2, "Int?", 0, 0, &names), 4);
    EXPECT_EQ(Strings(names), (std::vector<std::string>{"Int1", "Int2", "Int4", "Int8"}));
    EXPECT_EQ(QZDAC_BrowseItems(da2, 1, "*", 0, 0, &names), 0);
    EXPECT_EQ(names.vt, VT_NULL);
    char full[128];
    ASSERT_EQ(QZDAC_GetItemFullName(da2, "Real8", full, 127), QZDAC_TRUE);
    EXPECT_STREQ(full, "Memory.Real8");
    ASSERT_EQ(QZDAC_ChangeBrowsePosition(da2, 3, "Names"), QZDAC_TRUE);
    EXPECT_EQ(QZDAC_BrowseItems(da2, 2, "Long*", 0, 0, &names), 1);
    const std::string long_name = Strings(names)[0];
    ASSERT_EQ(QZDAC_GetItemFullName(da2, long_name.c_str(), full, 127), QZDAC_TRUE);
    EXPECT_EQ(std::string(full).size(), 127u);
    VariantClear(&names);

    VARIANT ids, types, texts, value;
    VariantInit(&ids);
    VariantInit(&types);
    VariantInit(&texts);
    VariantInit(&value);
    EXPECT_EQ(QZDAC_GetItemProperties(da2, "Memory.String", &ids, &types, &texts), 6);
    g_reports.clear();
    EXPECT_EQ(QZDAC_GetItemPropertyValue(da2, "Memory.String", 8, &value), QZDAC_FALSE);
    EXPECT_TRUE(g_reports.empty());
    ASSERT_EQ(QZDAC_GetItemPropertyValue(da2, "Ramp.Real8", 5000, &value), QZDAC_TRUE);
    ASSERT_EQ(value.vt, VT_BSTR);
    EXPECT_EQ(Utf8Of(value.bstrVal), "Ramp");
    EXPECT_EQ(QZDAC_GetItemProperties(minimal, "Memory.String", &ids, &types, &texts), 0);
    EXPECT_TRUE(Reported("TServer.GetItemProperties"));
    for (VARIANT* v : {&ids, &types, &texts, &value})
        VariantClear(v);
}

TEST_F(EndToEnd, ServerListsFollowCategoriesAndRegistrationFiles) {
    VARIANT prog_ids, class_ids;
    VariantInit(&prog_ids);
    VariantInit(&class_ids);
    ASSERT_EQ(QZDAC_GetServers("", 2, &prog_ids, &class_ids), 3);
    // The component's DA 2.0 server first; the registry pass adds the other built-ins (marked as OPC).
    auto names = Strings(prog_ids);
    auto classes = Strings(class_ids);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], kDa2);
    EXPECT_EQ(classes[0], kDa2Clsid);

    WriteFile("system", "Vendor.Shared.1 {11111111-2222-3333-4444-555555555555} da=2 server=da2\n");
    WriteFile("home",
              "# mine\n"
              "Acme.Plant.1 {AAAAAAAA-0000-0000-0000-000000000001} da=2 server=da1 type=\"Acme plant\"\n"
              "Acme.Legacy {not-a-class-id}\n"
              "Acme.Hidden.1 {AAAAAAAA-0000-0000-0000-000000000002} opc=no da=1\n");
    ASSERT_EQ(QZDAC_GetServers("", 2, &prog_ids, &class_ids), 6);
    names = Strings(prog_ids);
    classes = Strings(class_ids);
    EXPECT_EQ(names[0], kDa2);
    EXPECT_EQ(names[1], "Vendor.Shared.1");
    EXPECT_EQ(names[2], "Acme.Plant.1");
    EXPECT_EQ(std::count(names.begin(), names.end(), "Acme.Legacy"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Acme.Hidden.1"), 0);
    const auto legacy = std::find(names.begin(), names.end(), "Acme.Legacy") - names.begin();
    EXPECT_EQ(classes[static_cast<size_t>(legacy)], "{not-a-class-id}"); // as stored

    // A registered class answers with the simulated server it names.
    QZDAC_HSESSION plant = QZDAC_Connect("", "Acme.Plant.1", 0);
    ASSERT_NE(plant, 0u);
    uint16_t ns = 0;
    ASSERT_EQ(QZDAC_GetNameSpace(plant, &ns), QZDAC_TRUE);
    EXPECT_EQ(ns, 2);
    g_reports.clear();
    EXPECT_EQ(QZDAC_Connect("", "{AAAAAAAA-0000-0000-0000-000000000002}", 0), 0u); // registered, no server
    EXPECT_TRUE(Reported("TServer.Connect"));

    // A remote host has no registry pass; an unreachable one lists nothing.
    ASSERT_EQ(QZDAC_GetServers("localhost", 2, &prog_ids, &class_ids), 3);
    ASSERT_EQ(QZDAC_GetServers("unreachable-host.invalid", 2, &prog_ids, &class_ids), 0);
    EXPECT_EQ(prog_ids.vt, VT_ARRAY | VT_BSTR);
    VariantClear(&prog_ids);
    VariantClear(&class_ids);
}

} // namespace
