#include "sim_items.hpp"

#include "sim_time.hpp"

#include <charconv>
#include <cmath>
#include <numbers>

namespace tagclient::transport::sim {

namespace {

// A numeric type of the catalogue with the range its ramps, sine waves and random values cover.
struct NumericType {
    const char16_t* name;
    VARTYPE vt;
    double low, high;
};

const NumericType kNumericTypes[] = {
    {u"Int1", VT_I1, -100, 100},    {u"Int2", VT_I2, -1000, 1000}, {u"Int4", VT_I4, -100000, 100000},
    {u"Int8", VT_I8, -1e9, 1e9},    {u"UInt1", VT_UI1, 0, 200},    {u"UInt2", VT_UI2, 0, 60000},
    {u"UInt4", VT_UI4, 0, 1000000}, {u"UInt8", VT_UI8, 0, 1e9},    {u"Real4", VT_R4, 0, 100},
    {u"Real8", VT_R8, 0, 1000},     {u"Money", VT_CY, 0, 10000},
};

std::uint64_t SplitMix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// A pseudo-random number in [0, 1) for one step of one item.
double Unit(std::uint64_t seed, std::uint64_t step) {
    return static_cast<double>(SplitMix(seed * 0x100000001B3ULL ^ SplitMix(step)) >> 11) * 0x1.0p-53;
}

std::uint64_t SeedOf(const std::u16string& id) {
    std::uint64_t h = 1469598103934665603ULL; // FNV-1a
    for (char16_t c : id) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return h;
}

// A number in the item's range as a value of the element type.
Value Shaped(VARTYPE vt, double x) {
    switch (vt) {
    case VT_R4:
        return Value::Real(VT_R4, static_cast<float>(x));
    case VT_R8:
        return Value::Real(VT_R8, x);
    case VT_DATE:
        return Value::Date(x);
    case VT_CY:
        return Value::Currency(static_cast<std::int64_t>(std::nearbyint(x * 10000.0)));
    case VT_BOOL:
        return Value::Bool(x >= 0.5);
    case VT_BSTR:
        return Value::Text(ValueText(Value::Real(VT_R8, x)));
    case VT_UI8:
        return Value::Integer(VT_UI8,
                              static_cast<std::int64_t>(static_cast<std::uint64_t>(std::nearbyint(x))));
    default:
        return Value::Integer(vt, static_cast<std::int64_t>(std::nearbyint(x)));
    }
}

// The counter value n wrapped into the range of vt.
Value Wrapped(VARTYPE vt, std::uint64_t n) {
    switch (vt) {
    case VT_I1:
        return Value::Integer(vt, static_cast<std::int8_t>(n & 0xFF));
    case VT_UI1:
        return Value::Integer(vt, static_cast<std::int64_t>(n & 0xFF));
    case VT_I2:
        return Value::Integer(vt, static_cast<std::int16_t>(n & 0xFFFF));
    case VT_UI2:
        return Value::Integer(vt, static_cast<std::int64_t>(n & 0xFFFF));
    case VT_I4:
    case VT_INT:
        return Value::Integer(vt, static_cast<std::int32_t>(n & 0xFFFFFFFFu));
    case VT_UI4:
    case VT_UINT:
        return Value::Integer(vt, static_cast<std::int64_t>(n & 0xFFFFFFFFu));
    case VT_R4:
    case VT_R8:
        return Value::Real(vt, static_cast<double>(n));
    case VT_BOOL:
        return Value::Bool((n & 1) != 0);
    case VT_BSTR:
        return Value::Text(ValueText(Value::Integer(VT_UI8, static_cast<std::int64_t>(n))));
    default:
        return Value::Integer(vt, static_cast<std::int64_t>(n));
    }
}

// One element (or the scalar, index 0) of a generated value.
Value Element(const ItemSpec& s, VARTYPE vt, std::uint64_t step, std::uint64_t step_start,
              std::uint32_t index, std::uint32_t count) {
    const std::uint64_t cycle = s.cycle_steps == 0 ? 100 : s.cycle_steps;
    switch (s.behaviour) {
    case Behaviour::Ramp: {
        double phase = static_cast<double>((step + index) % cycle) / static_cast<double>(cycle - 1);
        return Shaped(vt, s.low + (s.high - s.low) * phase);
    }
    case Behaviour::Sine: {
        double shift = count == 0 ? 0.0 : static_cast<double>(index) / count;
        double angle = 2 * std::numbers::pi * (static_cast<double>(step % cycle) / cycle + shift);
        return Shaped(vt, s.low + (s.high - s.low) * (0.5 + 0.5 * std::sin(angle)));
    }
    case Behaviour::Random: {
        double u = Unit(s.seed + index, step);
        if (vt == VT_BOOL)
            return Value::Bool(u >= 0.5);
        if (vt == VT_BSTR) {
            const auto& words = SignalWords();
            return Value::Text(words[static_cast<size_t>(u * words.size()) % words.size()]);
        }
        if (vt == VT_R4 || vt == VT_R8 || vt == VT_CY || vt == VT_DATE)
            return Shaped(vt, s.low + (s.high - s.low) * u);
        return Shaped(vt, std::floor(s.low + (s.high - s.low + 1) * u));
    }
    case Behaviour::Counter:
    case Behaviour::QualityCycle:
        return Wrapped(vt, step + index);
    case Behaviour::Toggle:
        return Value::Bool(((step + index) & 1) != 0);
    case Behaviour::Words: {
        const auto& words = SignalWords();
        return Value::Text(words[(step + index) % words.size()]);
    }
    case Behaviour::Clock:
        return Value::Date(TicksToOleDate(step_start));
    default:
        return {};
    }
}

std::u16string Join(const std::u16string& a, const std::u16string& b) {
    return a.empty() ? b : a + Catalogue::kSeparator + b;
}

ItemSpec Generated(std::u16string id, VARTYPE type, Behaviour behaviour, std::uint32_t period_ms, double low,
                   double high, std::u16string description) {
    ItemSpec s;
    s.id = std::move(id);
    s.type = type;
    s.rights = kReadable;
    s.behaviour = behaviour;
    s.period_ms = period_ms;
    s.cycle_steps = 100;
    s.low = low;
    s.high = high;
    s.description = std::move(description);
    return s;
}

// Analog items carry an EU range; their vendor properties describe the generator.
void MakeAnalog(ItemSpec& s, std::u16string units) {
    s.eu_type = kEuAnalog;
    s.units = std::move(units);
}

Value ZeroOf(VARTYPE vt) {
    if (vt == VT_BSTR)
        return Value::Text(u"");
    if (vt == VT_DATE)
        return Value::Date(36526.0); // 2000-01-01
    if (vt == VT_BOOL)
        return Value::Bool(false);
    if (vt == VT_R4 || vt == VT_R8)
        return Value::Real(vt, 0.0);
    return Value::Integer(vt, 0);
}

ItemSpec MemoryItem(std::u16string id, VARTYPE type, DWORD rights = kReadable | kWritable) {
    ItemSpec s;
    s.id = std::move(id);
    s.type = type;
    s.rights = rights;
    s.behaviour = Behaviour::Memory;
    if (type & VT_ARRAY) {
        VARTYPE element = static_cast<VARTYPE>(type & ~VT_ARRAY);
        s.array_length = 10;
        s.initial = Value::Array(element, std::vector<Value>(10, ZeroOf(element)));
    } else {
        s.initial = ZeroOf(type);
    }
    return s;
}

ItemSpec ControlItem(std::u16string id, VARTYPE type, ControlKind kind, std::u16string description) {
    ItemSpec s = MemoryItem(std::move(id), type);
    s.behaviour = Behaviour::Control;
    s.control = kind;
    s.description = std::move(description);
    return s;
}

const char16_t* ShapeName(Behaviour b) {
    switch (b) {
    case Behaviour::Ramp:
        return u"Ramp";
    case Behaviour::Sine:
        return u"Sine";
    case Behaviour::Random:
        return u"Random";
    case Behaviour::Counter:
        return u"Counter";
    case Behaviour::Toggle:
        return u"Toggle";
    case Behaviour::Words:
        return u"Words";
    case Behaviour::Clock:
        return u"Clock";
    case Behaviour::QualityCycle:
        return u"QualityCycle";
    case Behaviour::Control:
        return u"Control";
    default:
        return u"Memory";
    }
}

} // namespace

const std::vector<std::u16string>& SignalWords() {
    static const std::vector<std::u16string> kWords = {u"Alpha", u"Bravo", u"Charlie", u"Delta",
                                                       u"Echo",  u"温度",  u"压力",    u"Größe"};
    return kWords;
}

Value Generate(const ItemSpec& spec, std::uint64_t step, std::uint64_t step_start) {
    if (spec.type & VT_ARRAY) {
        VARTYPE element = static_cast<VARTYPE>(spec.type & ~VT_ARRAY);
        std::vector<Value> elements;
        elements.reserve(spec.array_length);
        for (std::uint32_t i = 0; i < spec.array_length; ++i)
            elements.push_back(Element(spec, element, step, step_start, i, spec.array_length));
        return Value::Array(element, std::move(elements));
    }
    return Element(spec, spec.type, step, step_start, 0, 0);
}

WORD GeneratedQuality(const ItemSpec& spec, std::uint64_t step) {
    if (spec.behaviour == Behaviour::QualityCycle) {
        static const WORD kCycle[] = {quality::kGood, quality::kUncertain, quality::kBad};
        return kCycle[step % 3];
    }
    return spec.fixed_quality;
}

std::u16string Catalogue::LeafName(const ItemSpec& spec) {
    size_t dot = spec.id.rfind(kSeparator);
    return dot == std::u16string::npos ? spec.id : spec.id.substr(dot + 1);
}

void Catalogue::Add(ItemSpec spec) {
    if (spec.seed == 0)
        spec.seed = SeedOf(spec.id);
    if (spec.IsGenerated()) {
        spec.vendor.push_back({5000, u"Signal Shape", Value::Text(ShapeName(spec.behaviour))});
        spec.vendor.push_back({5001, u"Signal Period", Value::Integer(VT_I4, spec.period_ms)});
        spec.vendor.push_back({5002, u"Cycle Steps", Value::Integer(VT_I4, spec.cycle_steps)});
    }
    auto owned = std::make_unique<ItemSpec>(std::move(spec));
    const ItemSpec* item = owned.get();
    // Enter every branch on the way to the leaf.
    std::u16string path;
    size_t start = 0;
    branches_[u""];
    for (;;) {
        size_t dot = item->id.find(kSeparator, start);
        if (dot == std::u16string::npos)
            break;
        std::u16string name = item->id.substr(start, dot - start);
        std::u16string child = Join(path, name);
        Branch& parent = branches_[path];
        if (branches_.find(child) == branches_.end())
            parent.branches.push_back(name);
        branches_[child];
        path = child;
        start = dot + 1;
    }
    branches_[path].leaves.push_back(item);
    by_id_.emplace(item->id, item);
    items_.push_back(std::move(owned));
}

Catalogue::Catalogue() {
    for (const auto& t : kNumericTypes) {
        ItemSpec s = Generated(std::u16string(u"Random.") + t.name, t.vt, Behaviour::Random, 1000, t.low,
                               t.high, u"Random values");
        MakeAnalog(s, u"");
        Add(std::move(s));
    }
    Add(Generated(u"Random.Boolean", VT_BOOL, Behaviour::Random, 1000, 0, 1, u"Random values"));
    Add(Generated(u"Random.String", VT_BSTR, Behaviour::Random, 1000, 0, 1, u"Random words"));
    Add(Generated(u"Random.Date", VT_DATE, Behaviour::Random, 1000, 43831.0, 47483.0,
                  u"Random dates, 2020-2029"));

    for (const auto& t : kNumericTypes) {
        ItemSpec s = Generated(std::u16string(u"Ramp.") + t.name, t.vt, Behaviour::Ramp, 1000, t.low, t.high,
                               u"Ramp from low to high in 100 steps");
        MakeAnalog(s, u"");
        Add(std::move(s));
    }

    const NumericType sines[] = {{u"Int2", VT_I2, -1000, 1000},
                                 {u"Int4", VT_I4, -100000, 100000},
                                 {u"Real4", VT_R4, -100, 100},
                                 {u"Real8", VT_R8, -100, 100}};
    for (const auto& t : sines) {
        ItemSpec s = Generated(std::u16string(u"Sine.") + t.name, t.vt, Behaviour::Sine, 100, t.low, t.high,
                               u"Sine wave, 100 steps per period");
        MakeAnalog(s, u"");
        Add(std::move(s));
    }

    for (const auto& t : kNumericTypes) {
        if (t.vt == VT_R4 || t.vt == VT_R8 || t.vt == VT_CY)
            continue;
        Add(Generated(std::u16string(u"Counter.") + t.name, t.vt, Behaviour::Counter, 1000, 0, 0,
                      u"Counts up by one per step, wrapping at the type's range"));
    }

    Add(Generated(u"Toggle.Boolean", VT_BOOL, Behaviour::Toggle, 1000, 0, 1, u"Toggles every step"));
    Add(Generated(u"Text.Words", VT_BSTR, Behaviour::Words, 1000, 0, 0, u"Cycles through a list of words"));
    Add(Generated(u"Time.Now", VT_DATE, Behaviour::Clock, 1000, 0, 0, u"The time of the current step (UTC)"));

    {
        ItemSpec s = Generated(u"Array.Real8", VT_ARRAY | VT_R8, Behaviour::Sine, 1000, -1, 1,
                               u"Ten sine waves, phase-shifted");
        s.array_length = 10;
        MakeAnalog(s, u"");
        Add(std::move(s));
        ItemSpec i =
            Generated(u"Array.Int4", VT_ARRAY | VT_I4, Behaviour::Counter, 1000, 0, 0, u"Ten counters");
        i.array_length = 10;
        Add(std::move(i));
        ItemSpec w =
            Generated(u"Array.String", VT_ARRAY | VT_BSTR, Behaviour::Words, 1000, 0, 0, u"Ten words");
        w.array_length = 10;
        Add(std::move(w));
        ItemSpec b = Generated(u"Array.Boolean", VT_ARRAY | VT_BOOL, Behaviour::Toggle, 1000, 0, 1,
                               u"Ten toggling booleans");
        b.array_length = 10;
        Add(std::move(b));
    }

    {
        ItemSpec s = Generated(u"Enum.Mode", VT_I4, Behaviour::Random, 1000, 0, 2, u"Operating mode");
        s.eu_type = kEuEnumerated;
        s.eu_texts = {u"Off", u"Manual", u"Auto"};
        Add(std::move(s));
    }

    for (const auto& t : kNumericTypes)
        Add(MemoryItem(std::u16string(u"Memory.") + t.name, t.vt));
    Add(MemoryItem(u"Memory.Boolean", VT_BOOL));
    Add(MemoryItem(u"Memory.String", VT_BSTR));
    Add(MemoryItem(u"Memory.Date", VT_DATE));
    Add(MemoryItem(u"Memory.ArrayOfReal8", VT_ARRAY | VT_R8));
    Add(MemoryItem(u"Memory.ArrayOfInt4", VT_ARRAY | VT_I4));
    Add(MemoryItem(u"Memory.ArrayOfString", VT_ARRAY | VT_BSTR));
    Add(MemoryItem(u"Memory.WriteOnly", VT_I4, kWritable));
    {
        ItemSpec c = MemoryItem(u"Memory.Constant", VT_I4, kReadable);
        c.initial = Value::Integer(VT_I4, 42);
        Add(std::move(c));
    }

    struct QualityItem {
        const char16_t* name;
        WORD quality;
    };
    const QualityItem qualities[] = {{u"Quality.Bad", quality::kBad},
                                     {u"Quality.Uncertain", quality::kUncertain},
                                     {u"Quality.CommFailure", quality::kCommFailure},
                                     {u"Quality.LastKnown", quality::kLastKnown}};
    for (const auto& q : qualities) {
        ItemSpec s = Generated(q.name, VT_R8, Behaviour::Ramp, 1000, 0, 100, u"Ramp with a fixed quality");
        s.fixed_quality = q.quality;
        Add(std::move(s));
    }
    Add(Generated(u"Quality.Cycling", VT_I4, Behaviour::QualityCycle, 1000, 0, 0,
                  u"Counter whose quality cycles good, uncertain, bad"));

    {
        ItemSpec r = MemoryItem(u"Fault.ReadError", VT_I4);
        r.device_read_fails = true;
        r.fixed_quality = quality::kDeviceFailure;
        r.description = u"Device reads fail";
        Add(std::move(r));
        ItemSpec w = MemoryItem(u"Fault.WriteError", VT_I4);
        w.write_fails = true;
        w.description = u"Writes fail";
        Add(std::move(w));
    }

    Add(ControlItem(u"Control.Shutdown", VT_BSTR, ControlKind::Shutdown,
                    u"Write a reason: the server sends a shutdown request"));
    Add(ControlItem(u"Control.RefuseRemoveGroup", VT_I4, ControlKind::RefuseRemoveGroup,
                    u"Write N: the next N RemoveGroup calls fail"));
    Add(ControlItem(u"Control.FailNext", VT_BSTR, ControlKind::FailNext,
                    u"Write Operation[=HRESULT][;...]: the next call of each operation fails"));
    Add(ControlItem(u"Control.RefuseItems", VT_I4, ControlKind::RefuseItems,
                    u"Write N: the next N items added are refused"));
    Add(ControlItem(u"Control.MalformedStream", VT_BSTR, ControlKind::MalformedStream,
                    u"Write a kind: the next data-object block is damaged"));
    Add(ControlItem(u"Control.HideInterface", VT_BSTR, ControlKind::HideInterface,
                    u"Write interface names: groups created afterwards lack them"));
    {
        ItemSpec s = ControlItem(u"Control.ServerState", VT_I4, ControlKind::ServerState,
                                 u"Write a server state code for GetStatus");
        s.initial = Value::Integer(VT_I4, 1);
        Add(std::move(s));
    }

    {
        // An item ID of exactly 200 characters, for output-length limits.
        std::u16string leaf = u"Long";
        while (6 + leaf.size() < 200)
            leaf += static_cast<char16_t>(u'0' + leaf.size() % 10);
        Add(Generated(u"Names." + leaf, VT_I4, Behaviour::Counter, 1000, 0, 0,
                      u"An item ID of 200 characters"));
        ItemSpec t =
            Generated(u"Names.温度", VT_R8, Behaviour::Sine, 1000, -20, 40, u"Temperature (non-ASCII ID)");
        MakeAnalog(t, u"°C");
        Add(std::move(t));
    }

    {
        ItemSpec s = Generated(u"Deep.Level1.Level2.Real8", VT_R8, Behaviour::Sine, 1000, 0, 10,
                               u"An item three branches down");
        MakeAnalog(s, u"m");
        Add(std::move(s));
    }
}

const ItemSpec* Catalogue::Find(std::u16string_view id) const {
    if (auto it = by_id_.find(id); it != by_id_.end())
        return it->second;
    std::lock_guard lock(derived_lock_);
    if (auto it = derived_.find(id); it != derived_.end())
        return it->second.get();
    size_t at = id.rfind(u'@');
    if (at == std::u16string_view::npos || at + 1 >= id.size())
        return nullptr;
    auto base = by_id_.find(id.substr(0, at));
    if (base == by_id_.end() || !base->second->IsGenerated())
        return nullptr;
    std::string digits;
    for (char16_t c : id.substr(at + 1)) {
        if (c < u'0' || c > u'9')
            return nullptr;
        digits += static_cast<char>(c);
    }
    std::uint64_t ms = 0;
    auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), ms);
    if (ec != std::errc() || p != digits.data() + digits.size() || ms < 10 || ms > 86400000)
        return nullptr;
    auto spec = std::make_unique<ItemSpec>(*base->second);
    spec->id = std::u16string(id);
    spec->period_ms = static_cast<std::uint32_t>(ms);
    for (auto& v : spec->vendor)
        if (v.id == 5001)
            v.value = Value::Integer(VT_I4, static_cast<std::int64_t>(ms));
    const ItemSpec* result = spec.get();
    derived_.emplace(std::u16string(id), std::move(spec));
    return result;
}

const Catalogue::Branch* Catalogue::FindBranch(const std::u16string& path) const {
    auto it = branches_.find(path);
    return it == branches_.end() ? nullptr : &it->second;
}

} // namespace tagclient::transport::sim
