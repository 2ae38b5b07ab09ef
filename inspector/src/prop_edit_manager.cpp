#include "inspector/prop_edit_manager.hpp"

namespace tagsink::inspector {
namespace {

bool TypeMatches(const TQZTypeInfo* entry_type, const TQZTypeInfo* prop_type) {
    if (entry_type == prop_type) {
        return true;
    }
    return entry_type && prop_type && entry_type->Kind == TQZTypeKind::tkClass &&
           prop_type->Kind == TQZTypeKind::tkClass && entry_type->ClassType && prop_type->ClassType &&
           prop_type->ClassType->InheritsFrom(entry_type->ClassType);
}

} // namespace

TQZPrpertyEditManager& TQZPrpertyEditManager::Instance() {
    static TQZPrpertyEditManager manager;
    return manager;
}

void TQZPrpertyEditManager::Register(const TQZTypeInfo* prop_type, const TQZClassInfo* object_class,
                                     const QString& property_name, const TQZPropEditorClass* editor_class) {
    for (const auto& e : FEntries) {
        if (e.TypeInfo == prop_type && e.ObjectClass == object_class && e.EditorClass == editor_class &&
            e.PropertyName.compare(property_name, Qt::CaseInsensitive) == 0) {
            return;
        }
    }
    FEntries.push_back({prop_type, object_class, property_name, editor_class});
}

const TQZPropEditorClass* TQZPrpertyEditManager::Find(const TQZTypeInfo* prop_type,
                                                      const TQZClassInfo* object_class,
                                                      const QString& property_name) const {
    for (auto it = FEntries.rbegin(); it != FEntries.rend(); ++it) {
        if (!TypeMatches(it->TypeInfo, prop_type)) {
            continue;
        }
        if (it->ObjectClass && !(object_class && object_class->InheritsFrom(it->ObjectClass))) {
            continue;
        }
        if (!it->PropertyName.isEmpty() &&
            it->PropertyName.compare(property_name, Qt::CaseInsensitive) != 0) {
            continue;
        }
        return it->EditorClass;
    }
    return nullptr;
}

void TQZPrpertyEditManager::Truncate(int count) {
    if (count >= 0 && count < Count()) {
        FEntries.resize(static_cast<size_t>(count));
    }
}

void RegisterPropEditor(const TQZTypeInfo* prop_type, const TQZClassInfo* object_class,
                        const QString& property_name, const TQZPropEditorClass* editor_class) {
    TQZPrpertyEditManager::Instance().Register(prop_type, object_class, property_name, editor_class);
}

} // namespace tagsink::inspector
