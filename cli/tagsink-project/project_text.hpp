// The project text: a project as plain text, for version control, review and merges.
//
//   {"tagsink-project":2}
//
//   [TServer Manager]
//   OPCString = "/Sim.Server.1/{...}"
//   BufferCount = 10
//
//   [TGroup Group1]
//   TableType = ttTable
//   Deadband = 0.1
//
//   [TItem Group1.Item1]
//   FieldName = "V1"
//   FieldType = ftFloat
//
// One block per object, one property per line, every item block naming its group. The export writes
// every published property in declared order; the import accepts any subset (the rest keep their initial
// values). The import also reads the older form, one JSON object per line (format 1). Both are described
// in docs/project-text-format.md.
#pragma once

#include "text_error.hpp"

#include <functional>
#include <iosfwd>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace tagsink {

class TServer;
class TNamedItem;
struct PropInfo;

/// The version the export writes: the block form.
inline constexpr int kProjectTextVersion = 2;

/// The property entries a project file held: (object, property) pairs collected while loading.
using StoredProperties = std::set<std::pair<const TNamedItem*, const PropInfo*>>;

/// Writes the tree as project text. With `stored`, a string property that the file did not hold is
/// written as "" (the file stores empty strings by leaving them out, and a group or the root shows its
/// name or "Manager" in their place), so that importing the text gives back the same file.
void ExportProjectText(const TServer& root, std::ostream& out, const StoredProperties* stored = nullptr);

/// Builds the project described by the text into `root`, a fresh root. Throws TextError naming
/// `source`, the line, the object and the problem (bad syntax, unknown class or property, duplicate
/// key, bad value, a name that breaks the naming rules, an object in the wrong place, no TServer).
void ImportProjectText(std::istream& in, std::string_view source, TServer& root);

/// The smallest free name "<prefix><n>" (n from 1) among the children of `owner`.
class NameGenerator {
public:
    std::string Next(const TNamedItem& owner, std::string_view prefix);
    /// The same, also skipping the names for which `reserved` holds (names given elsewhere).
    std::string Next(const TNamedItem& owner, std::string_view prefix,
                     const std::function<bool(std::string_view)>& reserved);

private:
    std::map<std::pair<const TNamedItem*, std::string>, int> next_;
};

/// The text every name message ends with: what a name may be.
std::string_view NameRule();

/// "'a', 'b', ..." : the identifiers of an enumeration type, for messages.
std::string AllowedIdentifiers(const struct TypeInfo& type);

} // namespace tagsink
