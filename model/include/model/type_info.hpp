// Type descriptors of published properties.
//
// Every published property points at one TypeInfo; two properties of the same named type point at the
// same object, so the address is the type's identity (the property inspector registers editors by it).
// A descriptor carries its kind and, depending on the kind, the kind's own data. New kinds are added by
// extending TypeKind and, where a kind needs data of its own, by adding members here: existing
// descriptors and their users stay as they are.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string_view>

namespace tagsink {

class ClassInfo;

enum class TypeKind {
    Unknown,
    Integer,     // whole numbers up to 32 bits; OrdType, MinValue, MaxValue
    Enumeration, // OrdType, MinValue, MaxValue, EnumNames (one per ordinal from MinValue)
    Float,       // FloatType
    String,      // text (UTF-8 in memory)
    // Kinds the property inspector shows and edits; the project classes do not publish them.
    Char,    // a character code; OrdType, MinValue, MaxValue
    Set,     // a set of values of an enumeration (ordinals 0 to 63) as a bit mask; CompType
    Class,   // an object of a published class (owned, or a reference to a component); ClassType
    Method,  // an event handler, by name
    Variant, // a VariantValue (published.hpp)
    Int64,   // 64-bit whole numbers; MinValue, MaxValue
};

/// Storage of an ordinal value (integer and enumeration kinds).
enum class OrdType { SByte, UByte, SWord, UWord, SLong, ULong };

/// Precision of a float kind.
enum class FloatType { Single, Double, Extended, Comp, Currency };

struct TypeInfo {
    TypeKind Kind = TypeKind::Unknown;
    std::string_view Name; // the type's name, e.g. "Integer", "TFieldType", "Single", "string"

    // Integer and Enumeration
    OrdType Ord = OrdType::SLong;
    std::int64_t MinValue = 0;
    std::int64_t MaxValue = 0;
    std::span<const std::string_view> EnumNames; // Enumeration: identifier of ordinal MinValue + i
    // Integer and Enumeration: a property of this type is not stored while it holds this ordinal (the
    // project file and the project text leave it out; a file without it leaves the initial value). The
    // choices added after the first file format have one, so projects that do not use them stay as they
    // were, byte for byte.
    std::optional<std::int64_t> UnstoredValue;

    // Float
    FloatType Float = FloatType::Double;

    // Set: the element type (an enumeration)
    const TypeInfo* CompType = nullptr;

    // Class: the class of the objects the property holds
    const ClassInfo* ClassType = nullptr;
};

namespace detail {
constexpr TypeInfo MakeIntegerType(std::string_view name, OrdType ord, std::int64_t min, std::int64_t max) {
    TypeInfo type;
    type.Kind = TypeKind::Integer;
    type.Name = name;
    type.Ord = ord;
    type.MinValue = min;
    type.MaxValue = max;
    return type;
}
constexpr TypeInfo MakeFloatType(std::string_view name, FloatType precision) {
    TypeInfo type;
    type.Kind = TypeKind::Float;
    type.Name = name;
    type.Float = precision;
    return type;
}
constexpr TypeInfo MakeStringType(std::string_view name) {
    TypeInfo type;
    type.Kind = TypeKind::String;
    type.Name = name;
    return type;
}
} // namespace detail

/// The standard descriptors of the project's plain property types.
inline constexpr TypeInfo kIntegerType =
    detail::MakeIntegerType("Integer", OrdType::SLong, std::numeric_limits<std::int32_t>::min(),
                            std::numeric_limits<std::int32_t>::max());
inline constexpr TypeInfo kSingleType = detail::MakeFloatType("Single", FloatType::Single);
inline constexpr TypeInfo kStringType = detail::MakeStringType("string");

} // namespace tagsink
