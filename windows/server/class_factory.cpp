#include "class_factory.hpp"

#include "com_object.hpp"
#include "module.hpp"

#include <utility>

namespace opcsim {

namespace {

using tagclient::transport::com::ComObject;
using tagclient::transport::com::ComPtr;
using tagclient::transport::com::MakeCom;

class ClassFactory final : public ComObject<IClassFactory> {
public:
    ClassFactory(const CLSID& clsid, std::function<void()> on_activation)
        : clsid_(clsid), on_activation_(std::move(on_activation)) {}
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        if (on_activation_)
            on_activation_();
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
    std::function<void()> on_activation_;
};

} // namespace

ComPtr<IClassFactory> MakeClassFactory(const CLSID& clsid, std::function<void()> on_activation) {
    auto f = MakeCom<ClassFactory>(clsid, std::move(on_activation));
    return ComPtr<IClassFactory>::Share(f.get());
}

} // namespace opcsim
