// GroupRows, the per-group plan of which items go into which row, and BuildStatement from such a plan:
// the same rows as the walk over every item, in child order, with the same name rules.
#include "engine/statement/group_rows.hpp"
#include "engine/statement/statement_builder.hpp"

#include "statement_fixture.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tagsink {
namespace {

using testing::Project;
using T = TFieldType;

std::vector<std::uint32_t> KeyedOf(const GroupRows& rows, const std::string& key) {
    auto [data, count] = rows.Keyed(key);
    return std::vector<std::uint32_t>(data, data + count);
}

TEST(GroupRows, SplitsItemsIntoKeylessAndPerKeyInChildOrder) {
    Project p;
    p.Add("I0", "A", T::ftInteger, qz::Variant(0));
    p.Add("I1", "B", T::ftInteger, qz::Variant(1), "k1");
    p.Add("I2", "C", T::ftInteger, qz::Variant(2), "k2");
    p.Add("I3", "D", T::ftInteger, qz::Variant(3));
    p.Add("I4", "E", T::ftInteger, qz::Variant(4), "k1");
    p.Add("I5", "F", T::ftInteger, qz::Variant(5), "K1");
    const GroupRows rows(p.group);
    EXPECT_EQ(rows.ItemCount(), 6u);
    EXPECT_EQ(rows.Keyless(), (std::vector<std::uint32_t>{0, 3}));
    EXPECT_EQ(KeyedOf(rows, "k1"), (std::vector<std::uint32_t>{1, 4}));
    EXPECT_EQ(KeyedOf(rows, "K1"), (std::vector<std::uint32_t>{5})); // the key is compared with its case
    EXPECT_EQ(KeyedOf(rows, "k2"), (std::vector<std::uint32_t>{2}));
    EXPECT_TRUE(KeyedOf(rows, "k3").empty());
    EXPECT_TRUE(KeyedOf(rows, "").empty());
}

TEST(GroupRows, RowMergesKeylessAndKeyedItemsInChildOrder) {
    Project p;
    p.group.SetKeyField("K");
    p.group.SetTimeField("DT");
    p.Add("I0", "A", T::ftInteger, qz::Variant(0));
    p.Add("I1", "B", T::ftInteger, qz::Variant(1), "k1");
    p.Add("I2", "C", T::ftInteger, qz::Variant(2), "k2");
    p.Add("I3", "D", T::ftInteger, qz::Variant(3));
    p.Add("I4", "E", T::ftInteger, qz::Variant(4), "k1");
    const GroupRows rows(p.group);
    EXPECT_EQ(BuildStatement(p.group, rows, RowKey{"'k1'", "k1"}, "TimeText", TRecordType::rtInsert),
              "Insert Into T1 (K,DT,A,B,D,E) values('k1',TimeText,0,1,3,4)");
    EXPECT_EQ(BuildStatement(p.group, rows, RowKey{"'k2'", "k2"}, "TimeText", TRecordType::rtInsert),
              "Insert Into T1 (K,DT,A,C,D) values('k2',TimeText,0,2,3)");
    EXPECT_EQ(BuildStatement(p.group, rows, RowKey{}, "TimeText", TRecordType::rtInsert),
              "Insert Into T1 (DT,A,D) values(TimeText,0,3)");
}

TEST(GroupRows, FirstNameWinsAcrossKeylessAndKeyedItems) {
    Project p;
    p.group.SetKeyField("K");
    p.Add("I0", "v", T::ftInteger, qz::Variant(10), "k1"); // keyed, first in child order
    p.Add("I1", "V", T::ftInteger, qz::Variant(11));       // key-less, same name in another case
    p.Add("I2", "k", T::ftInteger, qz::Variant(12));       // the key field's name
    TItem& later = p.Add("I3", "W", T::ftInteger, qz::Variant(13));
    const GroupRows rows(p.group);
    EXPECT_EQ(BuildStatement(p.group, rows, RowKey{"1", "k1"}, "", TRecordType::rtInsert),
              "Insert Into T1 (K,v,W) values(1,10,13)");
    EXPECT_FALSE(later.Changed);
    EXPECT_TRUE(p.group.Item(1).Changed); // skipped for its name: left as it was
    // Without the key the key-less V is the first of its name.
    EXPECT_EQ(BuildStatement(p.group, rows, RowKey{}, "", TRecordType::rtInsert),
              "Insert Into T1 (V,k,W) values(11,12,13)");
}

TEST(GroupRows, LongRowsKeepTheFirstOfEachNameWithoutRegardToCase) {
    // Past the length where names are looked up through a hash: the same rule as a short row.
    Project p;
    p.group.SetTimeField("DT");
    std::string names, values;
    for (int i = 0; i < 40; ++i) {
        p.Add("I" + std::to_string(i), "F" + std::to_string(i), T::ftInteger, qz::Variant(i));
        names += ",F" + std::to_string(i);
        values += "," + std::to_string(i);
    }
    p.Add("Dup1", "f3", T::ftInteger, qz::Variant(99));
    p.Add("Dup2", "dt", T::ftInteger, qz::Variant(98));
    p.Add("Last", "Z", T::ftInteger, qz::Variant(7));
    const GroupRows rows(p.group);
    EXPECT_EQ(BuildStatement(p.group, rows, RowKey{}, "TT", TRecordType::rtInsert),
              "Insert Into T1 (DT" + names + ",Z) values(TT" + values + ",7)");
}

TEST(GroupRows, RowOfOneKeyAmongManyHoldsOnlyItsOwnItems) {
    Project p;
    p.group.SetKeyField("K");
    p.group.SetKeyFieldType(T::ftString);
    for (int i = 0; i < 5000; ++i)
        p.Add("I" + std::to_string(i), "V", T::ftInteger, qz::Variant(i), "K" + std::to_string(i));
    p.Add("Site", "S", T::ftString, qz::Variant("north"));
    const GroupRows rows(p.group);
    EXPECT_EQ(BuildStatement(p.group, rows, RowKey{"'K4321'", "K4321"}, "", TRecordType::rtInsert),
              "Insert Into T1 (K,V,S) values('K4321',4321,'north')");
    EXPECT_FALSE(p.group.Item(4321).Changed);
    EXPECT_TRUE(p.group.Item(4320).Changed);
    EXPECT_TRUE(p.group.Item(4322).Changed);
}

} // namespace
} // namespace tagsink
