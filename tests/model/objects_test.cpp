#include "model/group.hpp"
#include "model/item.hpp"
#include "model/project_error.hpp"
#include "model/server.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tagsink {
namespace {

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ProjectError& e) {
        return e.what();
    }
    return "(no failure)";
}

TEST(Objects, NewServerIsNamedManager) {
    TServer root;
    EXPECT_EQ(root.Name(), "Manager");
    EXPECT_EQ(root.Description(), "Manager");
    EXPECT_EQ(root.BufferCount(), 0);
    EXPECT_EQ(root.BufferTime(), 0);
    EXPECT_EQ(root.GroupCount(), 0u);
    EXPECT_FALSE(root.Dirty());
    EXPECT_EQ(root.ObserverCount(), 1u); // itself
    EXPECT_EQ(root.Owner(), nullptr);
}

TEST(Objects, NewGroupTakesItsFirstNameAsDescription) {
    TServer root;
    TGroup& group = TGroup::Create(root);
    EXPECT_EQ(group.Description(), "");
    group.SetName("Group1");
    EXPECT_EQ(group.Description(), "Group1");
    EXPECT_EQ(group.RecordInterval(), 1000);
    EXPECT_EQ(group.UpdateRate(), 1000);
    EXPECT_EQ(group.Deadband(), 0.0f);
    EXPECT_EQ(group.TableType(), TTableType::ttTable);
    EXPECT_EQ(group.RecordType(), TRecordType::rtInsert);
    EXPECT_EQ(group.TrigType(), TTrigType::ttSnapShot);
    EXPECT_EQ(group.TimeFieldType(), TFieldType::ftUnknown);
    EXPECT_EQ(group.KeyFieldType(), TFieldType::ftUnknown);
    EXPECT_EQ(&group.Server(), &root);
}

TEST(Objects, NewItemHasInitialValuesAndNoObservers) {
    TServer root;
    TItem& item = TItem::Create(TGroup::Create(root));
    EXPECT_EQ(item.GainType(), TGainType::gtGain);
    EXPECT_EQ(item.FieldType(), TFieldType::ftUnknown);
    EXPECT_EQ(item.FieldName(), "");
    EXPECT_EQ(item.ItemName(), "");
    EXPECT_EQ(item.DefaultValue(), "");
    EXPECT_EQ(item.CalcExpr(), "");
    EXPECT_EQ(item.Key(), "");
    EXPECT_EQ(item.ObserverCount(), 0u);
    EXPECT_EQ(item.GetClassInfo().FindProperty("Description"), nullptr);
    // Run-time fields start cleared.
    EXPECT_TRUE(item.Value.isEmpty());
    EXPECT_EQ(item.Quality, 0);
    EXPECT_EQ(item.TimeStamp, 0u);
    EXPECT_FALSE(item.Changed);
    item.Value = qz::Variant(1.5);
    EXPECT_EQ(item.Value.vt(), VT_R8);
}

TEST(Objects, RenamingKeepsOrFillsDescription) {
    TServer root;
    TGroup& group = TGroup::Create(root);
    group.SetName("Group1");
    group.SetName("Group2");
    EXPECT_EQ(group.Description(), "Group1");
    group.SetDescription("");
    group.SetName("Group3");
    EXPECT_EQ(group.Description(), "Group3");
    // Setting the same name again still notifies.
    group.SetDescription("");
    group.SetName("Group3");
    EXPECT_EQ(group.Description(), "Group3");
}

TEST(Objects, InvalidNamesAreRefusedWithTheirMessage) {
    TServer root;
    TGroup& group = TGroup::Create(root);
    group.SetName("Group1");
    EXPECT_EQ(MessageOf([&] { group.SetName("1abc"); }), "''1abc'' is not a valid component name");
    EXPECT_EQ(MessageOf([&] { group.SetName("a b"); }), "''a b'' is not a valid component name");
    EXPECT_EQ(MessageOf([&] { group.SetName("T\xC3\xA9"); }), "''T\xC3\xA9'' is not a valid component name");
    EXPECT_EQ(MessageOf([&] { group.SetName(std::string(256, 'a')); }),
              "''" + std::string(256, 'a') + "'' is not a valid component name");
    EXPECT_EQ(group.Name(), "Group1");
    group.SetName("_x9");
    group.SetName(std::string(255, 'b'));
    group.SetName("");
    EXPECT_EQ(group.Name(), "");
}

TEST(Objects, DuplicateNamesAreRefusedWithoutRegardToCase) {
    TServer root;
    TGroup& g1 = TGroup::Create(root);
    TGroup& g2 = TGroup::Create(root);
    g1.SetName("Group1");
    EXPECT_EQ(MessageOf([&] { g2.SetName("GROUP1"); }), "A component named GROUP1 already exists");
    EXPECT_EQ(g2.Name(), "");
    // Changing only the letter case of one's own name is allowed.
    g1.SetName("group1");
    EXPECT_EQ(root.FindGroup("GROUP1"), &g1);
    // The old name is free again after a rename and after a delete.
    g1.SetName("Other");
    g2.SetName("Group1");
    root.DeleteChild(g2);
    EXPECT_EQ(root.FindGroup("Group1"), nullptr);
    TGroup& g3 = TGroup::Create(root);
    g3.SetName("Group1");
    // Empty names never collide; names of different owners never collide.
    TItem& a = TItem::Create(g1);
    TItem& b = TItem::Create(g1);
    EXPECT_EQ(a.Name(), b.Name());
    a.SetName("Item1");
    TItem::Create(g3).SetName("Item1");
}

TEST(Objects, DirtyReadsTheTreeAndClearsIt) {
    TServer root;
    TGroup& group = TGroup::Create(root);
    TItem& item = TItem::Create(group);
    item.SetDirty(true);
    EXPECT_TRUE(root.Dirty());
    EXPECT_TRUE(group.Dirty());
    root.SetDirty(true);
    group.SetDirty(false);
    EXPECT_FALSE(item.Dirty());
    EXPECT_TRUE(root.Dirty()); // its own flag is still set
    item.SetDirty(true);
    root.SetDirty(false);
    EXPECT_FALSE(item.Dirty());
    EXPECT_FALSE(root.Dirty());
}

TEST(Objects, NamePath) {
    TServer root;
    TGroup& group = TGroup::Create(root);
    group.SetName("Group1");
    TItem& item = TItem::Create(group);
    item.SetName("Item1");
    EXPECT_EQ(item.GetNamePath(), "Manager.Group1.Item1");
    root.SetName("");
    EXPECT_EQ(item.GetNamePath(), "Group1.Item1");
    group.SetName("");
    EXPECT_EQ(item.GetNamePath(), "Item1");
}

TEST(Objects, ItemFactorySetsTheColumnAndAddsNothingForATakenName) {
    TServer root;
    TGroup& group = TGroup::Create(root);
    TItem& item = TItem::Create(group, "Level", "Tank1.Level", "LEVEL", TFieldType::ftFloat, "t1");
    EXPECT_EQ(item.Name(), "Level");
    EXPECT_EQ(item.ItemName(), "Tank1.Level");
    EXPECT_EQ(item.FieldName(), "LEVEL");
    EXPECT_EQ(item.FieldType(), TFieldType::ftFloat);
    EXPECT_EQ(item.Key(), "t1");
    EXPECT_EQ(&item.Group(), &group);

    EXPECT_THROW(TItem::Create(group, "LEVEL", "Tank2.Level", "L2", TFieldType::ftFloat), ProjectError);
    ASSERT_EQ(group.ItemCount(), 1u);
    EXPECT_EQ(&group.Item(0), &item);
    EXPECT_EQ(TItem::Create(group, "Flow", "Tank1.Flow", "FLOW", TFieldType::ftFloat).Key(), "");
    EXPECT_EQ(group.ItemCount(), 2u);
}

// Records the order in which objects are destroyed.
struct DestroyLog : RunTimeObject {
    DestroyLog(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name)) {}
    ~DestroyLog() override { log_.push_back(name_); }
    std::vector<std::string>& log_;
    std::string name_;
};

TEST(Objects, DestructionRunsLastChildFirst) {
    std::vector<std::string> log;
    {
        TServer root;
        for (int i = 1; i <= 3; ++i) {
            TGroup& group = TGroup::Create(root);
            group.SetName("Group" + std::to_string(i));
            group.SnapshotWindow = std::make_unique<DestroyLog>(log, group.Name());
        }
        root.RecordThread = std::make_unique<DestroyLog>(log, "thread");
    }
    EXPECT_EQ(log, (std::vector<std::string>{"thread", "Group3", "Group2", "Group1"}));
}

TEST(Objects, DeleteChildKeepsTheOrderOfTheOthers) {
    TServer root;
    TGroup& group = TGroup::Create(root);
    std::vector<TItem*> items;
    for (int i = 1; i <= 4; ++i) {
        items.push_back(&TItem::Create(group));
        items.back()->SetName("Item" + std::to_string(i));
    }
    group.DeleteChild(*items[1]);
    ASSERT_EQ(group.ItemCount(), 3u);
    EXPECT_EQ(group.Item(0).Name(), "Item1");
    EXPECT_EQ(group.Item(1).Name(), "Item3");
    EXPECT_EQ(group.Item(2).Name(), "Item4");
    EXPECT_EQ(group.FindItem("item3"), items[2]);
}

TEST(Objects, ObserversAreUniqueAndDiscardedWhenEmpty) {
    TServer root;
    TGroup& group = TGroup::Create(root);
    EXPECT_EQ(group.ObserverCount(), 1u);
    group.AddObserver(group);
    EXPECT_EQ(group.ObserverCount(), 1u);
    group.AddObserver(root);
    EXPECT_EQ(group.ObserverCount(), 2u);
    // The root observes the group now: naming the group fills the root's empty Description.
    root.SetDescription("");
    group.SetName("G");
    EXPECT_EQ(root.Description(), "G");
    group.RemoveObserver(group);
    group.RemoveObserver(root);
    EXPECT_EQ(group.ObserverCount(), 0u);
    group.SetDescription("");
    group.SetName("H");
    EXPECT_EQ(group.Description(), ""); // nobody listens any more
}

TEST(Objects, SettingDBStringClosesAnOpenConnection) {
    class Connection : public DbConnection {
    public:
        void SetConnectionString(std::string_view t) override { text.assign(t); }
        std::string ConnectionString() const override { return text; }
        bool IsConnected() const override { return open; }
        void Open(std::chrono::seconds) override { open = true; }
        void Execute(std::string_view) override {}
        void Close() noexcept override {
            open = false;
            ++closes;
        }
        std::vector<std::string> ListTables() override { return {}; }
        std::vector<std::string> ListProcedures() override { return {}; }
        std::vector<std::string> ListFields(std::string_view) override { return {}; }
        std::vector<ProcParameter> ListProcedureParameters(std::string_view) override { return {}; }
        std::string text;
        bool open = false;
        int closes = 0;
    };
    auto owned = std::make_unique<Connection>();
    Connection& connection = *owned;
    TServer root(std::move(owned));
    root.SetDBString("a");
    EXPECT_EQ(connection.closes, 0);
    EXPECT_EQ(connection.text, "a");
    connection.Open(std::chrono::seconds(10));
    root.SetDBString("b");
    EXPECT_EQ(connection.closes, 1);
    EXPECT_FALSE(connection.IsConnected());
    EXPECT_EQ(connection.text, "b");
    EXPECT_EQ(root.DBString(), "b");
}

TEST(Objects, SettersLeaveDirtyAlone) {
    TServer root;
    TGroup& group = TGroup::Create(root);
    group.SetTableName("T");
    group.SetName("G");
    root.SetBufferCount(5);
    EXPECT_FALSE(root.Dirty());
}

TEST(Objects, ManyItemsLoadWithConstantTimeNameChecks) {
    TServer root;
    TGroup& group = TGroup::Create(root);
    for (int i = 0; i < 100000; ++i)
        TItem::Create(group).SetName("Item" + std::to_string(i));
    EXPECT_EQ(group.ItemCount(), 100000u);
    EXPECT_EQ(group.FindItem("ITEM99999"), &group.Item(99999));
    EXPECT_THROW(TItem::Create(group).SetName("item5"), ProjectError);
}

} // namespace
} // namespace tagsink
