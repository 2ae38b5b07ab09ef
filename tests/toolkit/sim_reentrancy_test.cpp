// A log procedure that closes the session or removes the group while the library reports a failure of
// QZDAC_AddGroup, QZDAC_AddItem or QZDAC_AddItems, and the lost link, against the simulated servers through
// the C API only.
#include "sim_support.hpp"

using namespace tagclient::testing;

namespace {
class SimReentrancy : public SimTest {
protected:
    void TearDown() override {
        QZDAC_SetLogProc(nullptr);
        SimTest::TearDown();
    }
};
class SimLostLink : public SimTest {};

QZDAC_HSESSION g_session = 0;
QZDAC_HGROUP g_group = 0;
int g_logCalls = 0;

void QZDAC_LOGCALL DisconnectingLog(BSTR source, BSTR message) {
    ++g_logCalls;
    SysFreeString(source);
    SysFreeString(message);
    QZDAC_Disconnect(g_session);
}
void QZDAC_LOGCALL GroupRemovingLog(BSTR source, BSTR message) {
    ++g_logCalls;
    SysFreeString(source);
    SysFreeString(message);
    QZDAC_RemoveGroup(g_session, g_group);
}

VARIANT Ids(std::initializer_list<const char16_t*> ids) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(ids.size()));
    LONG i = 0;
    for (const char16_t* id : ids) {
        BSTR b = SysAllocString(reinterpret_cast<const OLECHAR*>(id));
        SafeArrayPutElement(psa, &i, b);
        SysFreeString(b);
        ++i;
    }
    VARIANT v{};
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = psa;
    return v;
}

bool Status(QZDAC_HSESSION s) {
    return QZDAC_GetServerStatus(s, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, 0) == QZDAC_TRUE;
}
} // namespace

TEST_F(SimReentrancy, LogProcedureDisconnectsWhileAddGroupReports) {
    g_session = QZDAC_Connect("", kDA2, 2);
    ASSERT_NE(g_session, 0u);
    // A group without connection points: TGroup.Initialize reports "Interface not supported".
    ASSERT_TRUE(ControlText(g_session, "Control.HideInterface", u"ConnectionPointContainer"));
    g_logCalls = 0;
    QZDAC_SetLogProc(&DisconnectingLog);
    EXPECT_EQ(QZDAC_AddGroup(g_session, "work", QZDAC_TRUE, 100, 0, 0, 0), 0u);
    EXPECT_EQ(g_logCalls, 1);
    QZDAC_SetLogProc(nullptr);
    EXPECT_EQ(QZDAC_Disconnect(g_session), QZDAC_FALSE); // already closed by the procedure
    EXPECT_EQ(QZDAC_AddGroup(g_session, "work", QZDAC_TRUE, 100, 0, 0, 0), 0u);
}

TEST_F(SimReentrancy, LogProcedureDisconnectsWhileAddItemReports) {
    g_session = QZDAC_Connect("", kDA2, 2);
    g_group = QZDAC_AddGroup(g_session, "work", QZDAC_TRUE, 100, 0, 0, 0);
    ASSERT_NE(g_group, 0u);
    ASSERT_TRUE(ControlText(g_session, "Control.FailNext", u"AddItems"));
    g_logCalls = 0;
    QZDAC_SetLogProc(&DisconnectingLog);
    EXPECT_EQ(QZDAC_AddItem(g_session, g_group, "Memory.Int4"), 0u);
    EXPECT_EQ(g_logCalls, 1);
    QZDAC_SetLogProc(nullptr);
    EXPECT_EQ(QZDAC_Disconnect(g_session), QZDAC_FALSE);
}

TEST_F(SimReentrancy, LogProcedureRemovesTheGroupWhileAddItemsReports) {
    g_session = QZDAC_Connect("", kDA2, 2);
    g_group = QZDAC_AddGroup(g_session, "work", QZDAC_TRUE, 100, 0, 0, 0);
    ASSERT_TRUE(ControlText(g_session, "Control.FailNext", u"AddItems=0x80004005"));
    VARIANT ids = Ids({u"Memory.Int4", u"Memory.Real8"});
    VARIANT none{};
    VARIANT handles{};
    g_logCalls = 0;
    QZDAC_SetLogProc(&GroupRemovingLog);
    EXPECT_EQ(QZDAC_AddItems(g_session, g_group, 2, ids, none, &handles), 0);
    EXPECT_EQ(g_logCalls, 1);
    QZDAC_SetLogProc(nullptr);
    VariantClear(&handles);
    // The group is gone, the session lives on.
    EXPECT_EQ(QZDAC_AddItem(g_session, g_group, "Memory.Int4"), 0u);
    EXPECT_TRUE(Status(g_session));
    // And the same with a procedure that closes the session.
    g_group = QZDAC_AddGroup(g_session, "work2", QZDAC_TRUE, 100, 0, 0, 0);
    ASSERT_TRUE(ControlText(g_session, "Control.FailNext", u"AddItems"));
    QZDAC_SetLogProc(&DisconnectingLog);
    EXPECT_EQ(QZDAC_AddItems(g_session, g_group, 2, ids, none, &handles), 0);
    EXPECT_EQ(g_logCalls, 2);
    QZDAC_SetLogProc(nullptr);
    EXPECT_EQ(QZDAC_Disconnect(g_session), QZDAC_FALSE);
    VariantClear(&handles);
    VariantClear(&ids);
}

TEST_F(SimLostLink, StatusFailingWithServerUnavailableLosesTheSession) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA2, 2);
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "work", QZDAC_TRUE, 100, 0, 0, 0);
    QZDAC_HITEM item = QZDAC_AddItem(s, g, "Memory.Int4");
    ASSERT_NE(item, 0u);
    ASSERT_TRUE(ControlText(s, "Control.FailNext", u"GetStatus=0x800706BA"));
    Reports().clear();
    EXPECT_FALSE(Status(s));
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].source, "TServer.GetServerStatus");
    EXPECT_NE(Reports()[0].message.find("OLE error 800706BA"), std::string::npos) << Reports()[0].message;
    // The queued failure is used up: a server call would succeed, so these fail without one.
    EXPECT_FALSE(Status(s));
    EXPECT_EQ(QZDAC_ReadItem(s, g, item, nullptr, nullptr, nullptr), QZDAC_FALSE);
    EXPECT_EQ(QZDAC_AddGroup(s, "more", QZDAC_TRUE, 100, 0, 0, 0), 0u);
    EXPECT_EQ(Reports().size(), 4u);
    EXPECT_TRUE(HasReport("QZDAC_ReadItem"));
    EXPECT_EQ(QZDAC_Disconnect(s), QZDAC_TRUE);
    // A new connection to the same server works.
    QZDAC_HSESSION again = QZDAC_Connect("", kDA2, 2);
    EXPECT_TRUE(Status(again));
}

TEST_F(SimLostLink, ShutdownRequestLosesTheSession) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA2, 2);
    ASSERT_TRUE(Status(s));
    ASSERT_TRUE(ControlText(s, "Control.Shutdown", u"maintenance"));
    Pump(300);
    Reports().clear();
    EXPECT_FALSE(Status(s));
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].source, "QZDAC_GetServerStatus");
    EXPECT_NE(Reports()[0].message.find("maintenance"), std::string::npos);
    EXPECT_EQ(QZDAC_Disconnect(s), QZDAC_TRUE);
}

TEST_F(SimLostLink, SlowCallFaultDelaysOnlyTheNextCall) {
    QZDAC_HSESSION s = QZDAC_Connect("", kDA2, 2);
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "work", QZDAC_TRUE, 100, 0, 0, 0);
    QZDAC_HITEM item = QZDAC_AddItem(s, g, "Memory.Int4");
    ASSERT_TRUE(ControlText(s, "Control.FailNext", u"Read=slow:300"));
    EXPECT_FALSE(ControlText(s, "Control.FailNext", u"Read=slow:0"));
    EXPECT_FALSE(ControlText(s, "Control.FailNext", u"Read=slow:x"));
    auto start = std::chrono::steady_clock::now();
    VARIANT v{};
    EXPECT_EQ(QZDAC_ReadItem(s, g, item, &v, nullptr, nullptr), QZDAC_TRUE); // slow, but it succeeds
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_EQ(QZDAC_ReadItem(s, g, item, &v, nullptr, nullptr), QZDAC_TRUE);
    VariantClear(&v);
}
