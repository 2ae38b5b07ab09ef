#include "model_bridge.hpp"

#include "inspector/std_types.hpp"

#include <map>
#include <memory>
#include <mutex>

namespace tagsink::app {

namespace {

using inspector::TQZClassInfo;
using inspector::TQZTypeInfo;
using inspector::TQZTypeKind;
using inspector::TQZValue;

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inspector::TQZOrdType OrdOf(OrdType ord) {
    switch (ord) {
    case OrdType::SByte:
        return inspector::TQZOrdType::otSByte;
    case OrdType::UByte:
        return inspector::TQZOrdType::otUByte;
    case OrdType::SWord:
        return inspector::TQZOrdType::otSWord;
    case OrdType::UWord:
        return inspector::TQZOrdType::otUWord;
    case OrdType::SLong:
        return inspector::TQZOrdType::otSLong;
    case OrdType::ULong:
        return inspector::TQZOrdType::otULong;
    }
    return inspector::TQZOrdType::otSLong;
}

inspector::TQZFloatType FloatOf(FloatType type) {
    switch (type) {
    case FloatType::Single:
        return inspector::TQZFloatType::ftSingle;
    case FloatType::Double:
        return inspector::TQZFloatType::ftDouble;
    case FloatType::Extended:
        return inspector::TQZFloatType::ftExtended;
    case FloatType::Comp:
        return inspector::TQZFloatType::ftComp;
    case FloatType::Currency:
        return inspector::TQZFloatType::ftCurr;
    }
    return inspector::TQZFloatType::ftDouble;
}

// Everything the bridge creates lives here for the program's life; the inspector keeps raw pointers.
struct Registry {
    std::mutex lock;
    std::map<const TypeInfo*, std::unique_ptr<TQZTypeInfo>> types;
    std::map<const ClassInfo*, std::unique_ptr<TQZClassInfo>> classes;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

const TQZTypeInfo* TypeOf(Registry& registry, const TypeInfo& type) {
    if (type.Kind == TypeKind::String) {
        return inspector::StdTypes::String();
    }
    auto& slot = registry.types[&type];
    if (!slot) {
        auto info = std::make_unique<TQZTypeInfo>();
        info->Name = Q(type.Name);
        switch (type.Kind) {
        case TypeKind::Integer:
            info->Kind = TQZTypeKind::tkInteger;
            break;
        case TypeKind::Enumeration:
            info->Kind = TQZTypeKind::tkEnumeration;
            for (std::string_view name : type.EnumNames) {
                info->EnumNames << Q(name);
            }
            break;
        case TypeKind::Float:
            info->Kind = TQZTypeKind::tkFloat;
            info->FloatType = FloatOf(type.Float);
            break;
        default:
            info->Kind = TQZTypeKind::tkUnknown;
            break;
        }
        info->OrdType = OrdOf(type.Ord);
        info->MinValue = type.MinValue;
        info->MaxValue = type.MaxValue;
        slot = std::move(info);
    }
    return slot.get();
}

Published& Target(void* object) {
    return *static_cast<Published*>(object);
}

TQZValue ToInspector(const PropValue& value) {
    if (const auto* ord = std::get_if<std::int64_t>(&value)) {
        return *ord;
    }
    if (const auto* number = std::get_if<double>(&value)) {
        return *number;
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
        return Q(*text);
    }
    return {};
}

PropValue ToModel(const TQZValue& value) {
    if (const auto* ord = std::get_if<std::int64_t>(&value)) {
        return *ord;
    }
    if (const auto* number = std::get_if<double>(&value)) {
        return *number;
    }
    if (const auto* text = std::get_if<QString>(&value)) {
        return text->toStdString();
    }
    return {};
}

const TQZClassInfo* ClassOf(Registry& registry, const ClassInfo& cls) {
    auto found = registry.classes.find(&cls);
    if (found != registry.classes.end()) {
        return found->second.get();
    }
    const TQZClassInfo* parent = cls.Parent() ? ClassOf(registry, *cls.Parent()) : nullptr;
    auto info = std::make_unique<TQZClassInfo>();
    info->Name = Q(cls.Name());
    info->Parent = parent;
    info->IsComponent = true;
    info->NameOf = [](void* object) {
        auto* named = dynamic_cast<TNamedItem*>(&Target(object));
        return named ? Q(named->Name()) : QString();
    };
    // Own properties only: the ancestors' come through Parent.
    const auto& all = cls.Properties();
    std::size_t inherited = cls.Parent() ? cls.Parent()->Properties().size() : 0;
    for (std::size_t i = inherited; i < all.size(); ++i) {
        const PropInfo* prop = all[i];
        inspector::TQZPropInfo out;
        out.Name = Q(prop->Name);
        out.PropType = TypeOf(registry, *prop->Type);
        if (prop->CanRead()) {
            out.Get = [prop](void* object) { return ToInspector(prop->Get(Target(object))); };
        }
        if (prop->CanWrite()) {
            out.Set = [prop](void* object, const TQZValue& value) {
                prop->Set(Target(object), ToModel(value));
            };
        }
        info->Props.push_back(std::move(out));
    }
    const TQZClassInfo* result = info.get();
    registry.classes.emplace(&cls, std::move(info));
    return result;
}

} // namespace

const inspector::TQZClassInfo* InspectorClassOf(const ClassInfo& cls) {
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    return ClassOf(registry, cls);
}

inspector::TQZInstance InstanceOf(TNamedItem& object) {
    Published& published = object;
    return {static_cast<void*>(&published), InspectorClassOf(object.GetClassInfo())};
}

TNamedItem* ObjectOf(const inspector::TQZInstance& instance) {
    if (!instance.Object) {
        return nullptr;
    }
    return dynamic_cast<TNamedItem*>(&Target(instance.Object));
}

} // namespace tagsink::app
