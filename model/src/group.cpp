#include "model/group.hpp"

#include "model/item.hpp"
#include "model/server.hpp"
#include "prop_table.hpp"

namespace tagsink {

const ClassInfo& TGroup::StaticClassInfo() {
    using namespace detail;
    static const ClassInfo kInfo(
        "TGroup", &TNamedItem::StaticClassInfo(),
        {
            EnumProp("TableType", &TGroup::TableType, &TGroup::SetTableType),
            StringProp("TableName", &TGroup::TableName, &TGroup::SetTableName),
            StringProp("TimeField", &TGroup::TimeField, &TGroup::SetTimeField),
            EnumProp("TimeFieldType", &TGroup::TimeFieldType, &TGroup::SetTimeFieldType),
            StringProp("KeyField", &TGroup::KeyField, &TGroup::SetKeyField),
            EnumProp("KeyFieldType", &TGroup::KeyFieldType, &TGroup::SetKeyFieldType),
            IntegerProp("RecordInterval", &TGroup::RecordInterval, &TGroup::SetRecordInterval),
            EnumProp("RecordType", &TGroup::RecordType, &TGroup::SetRecordType),
            EnumProp("TrigType", &TGroup::TrigType, &TGroup::SetTrigType),
            IntegerProp("UpdateRate", &TGroup::UpdateRate, &TGroup::SetUpdateRate),
            SingleProp("Deadband", &TGroup::Deadband, &TGroup::SetDeadband),
            StringProp("Description", &TGroup::Description, &TGroup::SetDescription),
            EnumProp("RecordTimeSource", &TGroup::RecordTimeSource, &TGroup::SetRecordTimeSource),
        });
    return kInfo;
}

TGroup& TGroup::Create(TServer& owner) {
    return Adopt(owner, std::make_unique<TGroup>(CreateToken{}, owner));
}

TGroup::TGroup(CreateToken, TServer& owner)
    : TNamedItem(&owner), proc_schema_(std::make_unique<ProcSchema>(owner.DBConnection())),
      table_schema_(std::make_unique<TableSchema>(owner.DBConnection())) {
    AddObserver(*this);
}

TGroup::~TGroup() {
    DestroyChildren();
    SnapshotWindow.reset();
    proc_schema_.reset();
    table_schema_.reset();
    RemoveObserver(*this);
}

TServer& TGroup::Server() const {
    return static_cast<TServer&>(*Owner());
}

void TGroup::ObjectChanged(TNamedItem& sender, std::uint8_t kind) {
    if (kind == 0 && description_.empty())
        description_ = sender.Name();
}

TItem& TGroup::Item(std::size_t index) const {
    return static_cast<TItem&>(Child(index));
}

TItem* TGroup::FindItem(std::string_view name) const {
    return static_cast<TItem*>(FindChild(name));
}

} // namespace tagsink
