// Published properties: one descriptor table per class.
//
// A class that publishes properties derives from Published and returns its ClassInfo. The ClassInfo lists
// the class's properties in declared order (those of the parent class first); each PropInfo has a name,
// a type descriptor, a getter and a setter. The project file writes and reads properties in declared order;
// the property inspector lists them by name and reads and writes them by kind through the accessors below.
#pragma once

#include "model/type_info.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tagsink {

class Published;

/// The value of a variant-typed property: an OLE Automation type code (VT_I4, VT_BSTR, ...) and its
/// value. Integer codes, currency (scaled by 10,000) and error codes use the int64_t alternative,
/// single, double and date (days since 1899-12-30) the double, VT_BOOL the bool, strings the std::string
/// (UTF-8); empty and null carry nothing.
struct VariantValue {
    std::uint16_t VType = 0;
    std::variant<std::monostate, std::int64_t, double, bool, std::string> Data;

    friend bool operator==(const VariantValue&, const VariantValue&) = default;
};

/// A property value as it passes between a getter or setter and its user. Ordinal kinds (integer,
/// enumeration, character, set as a bit mask) and 64-bit integers use the int64_t alternative, floats
/// the double, strings and method names the std::string (UTF-8), variants the VariantValue, and class
/// kinds the object (nullptr for none; a setter of an owned object copies from it).
/// Kinds added later add alternatives.
using PropValue = std::variant<std::monostate, std::int64_t, double, std::string, VariantValue, Published*>;

using PropGetter = std::function<PropValue(const Published&)>;
using PropSetter = std::function<void(Published&, const PropValue&)>;

struct PropInfo {
    std::string_view Name;
    const TypeInfo* Type = nullptr;
    int Index = 0;  // position in the declared order of the class that owns the table
    PropGetter Get; // empty when the property cannot be read
    PropSetter Set; // empty when the property cannot be written

    bool CanRead() const { return static_cast<bool>(Get); }
    bool CanWrite() const { return static_cast<bool>(Set); }
};

class ClassInfo {
public:
    /// `own` are the properties the class adds to those of `parent`, in declared order.
    ClassInfo(std::string_view name, const ClassInfo* parent, std::vector<PropInfo> own);
    ClassInfo(const ClassInfo&) = delete;
    ClassInfo& operator=(const ClassInfo&) = delete;

    std::string_view Name() const { return name_; }
    const ClassInfo* Parent() const { return parent_; }

    /// Every published property, inherited ones first, in declared order.
    const std::vector<const PropInfo*>& Properties() const { return all_; }

    /// The property of that name (compared without regard to ASCII case), or nullptr.
    const PropInfo* FindProperty(std::string_view name) const;

    /// True when this class is `other` or derives from it.
    bool InheritsFrom(const ClassInfo& other) const;

private:
    std::string_view name_;
    const ClassInfo* parent_;
    std::vector<PropInfo> own_;
    std::vector<const PropInfo*> all_;
};

/// Base of every object with published properties.
class Published {
public:
    virtual ~Published() = default;
    virtual const ClassInfo& GetClassInfo() const = 0;
};

// Typed access by kind. Each reads or writes the property through its getter or setter and throws
// ProjectError ("Invalid property value") when the property's kind does not fit the call, when it cannot
// be read or written, or when an ordinal lies outside the type's range.
std::int64_t GetOrdProp(const Published& object, const PropInfo& prop);
double GetFloatProp(const Published& object, const PropInfo& prop);
std::string GetStrProp(const Published& object, const PropInfo& prop);
void SetOrdProp(Published& object, const PropInfo& prop, std::int64_t value);
void SetFloatProp(Published& object, const PropInfo& prop, double value);
void SetStrProp(Published& object, const PropInfo& prop, std::string_view value);

/// Enumerations by identifier (compared without regard to ASCII case on writing).
std::string GetEnumProp(const Published& object, const PropInfo& prop);
void SetEnumProp(Published& object, const PropInfo& prop, std::string_view identifier);

/// True when the property holds its type's UnstoredValue and is therefore not written.
bool IsUnstoredValue(const Published& object, const PropInfo& prop);

/// The message of every refused property value.
inline constexpr const char* kInvalidPropertyValue = "Invalid property value";

} // namespace tagsink
