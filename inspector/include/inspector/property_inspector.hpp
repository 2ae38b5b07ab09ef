// The property inspector: lists the published properties of one or more objects in the property grid
// and edits them through property editors chosen by type, class and name.
#pragma once

#include "inspector/custom_props_page.hpp"
#include "inspector/prop_editor.hpp"

#include <QColor>

#include <cstdint>
#include <vector>

namespace tagsink::inspector {

/// Which rows are listed.
enum TQZPropertyInspectorPropKind : std::uint32_t {
    pkProperties = 1, // properties of every kind except method and unknown
    pkEvents = 2,     // method-typed properties
    pkReadOnly = 4,   // also properties without a setter
};
using TQZPropertyInspectorPropKinds = std::uint32_t;

/// A row of the inspector: it owns the editor of its property.
class TQZPropertyInspectorItem : public TQZPropsPageItem {
public:
    using TQZPropsPageItem::TQZPropsPageItem;
    std::unique_ptr<TQZPropEditor> Editor;
    QString LastShownValue;
};

class TQZCustomPropertyInspector : public TQZCustomPropsPage {
    Q_OBJECT
public:
    inline static const QString kChangingMessage =
        QStringLiteral("Property inspector is changing property value. Can not change objects");

    explicit TQZCustomPropertyInspector(QWidget* parent = nullptr);
    ~TQZCustomPropertyInspector() override;

    /// Appends an object to the inspected objects and rebuilds the rows.
    void Add(const TQZInstance& instance);
    /// Forgets every inspected object; the grid becomes empty.
    void Clear();
    int ObjectCount() const { return static_cast<int>(FObjects.size()); }
    TQZInstance Objects(int index) const { return FObjects.at(static_cast<size_t>(index)); }

    TQZPropertyInspectorPropKinds PropKinds() const { return FPropKinds; }
    void SetPropKinds(TQZPropertyInspectorPropKinds kinds);
    bool ExpandComponentRefs() const { return FExpandComponentRefs; }
    void SetExpandComponentRefs(bool value);
    void SetReadOnly(bool value) override;
    QColor ComponentRefColor() const { return FComponentRefColor; }
    void SetComponentRefColor(const QColor& color);
    QColor ComponentRefChildColor() const { return FComponentRefChildColor; }
    void SetComponentRefChildColor(const QColor& color);

    /// Rebuilds every row from the inspected objects.
    void Rebuild();

    /// Builds the editors for the common properties of a set of objects (also for sub-properties).
    /// nested_in_component_ref drops editors that are not nestable.
    void GetEditors(const std::vector<TQZInstance>& objects, bool nested_in_component_ref,
                    TQZPropEditorList& editors);

    /// The inspector row that owns an editor, or nullptr.
    TQZPropertyInspectorItem* ItemOfEditor(const TQZPropEditor* editor) const;

    static void RegisterPropEditor(const TQZTypeInfo* prop_type, const TQZClassInfo* object_class,
                                   const QString& property_name, const TQZPropEditorClass* editor_class);

signals:
    // The inspector's events. A handler connected directly may change the values passed by reference; the
    // inspector reads them when the last handler has returned. sender() is the inspector.

    /// Whether a property is listed (include starts true).
    void FilteringProp(const TQZInstance& instance, const TQZPropInfo* prop_info, bool& include_prop);
    /// Chooses the editor of a property before the registry does (editor_class starts null: no choice).
    void GettingEditorClass(const TQZInstance& instance, const TQZPropInfo* prop_info,
                            const TQZPropEditorClass*& editor_class);
    /// The caption shown for a property (prop_name starts as the property's name).
    void DrawingCaption(const TQZTypeInfo* prop_type, QString& prop_name);
    /// The colour of a property's caption.
    void GettingCaptionColor(const TQZTypeInfo* prop_type, const QString& prop_name, QColor& color);
    /// The inspector has changed a property of the inspected objects.
    void Modified();
    /// The object that a component reference names (component starts empty: none).
    void GettingComponent(const QString& component_name, TQZInstance& component);
    /// The names of the objects of a class that a component reference may name.
    void GettingComponentNames(const TQZClassInfo* cls, QStringList& result);
    /// The name shown for a referenced object (name starts as the object's own name).
    void GettingComponentName(const TQZInstance& component, QString& name);

protected:
    // Operations in slot order.
    virtual const TQZPropEditorClass* GetEditorClass(const TQZInstance& instance,
                                                     const TQZPropInfo* prop_info);
    virtual TQZInstance GetComponent(const QString& name);
    virtual void GetComponentNames(const TQZClassInfo* cls, QStringList& names);
    virtual QString GetComponentName(const TQZInstance& component);
    virtual void FilterProp(const TQZInstance& instance, const TQZPropInfo* prop_info, bool& include);
    virtual void DoGetCaptionColor(const TQZTypeInfo* prop_type, const QString& prop_name, QColor& color);

    std::unique_ptr<TQZPropsPageItem> CreateItem(TQZPropsPageItem* parent) override;
    void ItemExpanded(TQZPropsPageItem* item) override;
    void ItemCollapsed(TQZPropsPageItem* item) override;
    QColor GetItemCaptionColor(TQZPropsPageItem* item) override;
    void DrawItemCaption(TQZPropsPageItem* item, QString& caption) override;

    void ItemSetValue(TQZPropsPageItem* item, const QString& text) override;
    void ItemRefresh(TQZPropsPageItem* item) override;
    bool ItemIsVolatile(TQZPropsPageItem* item) override;
    void ItemGetValues(TQZPropsPageItem* item, QStringList& values) override;
    void ItemEdit(TQZPropsPageItem* item) override;
    void ItemMeasureHeight(TQZPropsPageItem* item, const QString& value, const QFontMetrics& fm,
                           int& height) override;
    void ItemMeasureWidth(TQZPropsPageItem* item, const QString& value, const QFontMetrics& fm,
                          int& width) override;
    void ItemDrawValue(TQZPropsPageItem* item, const QString& value, QPainter& painter, const QRect& rect,
                       bool selected) override;

private:
    void BindEditor(TQZPropEditor* editor);
    void FillItem(TQZPropertyInspectorItem* item);
    void RefreshAll();
    void EditorModified();
    TQZPropEditor* EditorOf(TQZPropsPageItem* item) const;
    /// The standard editor for a named type or a kind.
    const TQZPropEditorClass* StandardEditorClass(const TQZPropInfo* prop_info) const;

    std::vector<TQZInstance> FObjects;
    TQZPropertyInspectorPropKinds FPropKinds = pkProperties;
    bool FExpandComponentRefs = true;
    QColor FComponentRefColor{128, 0, 0};
    QColor FComponentRefChildColor{0, 128, 0};
};

class TQZPropertyInspector : public TQZCustomPropertyInspector {
    Q_OBJECT
public:
    using TQZCustomPropertyInspector::TQZCustomPropertyInspector;
};

} // namespace tagsink::inspector
