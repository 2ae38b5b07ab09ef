// The log of the statement builder: where it reports what it handles itself (a calculation that failed).
//
// The engine installs its log here at start-up (the program's WriteLog); until then nothing is written.
#pragma once

#include <functional>
#include <string>

namespace tagsink {

// unit, operation, text: the three parts of one log line.
using StatementLog =
    std::function<void(const std::string& unit, const std::string& op, const std::string& text)>;

// Installs the log (an empty function switches logging off). Callable from any thread.
void SetStatementLog(StatementLog log);

// Writes one line with the engine's unit name "uMap". Never fails towards its caller.
void WriteStatementLog(const std::string& op, const std::string& text) noexcept;

} // namespace tagsink
