// The recovery points around calls through COM proxies (Windows): an RPC failure raised inside a call
// becomes the call's HRESULT; everything else is left to whoever handles it.
#include "rpc_guard.hpp"

#include <gtest/gtest.h>

#include <rpc.h>
#include <stdexcept>
#include <string>

using tagclient::transport::com::IsRpcFailureCode;
using tagclient::transport::com::ProxyCall;

namespace {

int g_after = 0;
// The head of the thread's exception-registration chain: the first word of its information block.
void* ExceptionChain() {
    void* head;
#if defined(__x86_64__)
    asm volatile("movq %%gs:0, %0" : "=r"(head));
#else
    asm volatile("movl %%fs:0, %0" : "=r"(head));
#endif
    return head;
}

// A proxy whose server is gone: the RPC runtime raises the failure (never returns).
__attribute__((noinline)) HRESULT DeadProxy(DWORD code) {
    RpcRaiseException(static_cast<RPC_STATUS>(code));
    ++g_after;
    return S_OK;
}

} // namespace

TEST(RpcGuard, RaisedRpcStatusBecomesTheCallsHResult) {
    g_after = 0;
    EXPECT_EQ(ProxyCall([] { return DeadProxy(RPC_S_SERVER_UNAVAILABLE); }),
              static_cast<HRESULT>(0x800706BA));
    EXPECT_EQ(ProxyCall([] { return DeadProxy(RPC_S_CALL_FAILED); }), static_cast<HRESULT>(0x800706BE));
    EXPECT_EQ(g_after, 0);
}

TEST(RpcGuard, RaisedHResultIsReturnedAsItIs) {
    EXPECT_EQ(ProxyCall([] { return DeadProxy(0x80010108); }),
              static_cast<HRESULT>(0x80010108)); // RPC_E_DISCONNECTED
    EXPECT_EQ(ProxyCall([] {
                  RaiseException(0x800401FD, EXCEPTION_NONCONTINUABLE, 0, nullptr); // CO_E_OBJNOTCONNECTED
                  return S_OK;
              }),
              static_cast<HRESULT>(0x800401FD));
}

TEST(RpcGuard, CallsThatReturnKeepTheirResultAndLocals) {
    int calls = 0;
    std::string kept = "kept";
    EXPECT_EQ(ProxyCall([&] {
                  ++calls;
                  return S_FALSE;
              }),
              S_FALSE);
    EXPECT_EQ(ProxyCall([&] { return DeadProxy(RPC_S_SERVER_UNAVAILABLE); }),
              static_cast<HRESULT>(0x800706BA));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(kept, "kept");
    // Many failures in a row: the stack and the thread's state are restored every time.
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(ProxyCall([] { return DeadProxy(RPC_S_SERVER_UNAVAILABLE); }),
                  static_cast<HRESULT>(0x800706BA));
}

TEST(RpcGuard, NestedCallsRecoverToTheInnermostPoint) {
    HRESULT inner = S_OK;
    const HRESULT outer = ProxyCall([&] {
        inner = ProxyCall([] { return DeadProxy(RPC_S_SERVER_UNAVAILABLE); });
        return DeadProxy(0x80010108);
    });
    EXPECT_EQ(inner, static_cast<HRESULT>(0x800706BA));
    EXPECT_EQ(outer, static_cast<HRESULT>(0x80010108));
}

TEST(RpcGuard, CppExceptionsAndCodesOutsideAPointAreLeftAlone) {
    // A C++ exception thrown and caught inside the call is no concern of the recovery point.
    EXPECT_EQ(ProxyCall([]() -> HRESULT {
                  try {
                      throw std::runtime_error("inside");
                  } catch (const std::runtime_error&) {
                      return E_ABORT;
                  }
              }),
              E_ABORT);
    EXPECT_FALSE(IsRpcFailureCode(0xC0000005)); // access violation
    EXPECT_FALSE(IsRpcFailureCode(0x80000003)); // breakpoint
    EXPECT_FALSE(IsRpcFailureCode(0x20474343)); // GCC's C++ exception
    EXPECT_FALSE(IsRpcFailureCode(0xE06D7363)); // MSVC's C++ exception
    EXPECT_TRUE(IsRpcFailureCode(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_TRUE(IsRpcFailureCode(0x800706BA));
    EXPECT_TRUE(IsRpcFailureCode(0x80004005));
    EXPECT_FALSE(IsRpcFailureCode(0));
}

TEST(RpcGuard, TheThreadsExceptionChainIsRestoredAndLaterExceptionsAreHandled) {
    // What the system's code registered inside the call comes off the chain before the thread goes on, so a
    // later exception of the thread (here a C++ throw) finds only live handlers.
    void* const before = ExceptionChain();
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(ProxyCall([] { return DeadProxy(RPC_S_SERVER_UNAVAILABLE); }),
                  static_cast<HRESULT>(0x800706BA));
        ASSERT_EQ(ExceptionChain(), before);
        bool caught = false;
        try {
            throw std::runtime_error("after");
        } catch (const std::runtime_error&) {
            caught = true;
        }
        ASSERT_TRUE(caught);
    }
    // A call that handles a C++ exception after an inner call recovered.
    EXPECT_EQ(ProxyCall([]() -> HRESULT {
                  const HRESULT inner = ProxyCall([] { return DeadProxy(0x80010108); });
                  try {
                      throw std::runtime_error("inside");
                  } catch (const std::runtime_error&) {
                      return inner;
                  }
              }),
              static_cast<HRESULT>(0x80010108));
    EXPECT_EQ(ExceptionChain(), before);
}
