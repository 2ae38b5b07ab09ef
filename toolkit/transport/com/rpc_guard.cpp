#include "rpc_guard.hpp"

#include <windows.h>

// Why a frame handler and not a vectored one: the system's own COM code catches RPC failures of its
// internal calls itself (releasing a proxy whose server is gone raises and catches RPC_S_SERVER_UNAVAILABLE
// inside ole32/combase, with locks and exception frames of its own on the way). A vectored handler runs
// before any of them and would move the thread past their cleanup; on 64-bit Wine that leaves an exception
// frame of the abandoned code registered in the thread's information block, and the next exception of the
// thread (any C++ throw) walks into it and ends the process. A handler on a frame of our own is asked only
// when no code inside the call handled the exception, and the system unwinds the frames in between before
// the thread goes on at the recovery point.

namespace tagclient::transport::com {

namespace {

// One recovery point: the exception code that ended the call and whether one did; on 32-bit Windows also
// the jump buffer of __builtin_setjmp (frame, resume address, stack) the frame handler resumes at.
struct RecoveryPoint {
    RecoveryPoint* outer;
    DWORD code;
    bool caught;
#if defined(__i386__)
    void* jump[5];
#endif
};

// The thread's innermost recovery point lives in a TLS slot (TlsGetValue neither allocates nor locks).
DWORD Slot() {
    static const DWORD kSlot = TlsAlloc();
    return kSlot;
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

} // namespace

} // namespace tagclient::transport::com

#if defined(__x86_64__)

// 64-bit Windows: exception handling is table-driven. TagclientGuardedCall calls fn(context) inside a
// scope of its own unwind information whose filter is TagclientRecoveryFilter; the system's
// __C_specific_handler asks the filter when an exception reaches this frame unhandled and, when the filter
// takes it, unwinds every frame in between (running their termination handlers and C++ cleanups) and
// resumes at the end of the scope. The function is written in assembly so that the compiler keeps nothing in
// registers across the scope's end and adds no handler of its own to the frame.
extern "C" HRESULT TagclientGuardedCall(HRESULT (*fn)(void*), void* context);

extern "C" LONG TagclientRecoveryFilter(EXCEPTION_POINTERS* info, void*) {
    using namespace tagclient::transport::com;
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    RecoveryPoint* point = Innermost();
    if (!point || !IsRpcFailureCode(code))
        return EXCEPTION_CONTINUE_SEARCH;
    point->code = code;
    point->caught = true;
    return EXCEPTION_EXECUTE_HANDLER;
}

asm(R"(
	.text
	.p2align 4
	.globl	TagclientGuardedCall
	.def	TagclientGuardedCall;	.scl	2;	.type	32;	.endef
	.seh_proc	TagclientGuardedCall
TagclientGuardedCall:
	subq	$40, %rsp
	.seh_stackalloc	40
	.seh_endprologue
	.seh_handler	__C_specific_handler, @except
	.seh_handlerdata
	.long	1
	.rva	.Ltagclient_guard_begin, .Ltagclient_guard_end, TagclientRecoveryFilter, .Ltagclient_guard_end
	.text
	movq	%rcx, %rax
	movq	%rdx, %rcx
.Ltagclient_guard_begin:
	callq	*%rax
	nop
.Ltagclient_guard_end:
	addq	$40, %rsp
	ret
	.seh_endproc
)");

#elif defined(__i386__)

namespace {

using tagclient::transport::com::RecoveryPoint;

// 32-bit Windows: exception handlers form a chain of registrations on the stack, its head in the first word
// of the thread's information block (FS:[0]). ProxyCallRaw links one into its own frame.
struct Registration {
    Registration* next;
    void* handler;
    RecoveryPoint* point;
};

void* RegistrationChain() {
    void* head;
    asm volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}
void SetRegistrationChain(void* head) {
    asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}

// Asked for an exception that no handler inside the call took: unwinds the registrations inside the call
// (the system calls each with the unwinding flag and takes it off the chain), then resumes at the recovery
// point.
extern "C" EXCEPTION_DISPOSITION __cdecl TagclientOnFrameException(EXCEPTION_RECORD* record, void* frame,
                                                                   CONTEXT*, void*) {
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;
    if (!tagclient::transport::com::IsRpcFailureCode(record->ExceptionCode))
        return ExceptionContinueSearch;
    RecoveryPoint* point = static_cast<Registration*>(frame)->point;
    point->code = record->ExceptionCode;
    point->caught = true;
    RtlUnwind(frame, nullptr, record, nullptr);
    __builtin_longjmp(point->jump, 1);
}

} // namespace

#else
#error "recovery points need the exception handling of this processor"
#endif

namespace tagclient::transport::com {

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

#if defined(__x86_64__)

__attribute__((noinline)) HRESULT ProxyCallRaw(HRESULT (*fn)(void*), void* context) noexcept {
    RecoveryPoint point{};
    point.outer = Innermost();
    SetInnermost(&point);
    const HRESULT hr = TagclientGuardedCall(fn, context);
    SetInnermost(point.outer);
    return point.caught ? HResultOfException(point.code) : hr;
}

#else

__attribute__((noinline)) HRESULT ProxyCallRaw(HRESULT (*fn)(void*), void* context) noexcept {
    RecoveryPoint point{};
    point.outer = Innermost();
    Registration registration{};
    void* const chain = RegistrationChain();
    if (__builtin_setjmp(point.jump) == 0) {
        registration.next = static_cast<Registration*>(chain);
        registration.handler = reinterpret_cast<void*>(&TagclientOnFrameException);
        registration.point = &point;
        SetInnermost(&point);
        SetRegistrationChain(&registration);
        const HRESULT hr = fn(context);
        SetRegistrationChain(chain);
        SetInnermost(point.outer);
        return hr;
    }
    // Resumed by the frame handler: read the point through the slot (the jump leaves registers undefined);
    // the chain is back at this frame's registration, which comes off it now.
    RecoveryPoint* resumed = Innermost();
    SetRegistrationChain(
        RegistrationChain() == nullptr ? nullptr : static_cast<Registration*>(RegistrationChain())->next);
    SetInnermost(resumed->outer);
    return HResultOfException(resumed->code);
}

#endif

} // namespace tagclient::transport::com
