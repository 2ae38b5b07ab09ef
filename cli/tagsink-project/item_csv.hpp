// Items from a spreadsheet: one CSV record per item with the columns
//
//   group, item name, OPC item ID, field name, field type, key
//
// A first record whose first cell is "group" is a header and skipped. The first three columns must be there
// and the OPC item ID must not be empty; field name, field type and key may be left out.
// A group that does not exist yet is created (its Description becomes its name); an empty item name is
// generated as the smallest free "Item<n>" of its group. Fields may be quoted ("a, b" and "say ""hi""");
// the separator is "," or, when the first record has more semicolons than commas outside quotes, ";".
#pragma once

#include "text_error.hpp"

#include <cstddef>
#include <iosfwd>
#include <string_view>

namespace tagsink {

class TServer;

/// Adds the items of the CSV text to the project and returns how many were added. Throws TextError
/// naming `source`, the line and the problem; the project may then hold some of the items.
std::size_t AddItemsFromCsv(std::istream& in, std::string_view source, TServer& root);

} // namespace tagsink
