// The command line that the Windows service manager starts tagsink-run with, built and read back by the
// rules Windows programs split their command lines by (the C runtime's and CommandLineToArgvW's).
// Portable, so that the rules are tested on every platform.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tagsink {

/// Marks the command line of a service: "--service-name NAME" (the service's name, so that the
/// program under the service manager knows which service it is).
inline constexpr std::wstring_view kServiceNameOption = L"--service-name";

/// `argument` quoted (only when needed) so that splitting gives it back unchanged: a space, tab or
/// double quote makes it quoted; backslashes are doubled only where they precede a quote.
std::wstring QuoteArgument(std::wstring_view argument);

/// Splits a command line the way a program's C runtime does (the first word, the program, by the same
/// rules as the rest: quotes group, backslashes escape only quotes).
std::vector<std::wstring> SplitCommandLine(std::wstring_view command_line);

/// "EXE --service-name NAME PROJECT OPTION...", every part quoted as needed.
std::wstring ServiceCommandLine(std::wstring_view exe, std::wstring_view name, std::wstring_view project,
                                const std::vector<std::wstring>& options);

/// The service name after --service-name in `command_line`, empty when it has none (not a service of
/// this program).
std::wstring ServiceNameOf(std::wstring_view command_line);

/// Service names are compared without regard to case (ASCII letters), as the service manager does.
bool SameServiceName(std::wstring_view a, std::wstring_view b);

} // namespace tagsink
