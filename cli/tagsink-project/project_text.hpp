// The project text: a project as JSON lines, one object per line, for version control and review.
//
//   {"tagsink-project":1}
//   {"class":"TServer","name":"Manager","OPCString":"","DBString":"","BufferCount":10,...}
//   {"class":"TGroup","name":"Group1","TableType":"ttTable","TableName":"T1",...}
//   {"class":"TItem","name":"Item1","FieldName":"V1","FieldType":"ftFloat",...}
//
// Items belong to the group line above them. The export writes every published property in declared
// order; the import accepts any subset (the rest keep their initial values). The format is described in
// docs/project-text-format.md.
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

/// The property entries a project file held: (object, property) pairs collected while loading.
using StoredProperties = std::set<std::pair<const TNamedItem*, const PropInfo*>>;

/// Writes the tree as project text. With `stored`, a string property that the file did not hold is
/// written as "" (the file stores empty strings by leaving them out, and a group or the root shows its
/// name or "Manager" in their place), so that importing the text gives back the same file.
void ExportProjectText(const TServer& root, std::ostream& out, const StoredProperties* stored = nullptr);

/// Builds the project described by the text into `root`, a fresh root. Throws TextError naming
/// `source`, the line and the problem (bad JSON, unknown class or property, bad enumeration
/// identifier, bad number, a name that breaks the naming rules, a line in the wrong place).
void ImportProjectText(std::istream& in, std::string_view source, TServer& root);

/// The smallest free name "<prefix><n>" (n from 1) among the children of `owner`.
class NameGenerator {
public:
    std::string Next(const TNamedItem& owner, std::string_view prefix);

private:
    std::map<std::pair<const TNamedItem*, std::string>, int> next_;
};

} // namespace tagsink
