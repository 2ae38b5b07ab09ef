// Calls through COM proxies that survive a dying server.
//
// A proxy built without compiler-level structured exception handling (GCC has none) lets the RPC failure
// of a call whose server process is gone escape as a Windows exception (RpcRaiseException), which would end
// the calling program. ProxyCall runs one call under a recovery point: an exception handler on a frame of
// its own that, for an RPC or COM failure code no code inside the call handled itself, has the system unwind
// the frames of the call and returns that code as the call's HRESULT (an RPC status as HRESULT_FROM_WIN32).
// Hardware exceptions, C++ exceptions, exceptions handled inside the call (the system's COM code catches the
// failures of its own internal calls) and everything raised without a recovery point are left alone.
#pragma once
#include <objbase.h>

#include <type_traits>
#include <utility>

namespace tagclient::transport::com {

// Runs fn(context) under a recovery point; never inlined (the recovery point lives in its frame).
HRESULT ProxyCallRaw(HRESULT (*fn)(void*), void* context) noexcept;

// The HRESULT of an exception code, as ProxyCall gives it (exposed for its tests).
HRESULT HResultOfException(DWORD code) noexcept;
// Whether ProxyCall catches an exception with this code.
bool IsRpcFailureCode(DWORD code) noexcept;

// Runs call() (a lambda making one call through a COM interface and returning its HRESULT).
template <class F> HRESULT ProxyCall(F&& call) noexcept {
    using Call = std::remove_reference_t<F>;
    return ProxyCallRaw([](void* c) -> HRESULT { return (*static_cast<Call*>(c))(); },
                        const_cast<void*>(static_cast<const void*>(&call)));
}

} // namespace tagclient::transport::com
