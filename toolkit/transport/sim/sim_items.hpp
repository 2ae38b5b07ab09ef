// The items the simulated servers offer: one catalogue shared by every simulated server (the address space
// differs only in how it is browsed). Each item has a canonical type, access rights, engineering-unit
// information and a behaviour: a signal generator that is a pure function of time, a memory cell that
// keeps what was written, a quality fault, or a control item whose write provokes a fault of the server.
// docs/simulated-servers.md lists every item ID; keep it in step with BuildCatalogue().
#pragma once
#include "sim_value.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tagclient::transport::sim {

// OPC access rights and EU types (published values).
constexpr DWORD kReadable = 1;
constexpr DWORD kWritable = 2;
constexpr int kEuNone = 0;
constexpr int kEuAnalog = 1;
constexpr int kEuEnumerated = 2;

// OPC qualities used by the simulated items (published values).
namespace quality {
constexpr WORD kBad = 0x00;
constexpr WORD kDeviceFailure = 0x0C;
constexpr WORD kLastKnown = 0x14;
constexpr WORD kCommFailure = 0x18;
constexpr WORD kOutOfService = 0x1C;
constexpr WORD kWaitingForInitialData = 0x20;
constexpr WORD kUncertain = 0x40;
constexpr WORD kEguExceeded = 0x54;
constexpr WORD kGood = 0xC0;
constexpr WORD kLocalOverride = 0xD8;
} // namespace quality

enum class Behaviour {
    Memory,       // keeps the last written value
    Ramp,         // low -> high in cycle_steps steps, then again from low
    Sine,         // low..high sine wave over cycle_steps steps
    Random,       // uniform pseudo-random values in low..high (deterministic per step)
    Counter,      // 0, 1, 2, ... wrapping at the type's range
    Toggle,       // false, true, false, ...
    Words,        // cycles through a fixed list of words (some non-ASCII)
    Clock,        // the time of the current step as VT_DATE
    QualityCycle, // counter whose quality cycles good, uncertain, bad
    Control,      // a fault-control item (see ControlKind)
};

// What a write to a control item does to its server.
enum class ControlKind {
    None,
    Shutdown,          // sends a shutdown request (the written text is the reason)
    RefuseRemoveGroup, // refuses the next N RemoveGroup calls
    FailNext,          // fails the next call of named operations with given HRESULTs
    RefuseItems,       // refuses the next N items added
    MalformedStream,   // damages the next data-object block in a named way
    HideInterface,     // groups created afterwards lack the named interfaces
    ServerState,       // the server state GetStatus reports
};

// A property beyond the standard ones (IDs 100..103 recommended, 5000 and up vendor-specific).
struct ExtraProperty {
    DWORD id;
    std::u16string description;
    Value value;
};

struct ItemSpec {
    std::u16string id;
    VARTYPE type = VT_EMPTY; // canonical data type
    DWORD rights = kReadable;
    Behaviour behaviour = Behaviour::Memory;
    ControlKind control = ControlKind::None;
    std::uint32_t period_ms = 0;    // step of a generated signal (0: changes only when written)
    std::uint32_t cycle_steps = 0;  // steps per cycle of ramps and sine waves
    std::uint64_t seed = 0;         // random generator seed
    std::uint32_t array_length = 0; // elements of an array item
    int eu_type = kEuNone;
    double low = 0, high = 0;             // EU range (analog items)
    std::vector<std::u16string> eu_texts; // enumerated items: the texts of 0, 1, ...
    WORD fixed_quality = quality::kGood;  // the quality the item always has (QualityCycle aside)
    bool device_read_fails = false;       // a device read gives a per-item failure
    bool write_fails = false;             // a write gives a per-item failure
    Value initial;                        // memory items: the value before the first write
    std::u16string units, description;    // properties 100 and 101 when not empty
    std::vector<ExtraProperty> vendor;    // vendor properties (IDs >= 5000)

    bool IsGenerated() const { return period_ms != 0; }
};

// The value an item has at one moment.
struct Sample {
    Value value;
    WORD quality = quality::kGood;
    std::uint64_t timestamp = 0; // FILETIME ticks (UTC) when the value took effect
};

// The catalogue: items in declaration order, the browse tree, and derived items with another period.
class Catalogue {
public:
    Catalogue();

    // The item with this ID, or null. "ID@ms" gives a generated item with a step of ms milliseconds
    // (10 .. 86,400,000), created on first use and kept.
    const ItemSpec* Find(std::u16string_view id) const;
    // All declared items, in declaration order (derived "@ms" items excluded).
    const std::vector<std::unique_ptr<ItemSpec>>& Items() const { return items_; }

    // The hierarchical tree: a branch is a path of names ("" is the root).
    struct Branch {
        std::vector<std::u16string> branches; // child branch names, in declaration order
        std::vector<const ItemSpec*> leaves;  // items directly in this branch
    };
    const Branch* FindBranch(const std::u16string& path) const;
    static std::u16string LeafName(const ItemSpec& spec);

    static constexpr char16_t kSeparator = u'.';

private:
    void Add(ItemSpec spec);
    std::vector<std::unique_ptr<ItemSpec>> items_;
    std::map<std::u16string, const ItemSpec*, std::less<>> by_id_;
    std::map<std::u16string, Branch> branches_;
    mutable std::mutex derived_lock_;
    mutable std::map<std::u16string, std::unique_ptr<ItemSpec>, std::less<>> derived_;
};

// The value of a generated item at step `step`, which began at `step_start` (FILETIME ticks UTC).
Value Generate(const ItemSpec& spec, std::uint64_t step, std::uint64_t step_start);
// The quality of a generated item at step `step`.
WORD GeneratedQuality(const ItemSpec& spec, std::uint64_t step);

// The words the Words behaviour cycles through.
const std::vector<std::u16string>& SignalWords();

} // namespace tagclient::transport::sim
