// The quality and time-stamp gain types and the time choices in the project file: a project that does not
// use them is written exactly as before; one that does keeps them through a save and a load.
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/project_error.hpp"
#include "model/project_file.hpp"
#include "model/server.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tagsink {
namespace {

void BuildExample(TServer& root) {
    root.SetBufferCount(10);
    root.SetBufferTime(5000);
    TGroup& group = TGroup::Create(root);
    group.SetName("Group1");
    group.SetTableName("T1");
    TItem::Create(group, "Item1", "Tag1", "V1", TFieldType::ftFloat);
}

bool Contains(const std::string& bytes, std::string_view word) {
    return bytes.find(word) != std::string::npos;
}

TEST(ValueChoices, NewObjectsHoldTheOldBehaviour) {
    TServer root;
    TGroup& group = TGroup::Create(root);
    TItem& item = TItem::Create(group);
    EXPECT_EQ(root.TimeZone(), TTimeZone::tzLocal);
    EXPECT_EQ(root.TimePrecision(), TTimePrecision::tpSeconds);
    EXPECT_EQ(group.RecordTimeSource(), TTimeSource::tsAuto);
    EXPECT_EQ(item.GainType(), TGainType::gtGain);
}

TEST(ValueChoices, UnusedChoicesAreNotWritten) {
    TServer root;
    BuildExample(root);
    const std::string bytes = WriteProjectStream(root);
    EXPECT_EQ(bytes.size(), 345u); // the worked example of the file format, unchanged
    EXPECT_FALSE(Contains(bytes, "TimeZone"));
    EXPECT_FALSE(Contains(bytes, "TimePrecision"));
    EXPECT_FALSE(Contains(bytes, "RecordTimeSource"));
}

TEST(ValueChoices, AnOlderFileLoadsAndSavesByteForByte) {
    TServer first;
    BuildExample(first);
    const std::string old_bytes = WriteProjectStream(first);
    TServer back;
    ReadProjectStream(old_bytes, back);
    EXPECT_EQ(back.TimeZone(), TTimeZone::tzLocal);
    EXPECT_EQ(back.TimePrecision(), TTimePrecision::tpSeconds);
    EXPECT_EQ(back.Group(0).RecordTimeSource(), TTimeSource::tsAuto);
    EXPECT_EQ(WriteProjectStream(back), old_bytes);
}

TEST(ValueChoices, ChosenValuesRoundTrip) {
    TServer root;
    BuildExample(root);
    root.SetTimeZone(TTimeZone::tzUTC);
    root.SetTimePrecision(TTimePrecision::tpMilliseconds);
    root.Group(0).SetRecordTimeSource(TTimeSource::tsServer);
    TItem& quality = TItem::Create(root.Group(0), "Q1", "Tag1", "Q", TFieldType::ftInteger);
    quality.SetGainType(TGainType::gtQuality);
    TItem& stamp = TItem::Create(root.Group(0), "S1", "Tag1", "S", TFieldType::ftDateTime);
    stamp.SetGainType(TGainType::gtTimeStamp);

    const std::string bytes = WriteProjectStream(root);
    EXPECT_TRUE(Contains(bytes, "\x08TimeZone\x07\x05tzUTC"));
    EXPECT_TRUE(Contains(bytes, "\x0DTimePrecision\x07\x0EtpMilliseconds"));
    EXPECT_TRUE(Contains(bytes, "\x10RecordTimeSource\x07\x08tsServer"));
    EXPECT_TRUE(Contains(bytes, "\x08GainType\x07\x09gtQuality"));
    EXPECT_TRUE(Contains(bytes, "\x08GainType\x07\x0BgtTimeStamp"));

    TServer back;
    ReadProjectStream(bytes, back);
    EXPECT_EQ(back.TimeZone(), TTimeZone::tzUTC);
    EXPECT_EQ(back.TimePrecision(), TTimePrecision::tpMilliseconds);
    EXPECT_EQ(back.Group(0).RecordTimeSource(), TTimeSource::tsServer);
    EXPECT_EQ(back.Group(0).Item(1).GainType(), TGainType::gtQuality);
    EXPECT_EQ(back.Group(0).Item(2).GainType(), TGainType::gtTimeStamp);
    EXPECT_EQ(WriteProjectStream(back), bytes);
}

TEST(ValueChoices, ChoosingTheFirstValueAgainRemovesTheEntry) {
    TServer root;
    BuildExample(root);
    const std::string plain = WriteProjectStream(root);
    root.SetTimeZone(TTimeZone::tzUTC);
    root.Group(0).SetRecordTimeSource(TTimeSource::tsClock);
    EXPECT_NE(WriteProjectStream(root), plain);
    root.SetTimeZone(TTimeZone::tzLocal);
    root.Group(0).SetRecordTimeSource(TTimeSource::tsAuto);
    EXPECT_EQ(WriteProjectStream(root), plain);
}

TEST(ValueChoices, AnUnknownChoiceIsRefused) {
    std::string bytes;
    {
        TServer root;
        BuildExample(root);
        root.SetTimeZone(TTimeZone::tzUTC);
        bytes = WriteProjectStream(root);
    }
    const auto at = bytes.find("tzUTC");
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, 5, "tzXYZ");
    TServer back;
    try {
        ReadProjectStream(bytes, back);
        FAIL() << "an unknown identifier was accepted";
    } catch (const ProjectError& error) {
        EXPECT_NE(std::string(error.what()).find("Invalid property value"), std::string::npos)
            << error.what();
    }
}

} // namespace
} // namespace tagsink
