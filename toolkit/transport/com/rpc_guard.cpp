#include "rpc_guard.hpp"

#include <windows.h>

namespace tagclient::transport::com {

namespace {

// One recovery point: the jump buffer of __builtin_setjmp (frame, resume address, stack), the point it
// hides, the exception code that moved the thread here and, on 32-bit Windows, the head of the thread's
// exception-registration chain, which frames abandoned by the jump may have left pointing into them.
struct RecoveryPoint {
    void* jump[5];
    RecoveryPoint* outer;
    DWORD code;
    void* registrations;
};

LONG CALLBACK OnException(EXCEPTION_POINTERS* info);

// The thread's innermost recovery point lives in a TLS slot (TlsGetValue neither allocates nor locks, so
// the handler may read it for any exception of any thread); the handler is installed once, with the slot.
DWORD Slot() {
    static const DWORD slot = [] {
        DWORD s = TlsAlloc();
        AddVectoredExceptionHandler(1, &OnException);
        return s;
    }();
    return slot;
}

RecoveryPoint* Innermost() {
    const DWORD error = GetLastError(); // TlsGetValue clears it; the interrupted code may still need it
    auto* point = static_cast<RecoveryPoint*>(TlsGetValue(Slot()));
    SetLastError(error);
    return point;
}

void SetInnermost(RecoveryPoint* point) {
    TlsSetValue(Slot(), point);
}

#if defined(__i386__)
// The head of the thread's exception-registration chain (the first word of its information block, FS:[0]).
void* RegistrationChain() {
    void* head;
    asm volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}
void SetRegistrationChain(void* head) {
    asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}
#endif

[[noreturn]] void Resume() {
    RecoveryPoint* point = Innermost();
    __builtin_longjmp(point->jump, 1);
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    if (!IsRpcFailureCode(code))
        return EXCEPTION_CONTINUE_SEARCH;
    RecoveryPoint* point = Innermost();
    if (!point)
        return EXCEPTION_CONTINUE_SEARCH;
    point->code = code;
    // The thread goes on in Resume, on a stack below the raising frames, once the dispatcher has finished:
    // Resume jumps to the recovery point. Nothing between the point and the raise (the proxy and the RPC
    // runtime) holds a lock when it raises.
    CONTEXT* c = info->ContextRecord;
#if defined(__x86_64__)
    c->Rsp = ((c->Rsp - 512) & ~DWORD64(15)) - 8; // as after a call
    c->Rip = reinterpret_cast<DWORD64>(&Resume);
#elif defined(__i386__)
    c->Esp = ((c->Esp - 512) & ~DWORD(15)) - 4;
    c->Eip = reinterpret_cast<DWORD>(&Resume);
#else
#error "recovery points need the stack and instruction registers of this processor"
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

} // namespace

bool IsRpcFailureCode(DWORD code) noexcept {
    if (code != 0 && (code & 0xFFFF0000UL) == 0)
        return true; // an RPC status or Win32 error (RPC_S_SERVER_UNAVAILABLE, RPC_X_BAD_STUB_DATA, ...)
    if ((code & 0xC0000000UL) != 0x80000000UL)
        return false; // successes, informational and error NTSTATUS codes (access violations, C++ throws)
    // Failure HRESULTs: those of a facility (RPC_E_DISCONNECTED, 0x800706BA, ...) and the E_ codes of
    // FACILITY_NULL; not the NTSTATUS warnings 0x8000000x (breakpoint, single step, guard page).
    return (code & 0x0FFF0000UL) != 0 || (code & 0xFFFFF000UL) == 0x80004000UL;
}

HRESULT HResultOfException(DWORD code) noexcept {
    return (code & 0xFFFF0000UL) == 0 ? HRESULT_FROM_WIN32(code) : static_cast<HRESULT>(code);
}

__attribute__((noinline)) HRESULT ProxyCallRaw(HRESULT (*fn)(void*), void* context) noexcept {
    RecoveryPoint point{};
    point.outer = Innermost();
#if defined(__i386__)
    point.registrations = RegistrationChain();
#endif
    if (__builtin_setjmp(point.jump) == 0) {
        SetInnermost(&point);
        const HRESULT hr = fn(context);
        SetInnermost(point.outer);
        return hr;
    }
    // Resumed after an exception: read the point through the slot (the jump leaves registers undefined).
    RecoveryPoint* resumed = Innermost();
#if defined(__i386__)
    SetRegistrationChain(resumed->registrations);
#endif
    SetInnermost(resumed->outer);
    return HResultOfException(resumed->code);
}

} // namespace tagclient::transport::com
