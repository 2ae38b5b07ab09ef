// The OPC quality in words: the short stored text and the long form a screen shows, from one table.
#include "platform/opc_quality.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Words(std::uint16_t quality, qz::QualityWording wording) {
    const qz::OpcQualityWords w = qz::OpcQualityWordsOf(quality, wording);
    std::string text = w.major;
    text += '|';
    text += w.sub_status ? w.sub_status : "-";
    text += '|';
    text += w.limit ? w.limit : "-";
    return text;
}

TEST(OpcQuality, StoredTextsAreShort) {
    EXPECT_EQ(qz::OpcQualityText(0xC0), "good");
    EXPECT_EQ(qz::OpcQualityText(0x40), "uncertain");
    EXPECT_EQ(qz::OpcQualityText(0x18), "bad: comm failure");
    EXPECT_EQ(qz::OpcQualityText(0x04), "bad: config error");
    EXPECT_EQ(qz::OpcQualityText(0x55), "uncertain: EU units exceeded, low limited");
    EXPECT_EQ(qz::OpcQualityText(0xD8), "good: local override");
    EXPECT_EQ(qz::OpcQualityText(0xC3), "good: constant");
    EXPECT_EQ(qz::OpcQualityText(0x80), "invalid");
}

TEST(OpcQuality, LongFormSpellsOutTheAbbreviationsOnly) {
    using qz::QualityWording;
    EXPECT_EQ(Words(0x04, QualityWording::Long), "bad|configuration error|-");
    EXPECT_EQ(Words(0x54, QualityWording::Long), "uncertain|engineering units exceeded|-");
    EXPECT_EQ(Words(0x04, QualityWording::Short), "bad|config error|-");
    EXPECT_EQ(Words(0x54, QualityWording::Short), "uncertain|EU units exceeded|-");
    for (unsigned q = 0; q < 0x100; ++q) {
        if (q == 0x04 || q == 0x05 || q == 0x06 || q == 0x07 || (q & 0xFC) == 0x54)
            continue;
        EXPECT_EQ(Words(static_cast<std::uint16_t>(q), QualityWording::Long),
                  Words(static_cast<std::uint16_t>(q), QualityWording::Short))
            << "quality 0x" << std::hex << q;
    }
}

TEST(OpcQuality, UndefinedSubStatusesAndLimits) {
    EXPECT_EQ(Words(0x24, qz::QualityWording::Short), "bad|unknown sub-status|-"); // bad, status 9
    EXPECT_EQ(Words(0x48, qz::QualityWording::Short), "uncertain|unknown sub-status|-");
    EXPECT_EQ(Words(0xC4, qz::QualityWording::Short), "good|unknown sub-status|-");
    EXPECT_EQ(Words(0x42, qz::QualityWording::Short), "uncertain|-|high limited");
    EXPECT_EQ(Words(0x80, qz::QualityWording::Long), "invalid|-|-");
}

} // namespace
