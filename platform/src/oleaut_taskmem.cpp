// COM task allocator: the memory exchanged with OPC servers. Zero-byte requests give a valid block, as
// callers free every non-null result.
#include "platform/oleauto.h"

#include <cstdlib>

extern "C" {

LPVOID CoTaskMemAlloc(size_t cb) {
    return std::malloc(cb ? cb : 1);
}

LPVOID CoTaskMemRealloc(LPVOID pv, size_t cb) {
    if (!pv)
        return CoTaskMemAlloc(cb);
    if (cb == 0) {
        std::free(pv);
        return nullptr;
    }
    return std::realloc(pv, cb);
}

void CoTaskMemFree(LPVOID pv) {
    std::free(pv);
}

} // extern "C"
