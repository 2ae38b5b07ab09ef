// Windows text for the service's messages: the system's description of an error.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <string>

namespace tagsink::service {

/// The system's text of a Windows error, with its number: "Access is denied (error 5)".
std::string SystemText(DWORD error);

} // namespace tagsink::service

#endif
