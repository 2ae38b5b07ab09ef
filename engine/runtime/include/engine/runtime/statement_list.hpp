// Statements joined into one text for drivers that take several statements in one call (one round trip).
//
// Only statements that are whole on their own are joined: every quoted text and quoted name closed, no ";"
// of their own, no comment, no backslash and no dollar quote anywhere. A joined statement then cannot run
// into its neighbour, whatever it holds: a statement that fails the test is sent alone, as before.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tagsink {

/// True when `statement` may be joined with others by ";" (see above).
bool CanJoinStatementList(std::string_view statement);

/// The separator written between joined statements.
inline constexpr std::string_view kStatementListSeparator = ";\n";

/// The most text one call carries; a longer list is sent in several calls.
inline constexpr std::size_t kStatementListBytes = 256 * 1024;

} // namespace tagsink
