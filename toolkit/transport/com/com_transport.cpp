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

// Creates an instance of clsid asking for riid: on this computer in-process or as a local server, on a
// remote host through DCOM with the host name in the server information.
HRESULT CreateOn(const CLSID& clsid, const OLECHAR* host, const IID& riid, ComPtr<IUnknown>* object) {
    if (IsLocal(host))
        return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, riid,
                                object->outVoid());
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
