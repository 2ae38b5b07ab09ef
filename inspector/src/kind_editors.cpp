#include "inspector/kind_editors.hpp"

#include <QCoreApplication>
#include "locale_formats.hpp"
#include "inspector/errors.hpp"
#include "inspector/property_inspector.hpp"

namespace tagsink::inspector {
namespace lf = locale_formats;
namespace {

QString InvalidValue() {
    return QCoreApplication::translate("tagsink::inspector", "Invalid property value");
}

QString RangeMessage(std::int64_t lo, std::int64_t hi) {
    return QCoreApplication::translate("tagsink::inspector", "Value must be between %1 and %2")
        .arg(lo)
        .arg(hi);
}

void CheckTypeRange(const TQZTypeInfo* t, std::int64_t value) {
    if (t && t->MinValue <= t->MaxValue && (value < t->MinValue || value > t->MaxValue)) {
        throw EQZPropEditor(RangeMessage(t->MinValue, t->MaxValue));
    }
}

/// Ordinal of an enumeration name (case ignored); false when the type has no such name.
bool FindEnumValue(const TQZTypeInfo* t, const QString& name, std::int64_t& value) {
    for (qsizetype i = 0; i < t->EnumNames.size(); ++i) {
        if (t->EnumNames[i].compare(name, Qt::CaseInsensitive) == 0) {
            value = t->MinValue + i;
            return true;
        }
    }
    return false;
}

/// Collects the non-empty objects that the pairs' class-typed property holds.
std::vector<TQZInstance> HeldObjects(const TQZPropEditor& ed) {
    std::vector<TQZInstance> objects;
    for (int i = 0; i < ed.PropCount(); ++i) {
        const TQZInstance o = ed.GetObjValue(i);
        if (o) {
            objects.push_back(o);
        }
    }
    return objects;
}

} // namespace

// --- nested ---------------------------------------------------------------------------------------------

TQZNestedPropEditor::TQZNestedPropEditor(TQZPropEditor* parent)
    : TQZPropEditor(parent->Inspector(), parent->PropCount()) {
    CopyPairs(*parent);
}

// --- ordinal --------------------------------------------------------------------------------------------

bool TQZOrdinalPropEditor::AllEqual() {
    const std::int64_t first = GetOrdValue(0);
    for (int i = 1; i < PropCount(); ++i) {
        if (GetOrdValue(i) != first) {
            return false;
        }
    }
    return true;
}

// --- integer --------------------------------------------------------------------------------------------

QString TQZIntegerPropEditor::GetValue() {
    const std::int64_t v = GetOrdValue(0);
    const TQZTypeInfo* t = GetPropType();
    if (t && t->OrdType == TQZOrdType::otULong) {
        return QString::number(static_cast<std::uint32_t>(v));
    }
    return QString::number(v);
}

std::int64_t TQZIntegerPropEditor::ParseInteger(const QString& text) const {
    qint64 v = 0;
    if (!lf::ParseInt64(text, v)) {
        throw EQZPropEditor(lf::NotAnInteger(text));
    }
    CheckRange(v);
    return v;
}

void TQZIntegerPropEditor::CheckRange(std::int64_t value) const {
    CheckTypeRange(GetPropType(), value);
}

void TQZIntegerPropEditor::SetValue(const QString& value) {
    SetOrdValue(ParseInteger(value));
}

// --- character ------------------------------------------------------------------------------------------

QString TQZCharPropEditor::GetValue() {
    const std::int64_t code = GetOrdValue(0);
    if (code >= 33 && code <= 127) {
        return QString(QChar(static_cast<char16_t>(code)));
    }
    return QStringLiteral("#%1").arg(code);
}

void TQZCharPropEditor::SetValue(const QString& value) {
    std::int64_t code = 0;
    if (value.isEmpty()) {
        code = 0;
    } else if (value.size() == 1) {
        code = value[0].unicode();
    } else if (value.startsWith(QLatin1Char('#'))) {
        qint64 n = 0;
        if (!lf::ParseInt64(value.mid(1), n)) {
            throw EQZPropEditor(InvalidValue());
        }
        code = n;
    } else {
        throw EQZPropEditor(InvalidValue());
    }
    CheckTypeRange(GetPropType(), code);
    SetOrdValue(code);
}

// --- enumeration ----------------------------------------------------------------------------------------

TQZPropEditorAttrs TQZEnumPropEditor::GetAttributes() {
    return eaValueList | eaMultiSelect | eaSortList | eaDropDownOnKey;
}

QString TQZEnumPropEditor::GetValue() {
    const TQZTypeInfo* t = GetPropType();
    const std::int64_t v = GetOrdValue(0);
    if (t->EnumNames.isEmpty()) {
        return QString::number(v);
    }
    if (v < t->MinValue || v > t->MaxValue || v - t->MinValue >= t->EnumNames.size()) {
        return t->EnumNames.last();
    }
    return t->EnumName(v);
}

void TQZEnumPropEditor::SetValue(const QString& value) {
    std::int64_t v = 0;
    if (!FindEnumValue(GetPropType(), value, v)) {
        throw EQZPropEditor(InvalidValue());
    }
    SetOrdValue(v);
}

void TQZEnumPropEditor::GetValues(QStringList& values) {
    const TQZTypeInfo* t = GetPropType();
    if (t->MinValue < 0) {
        // Boolean-like types with a negative minimum: only false (0) and true (1) are offered.
        for (std::int64_t v : {0, 1}) {
            const QString name = t->EnumName(v);
            if (!name.isEmpty()) {
                values << name;
            }
        }
        return;
    }
    values << t->EnumNames;
}

// --- set ------------------------------------------------------------------------------------------------

TQZPropEditorAttrs TQZSetPropEditor::GetAttributes() {
    return eaSubProperties | eaMultiSelect | eaReadOnly;
}

QString TQZSetPropEditor::GetValue() {
    const TQZTypeInfo* elem = GetPropType()->CompType;
    const auto bits = static_cast<std::uint64_t>(GetOrdValue(0));
    QStringList members;
    if (elem) {
        for (std::int64_t e = std::max<std::int64_t>(elem->MinValue, 0);
             e <= std::min<std::int64_t>(elem->MaxValue, 63); ++e) {
            if (bits & (std::uint64_t{1} << e)) {
                members << elem->EnumName(e);
            }
        }
    }
    return QLatin1Char('[') + members.join(QLatin1Char(',')) + QLatin1Char(']');
}

void TQZSetPropEditor::GetProperties(TQZPropEditorList& editors) {
    const TQZTypeInfo* elem = GetPropType()->CompType;
    if (!elem) {
        return;
    }
    for (std::int64_t e = std::max<std::int64_t>(elem->MinValue, 0);
         e <= std::min<std::int64_t>(elem->MaxValue, 63); ++e) {
        editors.push_back(std::make_unique<TQZSetElemPropEditor>(this, static_cast<int>(e)));
    }
}

TQZSetElemPropEditor::TQZSetElemPropEditor(TQZPropEditor* parent, int element)
    : TQZNestedPropEditor(parent), FElement(element) {}

TQZPropEditorAttrs TQZSetElemPropEditor::GetAttributes() {
    return eaValueList | eaMultiSelect | eaSortList;
}

QString TQZSetElemPropEditor::GetName() {
    const TQZTypeInfo* elem = GetPropType()->CompType;
    return elem ? elem->EnumName(FElement) : QString::number(FElement);
}

QString TQZSetElemPropEditor::GetValue() {
    const auto bits = static_cast<std::uint64_t>(GetOrdValue(0));
    return (bits & (std::uint64_t{1} << FElement)) ? QStringLiteral("True") : QStringLiteral("False");
}

void TQZSetElemPropEditor::SetValue(const QString& value) {
    const bool add = value.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
    const std::uint64_t bit = std::uint64_t{1} << FElement;
    // Each object keeps its other elements.
    SetEachValue([&](int i) -> TQZValue {
        const auto bits = static_cast<std::uint64_t>(GetOrdValue(i));
        return static_cast<std::int64_t>(add ? (bits | bit) : (bits & ~bit));
    });
}

void TQZSetElemPropEditor::GetValues(QStringList& values) {
    values << QStringLiteral("False") << QStringLiteral("True");
}

bool TQZSetElemPropEditor::AllEqual() {
    const std::uint64_t bit = std::uint64_t{1} << FElement;
    const bool first = static_cast<std::uint64_t>(GetOrdValue(0)) & bit;
    for (int i = 1; i < PropCount(); ++i) {
        if (static_cast<bool>(static_cast<std::uint64_t>(GetOrdValue(i)) & bit) != first) {
            return false;
        }
    }
    return true;
}

// --- float ----------------------------------------------------------------------------------------------

bool TQZFloatPropEditor::AllEqual() {
    const double first = GetFloatValue(0);
    for (int i = 1; i < PropCount(); ++i) {
        if (GetFloatValue(i) != first) {
            return false;
        }
    }
    return true;
}

QString TQZFloatPropEditor::GetValue() {
    int precision = 18;
    switch (GetPropType()->FloatType) {
    case TQZFloatType::ftSingle:
        precision = 7;
        break;
    case TQZFloatType::ftDouble:
        precision = 15;
        break;
    default:
        break;
    }
    return lf::FloatToText(GetFloatValue(0), precision);
}

void TQZFloatPropEditor::SetValue(const QString& value) {
    double v = 0;
    if (!lf::ParseFloat(value, v)) {
        throw EQZPropEditor(lf::NotAFloat(value));
    }
    if (GetPropType()->FloatType == TQZFloatType::ftSingle) {
        v = static_cast<double>(static_cast<float>(v));
    }
    SetFloatValue(v);
}

// --- string ---------------------------------------------------------------------------------------------

bool TQZStringPropEditor::AllEqual() {
    const QString first = GetStrValue(0);
    for (int i = 1; i < PropCount(); ++i) {
        if (GetStrValue(i) != first) {
            return false;
        }
    }
    return true;
}

QString TQZStringPropEditor::GetValue() {
    return GetStrValue(0);
}

void TQZStringPropEditor::SetValue(const QString& value) {
    const TQZTypeInfo* t = GetPropType();
    if (t && t->Kind == TQZTypeKind::tkString && t->MaxValue > 0 && value.size() > t->MaxValue) {
        throw EQZPropEditor(
            QCoreApplication::translate("tagsink::inspector", "Text is longer than %1 characters")
                .arg(t->MaxValue));
    }
    SetStrValue(value);
}

// --- class ----------------------------------------------------------------------------------------------

TQZPropEditorAttrs TQZClassPropEditor::GetAttributes() {
    return eaSubProperties | eaMultiSelect | eaReadOnly;
}

QString TQZClassPropEditor::GetValue() {
    return QLatin1Char('(') + GetPropType()->Name + QLatin1Char(')');
}

void TQZClassPropEditor::GetProperties(TQZPropEditorList& editors) {
    const std::vector<TQZInstance> objects = HeldObjects(*this);
    if (!objects.empty() && Inspector()) {
        Inspector()->GetEditors(objects, false, editors);
    }
}

// --- component reference --------------------------------------------------------------------------------

TQZPropEditorAttrs TQZComponentPropEditor::GetAttributes() {
    TQZPropEditorAttrs attrs = GetPropInfo(0)->CanWrite()
                                   ? eaValueList | eaMultiSelect | eaSortList | eaComponentRef
                                   : eaMultiSelect | eaReadOnly | eaComponentRef;
    if (GetObjValue(0) && AllEqual()) {
        attrs |= eaSubProperties | eaVolatileSubProperties;
    }
    return attrs;
}

bool TQZComponentPropEditor::AllEqual() {
    const TQZInstance first = GetObjValue(0);
    for (int i = 1; i < PropCount(); ++i) {
        if (!(GetObjValue(i) == first)) {
            return false;
        }
    }
    return true;
}

QString TQZComponentPropEditor::GetValue() {
    const TQZInstance c = GetObjValue(0);
    if (!c) {
        return {};
    }
    QString name = ComponentNameOf(c);
    emit GettingComponentName(c, name);
    return name;
}

void TQZComponentPropEditor::SetValue(const QString& value) {
    if (value.isEmpty()) {
        SetObjValue(TQZInstance{});
        return;
    }
    TQZInstance c;
    emit GettingComponent(value, c);
    const TQZClassInfo* wanted = GetPropType()->ClassType;
    if (!c || !c.Class || (wanted && !c.Class->InheritsFrom(wanted))) {
        throw EQZPropEditor(InvalidValue());
    }
    SetObjValue(c);
}

void TQZComponentPropEditor::GetValues(QStringList& values) {
    emit GettingComponentNames(GetPropType()->ClassType, values);
}

void TQZComponentPropEditor::GetProperties(TQZPropEditorList& editors) {
    const std::vector<TQZInstance> objects = HeldObjects(*this);
    if (!objects.empty() && Inspector()) {
        Inspector()->GetEditors(objects, true, editors);
    }
}

// --- 64-bit integer -------------------------------------------------------------------------------------

bool TQZInt64PropEditor::AllEqual() {
    const std::int64_t first = GetInt64Value(0);
    for (int i = 1; i < PropCount(); ++i) {
        if (GetInt64Value(i) != first) {
            return false;
        }
    }
    return true;
}

QString TQZInt64PropEditor::GetValue() {
    return QString::number(GetInt64Value(0));
}

void TQZInt64PropEditor::SetValue(const QString& value) {
    bool ok = false;
    const qlonglong v = value.trimmed().toLongLong(&ok, 10);
    if (!ok) {
        throw EQZPropEditor(lf::NotAnInteger(value));
    }
    CheckTypeRange(GetPropType(), v);
    SetInt64Value(v);
}

// --- variant --------------------------------------------------------------------------------------------

TQZPropEditorAttrs TQZVariantPropEditor::GetAttributes() {
    return eaSubProperties | eaMultiSelect;
}

QString TQZVariantPropEditor::GetValue() {
    return VariantDisplayText(GetVarValue(0));
}

void TQZVariantPropEditor::SetValue(const QString& value) {
    if (value.isEmpty()) {
        SetVarValue(TQZVariant{});
        return;
    }
    if (value.compare(QLatin1String("(Null)"), Qt::CaseInsensitive) == 0) {
        SetVarValue(TQZVariant::Null());
        return;
    }
    // Keep the current type when the text is a value of it that reads back the same; a currency text
    // needs the currency symbol and a date only needs to convert. Anything else becomes a string.
    const TQZVariant current = GetVarValue(0);
    TQZVariant converted;
    if (current.VType != varEmpty && current.VType != varNull &&
        VariantFromText(value, current.VType, converted) &&
        (current.VType == varDate || current.VType == varCurrency || VariantToString(converted) == value)) {
        SetVarValue(converted);
        return;
    }
    SetVarValue(TQZVariant::Str(value));
}

void TQZVariantPropEditor::GetProperties(TQZPropEditorList& editors) {
    editors.push_back(std::make_unique<TQZVariantTypePropEditor>(this));
}

namespace {
struct VarTypeName {
    std::uint16_t Code;
    const char* Name;
};
constexpr VarTypeName kVarTypeNames[] = {
    {varEmpty, "Unassigned"}, {varNull, "Null"},       {varSmallint, "Smallint"}, {varInteger, "Integer"},
    {varSingle, "Single"},    {varDouble, "Double"},   {varCurrency, "Currency"}, {varDate, "Date"},
    {varOleStr, "OleStr"},    {varBoolean, "Boolean"}, {varByte, "Byte"},         {varString, "String"},
};
} // namespace

QString TQZVariantTypePropEditor::TypeName(std::uint16_t vt) {
    for (const VarTypeName& n : kVarTypeNames) {
        if (n.Code == vt) {
            return QString::fromLatin1(n.Name);
        }
    }
    return QStringLiteral("(Unknown)");
}

TQZPropEditorAttrs TQZVariantTypePropEditor::GetAttributes() {
    return eaValueList | eaMultiSelect | eaSortList;
}

QString TQZVariantTypePropEditor::GetValue() {
    return TypeName(GetVarValue(0).VType);
}

void TQZVariantTypePropEditor::SetValue(const QString& value) {
    const VarTypeName* found = nullptr;
    for (const VarTypeName& n : kVarTypeNames) {
        if (value == QLatin1String(n.Name)) {
            found = &n;
        }
    }
    if (!found) {
        throw EQZPropEditor(QCoreApplication::translate("tagsink::inspector", "Unknown Type"));
    }
    const std::uint16_t vt = found->Code;
    // Each object's own value is converted; one that does not convert gives the empty value converted.
    SetEachValue([&](int i) -> TQZValue {
        TQZVariant out;
        if (!VariantChangeType(GetVarValue(i), vt, out)) {
            VariantChangeType(TQZVariant{}, vt, out);
        }
        return out;
    });
}

void TQZVariantTypePropEditor::GetValues(QStringList& values) {
    for (const VarTypeName& n : kVarTypeNames) {
        values << QString::fromLatin1(n.Name);
    }
}

bool TQZVariantTypePropEditor::AllEqual() {
    const std::uint16_t first = GetVarValue(0).VType;
    for (int i = 1; i < PropCount(); ++i) {
        if (GetVarValue(i).VType != first) {
            return false;
        }
    }
    return true;
}

} // namespace tagsink::inspector
