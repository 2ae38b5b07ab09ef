// Model classes for the inspector tests: published through the model's descriptor tables, one property
// of each kind the inspector handles (and two named types), to check the binding end to end.
#pragma once

#include "model/group.hpp"
#include "model/published.hpp"

#include <cstdint>
#include <string>

namespace tagsink::inspector::testing {

/// Held by TKindSample's class-typed property.
class TKindInner : public tagsink::Published {
public:
    std::int32_t Width = 5;
    static const tagsink::ClassInfo& StaticClassInfo();
    const tagsink::ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
};

class TKindSample : public tagsink::Published {
public:
    std::int32_t Count = 1;
    std::int64_t Letter = 'x';
    tagsink::TTrigType Trig = tagsink::TTrigType::ttSnapShot;
    float Deadband = 0;
    std::string Text = "abc";
    std::int64_t Modes = 0; // set of TTrigType
    TKindInner Inner;
    tagsink::TGroup* Group = nullptr;
    std::string OnChange;
    tagsink::VariantValue Value;
    std::int64_t Big = 0;
    std::int32_t Color = 0xFF0000;
    double Day = 0;

    static const tagsink::ClassInfo& StaticClassInfo();
    const tagsink::ClassInfo& GetClassInfo() const override { return StaticClassInfo(); }
};

} // namespace tagsink::inspector::testing
