// Items: adding (one, with client value, many), removing, validating, activating, reading and writing.
#include "test_support.hpp"

#include "library.hpp"
#include "uGroup.hpp"
#include "uServer.hpp"

using namespace tagclient::testing;

namespace {

// An owned VARIANT array of strings or integers for QZDAC_AddItems.
struct Array {
    VARIANT v;
    Array(std::initializer_list<const char16_t*> texts) {
        VariantInit(&v);
        v.vt = VT_ARRAY | VT_BSTR;
        v.parray = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
        LONG i = 0;
        for (auto t : texts) {
            BSTR b = SysAllocString(reinterpret_cast<const OLECHAR*>(t));
            SafeArrayPutElement(v.parray, &i, b);
            SysFreeString(b);
            ++i;
        }
    }
    Array(std::initializer_list<int32_t> values) {
        VariantInit(&v);
        v.vt = VT_ARRAY | VT_VARIANT;
        v.parray = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
        LONG i = 0;
        for (auto x : values) {
            VARIANT e;
            e.vt = VT_I4;
            e.lVal = x;
            SafeArrayPutElement(v.parray, &i, &e);
            ++i;
        }
    }
    ~Array() { VariantClear(&v); }
};

class Items : public ToolkitTest {
protected:
    void SetUp() override {
        ToolkitTest::SetUp();
        s_ = Connect();
        g_ = AddGroup(s_);
    }
    size_t Count() { return tagclient::Library::Get().FindSession(s_)->FindGroup(g_)->ItemCount(); }
    QZDAC_HSESSION s_ = 0;
    QZDAC_HGROUP g_ = 0;
};

std::vector<int32_t> Elements(const VARIANT& v) {
    std::vector<int32_t> out;
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(v.parray, 1, &lo);
    SafeArrayGetUBound(v.parray, 1, &hi);
    for (LONG i = lo; i <= hi; ++i) {
        int32_t x = 0;
        SafeArrayGetElement(v.parray, &i, &x);
        out.push_back(x);
    }
    return out;
}

} // namespace

TEST_F(Items, UnknownItemGivesZeroWithoutReport) {
    EXPECT_EQ(QZDAC_AddItem(s_, g_, "Nope"), 0u);
    EXPECT_EQ(Count(), 0u);
    EXPECT_TRUE(Logs().empty());
}

TEST_F(Items, AddedItemUsesItsHandleAsClientHandle) {
    QZDAC_HITEM i = QZDAC_AddItem(s_, g_, "A");
    ASSERT_NE(i, 0u);
    ASSERT_EQ(ServerGroup().items.size(), 1u);
    EXPECT_EQ(ServerGroup().items[0].client, i);
    EXPECT_TRUE(ServerGroup().items[0].active);
    EXPECT_EQ(ServerGroup().items[0].id, u"A");
}

TEST_F(Items, FailedAddItemsCallIsReported) {
    W().fail["AddItems"] = E_FAIL;
    EXPECT_EQ(QZDAC_AddItemEx(s_, g_, "A", 3), 0u);
    ASSERT_EQ(Logs().size(), 1u);
    EXPECT_EQ(Logs()[0].source, "TGroup.AddItemEx");
    EXPECT_EQ(Count(), 0u);
}

TEST_F(Items, AddItemsCountsRefusals) {
    Array ids{u"A", u"Nope", u"C"};
    VARIANT none;
    VariantInit(&none);
    VARIANT handles;
    VariantInit(&handles);
    EXPECT_EQ(QZDAC_AddItems(s_, g_, 3, ids.v, none, &handles), 1);
    EXPECT_EQ(handles.vt, VT_ARRAY | VT_I4);
    auto h = Elements(handles);
    ASSERT_EQ(h.size(), 3u);
    EXPECT_NE(h[0], 0);
    EXPECT_EQ(h[1], 0);
    EXPECT_NE(h[2], 0);
    auto& order = tagclient::Library::Get().FindSession(s_)->FindGroup(g_)->Items();
    ASSERT_EQ(order.size(), 2u);
    EXPECT_EQ(order[0]->Handle, static_cast<uint32_t>(h[0]));
    EXPECT_EQ(order[1]->Handle, static_cast<uint32_t>(h[2]));
    EXPECT_EQ(W().Count("AddItems"), 1);
    VariantClear(&handles);
}

TEST_F(Items, AddItemsRefusesWrongBoundsAndNonArrays) {
    Array two{u"A", u"B"};
    VARIANT single;
    single.vt = VT_BSTR;
    single.bstrVal = SysAllocString(reinterpret_cast<const OLECHAR*>(u"A"));
    VARIANT handles;
    handles.vt = VT_I4;
    handles.lVal = 55;
    EXPECT_EQ(QZDAC_AddItems(s_, g_, 3, two.v, two.v, &handles), 0);
    EXPECT_EQ(QZDAC_AddItems(s_, g_, 1, single, single, &handles), 0);
    EXPECT_EQ(handles.vt, VT_I4);
    EXPECT_EQ(handles.lVal, 55);
    EXPECT_EQ(W().Count("AddItems"), 0);
    EXPECT_TRUE(Logs().empty());
    VariantClear(&single);
}

TEST_F(Items, ClientValuesComeFromAMatchingArrayOnly) {
    QZDAC_SetDataChangeExProc(s_, &ExProc);
    Array ids{u"A", u"B"};
    Array values{11, 22};
    Array wrong{1, 2, 3};
    VARIANT handles;
    VariantInit(&handles);
    ASSERT_EQ(QZDAC_AddItems(s_, g_, 2, ids.v, values.v, &handles), 0);
    auto h1 = Elements(handles);
    ASSERT_EQ(QZDAC_AddItems(s_, g_, 2, ids.v, wrong.v, &handles), 0);
    auto h2 = Elements(handles);
    auto group = tagclient::Library::Get().FindSession(s_)->FindGroup(g_);
    EXPECT_EQ(group->FindItem(h1[0])->ClientValue, 11);
    EXPECT_EQ(group->FindItem(h1[1])->ClientValue, 22);
    EXPECT_EQ(group->FindItem(h2[0])->ClientValue, 0);
    EXPECT_EQ(group->FindItem(h2[1])->ClientValue, 0);
    VariantClear(&handles);
}

TEST_F(Items, UnconvertibleClientValueIsReportedAndNothingIsAdded) {
    Array ids{u"A"};
    Array values{u"not a number"};
    VARIANT handles;
    handles.vt = VT_I4;
    handles.lVal = 9;
    EXPECT_EQ(QZDAC_AddItems(s_, g_, 1, ids.v, values.v, &handles), 0);
    ASSERT_EQ(Logs().size(), 1u);
    EXPECT_EQ(Logs()[0].source, "TGroup.AddItems");
    EXPECT_EQ(handles.vt, VT_I4);
    EXPECT_EQ(Count(), 0u);
    EXPECT_EQ(W().Count("AddItems"), 0);
}

TEST_F(Items, FailedAddItemsLeavesAllHandlesZero) {
    Array ids{u"A", u"B"};
    VARIANT none;
    VariantInit(&none);
    VARIANT handles;
    VariantInit(&handles);
    W().fail["AddItems"] = E_FAIL;
    EXPECT_EQ(QZDAC_AddItems(s_, g_, 2, ids.v, none, &handles), 0);
    EXPECT_EQ(Elements(handles), (std::vector<int32_t>{0, 0}));
    EXPECT_TRUE(HasLog("TGroup.AddItems"));
    VariantClear(&handles);
}

TEST_F(Items, RemoveRejectsForeignAndRemovedHandlesWithoutServerCall) {
    QZDAC_HGROUP other = AddGroup(s_, "other");
    QZDAC_HITEM foreign = QZDAC_AddItem(s_, other, "A");
    QZDAC_HITEM mine = QZDAC_AddItem(s_, g_, "A");
    EXPECT_EQ(QZDAC_RemoveItem(s_, g_, foreign), QZDAC_FALSE);
    EXPECT_EQ(W().Count("RemoveItems"), 0);
    EXPECT_EQ(QZDAC_RemoveItem(s_, g_, mine), QZDAC_TRUE);
    EXPECT_EQ(QZDAC_RemoveItem(s_, g_, mine), QZDAC_FALSE);
    EXPECT_EQ(W().Count("RemoveItems"), 1);
    EXPECT_EQ(Count(), 0u);
}

TEST_F(Items, ValidateAddsNothing) {
    QZDAC_AddItem(s_, g_, "A");
    EXPECT_EQ(QZDAC_ValidateItem(s_, g_, "B", 0, 0), QZDAC_TRUE);
    EXPECT_EQ(QZDAC_ValidateItem(s_, g_, "Nope", 0, 0), QZDAC_FALSE);
    EXPECT_EQ(Count(), 1u);
    EXPECT_EQ(ServerGroup().items.size(), 1u);
}

TEST_F(Items, ActivationReachesTheServer) {
    QZDAC_HITEM i = QZDAC_AddItem(s_, g_, "A");
    EXPECT_EQ(QZDAC_ActiveItem(s_, g_, i, QZDAC_FALSE), QZDAC_TRUE);
    EXPECT_FALSE(ServerGroup().items[0].active);
    W().fail["SetActiveState"] = E_FAIL;
    EXPECT_EQ(QZDAC_ActiveItem(s_, g_, i, QZDAC_TRUE), QZDAC_FALSE);
    EXPECT_TRUE(HasLog("TGroup.ActiveItem"));
}

TEST_F(Items, ReadGoesToTheDeviceAndFillsTheOutputs) {
    QZDAC_HITEM i = QZDAC_AddItem(s_, g_, "A");
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(reinterpret_cast<const OLECHAR*>(u"old")); // the library clears what was there
    FILETIME t{};
    uint16_t q = 0;
    ASSERT_EQ(QZDAC_ReadItem(s_, g_, i, &v, &t, &q), QZDAC_TRUE);
    EXPECT_EQ(ServerGroup().last_read_source, 2u);
    ASSERT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(v.bstrVal)), u"read value");
    EXPECT_EQ(t.dwLowDateTime, 0x1234u);
    EXPECT_EQ(q, 0xC0);
    VariantClear(&v);
}

TEST_F(Items, FailedReadKeepsTheCallersVariables) {
    QZDAC_HITEM i = QZDAC_AddItem(s_, g_, "A");
    W().read_fails_per_item = true;
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = 5;
    FILETIME t{9, 9};
    uint16_t q = 7;
    EXPECT_EQ(QZDAC_ReadItem(s_, g_, i, &v, &t, &q), QZDAC_FALSE);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 5);
    EXPECT_EQ(t.dwLowDateTime, 9u);
    EXPECT_EQ(q, 7);
    EXPECT_TRUE(Logs().empty());
}

TEST_F(Items, WritesSynchronouslyOrAsynchronously) {
    QZDAC_HITEM i = QZDAC_AddItem(s_, g_, "A");
    VARIANT v;
    v.vt = VT_R8;
    v.dblVal = 2.5;
    EXPECT_EQ(QZDAC_WriteItem(s_, g_, i, v, QZDAC_FALSE), QZDAC_TRUE);
    EXPECT_EQ(W().Count("Write"), 1);
    EXPECT_EQ(QZDAC_WriteItem(s_, g_, i, v, QZDAC_TRUE), QZDAC_TRUE);
    EXPECT_EQ(W().Count("AsyncWrite"), 1);
    EXPECT_EQ(ServerGroup().last_async_write_transaction, 2u);
    W().write_fails_per_item = true;
    EXPECT_EQ(QZDAC_WriteItem(s_, g_, i, v, QZDAC_FALSE), QZDAC_FALSE);
    EXPECT_TRUE(Logs().empty());
}

TEST_F(Items, AsynchronousWriteOnAnOlderServerFails) {
    QZDAC_HSESSION old = ConnectTo(kDA10Class);
    QZDAC_HGROUP og = AddGroup(old);
    QZDAC_HITEM i = QZDAC_AddItem(old, og, "A");
    VARIANT v;
    v.vt = VT_I2;
    v.iVal = 1;
    EXPECT_EQ(QZDAC_WriteItem(old, og, i, v, QZDAC_TRUE), QZDAC_FALSE);
    ASSERT_EQ(Logs().size(), 1u);
    EXPECT_EQ(Logs()[0].source, "TGroup.WriteItem");
}
