/* Force-included into the generated proxy/stub sources: the three IUnknown proxy entry points that
   rpcrt4 exports but the mingw-w64 headers do not declare. */
#ifndef TAGCLIENT_PROXY_PRELUDE_H
#define TAGCLIENT_PROXY_PRELUDE_H
#include <objbase.h>
#ifdef __cplusplus
extern "C" {
#endif
HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown* This, REFIID riid, void** ppv);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown* This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown* This);
#ifdef __cplusplus
}
#endif
#endif
