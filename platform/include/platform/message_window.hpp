// A message-only window: how work reaches a Windows thread through its message loop (Windows only).
#pragma once
#ifdef _WIN32
#include <windows.h>

namespace qz {

/// Creates a message-only window of the calling thread (its messages arrive where that thread dispatches
/// them) in a window class `class_name` with window procedure `proc`, registered in the module this code
/// is linked into; `owner` goes to GWLP_USERDATA, where `proc` reads it (MessageWindowOwner). Null when
/// Windows refuses the window.
HWND CreateMessageWindow(const wchar_t* class_name, WNDPROC proc, void* owner) noexcept;

/// Detaches the owner (no message reaches it any more) and destroys the window; nothing for null.
void DestroyMessageWindow(HWND window) noexcept;

/// The owner given to CreateMessageWindow, null once the window is being destroyed.
template <class Owner> Owner* MessageWindowOwner(HWND window) noexcept {
    return reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

} // namespace qz
#endif
