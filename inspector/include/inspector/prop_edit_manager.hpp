// The program's one registry of property editors. Entries are walked from the most recently registered
// to the first; the first that matches a property decides its editor.
#pragma once

#include "inspector/prop_editor.hpp"

#include <QString>

#include <vector>

namespace tagsink::inspector {

struct TQZPropertyInspectorEditorDescr {
    const TQZTypeInfo* TypeInfo = nullptr;     // the property type
    const TQZClassInfo* ObjectClass = nullptr; // objects of this class or a descendant; nullptr: any
    QString PropertyName;                      // empty: any name; else compared without regard to case
    const TQZPropEditorClass* EditorClass = nullptr;
};

class TQZPrpertyEditManager {
public:
    /// The registry, created on first use and destroyed at program end.
    static TQZPrpertyEditManager& Instance();

    /// Adds an entry unless one with the same type, class, name (case ignored) and editor exists.
    void Register(const TQZTypeInfo* prop_type, const TQZClassInfo* object_class,
                  const QString& property_name, const TQZPropEditorClass* editor_class);

    /// The editor of the most recently registered matching entry, or nullptr. An entry matches when its
    /// type is the property's (or both are class types and the property's class descends from the
    /// entry's), its object class is none or an ancestor of object_class, and its name is empty or equal.
    const TQZPropEditorClass* Find(const TQZTypeInfo* prop_type, const TQZClassInfo* object_class,
                                   const QString& property_name) const;

    int Count() const { return static_cast<int>(FEntries.size()); }
    const TQZPropertyInspectorEditorDescr& Entry(int i) const { return FEntries[static_cast<size_t>(i)]; }

    /// Removes every entry registered after the first count ones (tests restore the registry with it).
    void Truncate(int count);

private:
    TQZPrpertyEditManager() = default;
    std::vector<TQZPropertyInspectorEditorDescr> FEntries;
};

/// Registers an editor for properties of a type, optionally limited to a class and a property name.
void RegisterPropEditor(const TQZTypeInfo* prop_type, const TQZClassInfo* object_class,
                        const QString& property_name, const TQZPropEditorClass* editor_class);

} // namespace tagsink::inspector
