#include "model/item.hpp"

#include "model/group.hpp"
#include "prop_table.hpp"

namespace tagsink {

const ClassInfo& TItem::StaticClassInfo() {
    using namespace detail;
    static const ClassInfo kInfo(
        "TItem", &TNamedItem::StaticClassInfo(),
        {
            StringProp("FieldName", &TItem::FieldName, &TItem::SetFieldName),
            EnumProp("FieldType", &TItem::FieldType, &TItem::SetFieldType),
            StringProp("ItemName", &TItem::ItemName, &TItem::SetItemName),
            EnumProp("GainType", &TItem::GainType, &TItem::SetGainType),
            StringProp("DefaultValue", &TItem::DefaultValue, &TItem::SetDefaultValue),
            StringProp("CalcExpr", &TItem::CalcExpr, &TItem::SetCalcExpr),
            StringProp("Key", &TItem::Key, &TItem::SetKey),
        });
    return kInfo;
}

TItem& TItem::Create(TGroup& owner) {
    return Adopt(owner, std::make_unique<TItem>(CreateToken{}, owner));
}

TItem& TItem::Create(TGroup& owner, std::string_view name, std::string_view item_name,
                     std::string_view field_name, TFieldType field_type, std::string_view key) {
    TItem& item = Create(owner);
    try {
        item.SetName(name);
    } catch (...) {
        owner.DeleteChild(item); // a refused name leaves no unnamed item behind
        throw;
    }
    item.SetItemName(item_name);
    item.SetFieldName(field_name);
    item.SetFieldType(field_type);
    item.SetKey(key);
    return item;
}

TItem::TItem(CreateToken, TGroup& owner) : TNamedItem(&owner) {}

TGroup& TItem::Group() const {
    return static_cast<TGroup&>(*Owner());
}

} // namespace tagsink
