// The frame of every transport method of the simulated servers.
#pragma once
#include <platform/oleauto.h>

#include <new>

namespace tagclient::transport::sim {

// Runs a transport operation, turning an allocation failure into E_OUTOFMEMORY: nothing thrown here may
// reach the toolkit.
template <typename F> HRESULT Guarded(F&& f) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

} // namespace tagclient::transport::sim
