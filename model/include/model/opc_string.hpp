// The OPCString text of the root: host, server ProgID and server class ID joined by "/".
//
// FormatOPCString joins the three strings unchanged ("%s/%s/%s"); nothing is quoted or escaped, so an
// empty host gives a text that begins with "/", and a name that contains a space or a "/" does not
// survive being joined and split again.
//
// ParseOPCString splits a text into fields:
//   - characters 1..32 (controls and space) before the first field are skipped;
//   - a field that begins with a double quote runs to the matching closing quote ("" stands for one ");
//   - any other field runs up to the next "/" or the next character 1..32;
//   - after a field, characters 1..32 are skipped; a "/" is consumed with the characters 1..32 after it,
//     and a "/" that ends the text adds one more, empty, field;
//   - without a "/" (the field ended at a space) the next field starts at once.
//   A NUL character ends the text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tagsink {

std::string FormatOPCString(std::string_view host, std::string_view prog_id, std::string_view class_id);

/// All fields of the text, in order.
std::vector<std::string> SplitOPCString(std::string_view text);

/// Hands out field 1 as host, field 2 as ProgID and field 3 as class ID; a field that is not there leaves
/// the variable as it was; fields after the third are ignored.
void ParseOPCString(std::string_view text, std::string& host, std::string& prog_id, std::string& class_id);

} // namespace tagsink
