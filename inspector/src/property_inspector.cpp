#include "inspector/property_inspector.hpp"

#include <QCoreApplication>
#include "inspector/errors.hpp"
#include "inspector/named_editors.hpp"
#include "inspector/prop_edit_manager.hpp"

#include <QDebug>

#include <algorithm>

namespace tagsink::inspector {
namespace {

/// True when the class or one of its ancestors has this name.
bool ClassDescendsFrom(const TQZTypeInfo* type, const char* class_name) {
    if (!type || type->Kind != TQZTypeKind::tkClass) {
        return false;
    }
    for (const TQZClassInfo* c = type->ClassType; c; c = c->Parent) {
        if (c->Name == QLatin1String(class_name)) {
            return true;
        }
    }
    return false;
}

bool IsOrdinal(TQZTypeKind k) {
    return k == TQZTypeKind::tkInteger || k == TQZTypeKind::tkChar || k == TQZTypeKind::tkEnumeration;
}

} // namespace

TQZCustomPropertyInspector::TQZCustomPropertyInspector(QWidget* parent) : TQZCustomPropsPage(parent) {}

TQZCustomPropertyInspector::~TQZCustomPropertyInspector() {
    // The rows own editors that call back into this object: delete them while it is still whole.
    DeleteAllItems();
}

void TQZCustomPropertyInspector::Add(const TQZInstance& instance) {
    if (Changing()) {
        throw EQZPropsPage(kChangingMessage);
    }
    if (!instance || !instance.Class) {
        throw EQZPropsPage(QCoreApplication::translate(
            "tagsink::inspector", "Property inspector cannot inspect an object without a class"));
    }
    FObjects.push_back(instance);
    Rebuild();
}

void TQZCustomPropertyInspector::Clear() {
    if (Changing()) {
        throw EQZPropsPage(kChangingMessage);
    }
    FObjects.clear();
    Rebuild();
}

void TQZCustomPropertyInspector::SetPropKinds(TQZPropertyInspectorPropKinds kinds) {
    if (kinds != FPropKinds) {
        FPropKinds = kinds;
        Rebuild();
    }
}

void TQZCustomPropertyInspector::SetExpandComponentRefs(bool value) {
    if (value != FExpandComponentRefs) {
        FExpandComponentRefs = value;
        Rebuild();
    }
}

void TQZCustomPropertyInspector::SetReadOnly(bool value) {
    if (value != ReadOnly()) {
        TQZCustomPropsPage::SetReadOnly(value);
        Rebuild();
    }
}

void TQZCustomPropertyInspector::SetComponentRefColor(const QColor& color) {
    FComponentRefColor = color;
    viewport()->update();
}

void TQZCustomPropertyInspector::SetComponentRefChildColor(const QColor& color) {
    FComponentRefChildColor = color;
    viewport()->update();
}

void TQZCustomPropertyInspector::Rebuild() {
    BeginUpdate();
    DeleteAllItems();
    if (!FObjects.empty()) {
        TQZPropEditorList editors;
        try {
            GetEditors(FObjects, false, editors);
        } catch (const std::exception& e) {
            qWarning() << "inspector: listing properties failed:" << ExceptionMessage(e);
        }
        for (auto& editor : editors) {
            std::unique_ptr<TQZPropsPageItem> row = CreateItem(nullptr);
            auto* item = static_cast<TQZPropertyInspectorItem*>(row.get());
            item->Editor = std::move(editor);
            Items().Add(std::move(row));
            FillItem(item);
        }
    }
    EndUpdate();
}

void TQZCustomPropertyInspector::GetEditors(const std::vector<TQZInstance>& objects,
                                            bool nested_in_component_ref, TQZPropEditorList& editors) {
    if (objects.empty()) {
        return;
    }
    std::vector<std::vector<const TQZPropInfo*>> props;
    for (const TQZInstance& o : objects) {
        std::vector<const TQZPropInfo*> list =
            o.Class ? o.Class->AllProps() : std::vector<const TQZPropInfo*>{};
        std::stable_sort(list.begin(), list.end(), [](const TQZPropInfo* a, const TQZPropInfo* b) {
            return ComparePropNames(a->Name, b->Name) < 0;
        });
        props.push_back(std::move(list));
    }
    const int n = static_cast<int>(objects.size());
    for (const TQZPropInfo* first : props[0]) {
        std::vector<const TQZPropInfo*> infos{first};
        for (int i = 1; i < n; ++i) {
            auto same = std::find_if(props[static_cast<size_t>(i)].begin(),
                                     props[static_cast<size_t>(i)].end(), [&](const TQZPropInfo* p) {
                                         return p->Kind() == first->Kind() &&
                                                p->Name.compare(first->Name, Qt::CaseInsensitive) == 0;
                                     });
            if (same == props[static_cast<size_t>(i)].end()) {
                break;
            }
            infos.push_back(*same);
        }
        if (static_cast<int>(infos.size()) != n) {
            continue;
        }
        const TQZPropEditorClass* cls = nullptr;
        bool same = true;
        for (int i = 0; i < n && same; ++i) {
            const TQZPropEditorClass* c =
                GetEditorClass(objects[static_cast<size_t>(i)], infos[static_cast<size_t>(i)]);
            same = c && (i == 0 || c == cls);
            cls = c;
        }
        if (!same) {
            continue;
        }
        std::unique_ptr<TQZPropEditor> editor = cls->Create(this, n);
        for (int i = 0; i < n; ++i) {
            editor->SetPropEntry(i, objects[static_cast<size_t>(i)], infos[static_cast<size_t>(i)]);
        }
        BindEditor(editor.get());
        TQZPropEditorAttrs attrs = 0;
        try {
            attrs = editor->GetAttributes();
        } catch (const std::exception& e) {
            qWarning() << "inspector: property" << first->Name << "left out:" << ExceptionMessage(e);
            continue;
        }
        if ((n > 1 && !(attrs & eaMultiSelect)) || (nested_in_component_ref && (attrs & eaNotNestable))) {
            continue;
        }
        editors.push_back(std::move(editor));
    }
}

const TQZPropEditorClass* TQZCustomPropertyInspector::GetEditorClass(const TQZInstance& instance,
                                                                     const TQZPropInfo* prop_info) {
    const TQZPropEditorClass* chosen = nullptr;
    emit GettingEditorClass(instance, prop_info, chosen);
    if (chosen) {
        return chosen;
    }
    const TQZTypeKind kind = prop_info->Kind();
    if (kind == TQZTypeKind::tkUnknown) {
        return nullptr;
    }
    if (kind == TQZTypeKind::tkMethod ? !(FPropKinds & pkEvents) : !(FPropKinds & pkProperties)) {
        return nullptr;
    }
    if (!prop_info->CanRead()) {
        return nullptr;
    }
    if (!prop_info->CanWrite() && kind != TQZTypeKind::tkClass && !(FPropKinds & pkReadOnly)) {
        return nullptr;
    }
    bool include = true;
    FilterProp(instance, prop_info, include);
    if (!include) {
        return nullptr;
    }
    if (const TQZPropEditorClass* registered =
            TQZPrpertyEditManager::Instance().Find(prop_info->PropType, instance.Class, prop_info->Name)) {
        return registered;
    }
    return StandardEditorClass(prop_info);
}

const TQZPropEditorClass*
TQZCustomPropertyInspector::StandardEditorClass(const TQZPropInfo* prop_info) const {
    const TQZTypeInfo* t = prop_info->PropType;
    const TQZTypeKind k = t->Kind;
    const QString& n = t->Name;
    auto named = [&](const char* name, bool kind_fits) { return kind_fits && n == QLatin1String(name); };
    const bool is_int = k == TQZTypeKind::tkInteger;
    const bool is_float = k == TQZTypeKind::tkFloat;
    const bool is_enum = k == TQZTypeKind::tkEnumeration;

    if (named("TComponentName", t->IsString()))
        return EditorClassOf<TQZComponentNamePropEditor>();
    if (named("TDate", is_float))
        return EditorClassOf<TQZDatePropEditor>();
    if (named("TTime", is_float))
        return EditorClassOf<TQZTimePropEditor>();
    if (named("TDateTime", is_float))
        return EditorClassOf<TQZDateTimePropEditor>();
    if (named("TCaption", t->IsString()))
        return EditorClassOf<TQZCaptionPropEditor>();
    if (named("TColor", is_int))
        return EditorClassOf<TQZColorPropEditor>();
    if (named("TCursor", is_int))
        return EditorClassOf<TQZCursorPropEditor>();
    if (named("TFontCharset", is_int))
        return EditorClassOf<TQZFontCharsetPropEditor>();
    if (named("TFontName", t->IsString()))
        return EditorClassOf<TQZFontNamePropEditor>();
    if (named("TImeName", t->IsString()))
        return EditorClassOf<TQZImeNamePropEditor>();
    if (ClassDescendsFrom(t, "TFont"))
        return EditorClassOf<TQZFontPropEditor>();
    if (ClassDescendsFrom(t, "TPicture"))
        return EditorClassOf<TQZPicturePropEditor>();
    if (named("TModalResult", is_int))
        return EditorClassOf<TQZModalResultPropEditor>();
    if (named("TPenStyle", is_enum))
        return EditorClassOf<TQZPenStylePropEditor>();
    if (named("TBrushStyle", is_enum))
        return EditorClassOf<TQZBrushStylePropEditor>();
    if (named("TTabOrder", is_int))
        return EditorClassOf<TQZTabOrderPropEditor>();
    if (named("TShortCut", IsOrdinal(k)))
        return EditorClassOf<TQZShortCutPropEditor>();
    if (ClassDescendsFrom(t, "TStrings"))
        return EditorClassOf<TQZStringsPropEditor>();

    switch (k) {
    case TQZTypeKind::tkInteger:
        return EditorClassOf<TQZIntegerPropEditor>();
    case TQZTypeKind::tkChar:
        return EditorClassOf<TQZCharPropEditor>();
    case TQZTypeKind::tkEnumeration:
        return EditorClassOf<TQZEnumPropEditor>();
    case TQZTypeKind::tkFloat:
        return EditorClassOf<TQZFloatPropEditor>();
    case TQZTypeKind::tkString:
    case TQZTypeKind::tkLString:
    case TQZTypeKind::tkWString:
        return EditorClassOf<TQZStringPropEditor>();
    case TQZTypeKind::tkSet:
        return EditorClassOf<TQZSetPropEditor>();
    case TQZTypeKind::tkClass:
        if (t->ClassType && t->ClassType->IsComponent) {
            return EditorClassOf<TQZComponentPropEditor>();
        }
        return EditorClassOf<TQZClassPropEditor>();
    case TQZTypeKind::tkVariant:
        return EditorClassOf<TQZVariantPropEditor>();
    case TQZTypeKind::tkInt64:
        return EditorClassOf<TQZInt64PropEditor>();
    default:
        return EditorClassOf<TQZPropEditor>();
    }
}

TQZInstance TQZCustomPropertyInspector::GetComponent(const QString& name) {
    TQZInstance component;
    emit GettingComponent(name, component);
    return component;
}

void TQZCustomPropertyInspector::GetComponentNames(const TQZClassInfo* cls, QStringList& names) {
    emit GettingComponentNames(cls, names);
}

QString TQZCustomPropertyInspector::GetComponentName(const TQZInstance& component) {
    QString name = ComponentNameOf(component);
    emit GettingComponentName(component, name);
    return name;
}

void TQZCustomPropertyInspector::FilterProp(const TQZInstance& instance, const TQZPropInfo* prop_info,
                                            bool& include) {
    emit FilteringProp(instance, prop_info, include);
}

void TQZCustomPropertyInspector::DoGetCaptionColor(const TQZTypeInfo* prop_type, const QString& prop_name,
                                                   QColor& color) {
    emit GettingCaptionColor(prop_type, prop_name, color);
}

void TQZCustomPropertyInspector::RegisterPropEditor(const TQZTypeInfo* prop_type,
                                                    const TQZClassInfo* object_class,
                                                    const QString& property_name,
                                                    const TQZPropEditorClass* editor_class) {
    TQZPrpertyEditManager::Instance().Register(prop_type, object_class, property_name, editor_class);
}

std::unique_ptr<TQZPropsPageItem> TQZCustomPropertyInspector::CreateItem(TQZPropsPageItem* parent) {
    return std::make_unique<TQZPropertyInspectorItem>(this, parent);
}

TQZPropEditor* TQZCustomPropertyInspector::EditorOf(TQZPropsPageItem* item) const {
    auto* row = dynamic_cast<TQZPropertyInspectorItem*>(item);
    return row ? row->Editor.get() : nullptr;
}

TQZPropertyInspectorItem* TQZCustomPropertyInspector::ItemOfEditor(const TQZPropEditor* editor) const {
    for (int r = 0; r < RowCount(); ++r) {
        auto* row = dynamic_cast<TQZPropertyInspectorItem*>(RowItem(r));
        if (row && row->Editor.get() == editor) {
            return row;
        }
    }
    return nullptr;
}

void TQZCustomPropertyInspector::BindEditor(TQZPropEditor* editor) {
    // Bound once: an editor bound again (a rebuilt row) must not report twice.
    disconnect(editor, nullptr, this, nullptr);
    // Direct connections: the editor reads the answers by reference as soon as the signal returns.
    connect(editor, &TQZPropEditor::Modified, this, &TQZCustomPropertyInspector::EditorModified,
            Qt::DirectConnection);
    connect(
        editor, &TQZPropEditor::GettingComponent, this,
        [this](const QString& name, TQZInstance& component) { component = GetComponent(name); },
        Qt::DirectConnection);
    connect(
        editor, &TQZPropEditor::GettingComponentNames, this,
        [this](const TQZClassInfo* cls, QStringList& names) { GetComponentNames(cls, names); },
        Qt::DirectConnection);
    connect(
        editor, &TQZPropEditor::GettingComponentName, this,
        [this](const TQZInstance& component, QString& name) { name = GetComponentName(component); },
        Qt::DirectConnection);
}

void TQZCustomPropertyInspector::FillItem(TQZPropertyInspectorItem* item) {
    TQZPropEditor* ed = item->Editor.get();
    if (!ed) {
        return;
    }
    const bool ro = ReadOnly();
    try {
        const TQZPropEditorAttrs attrs = ed->GetAttributes();
        item->Caption = ed->GetName();
        item->EditStyle = (attrs & eaValueList) && !ro ? TQZEditStyle::esPickList
                          : (attrs & eaDialog) && !ro  ? TQZEditStyle::esEllipsis
                                                       : TQZEditStyle::esSimple;
        item->HasDialog = (attrs & eaDialog) && !ro;
        item->DropDownOnKey = (attrs & eaDropDownOnKey) && !ro;
        const bool expandable =
            (attrs & eaSubProperties) && !((attrs & eaComponentRef) && !FExpandComponentRefs);
        item->Expandable = expandable ? TQZExpandable::exAlways : TQZExpandable::exNever;
        item->ReadOnly = (attrs & eaReadOnly) || ro;
        item->AutoUpdate = attrs & eaAutoUpdate;
        item->OwnerDraw = attrs & eaOwnerDrawValues;
        item->DisplayValue = ed->AllEqual() ? ed->GetValue() : QString();
    } catch (const std::exception& e) {
        qWarning() << "inspector: property" << item->Caption << "cannot be shown:" << ExceptionMessage(e);
        item->DisplayValue.clear();
    }
    item->LastShownValue = item->DisplayValue;
}

void TQZCustomPropertyInspector::RefreshAll() {
    std::vector<TQZPropsPageItem*> collapse;
    for (int r = 0; r < RowCount(); ++r) {
        auto* item = static_cast<TQZPropertyInspectorItem*>(RowItem(r));
        FillItem(item);
        if (item->Expanded && !item->CanExpand()) {
            collapse.push_back(item);
        }
    }
    for (TQZPropsPageItem* item : collapse) {
        if (IsLive(item)) {
            Collapse(item);
        }
    }
    UpdateInplaceEdit();
    viewport()->update();
}

void TQZCustomPropertyInspector::EditorModified() {
    RefreshAll();
    emit Modified();
}

void TQZCustomPropertyInspector::ItemExpanded(TQZPropsPageItem* item) {
    TQZPropEditor* ed = EditorOf(item);
    if (!ed) {
        return;
    }
    TQZPropEditorList children;
    ed->GetProperties(children);
    for (auto& child : children) {
        BindEditor(child.get());
        std::unique_ptr<TQZPropsPageItem> row = CreateItem(item);
        auto* child_item = static_cast<TQZPropertyInspectorItem*>(row.get());
        child_item->Editor = std::move(child);
        item->Items().Add(std::move(row));
        FillItem(child_item);
    }
}

void TQZCustomPropertyInspector::ItemCollapsed(TQZPropsPageItem* item) {
    TQZCustomPropsPage::ItemCollapsed(item);
}

QColor TQZCustomPropertyInspector::GetItemCaptionColor(TQZPropsPageItem* item) {
    TQZPropEditor* ed = EditorOf(item);
    QColor color = palette().color(QPalette::WindowText);
    if (!ed) {
        return color;
    }
    if (ed->GetAttributes() & eaComponentRef) {
        color = FComponentRefColor;
    } else if (TQZPropEditor* parent = EditorOf(item->Parent());
               parent && (parent->GetAttributes() & eaComponentRef)) {
        color = FComponentRefChildColor;
    }
    const TQZPropInfo* p = ed->GetPropInfo(0);
    DoGetCaptionColor(ed->GetPropType(), p ? p->Name : QString(), color);
    return color;
}

void TQZCustomPropertyInspector::DrawItemCaption(TQZPropsPageItem* item, QString& caption) {
    TQZPropEditor* ed = EditorOf(item);
    emit DrawingCaption(ed ? ed->GetPropType() : nullptr, caption);
}

void TQZCustomPropertyInspector::ItemSetValue(TQZPropsPageItem* item, const QString& text) {
    if (TQZPropEditor* ed = EditorOf(item)) {
        ed->SetValue(text);
    }
}

void TQZCustomPropertyInspector::ItemRefresh(TQZPropsPageItem* item) {
    if (auto* row = dynamic_cast<TQZPropertyInspectorItem*>(item)) {
        FillItem(row);
    }
}

bool TQZCustomPropertyInspector::ItemIsVolatile(TQZPropsPageItem* item) {
    TQZPropEditor* ed = EditorOf(item);
    return ed && (ed->GetAttributes() & eaVolatileSubProperties);
}

void TQZCustomPropertyInspector::ItemGetValues(TQZPropsPageItem* item, QStringList& values) {
    TQZPropEditor* ed = EditorOf(item);
    if (!ed) {
        return;
    }
    ed->GetValues(values);
    if (ed->GetAttributes() & eaSortList) {
        values.sort(Qt::CaseInsensitive);
    }
}

void TQZCustomPropertyInspector::ItemEdit(TQZPropsPageItem* item) {
    if (TQZPropEditor* ed = EditorOf(item)) {
        ed->Edit();
    }
}

void TQZCustomPropertyInspector::ItemMeasureHeight(TQZPropsPageItem* item, const QString& value,
                                                   const QFontMetrics& fm, int& height) {
    if (TQZPropEditor* ed = EditorOf(item); ed && item->OwnerDraw) {
        ed->ValuesMeasureHeight(value, fm, height);
    }
}

void TQZCustomPropertyInspector::ItemMeasureWidth(TQZPropsPageItem* item, const QString& value,
                                                  const QFontMetrics& fm, int& width) {
    if (TQZPropEditor* ed = EditorOf(item); ed && item->OwnerDraw) {
        ed->ValuesMeasureWidth(value, fm, width);
    }
}

void TQZCustomPropertyInspector::ItemDrawValue(TQZPropsPageItem* item, const QString& value,
                                               QPainter& painter, const QRect& rect, bool selected) {
    TQZPropEditor* ed = EditorOf(item);
    if (ed && item->OwnerDraw) {
        ed->ValuesDrawValue(value, painter, rect, selected);
    } else {
        TQZCustomPropsPage::ItemDrawValue(item, value, painter, rect, selected);
    }
}

} // namespace tagsink::inspector
