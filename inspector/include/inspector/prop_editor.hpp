// The property editor contract: an editor turns the value of one property (of one or more objects
// alike) into text and back, lists values for a pick list, creates the editors of sub-properties, opens a
// dialog and draws values. The inspector creates one editor per row and owns it.
#pragma once

#include "inspector/type_info.hpp"

#include <QFontMetrics>
#include <QObject>
#include <QPainter>
#include <QRect>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace tagsink::inspector {

class TQZCustomPropertyInspector;
class TQZPropEditor;

/// Editor attributes: bit flags combined in TQZPropEditorAttrs.
using TQZPropEditorAttrs = std::uint32_t;
inline constexpr TQZPropEditorAttrs eaValueList = 1;     // drop-down button, pick list from GetValues
inline constexpr TQZPropEditorAttrs eaSubProperties = 2; // expandable; children from GetProperties
inline constexpr TQZPropEditorAttrs eaDialog = 4;        // ellipsis button that calls Edit
inline constexpr TQZPropEditorAttrs eaMultiSelect = 8;   // listed while several objects are shown
inline constexpr TQZPropEditorAttrs eaSortList = 16;     // the pick list is sorted
inline constexpr TQZPropEditorAttrs eaReadOnly = 32;     // the value cannot be typed
inline constexpr TQZPropEditorAttrs eaVolatileSubProperties = 64; // children rebuilt after a value change
inline constexpr TQZPropEditorAttrs eaNotNestable = 128;          // not listed below a component reference
inline constexpr TQZPropEditorAttrs eaAutoUpdate = 256;           // every keystroke applies the value
inline constexpr TQZPropEditorAttrs eaOwnerDrawValues = 512;      // the editor measures and draws values
inline constexpr TQZPropEditorAttrs eaComponentRef = 1024;        // the value refers to a component
inline constexpr TQZPropEditorAttrs eaDropDownOnKey = 2048;       // any key opens the pick list

using TQZPropEditorList = std::vector<std::unique_ptr<TQZPropEditor>>;

/// An editor class: what the registry stores and the editor choice compares. EditorClassOf<E>() gives
/// the one descriptor of editor type E.
struct TQZPropEditorClass {
    const char* Name;
    std::unique_ptr<TQZPropEditor> (*Create)(TQZCustomPropertyInspector* inspector, int prop_count);
};

template <class E> const TQZPropEditorClass* EditorClassOf() {
    static const TQZPropEditorClass kCls{
        E::ClassName(),
        [](TQZCustomPropertyInspector* inspector, int prop_count) -> std::unique_ptr<TQZPropEditor> {
            return std::make_unique<E>(inspector, prop_count);
        }};
    return &kCls;
}

/// One (object, property) pair that an editor edits.
struct TQZPropPair {
    TQZInstance Instance;
    const TQZPropInfo* PropInfo = nullptr;
};

class TQZPropEditor : public QObject {
    Q_OBJECT
public:
    static const char* ClassName() { return "TQZPropEditor"; }

    TQZPropEditor(TQZCustomPropertyInspector* inspector, int prop_count);
    virtual ~TQZPropEditor();
    TQZPropEditor(const TQZPropEditor&) = delete;
    TQZPropEditor& operator=(const TQZPropEditor&) = delete;

    /// The value as text; the base gives "(Unknown)".
    virtual QString GetValue();
    /// Parses text and writes it to every pair; raises EQZPropEditor for text it cannot take.
    virtual void SetValue(const QString& value);
    virtual TQZPropEditorAttrs GetAttributes();
    /// Fills the pick list.
    virtual void GetValues(QStringList& values);
    /// Creates the editors of the sub-properties, in order.
    virtual void GetProperties(TQZPropEditorList& editors);
    /// The row caption; the base gives the property's name.
    virtual QString GetName();
    /// Whether every pair holds the same value; the base says so only for one pair.
    virtual bool AllEqual();
    /// The dialog action.
    virtual void Edit();
    virtual void ValuesMeasureHeight(const QString& value, const QFontMetrics& metrics, int& height);
    virtual void ValuesMeasureWidth(const QString& value, const QFontMetrics& metrics, int& width);
    virtual void ValuesDrawValue(const QString& value, QPainter& painter, const QRect& rect, bool selected);

    int PropCount() const { return static_cast<int>(FPairs.size()); }
    void SetPropEntry(int index, const TQZInstance& instance, const TQZPropInfo* prop_info);
    TQZInstance GetInstance(int index) const;
    const TQZPropInfo* GetPropInfo(int index = 0) const;
    const TQZTypeInfo* GetPropType() const;
    TQZCustomPropertyInspector* Inspector() const { return FInspector; }
    const std::vector<TQZPropPair>& Pairs() const { return FPairs; }

    std::int64_t GetOrdValue(int index = 0) const;
    std::int64_t GetInt64Value(int index = 0) const;
    double GetFloatValue(int index = 0) const;
    QString GetStrValue(int index = 0) const;
    TQZVariant GetVarValue(int index = 0) const;
    TQZInstance GetObjValue(int index = 0) const;

    void SetOrdValue(std::int64_t value);
    void SetInt64Value(std::int64_t value);
    void SetFloatValue(double value);
    void SetStrValue(const QString& value);
    void SetVarValue(const TQZVariant& value);
    void SetObjValue(const TQZInstance& value);

signals:
    // The editor's events; the inspector connects to them when it binds the editor to a row. The three
    // that answer a question pass the answer by reference (a signal returns nothing): a handler connected
    // directly changes it, and the editor reads it when the last handler has returned.

    /// The editor has written a value (the inspector refreshes its rows).
    void Modified();
    /// The object that a component name refers to (component starts empty: none).
    void GettingComponent(const QString& name, TQZInstance& component);
    /// The names of the objects of a class that a component reference may name.
    void GettingComponentNames(const TQZClassInfo* cls, QStringList& names);
    /// The name shown for a referenced object (name starts as the object's own name).
    void GettingComponentName(const TQZInstance& component, QString& name);

protected:
    /// Writes one value into every pair, in order, then reports the change.
    void SetValueToAll(const TQZValue& value);
    /// Writes into each pair a value made from that pair's own (for changes of a part of the value,
    /// such as one set element), in order, then reports the change.
    void SetEachValue(const std::function<TQZValue(int index)>& value_for);
    TQZValue GetRaw(int index) const;

    /// Copies the pairs of another editor (nested editors share their parent's pairs).
    void CopyPairs(const TQZPropEditor& from);

private:
    TQZCustomPropertyInspector* FInspector;
    std::vector<TQZPropPair> FPairs;
};

} // namespace tagsink::inspector
