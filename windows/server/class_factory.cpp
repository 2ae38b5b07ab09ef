#include "class_factory.hpp"

#include "com_object.hpp"
#include "module.hpp"

namespace opcsim {

namespace {

using tagclient::transport::com::ComObject;
using tagclient::transport::com::ComPtr;
using tagclient::transport::com::MakeCom;

class ClassFactory final : public ComObject<IClassFactory> {
public:
    explicit ClassFactory(const CLSID& clsid) : clsid_(clsid) {}
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        ComPtr<IUnknown> object;
        HRESULT hr = Module::Get().CreateInstance(clsid_, &object);
        if (FAILED(hr))
            return hr;
        return object->QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            Module::Get().AddRef();
        else
            Module::Get().Release();
        return S_OK;
    }

private:
    CLSID clsid_;
};

} // namespace

ComPtr<IClassFactory> MakeClassFactory(const CLSID& clsid) {
    auto f = MakeCom<ClassFactory>(clsid);
    return ComPtr<IClassFactory>::Share(f.get());
}

} // namespace opcsim
