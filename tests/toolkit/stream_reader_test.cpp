// The data-object stream reader on damaged input: every truncation and many corruptions of a valid block
// are either read or refused, never read past the end (checked under ASan).
#include "stream_reader.hpp"

#include <transport/data_stream.hpp>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace tagclient;
using namespace tagclient::transport;

namespace {
std::vector<BYTE> SampleBlock() {
    VARIANT values[3];
    for (auto& v : values)
        VariantInit(&v);
    values[0].vt = VT_I4;
    values[0].lVal = 3;
    values[1].vt = VT_BSTR;
    values[1].bstrVal = SysAllocString(reinterpret_cast<const OLECHAR*>(u"some text"));
    values[2].vt = VT_ARRAY | VT_BSTR;
    values[2].parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
    for (LONG i = 0; i < 2; ++i) {
        BSTR b = SysAllocString(reinterpret_cast<const OLECHAR*>(i ? u"second" : u"first"));
        SafeArrayPutElement(values[2].parray, &i, b);
        SysFreeString(b);
    }
    StreamEntry entries[3] = {
        {1, 0xC0, {1, 2}, &values[0]}, {2, 0xC0, {3, 4}, &values[1]}, {3, 0, {}, &values[2]}};
    auto block = WriteDataStream(true, 0, 0, entries, 3);
    for (auto& v : values)
        VariantClear(&v);
    return block;
}
} // namespace

TEST(StreamReader, ReadsWhatTheWriterWrote) {
    auto block = SampleBlock();
    std::vector<StreamValue> out;
    ASSERT_TRUE(ReadDataStream(block.data(), block.size(), true, out));
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].value.get().lVal, 3);
    EXPECT_EQ(out[1].value.get().vt, VT_BSTR);
    EXPECT_EQ(SysStringLen(out[1].value.get().bstrVal), 9u);
    EXPECT_EQ(out[2].value.get().vt, VT_ARRAY | VT_BSTR);
    EXPECT_EQ(out[1].timestamp.dwLowDateTime, 3u);
}

TEST(StreamReader, BlockWithStatusSFalseIsReadAndAFailedOneRefused) {
    auto block = SampleBlock();
    StreamGroupHeader header;
    std::memcpy(&header, block.data(), sizeof header);
    std::vector<StreamValue> out;
    header.hrStatus = S_FALSE; // some item is not good
    std::memcpy(block.data(), &header, sizeof header);
    ASSERT_TRUE(ReadDataStream(block.data(), block.size(), true, out));
    EXPECT_EQ(out.size(), 3u);
    header.hrStatus = E_FAIL;
    std::memcpy(block.data(), &header, sizeof header);
    EXPECT_FALSE(ReadDataStream(block.data(), block.size(), true, out));
}

TEST(StreamReader, EveryTruncationIsRefused) {
    auto block = SampleBlock();
    for (size_t n = 0; n < block.size(); ++n) {
        std::vector<BYTE> cut(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
        std::vector<StreamValue> out;
        EXPECT_THROW(ReadDataStream(cut.data(), cut.size(), true, out), std::runtime_error) << n;
        EXPECT_TRUE(out.empty());
    }
}

TEST(StreamReader, RandomCorruptionNeverReadsOutOfBounds) {
    auto block = SampleBlock();
    std::mt19937 random(12345);
    for (int round = 0; round < 5000; ++round) {
        auto damaged = block;
        const int flips = 1 + round % 4;
        for (int f = 0; f < flips; ++f)
            damaged[random() % damaged.size()] = static_cast<BYTE>(random());
        // an exact-size copy so that ASan sees any read past the end
        std::vector<BYTE> exact(damaged);
        exact.shrink_to_fit();
        std::vector<StreamValue> out;
        try {
            ReadDataStream(exact.data(), exact.size(), round % 2 == 0, out);
        } catch (const std::runtime_error&) {
            EXPECT_TRUE(out.empty());
        } catch (const std::bad_alloc&) {
        }
    }
}
