#include "inspector/prop_editor.hpp"

#include <QCoreApplication>
#include "inspector/errors.hpp"

namespace tagsink::inspector {
namespace {

template <class T> T ValueAs(const TQZValue& v, const TQZPropInfo* prop) {
    if (const T* p = std::get_if<T>(&v)) {
        return *p;
    }
    if constexpr (std::is_same_v<T, double>) {
        if (const auto* i = std::get_if<std::int64_t>(&v)) {
            return static_cast<double>(*i);
        }
    }
    if constexpr (std::is_same_v<T, std::int64_t>) {
        if (const auto* d = std::get_if<double>(&v)) {
            return static_cast<std::int64_t>(*d);
        }
    }
    throw EQZPropEditor(QCoreApplication::translate("tagsink::inspector",
                                                    "Property %1 does not hold a value of the expected kind")
                            .arg(prop ? prop->Name : QStringLiteral("?")));
}

} // namespace

TQZPropEditor::TQZPropEditor(TQZCustomPropertyInspector* inspector, int prop_count)
    : FInspector(inspector), FPairs(static_cast<size_t>(prop_count > 0 ? prop_count : 0)) {}

TQZPropEditor::~TQZPropEditor() = default;

QString TQZPropEditor::GetValue() {
    return QStringLiteral("(Unknown)");
}
void TQZPropEditor::SetValue(const QString&) {}
TQZPropEditorAttrs TQZPropEditor::GetAttributes() {
    return eaMultiSelect;
}
void TQZPropEditor::GetValues(QStringList&) {}
void TQZPropEditor::GetProperties(TQZPropEditorList&) {}
QString TQZPropEditor::GetName() {
    const TQZPropInfo* p = GetPropInfo(0);
    return p ? p->Name : QString();
}
bool TQZPropEditor::AllEqual() {
    return PropCount() == 1;
}
void TQZPropEditor::Edit() {}
void TQZPropEditor::ValuesMeasureHeight(const QString&, const QFontMetrics&, int&) {}
void TQZPropEditor::ValuesMeasureWidth(const QString&, const QFontMetrics&, int&) {}
void TQZPropEditor::ValuesDrawValue(const QString& value, QPainter& painter, const QRect& rect, bool) {
    painter.drawText(rect.adjusted(2, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, value);
}

void TQZPropEditor::SetPropEntry(int index, const TQZInstance& instance, const TQZPropInfo* prop_info) {
    FPairs.at(static_cast<size_t>(index)) = TQZPropPair{instance, prop_info};
}

TQZInstance TQZPropEditor::GetInstance(int index) const {
    return FPairs.at(static_cast<size_t>(index)).Instance;
}

const TQZPropInfo* TQZPropEditor::GetPropInfo(int index) const {
    if (index < 0 || index >= PropCount()) {
        return nullptr;
    }
    return FPairs[static_cast<size_t>(index)].PropInfo;
}

const TQZTypeInfo* TQZPropEditor::GetPropType() const {
    const TQZPropInfo* p = GetPropInfo(0);
    return p ? p->PropType : nullptr;
}

TQZValue TQZPropEditor::GetRaw(int index) const {
    const TQZPropPair& pair = FPairs.at(static_cast<size_t>(index));
    if (!pair.PropInfo || !pair.PropInfo->CanRead() || !pair.Instance) {
        throw EQZPropEditor(QCoreApplication::translate("tagsink::inspector", "Property %1 cannot be read")
                                .arg(pair.PropInfo ? pair.PropInfo->Name : QStringLiteral("?")));
    }
    return pair.PropInfo->Get(pair.Instance.Object);
}

std::int64_t TQZPropEditor::GetOrdValue(int index) const {
    return ValueAs<std::int64_t>(GetRaw(index), GetPropInfo(index));
}
std::int64_t TQZPropEditor::GetInt64Value(int index) const {
    return ValueAs<std::int64_t>(GetRaw(index), GetPropInfo(index));
}
double TQZPropEditor::GetFloatValue(int index) const {
    return ValueAs<double>(GetRaw(index), GetPropInfo(index));
}
QString TQZPropEditor::GetStrValue(int index) const {
    return ValueAs<QString>(GetRaw(index), GetPropInfo(index));
}
TQZVariant TQZPropEditor::GetVarValue(int index) const {
    return ValueAs<TQZVariant>(GetRaw(index), GetPropInfo(index));
}
TQZInstance TQZPropEditor::GetObjValue(int index) const {
    return ValueAs<TQZInstance>(GetRaw(index), GetPropInfo(index));
}

void TQZPropEditor::SetValueToAll(const TQZValue& value) {
    for (const TQZPropPair& pair : FPairs) {
        if (!pair.PropInfo || !pair.PropInfo->CanWrite()) {
            throw EQZPropEditor(QCoreApplication::translate("tagsink::inspector", "Property %1 is read-only")
                                    .arg(pair.PropInfo ? pair.PropInfo->Name : QStringLiteral("?")));
        }
    }
    for (const TQZPropPair& pair : FPairs) {
        pair.PropInfo->Set(pair.Instance.Object, value);
    }
    Modified();
}

void TQZPropEditor::SetEachValue(const std::function<TQZValue(int index)>& value_for) {
    std::vector<TQZValue> values;
    for (int i = 0; i < PropCount(); ++i) {
        const TQZPropPair& pair = FPairs[static_cast<size_t>(i)];
        if (!pair.PropInfo || !pair.PropInfo->CanWrite()) {
            throw EQZPropEditor(QCoreApplication::translate("tagsink::inspector", "Property %1 is read-only")
                                    .arg(pair.PropInfo ? pair.PropInfo->Name : QStringLiteral("?")));
        }
        values.push_back(value_for(i));
    }
    for (int i = 0; i < PropCount(); ++i) {
        const TQZPropPair& pair = FPairs[static_cast<size_t>(i)];
        pair.PropInfo->Set(pair.Instance.Object, values[static_cast<size_t>(i)]);
    }
    Modified();
}

void TQZPropEditor::SetOrdValue(std::int64_t value) {
    SetValueToAll(value);
}
void TQZPropEditor::SetInt64Value(std::int64_t value) {
    SetValueToAll(value);
}
void TQZPropEditor::SetFloatValue(double value) {
    SetValueToAll(value);
}
void TQZPropEditor::SetStrValue(const QString& value) {
    SetValueToAll(value);
}
void TQZPropEditor::SetVarValue(const TQZVariant& value) {
    SetValueToAll(value);
}
void TQZPropEditor::SetObjValue(const TQZInstance& value) {
    SetValueToAll(value);
}

void TQZPropEditor::CopyPairs(const TQZPropEditor& from) {
    FPairs = from.FPairs;
}

} // namespace tagsink::inspector
