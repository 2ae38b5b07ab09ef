// Client code that runs while the library is inside a server call or a report: a log procedure or a
// notification (as a COM apartment dispatches them while it waits for an answer) that removes the group or
// closes the session the library is working on. The library must notice and touch nothing of it afterwards.
#include "test_support.hpp"

#include "library.hpp"
#include "uServer.hpp"

using namespace tagclient::testing;

namespace {
class Reentrancy : public ToolkitTest {};

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
} // namespace

TEST_F(Reentrancy, SessionClosedDuringTheServersAddGroupGivesNoGroup) {
    g_session = Connect();
    W().during["AddGroup"] = [] { QZDAC_Disconnect(g_session); };
    EXPECT_EQ(QZDAC_AddGroup(g_session, "G", QZDAC_TRUE, 100, 0, 0, 0), 0u);
    EXPECT_EQ(tagclient::Library::Get().FindSession(g_session), nullptr);
    // The orphaned group is given back to the server.
    EXPECT_EQ(W().Count("RemoveGroup(" + std::to_string(ServerGroup().server_handle) + ")"), 1);
}

TEST_F(Reentrancy, SessionClosedByTheLogProcedureWhileTheGroupInitializes) {
    ServerConfig config;
    config.group.connection_points = false; // TGroup.Initialize: Interface not supported, reported
    g_session = Connect(config);
    g_logCalls = 0;
    QZDAC_SetLogProc(&DisconnectingLog);
    EXPECT_EQ(QZDAC_AddGroup(g_session, "G", QZDAC_TRUE, 100, 0, 0, 0), 0u);
    QZDAC_SetLogProc(&LogSink);
    EXPECT_EQ(g_logCalls, 1);
    EXPECT_EQ(tagclient::Library::Get().FindSession(g_session), nullptr);
    EXPECT_EQ(W().Count("SetName"), 0); // nothing of the group is used after the report
}

TEST_F(Reentrancy, SessionClosedDuringTheGroupsRenameGivesNoGroup) {
    g_session = Connect();
    W().during["SetName"] = [] { QZDAC_Disconnect(g_session); };
    EXPECT_EQ(QZDAC_AddGroup(g_session, "G", QZDAC_TRUE, 100, 0, 0, 0), 0u);
    EXPECT_EQ(tagclient::Library::Get().FindSession(g_session), nullptr);
}

TEST_F(Reentrancy, GroupRemovedDuringAddItemAddsNothing) {
    g_session = Connect();
    g_group = AddGroup(g_session);
    W().during["AddItems"] = [] { EXPECT_EQ(QZDAC_RemoveGroup(g_session, g_group), QZDAC_TRUE); };
    EXPECT_EQ(QZDAC_AddItem(g_session, g_group, "A"), 0u);
    EXPECT_EQ(QZDAC_AddItem(g_session, g_group, "B"), 0u); // the group is gone
    EXPECT_NE(tagclient::Library::Get().FindSession(g_session), nullptr);
}

TEST_F(Reentrancy, SessionClosedDuringAddItemsHandsOutNoHandles) {
    g_session = Connect();
    g_group = AddGroup(g_session);
    SAFEARRAY* ids = SafeArrayCreateVector(VT_BSTR, 0, 2);
    for (LONG i = 0; i < 2; ++i) {
        BSTR id = SysAllocString(reinterpret_cast<const OLECHAR*>(i ? u"B" : u"A"));
        SafeArrayPutElement(ids, &i, id);
        SysFreeString(id);
    }
    VARIANT item_ids{};
    item_ids.vt = VT_ARRAY | VT_BSTR;
    item_ids.parray = ids;
    VARIANT none{};
    VARIANT handles{};
    W().during["AddItems"] = [] { QZDAC_Disconnect(g_session); };
    EXPECT_EQ(QZDAC_AddItems(g_session, g_group, 2, item_ids, none, &handles), 0);
    ASSERT_EQ(handles.vt, VT_ARRAY | VT_I4);
    for (LONG i = 0; i < 2; ++i) {
        LONG h = -1;
        SafeArrayGetElement(handles.parray, &i, &h);
        EXPECT_EQ(h, 0);
    }
    VariantClear(&handles);
    VariantClear(&item_ids);
    EXPECT_EQ(tagclient::Library::Get().FindSession(g_session), nullptr);
}

TEST_F(Reentrancy, LogProcedureRemovesTheGroupWhileAddItemReports) {
    g_session = Connect();
    g_group = AddGroup(g_session);
    W().fail["AddItems"] = E_FAIL;
    g_logCalls = 0;
    QZDAC_SetLogProc(&GroupRemovingLog);
    EXPECT_EQ(QZDAC_AddItem(g_session, g_group, "A"), 0u);
    QZDAC_SetLogProc(&LogSink);
    EXPECT_EQ(g_logCalls, 1);
    EXPECT_EQ(QZDAC_AddItem(g_session, g_group, "A"), 0u);
    EXPECT_EQ(QZDAC_Disconnect(g_session), QZDAC_TRUE);
}

TEST_F(Reentrancy, GroupRemovedDuringRemoveItemAndSetStat) {
    g_session = Connect();
    g_group = AddGroup(g_session);
    QZDAC_HITEM item = QZDAC_AddItem(g_session, g_group, "A");
    ASSERT_NE(item, 0u);
    W().during["RemoveItems"] = [] { QZDAC_RemoveGroup(g_session, g_group); };
    EXPECT_EQ(QZDAC_RemoveItem(g_session, g_group, item), QZDAC_TRUE);
    g_group = AddGroup(g_session);
    W().during["SetState"] = [] { QZDAC_RemoveGroup(g_session, g_group); };
    EXPECT_EQ(QZDAC_SetGroupStat(g_session, g_group, 500, QZDAC_TRUE, 0, 0, 0), QZDAC_TRUE);
    EXPECT_EQ(QZDAC_GetGroupStat(g_session, g_group, nullptr, nullptr, nullptr, nullptr, nullptr),
              QZDAC_FALSE);
}

TEST_F(Reentrancy, SessionClosedDuringTheKeepAlivePoll) {
    qz::ManualClock clock(1000000);
    tagclient::Library::Get().Events().SetClock(&clock);
    g_session = Connect();
    W().during["GetStatus"] = [] { QZDAC_Disconnect(g_session); };
    W().fail["GetStatus"] = static_cast<HRESULT>(0x800706BA); // would mark the session lost
    clock.Advance(5000);
    Dispatch();
    EXPECT_EQ(tagclient::Library::Get().FindSession(g_session), nullptr);
    EXPECT_EQ(W().Count("GetStatus"), 1);
}
