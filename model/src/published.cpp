#include "model/published.hpp"

#include "platform/ascii.hpp"
#include "model/enumerations.hpp"
#include "model/project_error.hpp"

#include <utility>

namespace tagsink {

ClassInfo::ClassInfo(std::string_view name, const ClassInfo* parent, std::vector<PropInfo> own)
    : name_(name), parent_(parent), own_(std::move(own)) {
    if (parent_)
        all_ = parent_->all_;
    for (PropInfo& prop : own_) {
        prop.Index = static_cast<int>(all_.size());
        all_.push_back(&prop);
    }
}

const PropInfo* ClassInfo::FindProperty(std::string_view name) const {
    for (const PropInfo* prop : all_)
        if (qz::EqualsNoCase(prop->Name, name))
            return prop;
    return nullptr;
}

bool ClassInfo::InheritsFrom(const ClassInfo& other) const {
    for (const ClassInfo* c = this; c; c = c->parent_)
        if (c == &other)
            return true;
    return false;
}

namespace {

[[noreturn]] void Refuse() {
    throw ProjectError(kInvalidPropertyValue);
}

bool IsOrdinal(const PropInfo& prop) {
    return prop.Type && (prop.Type->Kind == TypeKind::Integer || prop.Type->Kind == TypeKind::Enumeration);
}

template <class T> T Read(const Published& object, const PropInfo& prop) {
    if (!prop.CanRead())
        Refuse();
    PropValue value = prop.Get(object);
    if (auto* v = std::get_if<T>(&value))
        return std::move(*v);
    Refuse();
}

void Write(Published& object, const PropInfo& prop, PropValue value) {
    if (!prop.CanWrite())
        Refuse();
    prop.Set(object, value);
}

} // namespace

std::int64_t GetOrdProp(const Published& object, const PropInfo& prop) {
    if (!IsOrdinal(prop))
        Refuse();
    return Read<std::int64_t>(object, prop);
}

double GetFloatProp(const Published& object, const PropInfo& prop) {
    if (!prop.Type || prop.Type->Kind != TypeKind::Float)
        Refuse();
    return Read<double>(object, prop);
}

std::string GetStrProp(const Published& object, const PropInfo& prop) {
    if (!prop.Type || prop.Type->Kind != TypeKind::String)
        Refuse();
    return Read<std::string>(object, prop);
}

void SetOrdProp(Published& object, const PropInfo& prop, std::int64_t value) {
    if (!IsOrdinal(prop) || value < prop.Type->MinValue || value > prop.Type->MaxValue)
        Refuse();
    Write(object, prop, value);
}

void SetFloatProp(Published& object, const PropInfo& prop, double value) {
    if (!prop.Type || prop.Type->Kind != TypeKind::Float)
        Refuse();
    Write(object, prop, value);
}

void SetStrProp(Published& object, const PropInfo& prop, std::string_view value) {
    if (!prop.Type || prop.Type->Kind != TypeKind::String)
        Refuse();
    Write(object, prop, std::string(value));
}

std::string GetEnumProp(const Published& object, const PropInfo& prop) {
    if (!prop.Type || prop.Type->Kind != TypeKind::Enumeration)
        Refuse();
    return std::string(EnumName(*prop.Type, GetOrdProp(object, prop)));
}

void SetEnumProp(Published& object, const PropInfo& prop, std::string_view identifier) {
    if (!prop.Type || prop.Type->Kind != TypeKind::Enumeration)
        Refuse();
    const auto ordinal = EnumValue(*prop.Type, identifier);
    if (!ordinal)
        Refuse();
    SetOrdProp(object, prop, *ordinal);
}

} // namespace tagsink
