// The test server as a local server program.
//   opcsim /RegServer     registers the simulated servers as local servers (this program)
//   opcsim /UnregServer   removes the local-server registration
//   opcsim -Embedding     started by COM: serves until the last object is gone
#include "class_factory.hpp"
#include "module.hpp"

#include <windows.h>

#include <cwchar>
#include <utility>
#include <vector>

namespace {

std::wstring ProgramPath() {
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n);
}

bool IsOption(const wchar_t* arg, const wchar_t* name) {
    return (arg[0] == L'/' || arg[0] == L'-') && _wcsicmp(arg + 1, name) == 0;
}

// How long the program waits for its first client, and lingers after its last one.
constexpr UINT kIdleMs = 5000;
constexpr UINT_PTR kIdleTimer = 1;

// The class objects are registered for one activation each and registered again by every activation, so
// that one process serves its clients one after the other, as with a registration for many activations.
// Why: the COM service of Wine 8 keeps the registrations of a process that was killed and hands them to
// later activations, which then fail; a registration for many activations would make the class unreachable
// until the COM service ends, a single-use one is gone after one failed activation, and the next starts the
// server anew.
struct Registration {
    CLSID clsid{};
    tagclient::transport::com::ComPtr<IClassFactory> factory;
    DWORD cookie = 0;
};

void Renew(Registration& r) {
    if (r.cookie)
        CoRevokeClassObject(std::exchange(r.cookie, 0));
    if (FAILED(CoRegisterClassObject(r.clsid, r.factory.get(), CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE,
                                     &r.cookie)))
        r.cookie = 0;
}

int Serve() {
    opcsim::Module& module = opcsim::Module::Get();
    std::vector<Registration> registrations(module.Classes().size());
    size_t n = 0;
    for (const auto& c : module.Classes()) {
        Registration& r = registrations[n++]; // the vector never grows: the callbacks keep their element
        r.clsid = c.clsid;
        r.factory = opcsim::MakeClassFactory(c.clsid, [&r] { Renew(r); });
        Renew(r);
    }
    // Ends after two idle ticks in a row without a live object or lock.
    SetTimer(nullptr, kIdleTimer, kIdleMs, nullptr);
    MSG msg;
    long idle_ticks = 0;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.hwnd == nullptr && msg.message == WM_TIMER) {
            idle_ticks = module.Count() > 0 ? 0 : idle_ticks + 1;
            if (idle_ticks >= 2)
                break;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    for (Registration& r : registrations)
        if (r.cookie)
            CoRevokeClassObject(std::exchange(r.cookie, 0));
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    // The server's own failures must never bring up a debugger or an error box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    CoInitialize(nullptr);
    int rc = 0;
    try {
        bool reg = false, unreg = false;
        for (int i = 1; argv && i < argc; ++i) {
            reg = reg || IsOption(argv[i], L"RegServer");
            unreg = unreg || IsOption(argv[i], L"UnregServer");
        }
        if (reg)
            rc = FAILED(opcsim::RegisterServers(ProgramPath(), opcsim::Activation::LocalServer)) ? 1 : 0;
        else if (unreg)
            rc = FAILED(opcsim::UnregisterLocalServers()) ? 1 : 0;
        else
            rc = Serve();
    } catch (...) {
        rc = 2;
    }
    LocalFree(argv);
    CoUninitialize();
    return rc;
}
