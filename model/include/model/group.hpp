// TGroup: one OPC group on the root's server and one destination table or stored procedure.
//
// Published properties, in declared order (the order of the project file):
//   TableType, TableName, TimeField, TimeFieldType, KeyField, KeyFieldType, RecordInterval, RecordType,
//   TrigType, UpdateRate, Deadband, Description.
#pragma once

#include "model/db_schema.hpp"
#include "model/enumerations.hpp"
#include "model/named_item.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tagsink {

class TServer;
class TItem;

class TGroup : public TNamedItem {
    struct CreateToken {
        explicit CreateToken() = default;
    };

public:
    /// Creates an unnamed group at the end of the root's group list; it binds its two schema objects to
    /// the root's connection and observes itself, so its first name becomes its Description.
    static TGroup& Create(TServer& owner);
    TGroup(CreateToken, TServer& owner);
    /// Destroys its items (last first), the snapshot timer object and its schema objects.
    ~TGroup() override;

    static const ClassInfo& StaticClassInfo();
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }

    TServer& Server() const;

    // Published properties.
    TTableType TableType() const { return tableType_; }
    void SetTableType(TTableType value) {
        if (value != tableType_)
            tableType_ = value;
    }
    const std::string& TableName() const { return tableName_; }
    void SetTableName(std::string_view value) {
        if (value != tableName_)
            tableName_.assign(value);
    }
    const std::string& TimeField() const { return timeField_; }
    void SetTimeField(std::string_view value) { timeField_.assign(value); }
    TFieldType TimeFieldType() const { return timeFieldType_; }
    void SetTimeFieldType(TFieldType value) { timeFieldType_ = value; }
    const std::string& KeyField() const { return keyField_; }
    void SetKeyField(std::string_view value) { keyField_.assign(value); }
    TFieldType KeyFieldType() const { return keyFieldType_; }
    void SetKeyFieldType(TFieldType value) { keyFieldType_ = value; }
    std::int32_t RecordInterval() const { return recordInterval_; }
    void SetRecordInterval(std::int32_t value) { recordInterval_ = value; }
    TRecordType RecordType() const { return recordType_; }
    void SetRecordType(TRecordType value) { recordType_ = value; }
    TTrigType TrigType() const { return trigType_; }
    void SetTrigType(TTrigType value) { trigType_ = value; }
    std::int32_t UpdateRate() const { return updateRate_; }
    void SetUpdateRate(std::int32_t value) { updateRate_ = value; }
    float Deadband() const { return deadband_; }
    void SetDeadband(float value) { deadband_ = value; }
    const std::string& Description() const { return description_; }
    void SetDescription(std::string_view value) { description_.assign(value); }

    /// Kind 0 (named): an empty Description takes the name.
    void ObjectChanged(TNamedItem& sender, std::uint8_t kind) override;

    std::size_t ItemCount() const { return ChildCount(); }
    TItem& Item(std::size_t index) const;
    /// The item with that name (ASCII case ignored), or nullptr.
    TItem* FindItem(std::string_view name) const;

    /// The schema objects, bound to the root's connection.
    TableSchema& GetTableSchema() const { return *tableSchema_; }
    ProcSchema& GetProcSchema() const { return *procSchema_; }

    // Run-time fields of the recording engine.
    std::unique_ptr<RunTimeObject> SnapshotWindow; // the snapshot timer while a ttSnapShot group runs
    std::uint32_t GroupHandle = 0;                 // toolkit group handle

private:
    std::unique_ptr<ProcSchema> procSchema_;
    std::unique_ptr<TableSchema> tableSchema_;
    TTrigType trigType_ = TTrigType::ttSnapShot;
    std::int32_t updateRate_ = 1000;
    TRecordType recordType_ = TRecordType::rtInsert;
    std::int32_t recordInterval_ = 1000;
    float deadband_ = 0.0f;
    std::string keyField_;
    std::string timeField_;
    std::string tableName_;
    TTableType tableType_ = TTableType::ttTable;
    TFieldType timeFieldType_ = TFieldType::ftUnknown;
    TFieldType keyFieldType_ = TFieldType::ftUnknown;
    std::string description_;
};

} // namespace tagsink
