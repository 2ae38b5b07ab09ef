// Browse filters as OPC DA servers match them: '*' any run of characters (also none), '?' exactly one
// character, '#' one decimal digit, "[abc]" / "[a-z]" one character of the set, "[!abc]" one character not
// in it. Everything else matches itself, case-sensitively. An empty filter matches every name.
#pragma once
#include <string_view>

namespace tagclient::transport::sim {

bool MatchesFilter(std::u16string_view name, std::u16string_view filter);

} // namespace tagclient::transport::sim
