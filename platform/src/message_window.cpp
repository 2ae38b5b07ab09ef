#ifdef _WIN32
#include "platform/message_window.hpp"

namespace qz {

namespace {

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

} // namespace

HWND CreateMessageWindow(const wchar_t* class_name, WNDPROC proc, void* owner) noexcept {
    HINSTANCE module = ThisModule();
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = module;
    wc.lpszClassName = class_name;
    RegisterClassW(&wc); // fails harmlessly when the class exists already
    HWND window = CreateWindowExW(0, class_name, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, nullptr);
    if (window)
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    return window;
}

void DestroyMessageWindow(HWND window) noexcept {
    if (!window)
        return;
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
}

} // namespace qz
#endif
