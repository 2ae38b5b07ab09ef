// Builders of PropInfo entries from a class's getter and setter member functions (internal).
#pragma once

#include "model/enumerations.hpp"
#include "model/published.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace tagsink::detail {

template <class C>
PropInfo StringProp(std::string_view name, const std::string& (C::*get)() const,
                    void (C::*set)(std::string_view)) {
    return PropInfo{
        .Name = name,
        .Type = &kStringType,
        .Index = 0,
        .Get = [get](const Published& o) { return PropValue((static_cast<const C&>(o).*get)()); },
        .Set = [set](Published& o,
                     const PropValue& v) { (static_cast<C&>(o).*set)(std::get<std::string>(v)); }};
}

template <class C>
PropInfo IntegerProp(std::string_view name, std::int32_t (C::*get)() const, void (C::*set)(std::int32_t)) {
    return PropInfo{.Name = name,
                    .Type = &kIntegerType,
                    .Index = 0,
                    .Get =
                        [get](const Published& o) {
                            return PropValue(static_cast<std::int64_t>((static_cast<const C&>(o).*get)()));
                        },
                    .Set =
                        [set](Published& o, const PropValue& v) {
                            (static_cast<C&>(o).*set)(static_cast<std::int32_t>(std::get<std::int64_t>(v)));
                        }};
}

template <class C>
PropInfo SingleProp(std::string_view name, float (C::*get)() const, void (C::*set)(float)) {
    return PropInfo{.Name = name,
                    .Type = &kSingleType,
                    .Index = 0,
                    .Get =
                        [get](const Published& o) {
                            return PropValue(static_cast<double>((static_cast<const C&>(o).*get)()));
                        },
                    .Set =
                        [set](Published& o, const PropValue& v) {
                            (static_cast<C&>(o).*set)(static_cast<float>(std::get<double>(v)));
                        }};
}

template <class C, class E> PropInfo EnumProp(std::string_view name, E (C::*get)() const, void (C::*set)(E)) {
    return PropInfo{.Name = name,
                    .Type = &EnumTypeInfo<E>(),
                    .Index = 0,
                    .Get =
                        [get](const Published& o) {
                            return PropValue(static_cast<std::int64_t>((static_cast<const C&>(o).*get)()));
                        },
                    .Set =
                        [set](Published& o, const PropValue& v) {
                            (static_cast<C&>(o).*set)(static_cast<E>(std::get<std::int64_t>(v)));
                        }};
}

} // namespace tagsink::detail
