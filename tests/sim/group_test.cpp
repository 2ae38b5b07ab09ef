// Groups: update pacing with the manual clock, percent deadband, activation, refreshes, reads and writes,
// subscriptions and fault control of items.
#include "sim_codes.hpp"
#include "sim_fixture.hpp"
#include "sim_time.hpp"

#include <cmath>
#include <cstring>

using namespace tagclient::transport::sim;
using namespace tagclient::transport::sim::testing;

namespace {

std::uint32_t U32(const std::vector<std::uint8_t>& b, size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

class Groups : public SimTest {
protected:
    std::shared_ptr<RecordingListener> Subscribe(SimGroup& g) {
        auto listener = std::make_shared<RecordingListener>();
        DWORD cookie = 0;
        EXPECT_EQ(g.Advise(listener, &cookie), S_OK);
        return listener;
    }
};

} // namespace

TEST_F(Groups, UpdatesFollowTheRevisedRateAndOnlyCarryChanges) {
    auto server = Start();
    auto g = Group(*server, 500);
    auto rec = Subscribe(*g);
    Add(*g, {u"Counter.Int4"});
    clock_->Advance(5000);
    // Ticks every 500 ms; the counter steps every 1000 ms: the first tick and each step are reported.
    ASSERT_EQ(rec->changes.size(), 6u);
    for (size_t i = 0; i < rec->changes.size(); ++i) {
        ASSERT_EQ(rec->changes[i].items.size(), 1u);
        EXPECT_EQ(rec->changes[i].transaction_id, 0u);
        EXPECT_EQ(rec->changes[i].client_group, 17u);
        EXPECT_EQ(rec->changes[i].items[0].client_handle, 1u);
        EXPECT_EQ(rec->changes[i].items[0].value.integer, static_cast<std::int64_t>(i));
        EXPECT_EQ(rec->changes[i].items[0].timestamp, kWallStart + i * 1000 * kTicksPerMs);
    }
}

TEST_F(Groups, FastSignalsAreSampledAtTheGroupRate) {
    auto server = Start();
    auto g = Group(*server, 300);
    auto rec = Subscribe(*g);
    Add(*g, {u"Counter.Int4@100"});
    clock_->Advance(900);
    ASSERT_EQ(rec->changes.size(), 3u);
    EXPECT_EQ(rec->changes[0].items[0].value.integer, 3);
    EXPECT_EQ(rec->changes[2].items[0].value.integer, 9);
    // A changed rate takes effect at once.
    DWORD rate = 600, revised = 0;
    ASSERT_EQ(g->SetState(&rate, &revised, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(revised, 600u);
    clock_->Advance(1200);
    EXPECT_EQ(rec->changes.size(), 5u);
}

TEST_F(Groups, PercentDeadbandSuppressesSmallAnalogChanges) {
    auto server = Start();
    auto g = Group(*server, 100, 5.0f);
    auto rec = Subscribe(*g);
    Add(*g, {u"Ramp.Real8@100"}); // 0..1000 in 99 steps of 10.1
    clock_->Advance(2000);
    ASSERT_EQ(rec->changes.size(), 4u); // steps 1, 6, 11, 16: each more than 5 % of the span (50) apart
    for (size_t i = 1; i < rec->changes.size(); ++i) {
        double moved = rec->changes[i].items[0].value.real - rec->changes[i - 1].items[0].value.real;
        EXPECT_GT(moved, 50.0);
        EXPECT_LT(moved, 61.0);
    }
}

TEST_F(Groups, DeadbandLeavesNonAnalogItemsAndQualityChangesAlone) {
    auto server = Start();
    auto g = Group(*server, 100, 50.0f);
    auto rec = Subscribe(*g);
    Add(*g, {u"Counter.Int4@100", u"Quality.Cycling@100"});
    clock_->Advance(1000);
    ASSERT_EQ(rec->changes.size(), 10u);
    for (const auto& change : rec->changes)
        EXPECT_EQ(change.items.size(), 2u);
    EXPECT_EQ(rec->changes[1].items[1].quality, quality::kBad); // step 2
}

TEST_F(Groups, InactiveGroupsAndItemsStaySilentAndReportAgainWhenActivated) {
    auto server = Start();
    auto g = Group(*server, 100, 0, false);
    auto rec = Subscribe(*g);
    auto h = Add(*g, {u"Memory.Int4", u"Memory.Int2"});
    clock_->Advance(500);
    EXPECT_TRUE(rec->changes.empty());
    BOOL on = TRUE;
    ASSERT_EQ(g->SetState(nullptr, nullptr, &on, nullptr, nullptr, nullptr, nullptr), S_OK);
    clock_->Advance(100);
    ASSERT_EQ(rec->changes.size(), 1u);
    EXPECT_EQ(rec->changes[0].items.size(), 2u);
    clock_->Advance(300);
    EXPECT_EQ(rec->changes.size(), 1u); // memory items do not change by themselves

    std::vector<HRESULT> errors;
    ASSERT_EQ(g->SetActiveState({h[1]}, false, &errors), S_OK);
    ASSERT_EQ(WriteOne(*g, h[1], Value::Integer(VT_I4, 5)), S_OK);
    clock_->Advance(100);
    EXPECT_EQ(rec->changes.size(), 1u);
    ASSERT_EQ(g->SetActiveState({h[1]}, true, &errors), S_OK);
    clock_->Advance(100);
    ASSERT_EQ(rec->changes.size(), 2u);
    ASSERT_EQ(rec->changes[1].items.size(), 1u);
    EXPECT_EQ(rec->changes[1].items[0].value.integer, 5);
    EXPECT_EQ(g->SetActiveState({999}, true, &errors), S_FALSE);
    EXPECT_EQ(errors[0], code::kInvalidHandle);
}

TEST_F(Groups, Refresh2ArrivesLaterWithItsTransactionAndPerItemErrors) {
    auto server = Start();
    auto g = Group(*server, 10000);
    EXPECT_EQ(Add(*g, {u"Memory.Int4"}).size(), 1u);
    DWORD cancel = 0;
    EXPECT_EQ(g->Refresh2(2, 77, &cancel), code::kNoConnection);
    auto rec = Subscribe(*g);
    Add(*g, {u"Fault.ReadError", u"Memory.Int2"});
    ASSERT_EQ(g->Refresh2(2, 77, &cancel), S_OK);
    EXPECT_TRUE(rec->changes.empty()); // never from inside the call
    clock_->RunPosted();
    ASSERT_EQ(rec->changes.size(), 1u);
    EXPECT_EQ(rec->changes[0].transaction_id, 77u);
    ASSERT_EQ(rec->changes[0].items.size(), 3u);
    EXPECT_EQ(rec->changes[0].items[0].error, S_OK);
    EXPECT_EQ(rec->changes[0].items[1].error, E_FAIL);
    EXPECT_EQ(rec->changes[0].items[2].error, S_OK);
    // From the cache the failing item reports its bad quality instead.
    ASSERT_EQ(g->Refresh2(1, 78, &cancel), S_OK);
    clock_->RunPosted();
    EXPECT_EQ(rec->changes[1].items[1].error, S_OK);
    EXPECT_EQ(rec->changes[1].items[1].quality, quality::kDeviceFailure);

    BOOL off = FALSE;
    ASSERT_EQ(g->SetState(nullptr, nullptr, &off, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(g->Refresh2(1, 79, &cancel), E_FAIL);
}

TEST_F(Groups, ReadsComeFromTheDeviceOrTheCache) {
    auto server = Start();
    auto g = Group(*server, 1000);
    auto h = Add(*g, {u"Memory.Int4", u"Fault.ReadError", u"Memory.WriteOnly"});
    std::vector<ItemRead> values;
    std::vector<HRESULT> errors;
    EXPECT_EQ(g->Read(2, {h[0], h[1], h[2], 999}, &values, &errors), S_FALSE);
    EXPECT_EQ(errors[0], S_OK);
    EXPECT_EQ(values[0].value.type, VT_I4);
    EXPECT_EQ(values[0].quality, quality::kGood);
    EXPECT_EQ(errors[1], E_FAIL);
    EXPECT_EQ(errors[2], code::kBadRights);
    EXPECT_EQ(errors[3], code::kInvalidHandle);
    ASSERT_EQ(g->SetActiveState({h[0]}, false, &errors), S_OK);
    ASSERT_EQ(g->Read(1, {h[0]}, &values, &errors), S_OK);
    EXPECT_EQ(values[0].quality, quality::kOutOfService);
}

TEST_F(Groups, WritesCoerceToTheCanonicalTypeAndCheckRights) {
    auto server = Start();
    auto g = Group(*server, 1000);
    auto h = Add(*g, {u"Memory.Int4", u"Memory.Int1", u"Ramp.Real8", u"Fault.WriteError", u"Memory.String"});
    EXPECT_EQ(WriteOne(*g, h[0], Value::Text(u"12")), S_OK);
    EXPECT_EQ(WriteOne(*g, h[1], Value::Integer(VT_I4, 300)), code::kRange);
    EXPECT_EQ(WriteOne(*g, h[2], Value::Real(VT_R8, 1)), code::kBadRights);
    EXPECT_EQ(WriteOne(*g, h[3], Value::Integer(VT_I4, 1)), E_FAIL);
    EXPECT_EQ(WriteOne(*g, h[0], Value::Text(u"abc")), code::kBadType);
    EXPECT_EQ(WriteOne(*g, h[4], Value::Real(VT_R8, 2.5)), S_OK);
    std::vector<ItemRead> values;
    std::vector<HRESULT> errors;
    ASSERT_EQ(g->Read(2, {h[0], h[4]}, &values, &errors), S_OK);
    EXPECT_EQ(values[0].value.integer, 12);
    EXPECT_EQ(values[1].value.text, u"2.5");
    // Memory is per server instance.
    auto other = Start();
    auto g2 = Group(*other, 1000);
    auto h2 = Add(*g2, {u"Memory.Int4"});
    ASSERT_EQ(g2->Read(2, {h2[0]}, &values, &errors), S_OK);
    EXPECT_EQ(values[0].value.integer, 0);
}

TEST_F(Groups, AsyncWriteCompletesThroughTheCallbackLater) {
    auto server = Start();
    auto g = Group(*server, 1000);
    auto h = Add(*g, {u"Memory.Int4", u"Ramp.Real8"});
    DWORD cancel = 0;
    std::vector<HRESULT> errors;
    EXPECT_EQ(g->AsyncWrite({h[0]}, {Value::Integer(VT_I4, 1)}, 2, &cancel, &errors), code::kNoConnection);
    auto rec = Subscribe(*g);
    EXPECT_EQ(g->AsyncWrite({h[0], h[1], 999},
                            {Value::Integer(VT_I4, 7), Value::Real(VT_R8, 1), Value::Integer(VT_I4, 1)}, 2,
                            &cancel, &errors),
              S_FALSE);
    EXPECT_EQ(errors[2], code::kInvalidHandle);
    EXPECT_TRUE(rec->writes.empty());
    clock_->RunPosted();
    ASSERT_EQ(rec->writes.size(), 1u);
    EXPECT_EQ(rec->write_transactions[0], 2u);
    ASSERT_EQ(rec->writes[0].size(), 2u);
    EXPECT_EQ(rec->writes[0][0].client_handle, 1u);
    EXPECT_EQ(rec->writes[0][0].error, S_OK);
    EXPECT_EQ(rec->writes[0][1].error, code::kBadRights);
}

TEST_F(Groups, RefusedItemsAndUnknownIds) {
    auto server = Start();
    ASSERT_EQ(Control(*server, u"Control.RefuseItems", Value::Integer(VT_I4, 1)), S_OK);
    auto g = Group(*server, 1000);
    std::vector<HRESULT> errors;
    auto h = Add(*g, {u"Memory.Int4", u"Memory.Int2", u"No.Such.Item", u""}, &errors);
    EXPECT_EQ(errors[0], code::kUnknownItemId);
    EXPECT_EQ(errors[1], S_OK);
    EXPECT_EQ(errors[2], code::kUnknownItemId);
    EXPECT_EQ(errors[3], code::kInvalidItemId);
    EXPECT_EQ(g->ItemCount(), 1u);

    std::vector<ItemAddResult> results;
    ASSERT_EQ(g->ValidateItems({{u"Memory.Real8", u"", true, 1, VT_EMPTY}}, &results, &errors), S_OK);
    EXPECT_EQ(results[0].canonical_type, VT_R8);
    EXPECT_EQ(g->ItemCount(), 1u);
    ASSERT_EQ(g->RemoveItems({h[1]}, &errors), S_OK);
    EXPECT_EQ(g->RemoveItems({h[1]}, &errors), S_FALSE);
    EXPECT_EQ(errors[0], code::kInvalidHandle);
}

TEST_F(Groups, DataObjectBlocksCarryUpdatesInTheAdvisedFormat) {
    auto server = Start(u"da1");
    auto g = Group(*server, 100);
    EXPECT_FALSE(g->Interfaces().async_i_o2);
    auto with_time = std::make_shared<RecordingStream>();
    auto plain = std::make_shared<RecordingStream>();
    DWORD c1 = 0, c2 = 0;
    ASSERT_EQ(g->DAdvise(StreamFormat::DataTime, true, with_time, &c1), S_OK);
    ASSERT_EQ(g->DAdvise(StreamFormat::Data, false, plain, &c2), S_OK);
    clock_->RunPosted();
    EXPECT_TRUE(with_time->blocks.empty()); // prime-first with no items sends nothing
    Add(*g, {u"Counter.Int4", u"Text.Words"});
    clock_->Advance(1000);
    ASSERT_EQ(with_time->blocks.size(), 2u);
    ASSERT_EQ(plain->blocks.size(), 2u);
    const auto& b = with_time->blocks[1];
    EXPECT_EQ(U32(b, 0), b.size());
    EXPECT_EQ(U32(b, 4), 2u);
    EXPECT_EQ(U32(b, 8), 17u);
    EXPECT_EQ(U32(b, 20), 1u);
    EXPECT_EQ(U32(b, 40), 2u);
    EXPECT_EQ(U32(plain->blocks[1], 20 + 12), 2u); // second 12-byte header

    DWORD transaction = 0;
    EXPECT_EQ(g->Refresh(999, 1, &transaction), E_INVALIDARG);
    ASSERT_EQ(g->Refresh(c1, 1, &transaction), S_OK);
    clock_->RunPosted();
    ASSERT_EQ(with_time->blocks.size(), 3u);
    EXPECT_EQ(U32(with_time->blocks[2], 12), transaction);
    EXPECT_EQ(plain->blocks.size(), 2u); // only the named connection
}

TEST_F(Groups, MalformedStreamControlDamagesExactlyTheNextBlock) {
    auto server = Start(u"da1");
    auto g = Group(*server, 100);
    auto rec = std::make_shared<RecordingStream>();
    DWORD c = 0;
    ASSERT_EQ(g->DAdvise(StreamFormat::DataTime, false, rec, &c), S_OK);
    Add(*g, {u"Counter.Int4@100"});
    EXPECT_EQ(Control(*server, u"Control.MalformedStream", Value::Text(u"sideways")), E_INVALIDARG);
    ASSERT_EQ(Control(*server, u"Control.MalformedStream", Value::Text(u"offset")), S_OK);
    clock_->Advance(200);
    ASSERT_EQ(rec->blocks.size(), 2u);
    EXPECT_EQ(U32(rec->blocks[0], 24), rec->blocks[0].size());
    EXPECT_LT(U32(rec->blocks[1], 24), rec->blocks[1].size());
}

TEST_F(Groups, ASubscriberMayRemoveTheGroupFromInsideItsNotification) {
    auto server = Start();
    auto g = Group(*server, 100);
    auto first = Subscribe(*g);
    auto second = Subscribe(*g);
    Add(*g, {u"Counter.Int4@100"});
    GroupState st;
    ASSERT_EQ(g->GetState(&st), S_OK);
    std::weak_ptr<SimGroup> weak = g;
    first->on_change = [&] { server->RemoveGroup(st.server_handle, FALSE); };
    g.reset(); // only the server holds the group now
    clock_->Advance(500);
    EXPECT_EQ(first->changes.size(), 1u);
    EXPECT_TRUE(second->changes.empty()); // the group was gone before its turn
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(server->GroupCount(), 0u);
}

TEST_F(Groups, ActiveGroupsWithoutSubscribersKeepNothingBack) {
    auto server = Start();
    auto g = Group(*server, 100);
    Add(*g, {u"Memory.Int4"});
    clock_->Advance(300);
    // The first subscriber still gets the item's value: nothing counted as sent before it came.
    auto rec = Subscribe(*g);
    clock_->Advance(100);
    ASSERT_EQ(rec->changes.size(), 1u);
}
