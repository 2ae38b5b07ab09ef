// Data callbacks: connection-point and data-object deliveries, dispatch to the plain or extended procedure,
// value copies, stale client handles, malformed blocks.
#include "test_support.hpp"

#include <transport/data_stream.hpp>

#include <cstring>

using namespace tagclient::testing;

namespace {

VARIANT I4(int32_t x) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = x;
    return v;
}

VARIANT Text(const char16_t* t) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(reinterpret_cast<const OLECHAR*>(t));
    return v;
}

std::u16string TextOf(const VARIANT& v) {
    return v.vt == VT_BSTR
               ? std::u16string(reinterpret_cast<const char16_t*>(v.bstrVal), SysStringLen(v.bstrVal))
               : u"<not text>";
}

class Callbacks : public ToolkitTest {
protected:
    void SetUp() override {
        ToolkitTest::SetUp();
        s_ = Connect();
        g_ = AddGroup(s_);
        a_ = QZDAC_AddItem(s_, g_, "A");
        b_ = QZDAC_AddItem(s_, g_, "B");
        c_ = QZDAC_AddItemEx(s_, g_, "C", 7);
        QZDAC_SetDataChangeProc(s_, &PlainProc);
    }
    QZDAC_HSESSION s_ = 0;
    QZDAC_HGROUP g_ = 0;
    QZDAC_HITEM a_ = 0, b_ = 0, c_ = 0;
};

class DataObjects : public ToolkitTest {
protected:
    void SetUp() override {
        ToolkitTest::SetUp();
        s_ = ConnectTo(kDA10Class);
        g_ = AddGroup(s_);
        a_ = QZDAC_AddItem(s_, g_, "A");
        b_ = QZDAC_AddItem(s_, g_, "B");
        QZDAC_SetDataChangeProc(s_, &PlainProc);
    }
    std::vector<BYTE> Block(bool with_time, std::vector<std::pair<OPCHANDLE, VARIANT>> items,
                            HRESULT status = S_OK) {
        std::vector<StreamEntry> entries;
        for (auto& [h, v] : items)
            entries.push_back(StreamEntry{h, OPC_QUALITY_GOOD, FILETIME{0x11, 0x22}, &v});
        auto block = WriteDataStream(with_time, 0, 0, entries.data(), entries.size(), status);
        for (auto& [h, v] : items)
            VariantClear(&v);
        return block;
    }
    QZDAC_HSESSION s_ = 0;
    QZDAC_HGROUP g_ = 0;
    QZDAC_HITEM a_ = 0, b_ = 0;
};

} // namespace

TEST_F(Callbacks, FailedItemsOfABatchAreSkipped) {
    ServerGroup().PostDataChange({a_, b_, c_}, {I4(1), I4(2), I4(3)}, {S_OK, E_FAIL, S_OK});
    Dispatch();
    ASSERT_EQ(Deliveries().size(), 2u);
    EXPECT_EQ(Deliveries()[0].item, a_);
    EXPECT_EQ(Deliveries()[0].value.lVal, 1);
    EXPECT_EQ(Deliveries()[1].item, c_);
    EXPECT_EQ(Deliveries()[1].session, s_);
    EXPECT_EQ(Deliveries()[1].group, g_);
    EXPECT_EQ(Deliveries()[1].timestamp.dwLowDateTime, 0xAAAAu);
    EXPECT_EQ(Deliveries()[1].quality, 0xC0u);
    EXPECT_FALSE(Deliveries()[1].extended);
}

TEST_F(Callbacks, ExtendedProcedureWinsUntilCleared) {
    ASSERT_EQ(QZDAC_SetDataChangeExProc(s_, &ExProc), QZDAC_TRUE);
    ServerGroup().PostDataChange({a_, c_}, {I4(1), I4(2)}, {S_OK, S_OK});
    Dispatch();
    ASSERT_EQ(Deliveries().size(), 2u);
    EXPECT_TRUE(Deliveries()[0].extended);
    EXPECT_EQ(Deliveries()[0].client_value, 0);
    EXPECT_EQ(Deliveries()[1].client_value, 7);
    ClearDeliveries();
    ASSERT_EQ(QZDAC_SetDataChangeExProc(s_, nullptr), QZDAC_TRUE);
    ServerGroup().PostDataChange({a_}, {I4(1)}, {S_OK});
    Dispatch();
    ASSERT_EQ(Deliveries().size(), 1u);
    EXPECT_FALSE(Deliveries()[0].extended);
}

TEST_F(Callbacks, NoProcedureMeansNothingHappens) {
    QZDAC_SetDataChangeProc(s_, nullptr);
    ServerGroup().PostDataChange({a_}, {I4(1)}, {S_OK});
    EXPECT_EQ(Dispatch(), 1);
    EXPECT_TRUE(Deliveries().empty());
    EXPECT_TRUE(Logs().empty());
}

TEST_F(Callbacks, RejectedSessionChangesNoSlot) {
    EXPECT_EQ(QZDAC_SetDataChangeProc(g_, nullptr), QZDAC_FALSE);
    EXPECT_EQ(QZDAC_SetDataChangeExProc(0, &ExProc), QZDAC_FALSE);
    ServerGroup().PostDataChange({a_}, {I4(1)}, {S_OK});
    Dispatch();
    ASSERT_EQ(Deliveries().size(), 1u);
    EXPECT_FALSE(Deliveries()[0].extended);
}

namespace {
BSTR g_seen = nullptr;
std::u16string g_seenText;
void QZDAC_CALL Peek(QZDAC_HSESSION, QZDAC_HGROUP, QZDAC_HITEM, VARIANT v, FILETIME, uint32_t) {
    g_seen = v.bstrVal;
    g_seenText = TextOf(v);
}
} // namespace

TEST_F(Callbacks, ProcedureReceivesItsOwnCopyOfTheValue) {
    QZDAC_SetDataChangeProc(s_, &Peek);
    VARIANT original = Text(u"hello");
    BSTR server = original.bstrVal;
    VARIANT sent;
    VariantInit(&sent);
    VariantCopy(&sent, &original);
    BSTR sent_ptr = sent.bstrVal;
    ServerGroup().PostDataChange({a_}, {sent}, {S_OK});
    Dispatch();
    EXPECT_EQ(g_seenText, u"hello");
    EXPECT_NE(g_seen, sent_ptr); // a copy, not the server's string (cleared by the library after the call)
    EXPECT_EQ(TextOf(original), u"hello");
    EXPECT_EQ(original.bstrVal, server);
    VariantClear(&original);
}

TEST_F(Callbacks, StaleClientHandlesAreDropped) {
    ServerGroup().PostDataChange({a_, b_, 0xDEAD, c_}, {I4(1), I4(2), I4(3), I4(4)},
                                 {S_OK, S_OK, S_OK, S_OK});
    ASSERT_EQ(QZDAC_RemoveItem(s_, g_, b_), QZDAC_TRUE); // removed while the notification is on its way
    Dispatch();
    ASSERT_EQ(Deliveries().size(), 2u);
    EXPECT_EQ(Deliveries()[0].item, a_);
    EXPECT_EQ(Deliveries()[1].item, c_);
}

namespace {
QZDAC_HSESSION g_s = 0;
QZDAC_HGROUP g_g = 0;
int g_calls = 0;
void QZDAC_CALL RemovingProc(QZDAC_HSESSION, QZDAC_HGROUP, QZDAC_HITEM, VARIANT, FILETIME, uint32_t) {
    ++g_calls;
    QZDAC_RemoveGroup(g_s, g_g);
}
void QZDAC_CALL DisconnectingProc(QZDAC_HSESSION, QZDAC_HGROUP, QZDAC_HITEM, VARIANT, FILETIME, uint32_t) {
    ++g_calls;
    QZDAC_Disconnect(g_s);
}
} // namespace

TEST_F(Callbacks, ProcedureMayRemoveItsGroupOrCloseItsSessionMidBatch) {
    g_s = s_;
    g_g = g_;
    g_calls = 0;
    QZDAC_SetDataChangeProc(s_, &RemovingProc);
    ServerGroup().PostDataChange({a_, b_, c_}, {I4(1), I4(2), I4(3)}, {S_OK, S_OK, S_OK});
    Dispatch();
    EXPECT_EQ(g_calls, 1);
    QZDAC_HGROUP g2 = AddGroup(s_);
    QZDAC_HITEM x = QZDAC_AddItem(s_, g2, "A");
    g_calls = 0;
    QZDAC_SetDataChangeProc(s_, &DisconnectingProc);
    W().groups.back()->PostDataChange({x, x}, {I4(1), I4(2)}, {S_OK, S_OK});
    Dispatch();
    EXPECT_EQ(g_calls, 1);
    EXPECT_EQ(QZDAC_Disconnect(s_), QZDAC_FALSE);
}

TEST_F(Callbacks, RemovedGroupDeliversNothing) {
    FakeGroup& fg = ServerGroup();
    ServerGroup().PostDataChange({a_}, {I4(1)}, {S_OK});
    ASSERT_EQ(QZDAC_RemoveGroup(s_, g_), QZDAC_TRUE);
    Dispatch();
    EXPECT_TRUE(Deliveries().empty());
    (void)fg;
}

TEST_F(DataObjects, TimedBlockDeliversEveryItemWithItsTimestamp) {
    ServerGroup().PostBlock(Block(true, {{a_, I4(5)}, {b_, Text(u"txt")}}), FormatNumber(kFormatDataTime));
    Dispatch();
    ASSERT_EQ(Deliveries().size(), 2u);
    EXPECT_EQ(Deliveries()[0].value.lVal, 5);
    EXPECT_EQ(Deliveries()[0].timestamp.dwLowDateTime, 0x11u);
    EXPECT_EQ(Deliveries()[0].timestamp.dwHighDateTime, 0x22u);
    EXPECT_EQ(TextOf(Deliveries()[1].value), u"txt");
}

TEST_F(DataObjects, UntimedBlockIsStampedWithTheLocalTime) {
    FILETIME utc, local;
    GetSystemTimeAsFileTime(&utc);
    FileTimeToLocalFileTime(&utc, &local);
    const uint64_t before = (uint64_t(local.dwHighDateTime) << 32 | local.dwLowDateTime) / 10000;
    ServerGroup().PostBlock(Block(false, {{a_, I4(5)}}), FormatNumber(kFormatData));
    Dispatch();
    ASSERT_EQ(Deliveries().size(), 1u);
    const FILETIME t = Deliveries()[0].timestamp;
    const uint64_t ticks = uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime;
    EXPECT_EQ(ticks % 10000, 0u); // to the millisecond
    EXPECT_GE(ticks / 10000 + 1, before);
    EXPECT_LT(ticks / 10000, before + 60000);
}

TEST_F(DataObjects, BlockWithStatusSFalseIsDelivered) {
    // Servers send S_FALSE when some item of the block is not good; the values are real all the same.
    ServerGroup().PostBlock(Block(true, {{a_, I4(5)}}, S_FALSE), FormatNumber(kFormatDataTime));
    Dispatch();
    ASSERT_EQ(Deliveries().size(), 1u);
    EXPECT_EQ(Deliveries()[0].value.lVal, 5);
}

TEST_F(DataObjects, BadStatusEmptyBlockAndOtherFormatsDeliverNothing) {
    ServerGroup().PostBlock(Block(true, {{a_, I4(5)}}, E_FAIL), FormatNumber(kFormatDataTime));
    ServerGroup().PostBlock(Block(true, {}), FormatNumber(kFormatDataTime));
    ServerGroup().PostBlock(Block(true, {{a_, I4(5)}}), FormatNumber(kFormatWriteComplete));
    ServerGroup().PostBlock(Block(true, {{a_, I4(5)}}), FormatNumber(kFormatDataTime), /*tymed*/ 4);
    Dispatch();
    EXPECT_TRUE(Deliveries().empty());
    EXPECT_TRUE(Logs().empty());
}

TEST_F(DataObjects, ArraysAndStringsAreRebuiltIntoOwnValues) {
    VARIANT arr;
    VariantInit(&arr);
    arr.vt = VT_ARRAY | VT_BSTR;
    arr.parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
    LONG i0 = 0, i1 = 1;
    BSTR x = SysAllocString(reinterpret_cast<const OLECHAR*>(u"x")),
         yz = SysAllocString(reinterpret_cast<const OLECHAR*>(u"yz"));
    SafeArrayPutElement(arr.parray, &i0, x);
    SafeArrayPutElement(arr.parray, &i1, yz);
    SysFreeString(x);
    SysFreeString(yz);
    VARIANT nums;
    VariantInit(&nums);
    nums.vt = VT_ARRAY | VT_R8;
    nums.parray = SafeArrayCreateVector(VT_R8, 0, 3);
    for (LONG i = 0; i < 3; ++i) {
        double d = i * 1.5;
        SafeArrayPutElement(nums.parray, &i, &d);
    }
    ServerGroup().PostBlock(Block(true, {{a_, arr}, {b_, nums}}), FormatNumber(kFormatDataTime));
    Dispatch();
    ASSERT_EQ(Deliveries().size(), 2u);
    const VARIANT& got = Deliveries()[0].value;
    ASSERT_EQ(got.vt, VT_ARRAY | VT_BSTR);
    BSTR e1 = nullptr;
    SafeArrayGetElement(got.parray, &i1, &e1);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(e1)), u"yz");
    SysFreeString(e1);
    ASSERT_EQ(Deliveries()[1].value.vt, VT_ARRAY | VT_R8);
    LONG i2 = 2;
    double d = 0;
    SafeArrayGetElement(Deliveries()[1].value.parray, &i2, &d);
    EXPECT_DOUBLE_EQ(d, 3.0);
}

TEST_F(DataObjects, MalformedBlocksAreDroppedWithAReport) {
    auto good = Block(true, {{a_, I4(1)}, {b_, Text(u"abc")}});
    // 1: the block ends inside the item headers
    std::vector<BYTE> cut(good.begin(), good.begin() + 30);
    // 2: a value offset beyond the block
    auto beyond = good;
    DWORD offset = static_cast<DWORD>(good.size());
    std::memcpy(beyond.data() + 20 + 4, &offset, 4);
    // 3: a string whose length reaches beyond the block
    auto long_text = good;
    DWORD text_at = 0;
    std::memcpy(&text_at, good.data() + 40 + 4, 4);
    DWORD huge = 0x7FFFFFF0;
    std::memcpy(long_text.data() + text_at + sizeof(VARIANT), &huge, 4);
    // 4: an item count that does not fit
    auto many = good;
    DWORD count = 0x10000000;
    std::memcpy(many.data() + 4, &count, 4);
    for (auto* block : {&cut, &beyond, &long_text, &many})
        ServerGroup().PostBlock(*block, FormatNumber(kFormatDataTime));
    Dispatch();
    EXPECT_TRUE(Deliveries().empty());
    ASSERT_EQ(Logs().size(), 4u);
    for (auto& l : Logs())
        EXPECT_EQ(l.source, "TGroup.DoDOCallBack");
    // the group still works
    ServerGroup().PostBlock(good, FormatNumber(kFormatDataTime));
    Dispatch();
    EXPECT_EQ(Deliveries().size(), 2u);
}

TEST_F(DataObjects, StaleHandlesInABlockAreDropped) {
    ASSERT_EQ(QZDAC_RemoveItem(s_, g_, a_), QZDAC_TRUE);
    ServerGroup().PostBlock(Block(true, {{a_, I4(1)}, {b_, I4(2)}, {0xBEEF, I4(3)}}),
                            FormatNumber(kFormatDataTime));
    Dispatch();
    ASSERT_EQ(Deliveries().size(), 1u);
    EXPECT_EQ(Deliveries()[0].item, b_);
}
