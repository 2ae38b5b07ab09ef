// The test server as an in-process server DLL: the class objects, and the registration of the simulated
// servers and of the server-list stand-in (regsvr32).
#include "class_factory.hpp"
#include "module.hpp"

#include <windows.h>

namespace {

std::wstring ThisModulePath() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModulePath), &module);
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    return std::wstring(path, n);
}

} // namespace

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    try {
        if (!opcsim::Module::Get().Serves(rclsid))
            return CLASS_E_CLASSNOTAVAILABLE;
        return opcsim::MakeClassFactory(rclsid)->QueryInterface(riid, ppv);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// The simulated servers keep state for the whole process: the DLL stays loaded.
HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return S_FALSE;
}

HRESULT STDAPICALLTYPE DllRegisterServer() {
    try {
        return opcsim::RegisterServers(ThisModulePath(), opcsim::Activation::InProcess);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
    try {
        return opcsim::UnregisterServers();
    } catch (...) {
        return E_UNEXPECTED;
    }
}

} // extern "C"
