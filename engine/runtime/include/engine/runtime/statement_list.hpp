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

/// The most statements and text one call carries; a longer list is sent in several calls. A call is not
/// interrupted, and the command time-out counts for the whole call: a short list keeps a stop prompt and
/// a slow database within its time-out, and still saves 99 of 100 round trips.
inline constexpr std::size_t kStatementListCount = 100;
inline constexpr std::size_t kStatementListBytes = 256 * 1024;

} // namespace tagsink
