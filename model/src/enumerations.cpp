#include "model/enumerations.hpp"

#include "platform/ascii.hpp"

namespace tagsink {

std::string_view EnumName(const TypeInfo& type, std::int64_t ordinal) {
    if (type.Kind != TypeKind::Enumeration || ordinal < type.MinValue || ordinal > type.MaxValue)
        return {};
    const auto index = static_cast<std::size_t>(ordinal - type.MinValue);
    return index < type.EnumNames.size() ? type.EnumNames[index] : std::string_view{};
}

std::optional<std::int64_t> EnumValue(const TypeInfo& type, std::string_view identifier) {
    if (type.Kind != TypeKind::Enumeration)
        return std::nullopt;
    for (std::size_t i = 0; i < type.EnumNames.size(); ++i)
        if (qz::EqualsNoCase(type.EnumNames[i], identifier))
            return type.MinValue + static_cast<std::int64_t>(i);
    return std::nullopt;
}

} // namespace tagsink
