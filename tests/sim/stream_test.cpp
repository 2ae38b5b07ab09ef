// Byte layout of the data-object streams the simulated servers send.
#include "sim_stream.hpp"

#include <gtest/gtest.h>

#include <cstring>

using namespace tagclient::transport::sim;

namespace {

std::uint32_t U32(const std::vector<std::uint8_t>& b, size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
std::uint16_t U16(const std::vector<std::uint8_t>& b, size_t at) {
    std::uint16_t v = 0;
    std::memcpy(&v, b.data() + at, 2);
    return v;
}
std::uint64_t U64(const std::vector<std::uint8_t>& b, size_t at) {
    std::uint64_t v = 0;
    std::memcpy(&v, b.data() + at, 8);
    return v;
}

} // namespace

TEST(Stream, DataTimeBlockIsLaidOutByteForByte) {
    Value i4 = Value::Integer(VT_I4, -5);
    Value r8 = Value::Real(VT_R8, 2.5);
    std::vector<StreamItem> items = {{0x1111, &i4, 0xC0, 0x0102030405060708ULL}, {0x2222, &r8, 0x40, 42}};
    auto b = EncodeDataStream(StreamFormat::DataTime, 7, 9, items);

    EXPECT_EQ(U32(b, 0), b.size());
    EXPECT_EQ(U32(b, 4), 2u);
    EXPECT_EQ(U32(b, 8), 7u);
    EXPECT_EQ(U32(b, 12), 9u);
    EXPECT_EQ(U32(b, 16), 0u);
    // Item headers of 20 bytes from offset 20.
    EXPECT_EQ(U32(b, 20), 0x1111u);
    EXPECT_EQ(U16(b, 28), 0xC0);
    EXPECT_EQ(U16(b, 30), 0);
    EXPECT_EQ(U64(b, 32), 0x0102030405060708ULL);
    EXPECT_EQ(U32(b, 40), 0x2222u);
    EXPECT_EQ(U16(b, 48), 0x40);
    EXPECT_EQ(U64(b, 52), 42u);
    // Values right after the headers (60 bytes), each on an 8-byte boundary.
    const size_t first = U32(b, 24);
    const size_t second = U32(b, 44);
    EXPECT_EQ(first, 64u);
    EXPECT_EQ(second, first + sizeof(VARIANT));
    VARIANT v1, v2;
    std::memcpy(&v1, b.data() + first, sizeof v1);
    std::memcpy(&v2, b.data() + second, sizeof v2);
    EXPECT_EQ(v1.vt, VT_I4);
    EXPECT_EQ(v1.lVal, -5);
    EXPECT_EQ(v2.vt, VT_R8);
    EXPECT_EQ(v2.dblVal, 2.5);
    EXPECT_EQ(b.size(), second + sizeof(VARIANT));
}

TEST(Stream, DataBlockHasTwelveByteItemHeaders) {
    Value b1 = Value::Bool(true);
    auto b = EncodeDataStream(StreamFormat::Data, 1, 0, {{5, &b1, 0xC0, 99}});
    EXPECT_EQ(U32(b, 4), 1u);
    EXPECT_EQ(U32(b, 20), 5u);
    const size_t offset = U32(b, 24);
    EXPECT_EQ(offset, 32u); // 20 + 12, aligned to 8
    EXPECT_EQ(U16(b, 28), 0xC0);
    VARIANT v;
    std::memcpy(&v, b.data() + offset, sizeof v);
    EXPECT_EQ(v.vt, VT_BOOL);
    EXPECT_EQ(v.boolVal, VARIANT_TRUE);
}

TEST(Stream, StringDataFollowsItsVariant) {
    Value s = Value::Text(u"温度");
    auto b = EncodeDataStream(StreamFormat::DataTime, 1, 0, {{1, &s, 0xC0, 0}});
    const size_t offset = U32(b, 24);
    EXPECT_EQ(U16(b, offset), VT_BSTR);
    const size_t data = offset + sizeof(VARIANT);
    EXPECT_EQ(U32(b, data), 4u); // bytes of text, without the NUL
    EXPECT_EQ(U16(b, data + 4), 0x6E29);
    EXPECT_EQ(U16(b, data + 6), 0x5EA6);
    EXPECT_EQ(U16(b, data + 8), 0);
    EXPECT_EQ(b.size(), data + 10);
}

TEST(Stream, ArrayDataIsASafeArrayHeaderAndItsElements) {
    Value r = Value::Array(VT_R8, {Value::Real(VT_R8, 1.5), Value::Real(VT_R8, -2)});
    Value s = Value::Array(VT_BSTR, {Value::Text(u"ab"), Value::Text(u"")});
    auto b = EncodeDataStream(StreamFormat::DataTime, 1, 0, {{1, &r, 0xC0, 0}, {2, &s, 0xC0, 0}});
    size_t offset = U32(b, 24);
    EXPECT_EQ(U16(b, offset), VT_ARRAY | VT_R8);
    SAFEARRAY sa;
    std::memcpy(&sa, b.data() + offset + sizeof(VARIANT), sizeof sa);
    EXPECT_EQ(sa.cDims, 1);
    EXPECT_EQ(sa.cbElements, 8u);
    EXPECT_EQ(sa.rgsabound[0].cElements, 2u);
    EXPECT_EQ(sa.rgsabound[0].lLbound, 0);
    double d[2];
    std::memcpy(d, b.data() + offset + sizeof(VARIANT) + sizeof(SAFEARRAY), 16);
    EXPECT_EQ(d[0], 1.5);
    EXPECT_EQ(d[1], -2.0);

    offset = U32(b, 44);
    EXPECT_EQ(U16(b, offset), VT_ARRAY | VT_BSTR);
    std::memcpy(&sa, b.data() + offset + sizeof(VARIANT), sizeof sa);
    EXPECT_EQ(sa.rgsabound[0].cElements, 2u);
    // The element area of two pointer slots, then the texts.
    const size_t data = offset + sizeof(VARIANT) + sizeof(SAFEARRAY) + 2 * sizeof(BSTR);
    EXPECT_EQ(U32(b, data), 4u);
    EXPECT_EQ(U16(b, data + 4), u'a');
    EXPECT_EQ(U32(b, data + 10), 0u); // second, empty element
    EXPECT_EQ(b.size(), data + 10 + 6);
}

TEST(Stream, EmptyItemListIsAHeaderOnly) {
    auto b = EncodeDataStream(StreamFormat::Data, 3, 4, {});
    ASSERT_EQ(b.size(), 20u);
    EXPECT_EQ(U32(b, 0), 20u);
    EXPECT_EQ(U32(b, 4), 0u);
}

TEST(Stream, DamageKindsBreakWhatTheyName) {
    Value s = Value::Text(u"x");
    Value a = Value::Array(VT_I4, {Value::Integer(VT_I4, 1)});
    std::vector<StreamItem> items = {{1, &s, 0xC0, 0}, {2, &a, 0xC0, 0}};
    auto good = EncodeDataStream(StreamFormat::DataTime, 1, 0, items);

    auto status = EncodeDataStream(StreamFormat::DataTime, 1, 0, items, StreamDamage::Status);
    EXPECT_EQ(U32(status, 16), 1u);

    auto offset = EncodeDataStream(StreamFormat::DataTime, 1, 0, items, StreamDamage::ValueOffset);
    EXPECT_EQ(U32(offset, 24), offset.size());

    auto straddle = EncodeDataStream(StreamFormat::DataTime, 1, 0, items, StreamDamage::Straddle);
    EXPECT_LT(straddle.size() - U32(straddle, 24), sizeof(VARIANT));

    auto count = EncodeDataStream(StreamFormat::DataTime, 1, 0, items, StreamDamage::ItemCount);
    EXPECT_EQ(U32(count, 4), 1002u);

    auto str = EncodeDataStream(StreamFormat::DataTime, 1, 0, items, StreamDamage::StringLength);
    EXPECT_EQ(U32(str, U32(str, 24) + sizeof(VARIANT)), 0x7FFFFFF0u);

    auto arr = EncodeDataStream(StreamFormat::DataTime, 1, 0, items, StreamDamage::ArrayLength);
    SAFEARRAY sa;
    std::memcpy(&sa, arr.data() + U32(arr, 44) + sizeof(VARIANT), sizeof sa);
    EXPECT_EQ(sa.rgsabound[0].cElements, 0x7FFFFFF0u);

    auto cut = EncodeDataStream(StreamFormat::DataTime, 1, 0, items, StreamDamage::Truncated);
    EXPECT_EQ(cut.size(), 30u);
    EXPECT_EQ(U32(cut, 0), good.size()); // the header still claims the full size

    StreamDamage d;
    EXPECT_TRUE(ParseStreamDamage(u"offset", &d));
    EXPECT_EQ(d, StreamDamage::ValueOffset);
    EXPECT_FALSE(ParseStreamDamage(u"Offset", &d));
}
