// A name for the calling thread, as the system's tools show it: `top -H`, `ps -L`, perf and gdb on Linux;
// debuggers, crash dumps and Process Explorer on Windows.
#pragma once
#include "platform/oleauto.h"

namespace qz {

/// Names the calling thread. `name` is ASCII; Linux keeps its first 15 characters. A system that cannot
/// name threads leaves the name as it was: a name is a help for people, never a reason to fail.
QZ_OLEAUT_API void NameThisThread(const char* name) noexcept;

} // namespace qz
