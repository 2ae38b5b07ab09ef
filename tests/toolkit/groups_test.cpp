// Groups: creation and subscription paths, client group handles, state, renaming, refresh, removal.
#include "test_support.hpp"

#include "library.hpp"
#include "uGroup.hpp"
#include "uServer.hpp"

using namespace tagclient::testing;

namespace {
class Groups : public ToolkitTest {
protected:
    tagclient::TGroup* Group(QZDAC_HSESSION s, QZDAC_HGROUP g) {
        return tagclient::Library::Get().FindSession(s)->FindGroup(g);
    }
};
} // namespace

TEST_F(Groups, CreationPassesTheArgumentsThrough) {
    QZDAC_HSESSION s = Connect();
    QZDAC_HGROUP g = QZDAC_AddGroup(s, "Boiler", QZDAC_TRUE, 250, -480, 1.5f, 2052);
    ASSERT_NE(g, 0u);
    FakeGroup& fg = ServerGroup();
    EXPECT_EQ(fg.name, u"Boiler");
    EXPECT_EQ(fg.active, -1);
    EXPECT_EQ(fg.update_rate, 250u);
    EXPECT_EQ(fg.time_bias, -480);
    EXPECT_FLOAT_EQ(fg.deadband, 1.5f);
    EXPECT_EQ(fg.lcid, 2052u);
    EXPECT_EQ(W().Count("SetName"), 1); // renamed to its own name at once
    EXPECT_EQ(Group(s, g)->Name, u"Boiler");
}

TEST_F(Groups, ClientGroupHandleIsTheGroupCount) {
    QZDAC_HSESSION s = Connect();
    QZDAC_HGROUP first = AddGroup(s, "1");
    AddGroup(s, "2");
    ASSERT_EQ(QZDAC_RemoveGroup(s, first), QZDAC_TRUE);
    AddGroup(s, "3");
    EXPECT_EQ(W().add_group_client_handles, (std::vector<DWORD>{0, 1, 1}));
}

TEST_F(Groups, ConnectionPointPathWhenTheGroupOffersIt) {
    QZDAC_HSESSION s = Connect();
    QZDAC_HGROUP g = AddGroup(s);
    EXPECT_EQ(Group(s, g)->ConnectMode, 2);
    EXPECT_EQ(W().Count("Advise(data)"), 1);
    EXPECT_EQ(W().Count("DAdvise"), 0);
    EXPECT_EQ(QZDAC_RefreshGroup(s, g, 1), QZDAC_TRUE);
    EXPECT_EQ(W().Count("Refresh2"), 1);
    EXPECT_EQ(ServerGroup().last_refresh2_transaction, 0u);
    EXPECT_EQ(ServerGroup().last_refresh_source, 1u);
}

TEST_F(Groups, DataObjectPathOnAnOlderServer) {
    QZDAC_HSESSION s = ConnectTo(kDA10Class);
    QZDAC_HGROUP g = AddGroup(s);
    EXPECT_EQ(Group(s, g)->ConnectMode, 1);
    EXPECT_EQ(W().Count("DAdvise"), 1);
    const FormatEtc& f = ServerGroup().advised_format;
    EXPECT_EQ(f.cfFormat, FormatNumber(kFormatDataTime));
    EXPECT_EQ(f.dwAspect, 1u);
    EXPECT_EQ(f.lindex, -1);
    EXPECT_EQ(f.tymed, 1u);
    EXPECT_EQ(f.ptd, nullptr);
    EXPECT_EQ(ServerGroup().advf, 2u);
    EXPECT_EQ(QZDAC_RefreshGroup(s, g, 2), QZDAC_TRUE);
    EXPECT_EQ(W().Count("Refresh"), 1);
    EXPECT_EQ(ServerGroup().last_refresh_connection, 4242u);
    EXPECT_EQ(ServerGroup().last_refresh_source, 2u);
}

TEST_F(Groups, RefusedAdviseFallsBackToTheDataObject) {
    ServerConfig config;
    config.group.async_io = true;
    QZDAC_HSESSION s = Connect(config);
    W().fail["Advise(data)"] = CONNECT_E_CANNOTCONNECT;
    QZDAC_HGROUP g = AddGroup(s);
    EXPECT_EQ(Group(s, g)->ConnectMode, 1);
    EXPECT_EQ(W().Count("DAdvise"), 1);
    // One line at AddGroup tells the operator why the group is on the older path.
    ASSERT_EQ(Logs().size(), 1u);
    EXPECT_EQ(Logs()[0].source, "TGroup.Initialize");
    EXPECT_NE(Logs()[0].message.find("OPC DA 1.0 data object"), std::string::npos) << Logs()[0].message;
    EXPECT_EQ(QZDAC_RefreshGroup(s, g, 1), QZDAC_TRUE);
    EXPECT_EQ(W().Count("Refresh2"), 1);
    EXPECT_EQ(W().Count("Refresh"), 0);
}

TEST_F(Groups, MissingConnectionPointContainerIsReportedButTheGroupIsReturned) {
    ServerConfig config;
    config.group.connection_points = false;
    config.group.async_io = true;
    QZDAC_HSESSION s = Connect(config);
    QZDAC_HGROUP g = AddGroup(s);
    EXPECT_NE(g, 0u);
    ASSERT_EQ(Logs().size(), 1u);
    EXPECT_EQ(Logs()[0].source, "TGroup.Initialize");
    EXPECT_EQ(Logs()[0].message, "Interface not supported");
    EXPECT_EQ(W().Count("DAdvise"), 0);
}

TEST_F(Groups, RefusedAddGroupLeavesTheSessionUnchanged) {
    QZDAC_HSESSION s = Connect();
    W().fail["AddGroup"] = E_OUTOFMEMORY;
    EXPECT_EQ(AddGroup(s), 0u);
    EXPECT_TRUE(HasLog("TServer.AddGroup"));
    W().fail.clear();
    AddGroup(s);
    EXPECT_EQ(W().add_group_client_handles, (std::vector<DWORD>{0}));
}

TEST_F(Groups, RefusedNameStillGivesTrue) {
    QZDAC_HSESSION s = Connect();
    QZDAC_HGROUP g = AddGroup(s, "old");
    W().refused_names.insert(u"taken");
    EXPECT_EQ(QZDAC_SetGroupName(s, g, "taken"), QZDAC_TRUE);
    EXPECT_EQ(Group(s, g)->Name, u"old");
    EXPECT_EQ(QZDAC_SetGroupName(s, g, "new"), QZDAC_TRUE);
    EXPECT_EQ(Group(s, g)->Name, u"new");
    EXPECT_TRUE(Logs().empty());
}

TEST_F(Groups, RevisedRateIsKeptAndReported) {
    QZDAC_HSESSION s = Connect();
    QZDAC_HGROUP g = AddGroup(s);
    W().revised_rate = 500;
    ASSERT_EQ(QZDAC_SetGroupStat(s, g, 123, QZDAC_FALSE, 60, 2.5f, 7), QZDAC_TRUE);
    EXPECT_EQ(Group(s, g)->UpdateRate, 500u);
    uint32_t rate = 0, lcid = 0;
    QZDAC_BOOL active = 9;
    int32_t bias = 0;
    float band = 0;
    ASSERT_EQ(QZDAC_GetGroupStat(s, g, &rate, &active, &bias, &band, &lcid), QZDAC_TRUE);
    EXPECT_EQ(rate, 500u);
    EXPECT_EQ(active, 0);
    EXPECT_EQ(bias, 60);
    EXPECT_FLOAT_EQ(band, 2.5f);
    EXPECT_EQ(lcid, 7u);
    EXPECT_EQ(ServerGroup().client_handle, 0u); // re-sent unchanged
}

TEST_F(Groups, FailedSetStateAndGetStateAreReported) {
    QZDAC_HSESSION s = Connect();
    QZDAC_HGROUP g = AddGroup(s);
    W().fail["SetState"] = E_INVALIDARG;
    W().fail["GetState"] = E_FAIL;
    EXPECT_EQ(QZDAC_SetGroupStat(s, g, 1, 1, 0, 0, 0), QZDAC_FALSE);
    uint32_t rate = 3;
    EXPECT_EQ(QZDAC_GetGroupStat(s, g, &rate, nullptr, nullptr, nullptr, nullptr), QZDAC_FALSE);
    EXPECT_EQ(rate, 3u);
    ASSERT_EQ(Logs().size(), 2u);
    EXPECT_EQ(Logs()[0].source, "TGroup.SetStat");
    EXPECT_EQ(Logs()[1].source, "TGroup.GetStat");
}

TEST_F(Groups, RefusedRemovalKeepsTheGroupUsable) {
    QZDAC_HSESSION s = Connect();
    QZDAC_HGROUP g = AddGroup(s);
    W().fail["RemoveGroup"] = E_FAIL;
    EXPECT_EQ(QZDAC_RemoveGroup(s, g), QZDAC_FALSE);
    EXPECT_TRUE(HasLog("TServer.RemoveGroup"));
    uint32_t rate = 0;
    EXPECT_EQ(QZDAC_GetGroupStat(s, g, &rate, nullptr, nullptr, nullptr, nullptr), QZDAC_TRUE);
    W().fail.clear();
    EXPECT_EQ(QZDAC_RemoveGroup(s, g), QZDAC_TRUE);
    EXPECT_EQ(QZDAC_RemoveGroup(s, g), QZDAC_FALSE);
}

TEST_F(Groups, RefreshWithoutAsynchronousInterfacesFails) {
    QZDAC_HSESSION s = ConnectTo(kBareClass);
    QZDAC_HGROUP g = AddGroup(s);
    ASSERT_NE(g, 0u);
    EXPECT_EQ(QZDAC_RefreshGroup(s, g, 1), QZDAC_FALSE);
    ASSERT_EQ(Logs().size(), 1u);
    EXPECT_EQ(Logs()[0].source, "TGroup.Refresh");
}

TEST_F(Groups, FailedRefreshIsReported) {
    QZDAC_HSESSION s = Connect();
    QZDAC_HGROUP g = AddGroup(s);
    W().fail["Refresh2"] = E_FAIL;
    EXPECT_EQ(QZDAC_RefreshGroup(s, g, 1), QZDAC_FALSE);
    EXPECT_TRUE(HasLog("TGroup.Refresh"));
}
