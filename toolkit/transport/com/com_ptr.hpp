// ComPtr: one counted COM reference, released when the holder goes away.
#pragma once
#include "rpc_guard.hpp"

#include <objbase.h>

#include <utility>

namespace tagclient::transport::com {

template <class T> class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already owns.
    static ComPtr Attach(T* p) {
        ComPtr r;
        r.p_ = p;
        return r;
    }
    // Adds a reference of its own.
    static ComPtr Share(T* p) {
        if (p)
            ProxyCall([&] {
                p->AddRef();
                return S_OK;
            });
        return Attach(p);
    }
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr& other) : p_(other.p_) {
        if (T* p = p_)
            ProxyCall([&] {
                p->AddRef();
                return S_OK;
            });
    }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Releases the reference and gives the address to an out parameter.
    T** out() {
        Reset();
        return &p_;
    }
    void** outVoid() { return reinterpret_cast<void**>(out()); }
    void Reset() {
        if (T* p = std::exchange(p_, nullptr)) // a proxy's release may reach a dead server
            ProxyCall([&] {
                p->Release();
                return S_OK;
            });
    }
    // Gives the reference to the caller (for out parameters of COM methods).
    T* Detach() { return std::exchange(p_, nullptr); }

    // QueryInterface for U; empty when the object does not offer it.
    template <class U> ComPtr<U> Query() const {
        ComPtr<U> r;
        if (T* p = p_; p && FAILED(ProxyCall([&] { return p->QueryInterface(__uuidof(U), r.outVoid()); })))
            r.Reset();
        return r;
    }

private:
    T* p_ = nullptr;
};

} // namespace tagclient::transport::com
