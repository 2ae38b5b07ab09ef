/* Force-included into the generated proxy/stub sources.
 *
 * - The three IUnknown proxy entry points that rpcrt4 exports but the mingw-w64 headers do not declare.
 * - The RPC exception macros without compiler-level structured exception handling, which GCC does not
 *   offer: the protected part and the clean-up run in sequence; an RPC failure raised inside the proxy
 *   (the server process gone) is not caught here but by the caller's process.
 */
#ifndef TAGCLIENT_PROXY_PRELUDE_H
#define TAGCLIENT_PROXY_PRELUDE_H
#include <objbase.h>
#include <rpc.h>
#include <rpcndr.h>
#ifdef __cplusplus
extern "C" {
#endif
HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown* This, REFIID riid, void** ppv);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown* This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown* This);
#ifdef __cplusplus
}
#endif
#undef RpcTryExcept
#undef RpcExcept
#undef RpcEndExcept
#undef RpcTryFinally
#undef RpcFinally
#undef RpcEndFinally
#undef RpcExceptionCode
#undef RpcAbnormalTermination
// The braces of these macros balance only where they are used.
// clang-format off
#define RpcTryExcept if (1) {
#define RpcExcept(expr) } else {
#define RpcEndExcept }
#define RpcTryFinally {
#define RpcFinally }
#define RpcEndFinally
#define RpcExceptionCode() 0
#define RpcAbnormalTermination() 0
// clang-format on
#endif
