#include "model_test_classes.hpp"

#include "model/enumerations.hpp"

namespace tagsink::inspector::testing {
namespace {

using tagsink::PropInfo;
using tagsink::PropValue;
using tagsink::Published;
using tagsink::TypeInfo;
using tagsink::TypeKind;

TypeInfo Make(TypeKind kind, std::string_view name) {
    TypeInfo t;
    t.Kind = kind;
    t.Name = name;
    return t;
}

/// A property over a member of TKindSample, stored as T and passed as V.
template <class V, class M>
PropInfo Member(std::string_view name, const TypeInfo* type, M TKindSample::*member) {
    return PropInfo{.Name = name,
                    .Type = type,
                    .Index = 0,
                    .Get = [member](const Published& o) -> PropValue {
                        return static_cast<V>(static_cast<const TKindSample&>(o).*member);
                    },
                    .Set =
                        [member](Published& o, const PropValue& v) {
                            static_cast<TKindSample&>(o).*member = static_cast<M>(std::get<V>(v));
                        }};
}

} // namespace

const tagsink::ClassInfo& TKindInner::StaticClassInfo() {
    static const tagsink::ClassInfo kInfo(
        "TKindInner", nullptr,
        {PropInfo{.Name = "Width",
                  .Type = &tagsink::kIntegerType,
                  .Index = 0,
                  .Get = [](const Published& o) -> PropValue {
                      return std::int64_t{static_cast<const TKindInner&>(o).Width};
                  },
                  .Set =
                      [](Published& o, const PropValue& v) {
                          static_cast<TKindInner&>(o).Width =
                              static_cast<std::int32_t>(std::get<std::int64_t>(v));
                      }}});
    return kInfo;
}

const tagsink::ClassInfo& TKindSample::StaticClassInfo() {
    static const TypeInfo kCharType = [] {
        TypeInfo t = Make(TypeKind::Char, "Char");
        t.Ord = tagsink::OrdType::UByte;
        t.MaxValue = 255;
        return t;
    }();
    static const TypeInfo kSetType = [] {
        TypeInfo t = Make(TypeKind::Set, "TTrigTypes");
        t.CompType = &tagsink::kTrigTypeInfo;
        return t;
    }();
    static const TypeInfo kInnerType = [] {
        TypeInfo t = Make(TypeKind::Class, "TKindInner");
        t.ClassType = &TKindInner::StaticClassInfo();
        return t;
    }();
    static const TypeInfo kGroupType = [] {
        TypeInfo t = Make(TypeKind::Class, "TGroup");
        t.ClassType = &tagsink::TGroup::StaticClassInfo();
        return t;
    }();
    static const TypeInfo kMethodType = Make(TypeKind::Method, "TNotifyEvent");
    static const TypeInfo kVariantType = Make(TypeKind::Variant, "Variant");
    static const TypeInfo kInt64Type = [] {
        TypeInfo t = Make(TypeKind::Int64, "Int64");
        t.MinValue = std::numeric_limits<std::int64_t>::min();
        t.MaxValue = std::numeric_limits<std::int64_t>::max();
        return t;
    }();
    static const TypeInfo kColorType = [] {
        TypeInfo t = tagsink::kIntegerType;
        t.Name = "TColor";
        return t;
    }();
    static const TypeInfo kDateType = [] {
        TypeInfo t = Make(TypeKind::Float, "TDate");
        t.Float = tagsink::FloatType::Double;
        return t;
    }();

    static const tagsink::ClassInfo kInfo(
        "TKindSample", nullptr,
        {
            Member<std::int64_t>("Count", &tagsink::kIntegerType, &TKindSample::Count),
            Member<std::int64_t>("Letter", &kCharType, &TKindSample::Letter),
            Member<std::int64_t>("Trig", &tagsink::kTrigTypeInfo, &TKindSample::Trig),
            Member<double>("Deadband", &tagsink::kSingleType, &TKindSample::Deadband),
            Member<std::string>("Text", &tagsink::kStringType, &TKindSample::Text),
            Member<std::int64_t>("Modes", &kSetType, &TKindSample::Modes),
            PropInfo{.Name = "Inner",
                     .Type = &kInnerType,
                     .Index = 0,
                     .Get = [](const Published& o) -> PropValue {
                         return const_cast<TKindInner*>(&static_cast<const TKindSample&>(o).Inner);
                     },
                     .Set = {}},
            PropInfo{.Name = "Group",
                     .Type = &kGroupType,
                     .Index = 0,
                     .Get = [](const Published& o) -> PropValue {
                         return static_cast<Published*>(static_cast<const TKindSample&>(o).Group);
                     },
                     .Set =
                         [](Published& o, const PropValue& v) {
                             static_cast<TKindSample&>(o).Group =
                                 dynamic_cast<tagsink::TGroup*>(std::get<Published*>(v));
                         }},
            Member<std::string>("OnChange", &kMethodType, &TKindSample::OnChange),
            Member<tagsink::VariantValue>("Value", &kVariantType, &TKindSample::Value),
            Member<std::int64_t>("Big", &kInt64Type, &TKindSample::Big),
            Member<std::int64_t>("Color", &kColorType, &TKindSample::Color),
            Member<double>("Day", &kDateType, &TKindSample::Day),
        });
    return kInfo;
}

} // namespace tagsink::inspector::testing
