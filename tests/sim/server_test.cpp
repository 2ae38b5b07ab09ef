// Server instances: status, groups, browsing, properties and fault control.
#include "sim_codes.hpp"
#include "sim_fixture.hpp"
#include "sim_time.hpp"

#include <algorithm>

using namespace tagclient::transport::sim;
using namespace tagclient::transport::sim::testing;

namespace {

bool Contains(const std::vector<std::u16string>& names, const std::u16string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

using Server = SimTest;

TEST_F(Server, StatusReportsGroupsVersionsVendorAndTime) {
    auto server = Start();
    auto g = Group(*server);
    clock_->Advance(2500);
    ServerStatusInfo st;
    ASSERT_EQ(server->GetStatus(&st), S_OK);
    EXPECT_EQ(st.state, 1u);
    EXPECT_EQ(st.group_count, 1u);
    EXPECT_EQ(st.major_version, 2);
    EXPECT_EQ(st.start_time, kWallStart);
    EXPECT_EQ(st.current_time, kWallStart + 2500 * kTicksPerMs);
    EXPECT_EQ(st.vendor_info, u"Tagsink simulated OPC DA 2.0 server");
    EXPECT_EQ(st.last_update_time, 0u); // nothing was sent: no subscriber
}

TEST_F(Server, GroupNamesAreUniqueAndRatesRevisedToTheMinimum) {
    auto server = Start();
    DWORD handle = 0, revised = 0;
    std::shared_ptr<SimGroup> a, b, c;
    EXPECT_EQ(server->AddGroup(u"A", true, 10, 0, nullptr, nullptr, 0, &handle, &revised, &a),
              code::kUnsupportedRate);
    EXPECT_EQ(revised, kMinimumUpdateRate);
    EXPECT_EQ(server->AddGroup(u"A", true, 1000, 1, nullptr, nullptr, 0, &handle, &revised, &b),
              code::kDuplicateName);
    EXPECT_EQ(server->AddGroup(u"", true, 1000, 1, nullptr, nullptr, 0, &handle, &revised, &b), S_OK);
    EXPECT_EQ(revised, 1000u);
    GroupState st;
    ASSERT_EQ(b->GetState(&st), S_OK);
    EXPECT_FALSE(st.name.empty());
    EXPECT_EQ(b->SetName(u"A"), code::kDuplicateName);
    EXPECT_EQ(a->SetName(u"A"), S_OK); // its own name again
    float bad = 150;
    EXPECT_EQ(server->AddGroup(u"C", true, 1000, 2, nullptr, &bad, 0, &handle, &revised, &c), E_INVALIDARG);
    EXPECT_EQ(server->GroupCount(), 2u);
}

TEST_F(Server, RemovedGroupRefusesCallsAndStopsItsTimer) {
    auto server = Start();
    auto g = Group(*server);
    GroupState st;
    ASSERT_EQ(g->GetState(&st), S_OK);
    const size_t timers = clock_->TimerCount();
    EXPECT_EQ(server->RemoveGroup(st.server_handle, FALSE), S_OK);
    EXPECT_EQ(clock_->TimerCount(), timers - 1);
    EXPECT_EQ(g->GetState(&st), E_FAIL);
    EXPECT_EQ(server->RemoveGroup(st.server_handle, FALSE), E_INVALIDARG);
}

TEST_F(Server, HierarchicalBrowsingMovesAndFilters) {
    auto server = Start();
    std::vector<std::u16string> names;
    DWORD org = 0;
    ASSERT_EQ(server->QueryOrganization(&org), S_OK);
    EXPECT_EQ(org, 1u);
    EXPECT_EQ(server->ChangeBrowsePosition(1, u""), E_FAIL); // up at the root
    ASSERT_EQ(server->BrowseItemIds(1, u"", VT_EMPTY, 0, &names), S_OK);
    EXPECT_TRUE(Contains(names, u"Memory"));
    EXPECT_TRUE(Contains(names, u"Control"));
    EXPECT_EQ(server->BrowseItemIds(2, u"*", VT_EMPTY, 0, &names), S_FALSE); // no leaves at the root
    EXPECT_TRUE(names.empty());

    ASSERT_EQ(server->ChangeBrowsePosition(2, u"Memory"), S_OK);
    EXPECT_EQ(server->ChangeBrowsePosition(2, u"Int4"), E_INVALIDARG); // a leaf, no branch
    ASSERT_EQ(server->BrowseItemIds(2, u"Int?", VT_EMPTY, 0, &names), S_OK);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Int1", u"Int2", u"Int4", u"Int8"}));
    ASSERT_EQ(server->BrowseItemIds(2, u"", VT_BSTR, 0, &names), S_OK);
    EXPECT_EQ(names, std::vector<std::u16string>{u"String"});
    ASSERT_EQ(server->BrowseItemIds(2, u"", VT_EMPTY, 2, &names), S_OK);
    EXPECT_TRUE(Contains(names, u"WriteOnly"));
    EXPECT_FALSE(Contains(names, u"Constant"));
    ASSERT_EQ(server->BrowseItemIds(2, u"", VT_EMPTY, 1, &names), S_OK);
    EXPECT_FALSE(Contains(names, u"WriteOnly"));
    EXPECT_TRUE(Contains(names, u"Constant"));
    std::u16string id;
    ASSERT_EQ(server->GetItemId(u"Real8", &id), S_OK);
    EXPECT_EQ(id, u"Memory.Real8");
    EXPECT_EQ(server->GetItemId(u"Nope", &id), E_INVALIDARG);

    ASSERT_EQ(server->ChangeBrowsePosition(3, u"Deep.Level1"), S_OK);
    ASSERT_EQ(server->BrowseItemIds(1, u"", VT_EMPTY, 0, &names), S_OK);
    EXPECT_EQ(names, std::vector<std::u16string>{u"Level2"});
    EXPECT_EQ(server->BrowseItemIds(2, u"", VT_EMPTY, 0, &names), S_FALSE);
    ASSERT_EQ(server->BrowseItemIds(3, u"", VT_EMPTY, 0, &names), S_OK);
    EXPECT_EQ(names, std::vector<std::u16string>{u"Deep.Level1.Level2.Real8"});
    ASSERT_EQ(server->ChangeBrowsePosition(1, u""), S_OK);
    EXPECT_EQ(server->BrowsePosition(), u"Deep");
    EXPECT_EQ(server->ChangeBrowsePosition(3, u"No.Such.Branch"), E_INVALIDARG);
    EXPECT_EQ(server->BrowsePosition(), u"Deep");
    ASSERT_EQ(server->ChangeBrowsePosition(3, u""), S_OK);
    EXPECT_EQ(server->BrowsePosition(), u"");
}

TEST_F(Server, BrowsePositionBelongsToEachInstance) {
    auto a = Start();
    auto b = Start();
    ASSERT_EQ(a->ChangeBrowsePosition(2, u"Random"), S_OK);
    EXPECT_EQ(b->BrowsePosition(), u"");
}

TEST_F(Server, FlatServerListsFullIdsAsLeaves) {
    auto server = Start(u"da1");
    DWORD org = 0;
    ASSERT_EQ(server->QueryOrganization(&org), S_OK);
    EXPECT_EQ(org, 2u);
    std::vector<std::u16string> names;
    EXPECT_EQ(server->BrowseItemIds(1, u"", VT_EMPTY, 0, &names), S_FALSE);
    ASSERT_EQ(server->BrowseItemIds(2, u"Memory.*", VT_EMPTY, 0, &names), S_OK);
    EXPECT_TRUE(Contains(names, u"Memory.Int4"));
    EXPECT_EQ(server->ChangeBrowsePosition(2, u"Memory"), E_INVALIDARG);
    std::u16string id;
    ASSERT_EQ(server->GetItemId(u"Memory.Int4", &id), S_OK);
    EXPECT_EQ(id, u"Memory.Int4");
}

TEST_F(Server, MemoryItemsHaveExactlyTheSixStandardProperties) {
    auto server = Start();
    std::vector<PropertyInfo> props;
    ASSERT_EQ(server->QueryAvailableProperties(u"Memory.String", &props), S_OK);
    ASSERT_EQ(props.size(), 6u);
    for (DWORD i = 0; i < 6; ++i)
        EXPECT_EQ(props[i].id, i + 1);
    EXPECT_EQ(props[1].type, VT_BSTR);
    EXPECT_EQ(props[0].description, u"Item Canonical DataType");

    std::vector<Value> values;
    std::vector<HRESULT> errors;
    EXPECT_EQ(server->GetItemProperties(u"Memory.String", {1, 5, 7}, &values, &errors), S_FALSE);
    EXPECT_EQ(values[0].integer, VT_BSTR);
    EXPECT_EQ(values[1].integer, 3);
    EXPECT_EQ(errors[2], code::kInvalidPid);
}

TEST_F(Server, AnalogItemsCarryEuInformationAndVendorProperties) {
    auto server = Start();
    std::vector<PropertyInfo> props;
    ASSERT_EQ(server->QueryAvailableProperties(u"Ramp.Real8", &props), S_OK);
    std::vector<DWORD> ids;
    for (const auto& p : props)
        ids.push_back(p.id);
    EXPECT_EQ(ids, (std::vector<DWORD>{1, 2, 3, 4, 5, 6, 7, 8, 101, 102, 103, 5000, 5001, 5002}));
    std::vector<Value> values;
    std::vector<HRESULT> errors;
    clock_->Advance(3000);
    ASSERT_EQ(server->GetItemProperties(u"Ramp.Real8", {2, 4, 7, 8, 5000}, &values, &errors), S_OK);
    EXPECT_EQ(values[0].type, VT_R8);
    EXPECT_NEAR(values[0].real, 3 * 1000.0 / 99, 1e-9);
    EXPECT_DOUBLE_EQ(values[1].real, TicksToOleDate(kWallStart + 3000 * kTicksPerMs));
    EXPECT_EQ(values[2].integer, kEuAnalog);
    ASSERT_EQ(values[3].elements.size(), 2u);
    EXPECT_EQ(values[3].elements[1].real, 1000.0);
    EXPECT_EQ(values[4].text, u"Ramp");

    ASSERT_EQ(server->GetItemProperties(u"Enum.Mode", {8}, &values, &errors), S_OK);
    EXPECT_EQ(values[0].type, VT_ARRAY | VT_BSTR);
    EXPECT_EQ(values[0].elements[2].text, u"Auto");
}

TEST_F(Server, PropertiesOfUnknownOrUnreadableItems) {
    auto server = Start();
    std::vector<PropertyInfo> props;
    std::vector<Value> values;
    std::vector<HRESULT> errors;
    EXPECT_EQ(server->QueryAvailableProperties(u"No.Such", &props), code::kUnknownItemId);
    EXPECT_EQ(server->QueryAvailableProperties(u"", &props), code::kInvalidItemId);
    EXPECT_EQ(server->GetItemProperties(u"Fault.ReadError", {2, 3}, &values, &errors), S_FALSE);
    EXPECT_EQ(errors[0], E_FAIL);
    EXPECT_EQ(values[1].integer, quality::kDeviceFailure);
    EXPECT_EQ(server->GetItemProperties(u"Memory.WriteOnly", {2}, &values, &errors), S_FALSE);
    EXPECT_EQ(errors[0], code::kBadRights);
}

TEST_F(Server, FailNextFailsExactlyTheNextCallOfEachNamedOperation) {
    auto server = Start();
    ASSERT_EQ(Control(*server, u"Control.FailNext", Value::Text(u"GetStatus=0x80070005; QueryOrganization")),
              S_OK);
    ServerStatusInfo st;
    EXPECT_EQ(server->GetStatus(&st), E_ACCESSDENIED);
    EXPECT_EQ(server->GetStatus(&st), S_OK);
    DWORD org = 0;
    EXPECT_EQ(server->QueryOrganization(&org), E_FAIL);
    EXPECT_EQ(server->QueryOrganization(&org), S_OK);
    EXPECT_EQ(Control(*server, u"Control.FailNext", Value::Text(u"NoSuchCall")), E_INVALIDARG);
    EXPECT_EQ(Control(*server, u"Control.FailNext", Value::Text(u"GetStatus=0")), E_INVALIDARG);
    ASSERT_EQ(Control(*server, u"Control.FailNext", Value::Text(u"GetStatus")), S_OK);
    ASSERT_EQ(Control(*server, u"Control.FailNext", Value::Text(u"")), S_OK); // clears
    EXPECT_EQ(server->GetStatus(&st), S_OK);
}

TEST_F(Server, RefuseRemoveGroupKeepsTheGroupUsable) {
    auto server = Start();
    auto g = Group(*server, 1000, 0, true, u"Keep");
    ASSERT_EQ(Control(*server, u"Control.RefuseRemoveGroup", Value::Integer(VT_I4, 1)), S_OK);
    GroupState st;
    ASSERT_EQ(g->GetState(&st), S_OK);
    EXPECT_EQ(server->RemoveGroup(st.server_handle, FALSE), E_FAIL);
    EXPECT_EQ(g->GetState(&st), S_OK);
    EXPECT_EQ(server->RemoveGroup(st.server_handle, FALSE), S_OK);
}

namespace {

class RecordingShutdown : public ShutdownListener {
public:
    void OnShutdown(const std::u16string& reason) override { reasons.push_back(reason); }
    std::vector<std::u16string> reasons;
};

} // namespace

TEST_F(Server, ShutdownWriteSendsTheRequestLaterToEverySubscriber) {
    auto server = Start();
    auto a = std::make_shared<RecordingShutdown>();
    auto b = std::make_shared<RecordingShutdown>();
    DWORD ca = 0, cb = 0;
    ASSERT_EQ(server->AdviseShutdown(a, &ca), S_OK);
    ASSERT_EQ(server->AdviseShutdown(b, &cb), S_OK);
    ASSERT_EQ(server->UnadviseShutdown(cb), S_OK);
    ASSERT_EQ(Control(*server, u"Control.Shutdown", Value::Text(u"maintenance")), S_OK);
    EXPECT_TRUE(a->reasons.empty()); // never from inside the write
    clock_->RunPosted();
    EXPECT_EQ(a->reasons, std::vector<std::u16string>{u"maintenance"});
    EXPECT_TRUE(b->reasons.empty());
}

TEST_F(Server, ServerStateAndHiddenInterfacesFollowTheirControls) {
    auto server = Start();
    ASSERT_EQ(Control(*server, u"Control.ServerState", Value::Integer(VT_I4, 4)), S_OK);
    EXPECT_EQ(Control(*server, u"Control.ServerState", Value::Integer(VT_I4, 9)), code::kRange);
    ServerStatusInfo st;
    ASSERT_EQ(server->GetStatus(&st), S_OK);
    EXPECT_EQ(st.state, 4u);

    ASSERT_EQ(Control(*server, u"Control.HideInterface", Value::Text(u"ConnectionPointContainer, AsyncIO")),
              S_OK);
    auto hidden = Group(*server, 1000, 0, true, u"Hidden");
    EXPECT_FALSE(hidden->Interfaces().connection_points);
    EXPECT_FALSE(hidden->Interfaces().async_io);
    EXPECT_TRUE(hidden->Interfaces().async_i_o2);
    EXPECT_EQ(Control(*server, u"Control.HideInterface", Value::Text(u"Bogus")), E_INVALIDARG);
    ASSERT_EQ(Control(*server, u"Control.HideInterface", Value::Text(u"")), S_OK);
    EXPECT_TRUE(Group(*server, 1000, 0, true, u"Full")->Interfaces().connection_points);
}

TEST_F(Server, ProfilesDifferInWhatTheyOffer) {
    const ServerProfile* da1 = FindBuiltinServer(u"da1");
    const ServerProfile* minimal = FindBuiltinServer(u"minimal");
    ASSERT_NE(da1, nullptr);
    ASSERT_NE(minimal, nullptr);
    EXPECT_FALSE(da1->groups.async_i_o2);
    EXPECT_TRUE(da1->groups.data_object);
    EXPECT_FALSE(da1->hierarchical);
    EXPECT_FALSE(minimal->browsing);
    EXPECT_FALSE(minimal->properties);
    EXPECT_FALSE(minimal->shutdown_point);
    EXPECT_FALSE(minimal->groups.async_io);
    EXPECT_EQ(ClsidText(FindBuiltinServer(u"da2")->clsid), u"{D886E9B9-5576-47DF-B743-B81B90B0B9BF}");
    CLSID c;
    EXPECT_TRUE(ParseClsid(u"{d886e9b9-5576-47df-b743-b81b90b0b9bf}", &c));
    EXPECT_EQ(FindBuiltinServer(c), FindBuiltinServer(u"da2"));
    EXPECT_FALSE(ParseClsid(u"D886E9B9-5576-47DF-B743-B81B90B0B9BF", &c));
}
