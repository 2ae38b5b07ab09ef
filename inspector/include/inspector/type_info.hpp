// What the inspector knows about inspectable objects: type descriptors, published properties of a class,
// and the values it reads and writes through them.
//
// The inspector never includes the classes it shows. An inspected object is a TQZInstance: an untyped
// address plus the class descriptor that lists its published properties. Descriptors are created once
// (usually as function-local statics) and live to the end of the program; their addresses are their
// identity, so two properties of the same named type share one TQZTypeInfo.
#pragma once

#include "inspector/variant.hpp"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <variant>
#include <vector>

namespace tagsink::inspector {

struct TQZClassInfo;

/// Kind of a property type.
enum class TQZTypeKind {
    tkUnknown,
    tkInteger,
    tkChar,
    tkEnumeration,
    tkFloat,
    tkString,  // short string
    tkLString, // long string
    tkWString, // wide string
    tkSet,
    tkClass,
    tkMethod,
    tkVariant,
    tkInt64,
};

/// Storage width and signedness of an ordinal type.
enum class TQZOrdType { otSByte, otUByte, otSWord, otUWord, otSLong, otULong };

/// Representation of a float type.
enum class TQZFloatType { ftSingle, ftDouble, ftExtended, ftComp, ftCurr };

/// A type descriptor. Which fields matter depends on Kind.
struct TQZTypeInfo {
    TQZTypeKind Kind = TQZTypeKind::tkUnknown;
    QString Name;                             // the type's name ("Integer", "TColor", "TFieldType")
    TQZOrdType OrdType = TQZOrdType::otSLong; // integer, character, enumeration
    std::int64_t MinValue = 0;                // integer, character, enumeration, 64-bit integer
    std::int64_t MaxValue = 0;                //
    QStringList EnumNames;                    // enumeration: names of MinValue..MaxValue in order
    TQZFloatType FloatType = TQZFloatType::ftDouble;
    const TQZTypeInfo* CompType = nullptr;   // set: the element type (an enumeration, ordinals 0..63)
    const TQZClassInfo* ClassType = nullptr; // class: the class

    bool IsString() const {
        return Kind == TQZTypeKind::tkString || Kind == TQZTypeKind::tkLString ||
               Kind == TQZTypeKind::tkWString;
    }
    /// Name of ordinal Value of an enumeration ("" outside the range).
    QString EnumName(std::int64_t value) const;
    /// Ordinal of an enumeration name, compared without regard to case; -1 when there is none.
    std::int64_t EnumValue(const QString& name) const;
};

/// An inspected object: its address and its class. A null Object means "no object".
struct TQZInstance {
    void* Object = nullptr;
    const TQZClassInfo* Class = nullptr;

    explicit operator bool() const { return Object != nullptr; }
    friend bool operator==(const TQZInstance& a, const TQZInstance& b) { return a.Object == b.Object; }
};

/// A property value as the getters hand it out and the setters take it:
/// ordinals (integer, character, enumeration, set as a bit mask by element ordinal) and 64-bit integers
/// as std::int64_t, floats as double, strings as QString, variants as TQZVariant, objects as TQZInstance.
/// Method-typed properties carry the handler's name as QString.
using TQZValue = std::variant<std::monostate, std::int64_t, double, QString, TQZVariant, TQZInstance>;

/// One published property of a class.
struct TQZPropInfo {
    QString Name;
    const TQZTypeInfo* PropType = nullptr;
    std::function<TQZValue(void* object)> Get;                    // empty: write-only
    std::function<void(void* object, const TQZValue& value)> Set; // empty: read-only

    bool CanRead() const { return static_cast<bool>(Get); }
    bool CanWrite() const { return static_cast<bool>(Set); }
    TQZTypeKind Kind() const { return PropType ? PropType->Kind : TQZTypeKind::tkUnknown; }
};

/// A class descriptor: its name, its parent, and its own published properties in declared order.
struct TQZClassInfo {
    QString Name;
    const TQZClassInfo* Parent = nullptr;
    bool IsComponent = false;                    // objects of the class are named components
    std::vector<TQZPropInfo> Props;              // own properties, declared order
    std::function<QString(void* object)> NameOf; // a component's name; empty: read the "Name" property

    /// True when this class is cls or descends from it.
    bool InheritsFrom(const TQZClassInfo* cls) const;
    /// Every published property, the ancestors' first, each in declared order.
    std::vector<const TQZPropInfo*> AllProps() const;
    /// A property by name (letter case ignored), the most derived first; nullptr when there is none.
    const TQZPropInfo* FindProp(const QString& name) const;
};

/// The name of a component (empty for none), through NameOf or its "Name" string property.
QString ComponentNameOf(const TQZInstance& instance);

/// Compares two property names as the inspector sorts rows: A to Z without regard to case, other
/// characters by code, and on a common prefix the shorter name first. Result <0, 0 or >0.
int ComparePropNames(const QString& a, const QString& b);

} // namespace tagsink::inspector
