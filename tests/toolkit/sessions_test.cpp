// Sessions: resolving the class, creating the server object, status, keep-alive poll, shutdown, teardown.
#include "test_support.hpp"

#include "library.hpp"
#include "uServer.hpp"

#include <cstring>

using namespace tagclient::testing;

namespace {
class Sessions : public ToolkitTest {
protected:
    void SetUp() override {
        ToolkitTest::SetUp();
        W().list_prog_ids[u"Fake.Server.1"] = MakeGuid(1);
        W().registry_prog_ids[u"Fake.Registry.1"] = MakeGuid(1);
    }
};

int g_shutdownCalls = 0;
QZDAC_HSESSION g_shutdownSession = 0;
int32_t QZDAC_CALL ShutdownCounting(QZDAC_HSESSION s) {
    ++g_shutdownCalls;
    g_shutdownSession = s;
    return 0;
}
int32_t QZDAC_CALL ShutdownDisconnecting(QZDAC_HSESSION s) {
    ++g_shutdownCalls;
    QZDAC_Disconnect(s);
    return 0;
}
} // namespace

TEST_F(Sessions, ClassIdTextIsUsedWithoutTheServerList) {
    EXPECT_NE(QZDAC_Connect("", kFullClass, 2), 0u);
    EXPECT_EQ(W().Count("CreateServerList"), 0);
    EXPECT_EQ(W().Count("CreateServerObject"), 1);
}

TEST_F(Sessions, ProgIdIsResolvedThroughTheServerList) {
    EXPECT_NE(QZDAC_Connect("", "Fake.Server.1", 2), 0u);
    EXPECT_EQ(W().Count("ServerList.CLSIDFromProgID"), 1);
    EXPECT_EQ(W().Count("Registry.CLSIDFromProgID"), 0);
}

TEST_F(Sessions, ProgIdUnknownToTheServerListIsNotTriedInTheRegistry) {
    EXPECT_EQ(QZDAC_Connect("", "Fake.Registry.1", 2), 0u);
    EXPECT_EQ(W().Count("Registry.CLSIDFromProgID"), 0);
    EXPECT_TRUE(Logs().empty());
}

TEST_F(Sessions, WithoutServerListThisComputerUsesTheRegistry) {
    W().local_server_list = false;
    EXPECT_NE(QZDAC_Connect("", "Fake.Registry.1", 2), 0u);
    EXPECT_EQ(W().Count("Registry.CLSIDFromProgID"), 1);
}

TEST_F(Sessions, RemoteProgIdWithoutServerListFailsSilently) {
    W().reachable_hosts.insert(u"far");
    W().registry_prog_ids[u"Fake.Server.1"] = MakeGuid(1);
    EXPECT_EQ(QZDAC_Connect("far", "Fake.Server.1", 2), 0u);
    EXPECT_EQ(W().Count("Registry.CLSIDFromProgID"), 0);
    EXPECT_EQ(W().Count("CreateServerObject"), 0);
    EXPECT_TRUE(Logs().empty());
}

TEST_F(Sessions, RemoteHostGetsItsOwnServerListAndObject) {
    W().reachable_hosts.insert(u"far");
    W().remote_hosts_with_list.insert(u"far");
    EXPECT_NE(QZDAC_Connect("far", "Fake.Server.1", 2), 0u);
    EXPECT_EQ(W().last_create_host, u"far");
}

TEST_F(Sessions, ComputerNameInAnyCaseMeansThisComputer) {
    EXPECT_NE(QZDAC_Connect("testHOST", kFullClass, 2), 0u);
    EXPECT_EQ(W().last_create_host, u"");
    EXPECT_EQ(W().Count("CreateServerObject"), 1);
}

TEST_F(Sessions, UnreachableHostIsReportedAsConnect) {
    EXPECT_EQ(QZDAC_Connect("nowhere", kFullClass, 2), 0u);
    ASSERT_EQ(Logs().size(), 1u);
    EXPECT_EQ(Logs()[0].source, "TServer.Connect");
}

TEST_F(Sessions, UnknownClassIsReportedAndNothingIsListed) {
    EXPECT_EQ(QZDAC_Connect("", "{99999999-2222-3333-4444-555555555555}", 2), 0u);
    ASSERT_EQ(Logs().size(), 1u);
    EXPECT_EQ(Logs()[0].source, "TServer.Connect");
    EXPECT_TRUE(tagclient::Library::Get().Sessions().empty());
}

TEST_F(Sessions, ObjectWithoutOPCServerIsInterfaceNotSupported) {
    ServerConfig config;
    config.opc_server = false;
    EXPECT_EQ(Connect(config), 0u);
    ASSERT_EQ(Logs().size(), 1u);
    EXPECT_EQ(Logs()[0].source, "TServer.Connect");
    EXPECT_EQ(Logs()[0].message, "Interface not supported");
}

TEST_F(Sessions, OptionHasNoEffect) {
    for (int32_t option : {0, 2, 12345}) {
        QZDAC_HSESSION s = QZDAC_Connect("", kFullClass, option);
        ASSERT_NE(s, 0u);
        EXPECT_NE(AddGroup(s), 0u);
    }
    EXPECT_EQ(W().Count("Advise(shutdown)"), 3);
    EXPECT_TRUE(Logs().empty());
}

TEST_F(Sessions, StatusFieldsLandInTheirArguments) {
    QZDAC_HSESSION s = Connect();
    FILETIME a{}, b{}, c{};
    uint16_t state = 0, major = 0, minor = 0, build = 0;
    uint32_t band = 0, groups = 0;
    char vendor[64];
    ASSERT_EQ(
        QZDAC_GetServerStatus(s, &a, &b, &c, &state, &band, &groups, &major, &minor, &build, vendor, 63),
        QZDAC_TRUE);
    EXPECT_EQ(a.dwLowDateTime, 1u);
    EXPECT_EQ(b.dwHighDateTime, 4u);
    EXPECT_EQ(c.dwLowDateTime, 5u);
    EXPECT_EQ(state, 1);
    EXPECT_EQ(band, 8u);
    EXPECT_EQ(groups, 7u);
    EXPECT_EQ(major, 2);
    EXPECT_EQ(minor, 5);
    EXPECT_EQ(build, 99);
    EXPECT_STREQ(vendor, "Fake vendor 1.0");
}

TEST_F(Sessions, FailedStatusWritesNothing) {
    QZDAC_HSESSION s = Connect();
    W().fail["GetStatus"] = E_FAIL;
    uint16_t state = 77;
    char vendor[8] = "keep";
    EXPECT_EQ(QZDAC_GetServerStatus(s, nullptr, nullptr, nullptr, &state, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, vendor, 7),
              QZDAC_FALSE);
    EXPECT_EQ(state, 77);
    EXPECT_STREQ(vendor, "keep");
    ASSERT_EQ(Logs().size(), 1u);
    EXPECT_EQ(Logs()[0].source, "TServer.GetServerStatus");
}

TEST_F(Sessions, ServerWithoutConnectionPointsOpensWithoutPollOrShutdown) {
    QZDAC_HSESSION s = ConnectTo(kBareClass);
    ASSERT_NE(s, 0u);
    EXPECT_FALSE(tagclient::Library::Get().FindSession(s)->HasPollTimer());
    EXPECT_EQ(W().Count("FindConnectionPoint(shutdown)"), 0);
    EXPECT_EQ(QZDAC_Disconnect(s), QZDAC_TRUE);
}

TEST_F(Sessions, KeepAlivePollsEveryFiveSecondsOnTheClientThread) {
    qz::ManualClock clock(1000000);
    tagclient::Library::Get().Events().SetClock(&clock);
    QZDAC_HSESSION s = Connect();
    ASSERT_NE(s, 0u);
    clock.Advance(4999);
    Dispatch();
    EXPECT_EQ(W().Count("GetStatus"), 0);
    clock.Advance(1);
    Dispatch();
    EXPECT_EQ(W().Count("GetStatus"), 1);
    W().fail["GetStatus"] = E_FAIL; // a failing poll is ignored
    clock.Advance(5000);
    Dispatch();
    EXPECT_EQ(W().Count("GetStatus"), 2);
    EXPECT_TRUE(Logs().empty());
    QZDAC_Disconnect(s);
    clock.Advance(5000);
    Dispatch();
    EXPECT_EQ(W().Count("GetStatus"), 2);
}

TEST_F(Sessions, ShutdownRequestStopsThePollAndCallsTheProcedureOnce) {
    qz::ManualClock clock(0);
    tagclient::Library::Get().Events().SetClock(&clock);
    g_shutdownCalls = 0;
    QZDAC_HSESSION s = Connect();
    ASSERT_EQ(QZDAC_SetShutdownProc(s, &ShutdownCounting), QZDAC_TRUE);
    auto sink = W().last_shutdown_sink;
    ASSERT_TRUE(sink);
    W().host->Post([sink] { sink->ShutdownRequest(reinterpret_cast<const OLECHAR*>(u"bye")); });
    EXPECT_EQ(g_shutdownCalls, 0);
    Dispatch();
    EXPECT_EQ(g_shutdownCalls, 1);
    EXPECT_EQ(g_shutdownSession, s);
    clock.Advance(20000);
    Dispatch();
    EXPECT_EQ(W().Count("GetStatus"), 0);
    EXPECT_EQ(QZDAC_SetShutdownProc(s, nullptr), QZDAC_TRUE); // still listed
}

TEST_F(Sessions, ShutdownWithoutProcedureOnlyStopsThePoll) {
    QZDAC_HSESSION s = Connect();
    auto sink = W().last_shutdown_sink;
    W().host->Post([sink] { sink->ShutdownRequest(nullptr); });
    Dispatch();
    EXPECT_FALSE(tagclient::Library::Get().FindSession(s)->HasPollTimer());
    EXPECT_EQ(QZDAC_Disconnect(s), QZDAC_TRUE);
}

TEST_F(Sessions, ShutdownProcedureMayDisconnectAndLateRequestsReachNothing) {
    g_shutdownCalls = 0;
    QZDAC_HSESSION s = Connect();
    AddGroup(s);
    QZDAC_SetShutdownProc(s, &ShutdownDisconnecting);
    auto sink = W().last_shutdown_sink;
    W().host->Post([sink] { sink->ShutdownRequest(reinterpret_cast<const OLECHAR*>(u"1")); });
    W().host->Post([sink] {
        sink->ShutdownRequest(reinterpret_cast<const OLECHAR*>(u"2"));
    }); // after the session is gone
    Dispatch();
    EXPECT_EQ(g_shutdownCalls, 1);
    EXPECT_EQ(QZDAC_Disconnect(s), QZDAC_FALSE);
}

TEST_F(Sessions, DisconnectTwiceGivesTrueThenFalse) {
    QZDAC_HSESSION s = Connect();
    EXPECT_EQ(QZDAC_Disconnect(s), QZDAC_TRUE);
    EXPECT_EQ(QZDAC_Disconnect(s), QZDAC_FALSE);
}

TEST_F(Sessions, TeardownRemovesGroupsLastFirstAndGoesOnAfterARefusal) {
    QZDAC_HSESSION s = Connect();
    AddGroup(s, "a");
    AddGroup(s, "b");
    AddGroup(s, "c");
    W().calls.clear();
    W().fail["RemoveGroup"] = E_FAIL;
    EXPECT_EQ(QZDAC_Disconnect(s), QZDAC_TRUE);
    std::vector<std::string> removes;
    for (auto& c : W().calls)
        if (c.rfind("RemoveGroup(", 0) == 0)
            removes.push_back(c);
    EXPECT_EQ(removes, (std::vector<std::string>{
                           "RemoveGroup(" + std::to_string(ServerGroup(2).server_handle) + ")",
                           "RemoveGroup(" + std::to_string(ServerGroup(1).server_handle) + ")",
                           "RemoveGroup(" + std::to_string(ServerGroup(0).server_handle) + ")"}));
    ASSERT_EQ(Logs().size(), 3u);
    EXPECT_EQ(Logs()[0].source, "TServer.RemoveGroup");
}

// ---------------------------------------------------------------------------------------------------------
// The lost link

TEST_F(Sessions, KeepAlivePollWithADisconnectionCodeMarksTheSessionLost) {
    qz::ManualClock clock(1000000);
    tagclient::Library::Get().Events().SetClock(&clock);
    QZDAC_HSESSION s = Connect();
    QZDAC_HGROUP g = AddGroup(s);
    W().fail["GetStatus"] = static_cast<HRESULT>(0x800706BA); // RPC_S_SERVER_UNAVAILABLE
    clock.Advance(5000);
    Dispatch();
    EXPECT_EQ(W().Count("GetStatus"), 1);
    EXPECT_TRUE(Logs().empty()); // the poll itself reports nothing
    EXPECT_TRUE(tagclient::Library::Get().FindSession(s)->Lost());
    W().fail.clear(); // a call would succeed now: the failures below never reach the server
    const auto calls = W().calls.size();
    EXPECT_EQ(QZDAC_GetServerStatus(s, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, 0),
              QZDAC_FALSE);
    ASSERT_EQ(Logs().size(), 1u);
    EXPECT_EQ(Logs()[0].source, "QZDAC_GetServerStatus");
    EXPECT_NE(Logs()[0].message.find("OLE error 800706BA"), std::string::npos) << Logs()[0].message;
    EXPECT_EQ(QZDAC_AddItem(s, g, "A"), 0u);
    EXPECT_EQ(QZDAC_AddGroup(s, "H", QZDAC_TRUE, 100, 0, 0, 0), 0u);
    EXPECT_EQ(QZDAC_ReadItem(s, g, 1, nullptr, nullptr, nullptr), QZDAC_FALSE);
    EXPECT_EQ(Logs().size(), 4u);
    EXPECT_TRUE(HasLog("QZDAC_AddGroup"));
    EXPECT_EQ(W().calls.size(), calls);
    clock.Advance(20000); // the poll has stopped
    Dispatch();
    EXPECT_EQ(W().Count("GetStatus"), 1);
    // The procedures can still be set, and the teardown leaves the dead server alone.
    EXPECT_EQ(QZDAC_SetShutdownProc(s, nullptr), QZDAC_TRUE);
    EXPECT_EQ(QZDAC_Disconnect(s), QZDAC_TRUE);
    EXPECT_EQ(W().calls.size(), calls);
    EXPECT_EQ(Logs().size(), 4u);
}

TEST_F(Sessions, OtherPollFailuresKeepTheLink) {
    qz::ManualClock clock(1000000);
    tagclient::Library::Get().Events().SetClock(&clock);
    QZDAC_HSESSION s = Connect();
    W().fail["GetStatus"] = static_cast<HRESULT>(0x80070005); // access denied: the server is there
    clock.Advance(5000);
    Dispatch();
    EXPECT_EQ(QZDAC_GetServerStatus(s, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, 0),
              QZDAC_FALSE);
    W().fail.clear();
    EXPECT_EQ(QZDAC_GetServerStatus(s, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, 0),
              QZDAC_TRUE);
    clock.Advance(5000);
    Dispatch();
    EXPECT_EQ(W().Count("GetStatus"), 4);
}

TEST_F(Sessions, FailedStatusCallWithADisconnectionCodeMarksTheSessionLost) {
    QZDAC_HSESSION s = Connect();
    for (HRESULT code : {static_cast<HRESULT>(0x80010108), static_cast<HRESULT>(0x800401FD)}) {
        QZDAC_Disconnect(s);
        s = Connect();
        W().fail["GetStatus"] = code; // RPC_E_DISCONNECTED, CO_E_OBJNOTCONNECTED
        EXPECT_EQ(QZDAC_GetServerStatus(s, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr, 0),
                  QZDAC_FALSE);
        W().fail.clear();
        EXPECT_EQ(QZDAC_GetServerStatus(s, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr, 0),
                  QZDAC_FALSE);
        EXPECT_TRUE(tagclient::Library::Get().FindSession(s)->Lost());
    }
}

TEST_F(Sessions, ShutdownRequestMarksTheSessionLost) {
    QZDAC_HSESSION s = Connect();
    QZDAC_HGROUP g = AddGroup(s);
    auto sink = W().last_shutdown_sink;
    W().host->Post([sink] { sink->ShutdownRequest(reinterpret_cast<const OLECHAR*>(u"maintenance")); });
    Dispatch();
    EXPECT_EQ(QZDAC_GetServerStatus(s, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, 0),
              QZDAC_FALSE);
    ASSERT_EQ(Logs().size(), 1u);
    EXPECT_NE(Logs()[0].message.find("maintenance"), std::string::npos) << Logs()[0].message;
    EXPECT_EQ(W().Count("GetStatus"), 0);
    EXPECT_EQ(QZDAC_RemoveGroup(s, g), QZDAC_FALSE);
    EXPECT_EQ(QZDAC_Disconnect(s), QZDAC_TRUE);
}
