// BuildStatement, ValueText, the key and time texts, and the Changed flags.
#include "engine/statement/statement_builder.hpp"

#include "engine/statement/conversion_error.hpp"
#include "statement_fixture.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <tuple>
#include <ostream>

namespace tagsink {
namespace {

using testing::Parameters;
using testing::Project;
using T = TFieldType;

struct StatementCase {
    const char* name;
    std::function<void(Project&)> set_up;
    RowKey key;
    TRecordType record_type;
    const char* statement;
    std::vector<std::string> parameters = {};
};

void PrintTo(const StatementCase& c, std::ostream* os) {
    *os << c.name;
}

class Statements : public ::testing::TestWithParam<StatementCase> {};

TEST_P(Statements, AreBuiltByteForByte) {
    const StatementCase& c = GetParam();
    Project project(Parameters(c.parameters));
    if (!c.parameters.empty())
        project.group.GetProcSchema().FetchParameters("P1");
    c.set_up(project);
    EXPECT_EQ(BuildStatement(project.group, c.key, "TimeText", c.record_type), c.statement);
}

// Table T1, TimeField DT, items V1 (ftFloat 1.5) and V2 (ftInteger 7).
void TwoItems(Project& p) {
    p.group.SetTimeField("DT");
    p.Add("Item1", "V1", T::ftFloat, qz::Variant(1.5));
    p.Add("Item2", "V2", T::ftInteger, qz::Variant(7));
}

void KeyedTwoItems(Project& p) {
    TwoItems(p);
    p.group.SetKeyField("K");
}

void Procedure(Project& p) {
    p.group.SetTableType(TTableType::ttStoredProc);
    p.group.SetTableName("P1");
}

const RowKey kNoKey{};
const RowKey kFive{"5", "5"};
constexpr TRecordType kInsert = TRecordType::rtInsert;
constexpr TRecordType kUpdate = TRecordType::rtUpdate;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Examples, Statements, ::testing::Values(
    StatementCase{"Insert", TwoItems, kNoKey, kInsert, "Insert Into T1 (DT,V1,V2) values(TimeText,1.5,7)"},
    StatementCase{"Update", KeyedTwoItems, kFive, kUpdate, "Update T1 set DT=TimeText ,V1=1.5 ,V2=7  where K=5"},
    StatementCase{"Exec", [](Project& p) {
        Procedure(p);
        p.group.SetKeyField("K");
        p.group.SetTimeField("DT");
        p.Add("Item1", "V1", T::ftFloat, qz::Variant(1.5));
    }, kFive, kInsert, "exec P1 @K=5,@DT=TimeText", {"@K", "@DT"}}));

INSTANTIATE_TEST_SUITE_P(EdgeCases, Statements, ::testing::Values(
    StatementCase{"EmptyGroupBuildsNothing", [](Project&) {}, kNoKey, kInsert, ""},
    StatementCase{"EmptyGroupWithKeyButNoKeyFieldBuildsNothing", [](Project&) {}, kFive, kUpdate, ""},
    StatementCase{"EmptyFieldNameIsNeverWritten", [](Project& p) {
        p.Add("Item1", "", T::ftInteger, qz::Variant(1));
        p.Add("Item2", "V2", T::ftInteger, qz::Variant(2));
    }, kNoKey, kInsert, "Insert Into T1 (V2) values(2)"},
    StatementCase{"DuplicateFieldNamesInAnyCaseWriteTheFirst", [](Project& p) {
        p.Add("Item1", "Val", T::ftInteger, qz::Variant(1));
        p.Add("Item2", "VAL", T::ftInteger, qz::Variant(2));
        p.Add("Item3", "val", T::ftInteger, qz::Variant(3));
    }, kNoKey, kInsert, "Insert Into T1 (Val) values(1)"},
    StatementCase{"KeyAndTimeColumnsShadowItems", [](Project& p) {
        p.group.SetKeyField("K");
        p.group.SetTimeField("DT");
        p.Add("Item1", "dt", T::ftInteger, qz::Variant(1));
        p.Add("Item2", "k", T::ftInteger, qz::Variant(2));
        p.Add("Item3", "V", T::ftInteger, qz::Variant(3));
    }, kFive, kInsert, "Insert Into T1 (K,DT,V) values(5,TimeText,3)"},
    StatementCase{"TimeColumnWithEmptyTimeText", [](Project& p) {
        p.group.SetTimeField("DT");
    }, kNoKey, kInsert, "Insert Into T1 (DT) values(TimeText)"},
    StatementCase{"FixedValueIsVerbatim", [](Project& p) {
        p.group.SetTimeField("DT");
        p.AddFixed("Item1", "V", "'N/A'");
    }, kNoKey, kInsert, "Insert Into T1 (DT,V) values(TimeText,'N/A')"},
    StatementCase{"EmptyFixedValueWritesNothing", [](Project& p) {
        p.group.SetTimeField("DT");
        p.AddFixed("Item1", "V", "");
    }, kNoKey, kInsert, "Insert Into T1 (DT,V) values(TimeText,)"},
    StatementCase{"StringIsAnSqlLiteral", [](Project& p) {
        p.Add("Item1", "S", T::ftString, qz::Variant("abc"));
    }, kNoKey, kInsert, "Insert Into T1 (S) values('abc')"},
    StatementCase{"HostileStringStaysOneValue", [](Project& p) {
        p.Add("Item1", "S", T::ftString, qz::Variant("x); drop table T1; --"));
        p.Add("Item2", "W", T::ftWideString, qz::Variant("it's"));
    }, kNoKey, kInsert, "Insert Into T1 (S,W) values('x); drop table T1; --','it''s')"},
    StatementCase{"UnknownTypeWritesEmptyValue", [](Project& p) {
        p.Add("Item1", "U", T::ftUnknown, qz::Variant(42));
        p.Add("Item2", "B", T::ftBlob, qz::Variant("abc"));
    }, kNoKey, kInsert, "Insert Into T1 (U,B) values(,)"},
    StatementCase{"MidnightDateTimeWritesTheDate", [](Project& p) {
        p.Add("Item1", "D", T::ftDateTime, qz::Variant::Date(45292.0));
    }, kNoKey, kInsert, "Insert Into T1 (D) values('2024-01-01')"},
    StatementCase{"BooleanOfTwoIsTrue", [](Project& p) {
        p.Add("Item1", "B", T::ftBoolean, qz::Variant(2));
    }, kNoKey, kInsert, "Insert Into T1 (B) values(True)"},
    StatementCase{"UpdateWithEmptyKeyBuildsNothing", KeyedTwoItems, kNoKey, kUpdate, ""},
    StatementCase{"UpdateWithoutKeyFieldBuildsNothing", TwoItems, kFive, kUpdate, ""},
    StatementCase{"InsertWithEmptyKeyLeavesOutTheKeyColumn", KeyedTwoItems, kNoKey, kInsert,
                  "Insert Into T1 (DT,V1,V2) values(TimeText,1.5,7)"},
    StatementCase{"UpdateOfOnlyTheKeyIsLeftToTheDatabase", [](Project& p) {
        p.group.SetKeyField("K");
    }, kFive, kUpdate, "Update T1 set  where K=5"},
    StatementCase{"ItemsOfOtherRowsAreLeftOut", [](Project& p) {
        p.group.SetKeyField("K");
        p.Add("Item1", "A", T::ftInteger, qz::Variant(1), "5");
        p.Add("Item2", "B", T::ftInteger, qz::Variant(2), "6");
        p.Add("Item3", "C", T::ftInteger, qz::Variant(3));
    }, kFive, kUpdate, "Update T1 set A=1 ,C=3  where K=5"},
    StatementCase{"KeyIsComparedBeforeFormatting", [](Project& p) {
        p.group.SetKeyField("K");
        p.Add("Item1", "A", T::ftInteger, qz::Variant(1), "01");
        p.Add("Item2", "C", T::ftInteger, qz::Variant(3));
    }, RowKey{"1", "1"}, kUpdate, "Update T1 set C=3  where K=1"},
    StatementCase{"TextKeyIsQuotedAndMatchedUnquoted", [](Project& p) {
        p.group.SetKeyField("K");
        p.Add("Item1", "A", T::ftInteger, qz::Variant(1), "O'Neil");
        p.Add("Item2", "B", T::ftInteger, qz::Variant(2), "o'neil");
    }, RowKey{"'O''Neil'", "O'Neil"}, kUpdate, "Update T1 set A=1  where K='O''Neil'"},
    StatementCase{"ProcedureBeforeAnyParameterListing", [](Project& p) {
        Procedure(p);
        p.group.SetTimeField("DT");
        p.Add("Item1", "V1", T::ftFloat, qz::Variant(1.5));
    }, kNoKey, kInsert, "exec P1 "},
    StatementCase{"ProcedureIgnoresTheRecordType", [](Project& p) {
        Procedure(p);
        p.Add("Item1", "V1", T::ftFloat, qz::Variant(1.5));
    }, kNoKey, kUpdate, "exec P1 @V1=1.5", {"@V1"}},
    StatementCase{"ProcedureWithMoreParametersThanPairs", [](Project& p) {
        Procedure(p);
        p.Add("Item1", "V1", T::ftFloat, qz::Variant(1.5));
        p.Add("Item2", "V2", T::ftString, qz::Variant("a"));
    }, kNoKey, kInsert, "exec P1 @V1=1.5,@V2='a'", {"@RETURN_VALUE", "@V1", "@V2"}},
    StatementCase{"ProcedureNamesKeepOneAtSign", [](Project& p) {
        Procedure(p);
        p.Add("Item1", "@V1", T::ftFloat, qz::Variant(1.5));
        p.Add("Item2", "V2", T::ftInteger, qz::Variant(2));
    }, kNoKey, kInsert, "exec P1 @V1=1.5,@V2=2", {"@V1", "@V2"}}));
// clang-format on

TEST(ChangedFlags, BuildingClearsOnlyTheWrittenGainItems) {
    Project p;
    p.group.SetKeyField("K");
    TItem& written = p.Add("Item1", "A", T::ftInteger, qz::Variant(1));
    TItem& no_field = p.Add("Item2", "", T::ftInteger, qz::Variant(2));
    TItem& duplicate = p.Add("Item3", "a", T::ftInteger, qz::Variant(3));
    TItem& other_row = p.Add("Item4", "B", T::ftInteger, qz::Variant(4), "6");
    TItem& own_row = p.Add("Item5", "C", T::ftInteger, qz::Variant(5), "5");
    TItem& fixed = p.AddFixed("Item6", "F", "1");
    TItem& calc = p.AddCalc("Item7", "G", T::ftInteger, "Item1 + 1");

    EXPECT_EQ(BuildStatement(p.group, kFive, "", TRecordType::rtUpdate),
              "Update T1 set A=1 ,C=5 ,F=1 ,G=2  where K=5");
    EXPECT_FALSE(written.Changed);
    EXPECT_TRUE(no_field.Changed);
    EXPECT_TRUE(duplicate.Changed);
    EXPECT_TRUE(other_row.Changed);
    EXPECT_FALSE(own_row.Changed);
    EXPECT_TRUE(fixed.Changed);
    EXPECT_FALSE(calc.Changed);
}

TEST(ChangedFlags, AreClearedAlsoWhenTheUpdateComesOutEmpty) {
    Project p;
    p.group.SetKeyField("K");
    TItem& item = p.Add("Item1", "A", T::ftInteger, qz::Variant(1));
    EXPECT_EQ(BuildStatement(p.group, kNoKey, "", TRecordType::rtUpdate), "");
    EXPECT_FALSE(item.Changed);
}

TEST(ChangedFlags, AFailedConversionLeavesTheFailingItemChanged) {
    Project p;
    TItem& first = p.Add("Item1", "A", T::ftInteger, qz::Variant(1));
    TItem& bad = p.Add("Item2", "B", T::ftInteger, qz::Variant("abc"));
    try {
        BuildStatement(p.group, kNoKey, "", TRecordType::rtInsert);
        FAIL() << "the statement was built";
    } catch (const ConversionError& e) {
        EXPECT_NE(std::string(e.what()).find("\"abc\""), std::string::npos) << e.what();
    }
    EXPECT_FALSE(first.Changed);
    EXPECT_TRUE(bad.Changed);
}

TEST(ItemTests, IsKeyAndHasNewValue) {
    Project p;
    TItem& plain = p.Add("Item1", "A", T::ftInteger);
    TItem& keyed = p.Add("Item2", "B", T::ftInteger, {}, "1");
    TItem& fixed = p.AddFixed("Item3", "C", "x");
    EXPECT_FALSE(IsKey(plain));
    EXPECT_TRUE(IsKey(keyed));
    plain.Changed = false;
    EXPECT_FALSE(HasNewValue(plain));
    plain.Changed = true;
    EXPECT_TRUE(HasNewValue(plain));
    fixed.Changed = false;
    EXPECT_TRUE(HasNewValue(fixed));
}

struct KeyCase {
    const char* key;
    TFieldType type;
    RowKey expected;
};

class KeyTexts : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyTexts, FormatTheKeyWithTheGroupsKeyType) {
    Project p;
    p.group.SetKeyFieldType(GetParam().type);
    TItem& item = p.Add("Item1", "A", T::ftInteger, {}, GetParam().key);
    const RowKey key = KeyText(item);
    EXPECT_EQ(key.Sql, GetParam().expected.Sql);
    EXPECT_EQ(key.Match, GetParam().expected.Match);
}

INSTANTIATE_TEST_SUITE_P(Types, KeyTexts,
                         ::testing::Values(KeyCase{"01", T::ftInteger, {"1", "1"}},
                                           KeyCase{"A", T::ftString, {"'A'", "A"}},
                                           KeyCase{"it's", T::ftWideString, {"'it''s'", "it's"}},
                                           KeyCase{"A", T::ftUnknown, {"", ""}},
                                           KeyCase{"2.5", T::ftFloat, {"2.5", "2.5"}},
                                           KeyCase{"2024-01-01", T::ftDate, {"'2024-01-01'", "2024-01-01"}}));

TEST(KeyRows, AKeyedItemBelongsToTheRowOfItsOwnKey) {
    for (auto [type, key, where] : {std::tuple{T::ftString, "A", "'A'"}, std::tuple{T::ftInteger, "7", "7"},
                                    std::tuple{T::ftDate, "2024-01-01", "'2024-01-01'"}}) {
        Project p;
        p.group.SetKeyField("K");
        p.group.SetKeyFieldType(type);
        TItem& item = p.Add("Item1", "V", T::ftInteger, qz::Variant(3), key);
        EXPECT_EQ(BuildStatement(p.group, KeyText(item), "", TRecordType::rtUpdate),
                  std::string("Update T1 set V=3  where K=") + where)
            << ToString(type);
    }
}

TEST(KeyTextFailure, NamesTheKeyAndTheType) {
    Project p;
    p.group.SetKeyFieldType(T::ftInteger);
    TItem& item = p.Add("Item1", "A", T::ftInteger, {}, "abc");
    try {
        KeyText(item);
        FAIL();
    } catch (const ConversionError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot convert the text \"abc\" to ftInteger"),
                  std::string::npos)
            << e.what();
    }
}

// Runs with the local time zone eight hours ahead of UTC, then restores the previous one.
class EightHoursAhead : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TZ");
        had_zone_ = old != nullptr;
        if (had_zone_)
            old_zone_ = old;
        setenv("TZ", "CST-8", 1);
        tzset();
    }
    void TearDown() override {
        if (had_zone_)
            setenv("TZ", old_zone_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool had_zone_ = false;
    std::string old_zone_;
};

TEST_F(EightHoursAhead, TimeTextIsLocalTime) {
    Project p;
    TItem& item = p.Add("Item1", "A", T::ftInteger);
    item.TimeStamp = 133485408000000000ULL + 8ULL * 3600ULL * 10000000ULL; // 2024-01-01 08:00:00 UTC
    EXPECT_EQ(TimeText(item, T::ftDateTime), "'2024-01-01 16:00:00'");
    EXPECT_EQ(TimeText(item, T::ftTime), "'16:00:00'");
    EXPECT_EQ(TimeText(item, T::ftDate), "'2024-01-01'");
    EXPECT_EQ(TimeText(item, T::ftFloat), "45292.6666666667");
    EXPECT_EQ(TimeText(item, T::ftUnknown), "");
}

TEST(CurrentTime, UsesTheTimeFieldTypeOrDateTime) {
    Project p;
    const double now = 45292.75;
    EXPECT_EQ(CurrentTimeText(p.group, now), "'2024-01-01 18:00:00'");
    p.group.SetTimeFieldType(T::ftDate);
    EXPECT_EQ(CurrentTimeText(p.group, now), "'2024-01-01'");
    p.group.SetTimeFieldType(T::ftString);
    EXPECT_EQ(CurrentTimeText(p.group, now), "'2024-01-01 18:00:00'");
    p.group.SetTimeFieldType(T::ftDateTime);
    EXPECT_THAT(CurrentTimeText(p.group),
                ::testing::MatchesRegex("'[0-9]{4}-[0-9]{2}-[0-9]{2}( [0-9]{2}:[0-9]{2}:[0-9]{2})?'"));
}

} // namespace
} // namespace tagsink
