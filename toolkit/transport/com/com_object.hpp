// ComObject: the IUnknown part of the COM objects this library implements itself (sinks, and in the test
// server the server objects): a thread-safe reference count and QueryInterface over the listed interfaces.
//
// Objects are created only through MakeCom, which hands out the first counted reference; the last Release
// destroys the object. That is the one place where a COM object's life is not governed by a C++ owner.
#pragma once
#include "com_ptr.hpp"

#include <atomic>
#include <new>
#include <utility>

namespace tagclient::transport::com {

template <class First, class... Rest> class ComObject : public First, public Rest... {
public:
    ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown))
            *ppv = static_cast<IUnknown*>(static_cast<First*>(this));
        else if (!Offers(riid))
            return E_NOINTERFACE;
        else if (IsEqualIID(riid, __uuidof(First)))
            *ppv = static_cast<First*>(this);
        else
            (void)((IsEqualIID(riid, __uuidof(Rest)) ? (*ppv = static_cast<Rest*>(this), true) : false) ||
                   ... || false);
        if (!*ppv)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~ComObject() = default;
    // Whether an interface of the list is offered right now (objects whose interfaces depend on what
    // they wrap hide some of them).
    virtual bool Offers(REFIID) { return true; }

private:
    std::atomic<ULONG> refs_{1};
};

// Creates a COM object; the result holds its first reference.
template <class T, class... Args> ComPtr<T> MakeCom(Args&&... args) {
    return ComPtr<T>::Attach(new T(std::forward<Args>(args)...));
}

} // namespace tagclient::transport::com
