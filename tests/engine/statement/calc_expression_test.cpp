// Calculated items: expressions over the other items of the group, and how failures are reported.
#include "engine/statement/calc_expression.hpp"
#include "engine/statement/statement_builder.hpp"
#include "engine/statement/statement_log.hpp"

#include "statement_fixture.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace tagsink {
namespace {

using testing::Project;
using T = TFieldType;

struct LogLine {
    std::string unit, op, text;
};

// Collects the builder's log lines for one test, and removes the log afterwards.
class CalcItems : public ::testing::Test {
protected:
    void SetUp() override {
        SetStatementLog([this](const std::string& unit, const std::string& op, const std::string& text) {
            lines_.push_back({unit, op, text});
        });
        p_.Add("Item1", "A", T::ftInteger, qz::Variant(50));
        p_.Add("Item2", "B", T::ftFloat, qz::Variant(2.5));
        p_.Add("Empty", "C", T::ftFloat);
    }
    void TearDown() override { SetStatementLog(nullptr); }

    std::string Calc(const std::string& expr, TFieldType type = T::ftFloat) {
        TItem& item = p_.AddCalc("Calc" + std::to_string(++count_), "", type, expr);
        return ValueText(item);
    }

    Project p_;
    std::vector<LogLine> lines_;
    int count_ = 0;
};

struct CalcCase {
    const char* expr;
    const char* text;
};

void PrintTo(const CalcCase& c, std::ostream* os) {
    *os << c.expr;
}

class CalcValues : public CalcItems, public ::testing::WithParamInterface<CalcCase> {};

TEST_P(CalcValues, EvaluateOverTheGroupsItems) {
    EXPECT_EQ(Calc(GetParam().expr), GetParam().text);
    EXPECT_TRUE(lines_.empty()) << lines_.front().text;
}

INSTANTIATE_TEST_SUITE_P(Expressions, CalcValues,
                         ::testing::Values(CalcCase{"Item1 * 0.1 + Item2", "7.5"},
                                           CalcCase{"item1 + ITEM2", "52.5"}, CalcCase{"Empty + 1", "1"},
                                           CalcCase{"(Item1 - 10) / 4", "10"}, CalcCase{"Item2 ^ 2", "6.25"},
                                           CalcCase{"max(Item1, Item2, 70)", "70"},
                                           CalcCase{"Item1 > 40 ? 1 : 0", "1"},
                                           CalcCase{"sqrt(Item1 * 2)", "10"}, CalcCase{"abs(-Item2)", "2.5"},
                                           CalcCase{"Item1 >= 50 && Item2 < 3", "1"},
                                           CalcCase{"_pi", "3.14159265358979"}, CalcCase{"ln(_e)", "1"},
                                           CalcCase{"1e3 / 8", "125"}));

TEST_F(CalcItems, ResultIsFormattedWithTheFieldType) {
    EXPECT_EQ(Calc("Item2", T::ftInteger), "2");
    EXPECT_EQ(Calc("Item1", T::ftString), "'50'");
    EXPECT_EQ(Calc("Item1", T::ftBoolean), "True");
    EXPECT_EQ(Calc("Item1", T::ftUnknown), "");
}

TEST_F(CalcItems, ReferencesFollowEachItemsOwnValue) {
    p_.AddFixed("Fixed", "F", "10");
    p_.Add("Flag", "G", T::ftBoolean, qz::Variant(true));
    p_.Add("Text", "H", T::ftString, qz::Variant("4.5"));
    p_.AddCalc("Double", "", T::ftFloat, "Item1 * 2");
    EXPECT_EQ(Calc("Fixed + Flag + Text + Double"), "115.5");
}

struct FailCase {
    const char* expr;
    const char* message_part;
};

void PrintTo(const FailCase& c, std::ostream* os) {
    *os << c.expr;
}

class CalcFailures : public CalcItems, public ::testing::WithParamInterface<FailCase> {};

TEST_P(CalcFailures, GiveAnEmptyTextAndOneLogLine) {
    EXPECT_EQ(Calc(GetParam().expr), "");
    ASSERT_EQ(lines_.size(), 1u);
    EXPECT_EQ(lines_[0].unit, "uMap");
    EXPECT_EQ(lines_[0].op, "TItem.ValueText");
    EXPECT_NE(lines_[0].text.find("Calc1"), std::string::npos) << lines_[0].text;
    EXPECT_NE(lines_[0].text.find(GetParam().message_part), std::string::npos) << lines_[0].text;
}

INSTANTIATE_TEST_SUITE_P(
    Expressions, CalcFailures,
    ::testing::Values(FailCase{"Item1 +", "Unexpected end of expression"}, FailCase{"(Item1", "parenthesis"},
                      FailCase{"", "empty"}, FailCase{"Nope * 2", "unknown item \"Nope\""},
                      FailCase{"Item1 / 0", "infinite"}, FailCase{"sqrt(-1)", "not a number"},
                      FailCase{"Item1 % 3", "Unexpected token"}, FailCase{"Calc1 + 1", "circular reference"},
                      FailCase{"Item1 * 1e300 * 1e300", "infinite"}));

TEST_F(CalcItems, FailuresOfReferencedItemsNameThem) {
    p_.Add("Text", "H", T::ftString, qz::Variant("abc"));
    p_.AddFixed("Fixed", "F", "'N/A'");
    p_.AddCalc("Loop1", "", T::ftFloat, "Loop2");
    p_.AddCalc("Loop2", "", T::ftFloat, "Loop1");
    EXPECT_EQ(Calc("Text + 1"), "");
    EXPECT_EQ(Calc("Fixed + 1"), "");
    EXPECT_EQ(Calc("Loop1"), "");
    ASSERT_EQ(lines_.size(), 3u);
    EXPECT_NE(lines_[0].text.find("Text holds the text \"abc\""), std::string::npos) << lines_[0].text;
    EXPECT_NE(lines_[1].text.find("DefaultValue of Fixed"), std::string::npos) << lines_[1].text;
    EXPECT_NE(lines_[2].text.find("circular reference"), std::string::npos) << lines_[2].text;
}

TEST_F(CalcItems, AFormattingFailureIsLoggedNotThrown) {
    EXPECT_EQ(Calc("Item1 * 1e10", T::ftInteger), "");
    ASSERT_EQ(lines_.size(), 1u);
    EXPECT_NE(lines_[0].text.find("ftInteger"), std::string::npos) << lines_[0].text;
}

TEST_F(CalcItems, TheStatementKeepsItsOtherValues) {
    p_.AddCalc("Sum", "S", T::ftFloat, "Item1 + Item2");
    p_.AddCalc("Bad", "X", T::ftFloat, "Item1 +");
    EXPECT_EQ(BuildStatement(p_.group, RowKey{}, "", TRecordType::rtInsert),
              "Insert Into T1 (A,B,C,S,X) values(50,2.5,0,52.5,)");
    EXPECT_EQ(lines_.size(), 1u);
}

TEST_F(CalcItems, ValuesAreReadAtEachEvaluation) {
    TItem& calc = p_.AddCalc("Sum", "S", T::ftFloat, "Item1 + Item2");
    EXPECT_EQ(ValueText(calc), "52.5");
    p_.group.Item(0).Value = qz::Variant(100);
    EXPECT_EQ(ValueText(calc), "102.5");
}

TEST(CalcWithoutLog, FailsQuietly) {
    SetStatementLog(nullptr);
    Project p;
    TItem& item = p.AddCalc("Calc", "X", T::ftFloat, "1 +");
    EXPECT_EQ(ValueText(item), "");
    EXPECT_THROW(EvaluateCalcExpr(item), CalcError);
}

} // namespace
} // namespace tagsink
