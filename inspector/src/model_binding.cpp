#include "inspector/model_binding.hpp"

#include <QCoreApplication>
#include "inspector/errors.hpp"
#include "inspector/std_types.hpp"

#include "model/named_item.hpp"

#include <map>
#include <memory>
#include <set>

namespace tagsink::inspector {
namespace {

struct Cache {
    std::map<const tagsink::ClassInfo*, std::unique_ptr<TQZClassInfo>> Classes;
    std::map<const tagsink::TypeInfo*, std::unique_ptr<TQZTypeInfo>> Types;
    std::set<const TQZClassInfo*> Bound;
};

Cache& TheCache() {
    static Cache cache;
    return cache;
}

QString Text(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

TQZTypeKind KindOf(tagsink::TypeKind k) {
    switch (k) {
    case tagsink::TypeKind::Integer:
        return TQZTypeKind::tkInteger;
    case tagsink::TypeKind::Enumeration:
        return TQZTypeKind::tkEnumeration;
    case tagsink::TypeKind::Float:
        return TQZTypeKind::tkFloat;
    case tagsink::TypeKind::String:
        return TQZTypeKind::tkLString;
    case tagsink::TypeKind::Char:
        return TQZTypeKind::tkChar;
    case tagsink::TypeKind::Set:
        return TQZTypeKind::tkSet;
    case tagsink::TypeKind::Class:
        return TQZTypeKind::tkClass;
    case tagsink::TypeKind::Method:
        return TQZTypeKind::tkMethod;
    case tagsink::TypeKind::Variant:
        return TQZTypeKind::tkVariant;
    case tagsink::TypeKind::Int64:
        return TQZTypeKind::tkInt64;
    case tagsink::TypeKind::Unknown:
        break;
    }
    return TQZTypeKind::tkUnknown;
}

TQZOrdType OrdOf(tagsink::OrdType o) {
    switch (o) {
    case tagsink::OrdType::SByte:
        return TQZOrdType::otSByte;
    case tagsink::OrdType::UByte:
        return TQZOrdType::otUByte;
    case tagsink::OrdType::SWord:
        return TQZOrdType::otSWord;
    case tagsink::OrdType::UWord:
        return TQZOrdType::otUWord;
    case tagsink::OrdType::SLong:
        return TQZOrdType::otSLong;
    case tagsink::OrdType::ULong:
        return TQZOrdType::otULong;
    }
    return TQZOrdType::otSLong;
}

TQZFloatType FloatOf(tagsink::FloatType f) {
    switch (f) {
    case tagsink::FloatType::Single:
        return TQZFloatType::ftSingle;
    case tagsink::FloatType::Double:
        return TQZFloatType::ftDouble;
    case tagsink::FloatType::Extended:
        return TQZFloatType::ftExtended;
    case tagsink::FloatType::Comp:
        return TQZFloatType::ftComp;
    case tagsink::FloatType::Currency:
        return TQZFloatType::ftCurr;
    }
    return TQZFloatType::ftDouble;
}

tagsink::Published& ModelObject(void* object) {
    return *static_cast<tagsink::Published*>(object);
}

} // namespace

TQZVariant ToInspectorVariant(const tagsink::VariantValue& value) {
    TQZVariant v;
    v.VType = value.VType;
    if (const auto* i = std::get_if<std::int64_t>(&value.Data)) {
        v.Value = QVariant(static_cast<qlonglong>(*i));
    } else if (const auto* d = std::get_if<double>(&value.Data)) {
        v.Value = QVariant(*d);
    } else if (const auto* b = std::get_if<bool>(&value.Data)) {
        v.Value = QVariant(*b);
    } else if (const auto* s = std::get_if<std::string>(&value.Data)) {
        v.Value = QVariant(Text(*s));
    }
    return v;
}

tagsink::VariantValue ToModelVariant(const TQZVariant& value) {
    tagsink::VariantValue v;
    v.VType = value.VType;
    switch (value.VType) {
    case varEmpty:
    case varNull:
        break;
    case varSingle:
    case varDouble:
    case varDate:
        v.Data = value.Value.toDouble();
        break;
    case varBoolean:
        v.Data = value.Value.toBool();
        break;
    case varOleStr:
    case varString:
        v.Data = value.Value.toString().toStdString();
        break;
    default:
        v.Data = static_cast<std::int64_t>(value.Value.toLongLong());
        break;
    }
    return v;
}

TQZValue ToInspectorValue(const tagsink::PropValue& value) {
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
        return *i;
    }
    if (const auto* d = std::get_if<double>(&value)) {
        return *d;
    }
    if (const auto* s = std::get_if<std::string>(&value)) {
        return Text(*s);
    }
    if (const auto* v = std::get_if<tagsink::VariantValue>(&value)) {
        return ToInspectorVariant(*v);
    }
    if (const auto* o = std::get_if<tagsink::Published*>(&value)) {
        return *o ? Inspectable(**o) : TQZInstance{};
    }
    return std::monostate{};
}

tagsink::PropValue ToModelValue(const TQZValue& value) {
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
        return *i;
    }
    if (const auto* d = std::get_if<double>(&value)) {
        return *d;
    }
    if (const auto* s = std::get_if<QString>(&value)) {
        return s->toStdString();
    }
    if (const auto* v = std::get_if<TQZVariant>(&value)) {
        return ToModelVariant(*v);
    }
    if (const auto* o = std::get_if<TQZInstance>(&value)) {
        if (!*o) {
            return static_cast<tagsink::Published*>(nullptr);
        }
        tagsink::Published* object = ModelObjectOf(*o);
        if (!object) {
            throw EQZPropEditor(QCoreApplication::translate("tagsink::inspector", "Invalid property value"));
        }
        return object;
    }
    return std::monostate{};
}

const TQZTypeInfo* InspectorTypeOf(const tagsink::TypeInfo& type) {
    // The model's plain string is the inspector's standard string: editors registered for either apply
    // to every plain string property (the registry compares descriptors by identity).
    if (type.Kind == tagsink::TypeKind::String && type.Name == tagsink::kStringType.Name) {
        return StdTypes::String();
    }
    Cache& cache = TheCache();
    if (auto it = cache.Types.find(&type); it != cache.Types.end()) {
        return it->second.get();
    }
    auto made = std::make_unique<TQZTypeInfo>();
    TQZTypeInfo* t = made.get();
    cache.Types.emplace(&type, std::move(made));
    t->Kind = KindOf(type.Kind);
    t->Name = Text(type.Name);
    t->OrdType = OrdOf(type.Ord);
    t->MinValue = type.MinValue;
    t->MaxValue = type.MaxValue;
    for (std::string_view name : type.EnumNames) {
        t->EnumNames << Text(name);
    }
    t->FloatType = FloatOf(type.Float);
    if (type.CompType) {
        t->CompType = InspectorTypeOf(*type.CompType);
    }
    if (type.ClassType) {
        t->ClassType = InspectorClassOf(*type.ClassType);
    }
    return t;
}

const TQZClassInfo* InspectorClassOf(const tagsink::ClassInfo& cls) {
    Cache& cache = TheCache();
    if (auto it = cache.Classes.find(&cls); it != cache.Classes.end()) {
        return it->second.get();
    }
    auto made = std::make_unique<TQZClassInfo>();
    TQZClassInfo* c = made.get();
    // Registered before its properties are bound, so that a class may refer to itself.
    cache.Classes.emplace(&cls, std::move(made));
    cache.Bound.insert(c);
    c->Name = Text(cls.Name());
    c->Parent = cls.Parent() ? InspectorClassOf(*cls.Parent()) : nullptr;
    c->IsComponent = cls.InheritsFrom(tagsink::TNamedItem::StaticClassInfo());
    if (c->IsComponent) {
        c->NameOf = [](void* object) {
            const auto* item = dynamic_cast<const tagsink::TNamedItem*>(&ModelObject(object));
            return item ? QString::fromStdString(item->Name()) : QString();
        };
    }
    const size_t inherited = cls.Parent() ? cls.Parent()->Properties().size() : 0;
    const auto& all = cls.Properties();
    for (size_t i = inherited; i < all.size(); ++i) {
        const tagsink::PropInfo* p = all[i];
        TQZPropInfo prop;
        prop.Name = Text(p->Name);
        prop.PropType = p->Type ? InspectorTypeOf(*p->Type) : nullptr;
        if (p->CanRead()) {
            prop.Get = [p](void* object) { return ToInspectorValue(p->Get(ModelObject(object))); };
        }
        if (p->CanWrite()) {
            prop.Set = [p](void* object, const TQZValue& value) {
                p->Set(ModelObject(object), ToModelValue(value));
            };
        }
        c->Props.push_back(std::move(prop));
    }
    return c;
}

TQZInstance Inspectable(tagsink::Published& object) {
    return {static_cast<void*>(&object), InspectorClassOf(object.GetClassInfo())};
}

tagsink::Published* ModelObjectOf(const TQZInstance& instance) {
    if (!instance || !TheCache().Bound.count(instance.Class)) {
        return nullptr;
    }
    return &ModelObject(instance.Object);
}

} // namespace tagsink::inspector
