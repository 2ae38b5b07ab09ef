// The COM/DCOM transport: creates server objects and the server-list component on this computer or on a
// remote host, and offers the platform's registry, clipboard formats and computer name.
#include "com_objects.hpp"
#include "com_ptr.hpp"
#include "opc_da.h"
#include "win_registry.hpp"

#include <transport/transport.hpp>

#include <windows.h>

namespace tagclient::transport::com {

namespace {

bool IsLocal(const OLECHAR* host) {
    return host == nullptr || host[0] == 0;
}

// Whether an activation failed because the class object COM handed out belongs to a server process that
// has ended.
bool IsDeadServer(HRESULT hr) {
    switch (static_cast<unsigned long>(hr)) {
    case 0x800706BAUL: // RPC_S_SERVER_UNAVAILABLE
    case 0x800706BEUL: // RPC_S_CALL_FAILED
    case 0x800706BFUL: // RPC_S_CALL_FAILED_DNE
    case 0x80010108UL: // RPC_E_DISCONNECTED
    case 0x80010007UL: // RPC_E_SERVER_DIED
    case 0x80010012UL: // RPC_E_SERVER_DIED_DNE
    case 0x800401FDUL: // CO_E_OBJNOTCONNECTED
        return true;
    default:
        return false;
    }
}

// A failed activation whose class object belonged to a server process that has ended is tried again, as
// long as it fails at once: the class registration of a killed server can outlive it for a moment
// (Windows), or until it has been handed out once (Wine's COM service never drops the registrations of a
// killed process; a class registered for one activation at a time is gone after that one). A failure that
// took its time (an unreachable host) is not repeated.
constexpr int kActivationAttempts = 8;
constexpr ULONGLONG kStaleFailureMs = 1000;

template <class Activation> HRESULT Activate(Activation&& activate) {
    HRESULT hr = E_FAIL;
    for (int attempt = 0; attempt < kActivationAttempts; ++attempt) {
        const ULONGLONG start = GetTickCount64();
        hr = activate();
        if (!IsDeadServer(hr) || GetTickCount64() - start > kStaleFailureMs)
            break;
    }
    return hr;
}

// Creates an instance of clsid asking for riid: on this computer in-process or as a local server, on a
// remote host through DCOM with the host name in the server information.
HRESULT CreateOn(const CLSID& clsid, const OLECHAR* host, const IID& riid, ComPtr<IUnknown>* object) {
    if (IsLocal(host))
        return Activate([&] {
            return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, riid,
                                    object->outVoid());
        });
    return Activate([&] {
        COSERVERINFO server{};
        server.pwszName = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(host));
        MULTI_QI query{};
        query.pIID = &riid;
        HRESULT hr = CoCreateInstanceEx(clsid, nullptr, CLSCTX_REMOTE_SERVER, &server, 1, &query);
        if (SUCCEEDED(hr))
            hr = query.hr;
        if (SUCCEEDED(hr))
            *object = ComPtr<IUnknown>::Attach(query.pItf);
        else if (query.pItf)
            ComPtr<IUnknown>::Attach(query.pItf).Reset();
        return hr;
    });
}

class ComTransport final : public Transport {
public:
    explicit ComTransport(Host& host) : host_(host) {}

    HRESULT CreateServerList(const OLECHAR* host, std::shared_ptr<OPCServerList>* ppList) override {
        if (!ppList)
            return E_POINTER;
        *ppList = nullptr;
        ComPtr<IUnknown> object;
        HRESULT hr = CreateOn(CLSID_OpcServerList, host, __uuidof(IOPCServerList), &object);
        if (FAILED(hr))
            return hr;
        *ppList = WrapServerList(std::move(object));
        return *ppList ? S_OK : E_NOINTERFACE;
    }

    HRESULT CreateServerObject(const CLSID& clsid, const OLECHAR* host,
                               std::shared_ptr<ServerObject>* ppObject) override {
        if (!ppObject)
            return E_POINTER;
        *ppObject = nullptr;
        ComPtr<IUnknown> object;
        HRESULT hr = CreateOn(clsid, host, IID_IUnknown, &object);
        if (FAILED(hr))
            return hr;
        *ppObject = WrapServerObject(host_, std::move(object));
        return S_OK;
    }

    std::shared_ptr<Registry> LocalRegistry() override { return std::make_shared<WinRegistry>(); }

    // (RegisterClipboardFormat is a macro of the Windows headers: this is the transport's method under the
    // name the macro gives it in every file that includes them.)
    CLIPFORMAT RegisterClipboardFormat(const char16_t* name) override {
        if (!name)
            return 0;
        return static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(reinterpret_cast<LPCWSTR>(name)));
    }

    std::string ComputerName() override {
        char name[128]; // the size the library has always read the name into
        DWORD size = sizeof name;
        if (!GetComputerNameA(name, &size))
            return {};
        return std::string(name, size);
    }

private:
    Host& host_;
};

} // namespace

} // namespace tagclient::transport::com

namespace tagclient::transport {

std::unique_ptr<Transport> CreateDefaultTransport(Host& host) {
    return std::make_unique<com::ComTransport>(host);
}

} // namespace tagclient::transport
