#include "platform/thread_name.hpp"

#ifdef _WIN32
#include <windows.h>

#include <string>

namespace qz {

void NameThisThread(const char* name) noexcept {
    // SetThreadDescription came with Windows 10 1607; looked up so that older systems still run.
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    static const auto set = reinterpret_cast<SetDescription>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (set == nullptr)
        return;
    try {
        const std::wstring wide(name, name + std::char_traits<char>::length(name));
        set(GetCurrentThread(), wide.c_str());
    } catch (...) {
    }
}

} // namespace qz

#else
#include <pthread.h>

#include <cstring>

namespace qz {

void NameThisThread(const char* name) noexcept {
    char shortened[16] = {}; // the kernel's limit, the terminating zero included
    std::strncpy(shortened, name, sizeof shortened - 1);
    pthread_setname_np(pthread_self(), shortened);
}

} // namespace qz
#endif
