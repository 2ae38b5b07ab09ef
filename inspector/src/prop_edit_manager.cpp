#include "inspector/prop_edit_manager.hpp"

namespace tagsink::inspector {
namespace {

bool TypeMatches(const TQZTypeInfo* entryType, const TQZTypeInfo* propType) {
    if (entryType == propType) {
        return true;
    }
    return entryType && propType && entryType->Kind == TQZTypeKind::tkClass &&
           propType->Kind == TQZTypeKind::tkClass && entryType->ClassType && propType->ClassType &&
           propType->ClassType->InheritsFrom(entryType->ClassType);
}

} // namespace

TQZPrpertyEditManager& TQZPrpertyEditManager::Instance() {
    static TQZPrpertyEditManager manager;
    return manager;
}

void TQZPrpertyEditManager::Register(const TQZTypeInfo* propType, const TQZClassInfo* objectClass,
                                     const QString& propertyName, const TQZPropEditorClass* editorClass) {
    for (const auto& e : FEntries) {
        if (e.TypeInfo == propType && e.ObjectClass == objectClass && e.EditorClass == editorClass &&
            e.PropertyName.compare(propertyName, Qt::CaseInsensitive) == 0) {
            return;
        }
    }
    FEntries.push_back({propType, objectClass, propertyName, editorClass});
}

const TQZPropEditorClass* TQZPrpertyEditManager::Find(const TQZTypeInfo* propType,
                                                      const TQZClassInfo* objectClass,
                                                      const QString& propertyName) const {
    for (auto it = FEntries.rbegin(); it != FEntries.rend(); ++it) {
        if (!TypeMatches(it->TypeInfo, propType)) {
            continue;
        }
        if (it->ObjectClass && !(objectClass && objectClass->InheritsFrom(it->ObjectClass))) {
            continue;
        }
        if (!it->PropertyName.isEmpty() && it->PropertyName.compare(propertyName, Qt::CaseInsensitive) != 0) {
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

void RegisterPropEditor(const TQZTypeInfo* propType, const TQZClassInfo* objectClass,
                        const QString& propertyName, const TQZPropEditorClass* editorClass) {
    TQZPrpertyEditManager::Instance().Register(propType, objectClass, propertyName, editorClass);
}

} // namespace tagsink::inspector
