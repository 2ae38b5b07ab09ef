// tagsink-run --check PROJECT.DAT: the project held against its live OPC server and database, recording
// nothing. One line per finding on standard output (errors first, then warnings), then a summary line.
// Exit status 0 when there are no errors (warnings allowed), 1 otherwise or when the project cannot be
// loaded.
#pragma once

#include <string>

namespace tagsink {

int RunCheck(const std::string& project_file);

} // namespace tagsink
