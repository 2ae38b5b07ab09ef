// TGroup: one OPC group on the root's server and one destination table or stored procedure.
//
// Published properties, in declared order (the order of the project file):
//   TableType, TableName, TimeField, TimeFieldType, KeyField, KeyFieldType, RecordInterval, RecordType,
//   TrigType, UpdateRate, Deadband, Description, RecordTimeSource (written only when not tsAuto).
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
    TTableType TableType() const { return table_type_; }
    void SetTableType(TTableType value) {
        if (value != table_type_)
            table_type_ = value;
    }
    const std::string& TableName() const { return table_name_; }
    void SetTableName(std::string_view value) {
        if (value != table_name_)
            table_name_.assign(value);
    }
    const std::string& TimeField() const { return time_field_; }
    void SetTimeField(std::string_view value) { time_field_.assign(value); }
    TFieldType TimeFieldType() const { return time_field_type_; }
    void SetTimeFieldType(TFieldType value) { time_field_type_ = value; }
    const std::string& KeyField() const { return key_field_; }
    void SetKeyField(std::string_view value) { key_field_.assign(value); }
    TFieldType KeyFieldType() const { return key_field_type_; }
    void SetKeyFieldType(TFieldType value) { key_field_type_ = value; }
    std::int32_t RecordInterval() const { return record_interval_; }
    void SetRecordInterval(std::int32_t value) { record_interval_ = value; }
    TRecordType RecordType() const { return record_type_; }
    void SetRecordType(TRecordType value) { record_type_ = value; }
    TTrigType TrigType() const { return trig_type_; }
    void SetTrigType(TTrigType value) { trig_type_ = value; }
    std::int32_t UpdateRate() const { return update_rate_; }
    void SetUpdateRate(std::int32_t value) { update_rate_ = value; }
    float Deadband() const { return deadband_; }
    void SetDeadband(float value) { deadband_ = value; }
    const std::string& Description() const { return description_; }
    void SetDescription(std::string_view value) { description_.assign(value); }
    /// Where a data-change row takes its record time from: tsAuto the triggering item's time stamp when
    /// TimeFieldType is set, else the clock (as projects always did); tsClock the clock; tsServer the
    /// server's time stamp of the triggering item. Snapshot rows always take the clock.
    TTimeSource RecordTimeSource() const { return record_time_source_; }
    void SetRecordTimeSource(TTimeSource value) { record_time_source_ = value; }

    /// Kind 0 (named): an empty Description takes the name.
    void ObjectChanged(TNamedItem& sender, std::uint8_t kind) override;

    std::size_t ItemCount() const { return ChildCount(); }
    TItem& Item(std::size_t index) const;
    /// The item with that name (ASCII case ignored), or nullptr.
    TItem* FindItem(std::string_view name) const;

    /// The schema objects, bound to the root's connection.
    TableSchema& GetTableSchema() const { return *table_schema_; }
    ProcSchema& GetProcSchema() const { return *proc_schema_; }

    // Run-time fields of the recording engine.
    std::unique_ptr<RunTimeObject> SnapshotWindow; // the snapshot timer while a ttSnapShot group runs
    std::uint32_t GroupHandle = 0;                 // toolkit group handle

private:
    std::unique_ptr<ProcSchema> proc_schema_;
    std::unique_ptr<TableSchema> table_schema_;
    TTrigType trig_type_ = TTrigType::ttSnapShot;
    std::int32_t update_rate_ = 1000;
    TRecordType record_type_ = TRecordType::rtInsert;
    std::int32_t record_interval_ = 1000;
    float deadband_ = 0.0f;
    std::string key_field_;
    std::string time_field_;
    std::string table_name_;
    TTableType table_type_ = TTableType::ttTable;
    TFieldType time_field_type_ = TFieldType::ftUnknown;
    TFieldType key_field_type_ = TFieldType::ftUnknown;
    std::string description_;
    TTimeSource record_time_source_ = TTimeSource::tsAuto;
};

} // namespace tagsink
