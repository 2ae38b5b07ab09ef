// TItem: one OPC item and the column (or procedure parameter) that receives its value.
//
// Published properties, in declared order (the order of the project file):
//   FieldName, FieldType, ItemName, GainType, DefaultValue, CalcExpr, Key.
#pragma once

#include "model/enumerations.hpp"
#include "model/named_item.hpp"
#include "platform/variant.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace tagsink {

class TGroup;

class TItem : public TNamedItem {
    struct CreateToken {
        explicit CreateToken() = default;
    };

public:
    /// Creates an unnamed item at the end of the group's item list. An item does not observe itself.
    static TItem& Create(TGroup& owner);
    /// Creates a named item at the end of the group's list that reads `item_name` into the column
    /// `field_name` of type `field_type`, for the row `key` (empty: every row of the group).
    /// A name the group already has throws ProjectError and adds nothing.
    static TItem& Create(TGroup& owner, std::string_view name, std::string_view item_name,
                         std::string_view field_name, TFieldType field_type, std::string_view key = {});
    TItem(CreateToken, TGroup& owner);

    static const ClassInfo& StaticClassInfo();
    const ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }

    TGroup& Group() const;

    // Published properties.
    const std::string& FieldName() const { return field_name_; }
    void SetFieldName(std::string_view value) { field_name_.assign(value); }
    TFieldType FieldType() const { return field_type_; }
    void SetFieldType(TFieldType value) { field_type_ = value; }
    const std::string& ItemName() const { return item_name_; }
    void SetItemName(std::string_view value) { item_name_.assign(value); }
    TGainType GainType() const { return gain_type_; }
    void SetGainType(TGainType value) { gain_type_ = value; }
    const std::string& DefaultValue() const { return default_value_; }
    void SetDefaultValue(std::string_view value) { default_value_.assign(value); }
    const std::string& CalcExpr() const { return calc_expr_; }
    void SetCalcExpr(std::string_view value) { calc_expr_.assign(value); }
    const std::string& Key() const { return key_; }
    void SetKey(std::string_view value) { key_.assign(value); }

    // Run-time fields of the recording engine.
    std::uint32_t ItemHandle = 0; // toolkit item handle
    qz::Variant Value;            // the last value received (empty until then)
    std::uint16_t Quality = 0;    // OPC quality of the last value
    std::uint64_t TimeStamp = 0;  // FILETIME (UTC) of the last value
    bool Changed = false;         // a new value or quality has arrived and has not been written yet

private:
    std::string calc_expr_;
    std::string item_name_;
    std::string field_name_;
    std::string key_;
    std::string default_value_;
    TGainType gain_type_ = TGainType::gtGain;
    TFieldType field_type_ = TFieldType::ftUnknown;
};

} // namespace tagsink
