// BSTR allocator. A BSTR points at UTF-16 text that is followed by a NUL character and preceded by a
// 32-bit byte length:
//
//   allocation: [ 4 bytes padding | 4 bytes byte length | text (length bytes) | 2 zero bytes ]
//                                                       ^ BSTR
//
// The padding keeps the text 8-byte aligned. The null BSTR stands for the empty string.
#include "platform/oleauto.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr std::size_t kHeader = 8;     // padding + length field
constexpr std::size_t kTerminator = 2; // one OLECHAR NUL
// Largest byte length that still fits the 32-bit length field with room for header and terminator.
constexpr std::size_t kMaxBytes = std::numeric_limits<std::uint32_t>::max() - kHeader - kTerminator - 1;

std::uint32_t& LengthField(BSTR bstr) {
    return *reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(bstr) - 4);
}

// Allocates a BSTR of `bytes` bytes and copies `bytes` bytes of `source` (if given) into it.
BSTR Allocate(const void* source, std::size_t bytes) {
    if (bytes > kMaxBytes)
        return nullptr;
    // One extra byte so that an odd byte length still ends in a whole NUL OLECHAR.
    char* block = static_cast<char*>(std::malloc(kHeader + bytes + kTerminator + 1));
    if (!block)
        return nullptr;
    char* text = block + kHeader;
    if (source)
        std::memcpy(text, source, bytes);
    else
        std::memset(text, 0, bytes);
    std::memset(text + bytes, 0, kTerminator + 1);
    BSTR bstr = reinterpret_cast<BSTR>(text);
    LengthField(bstr) = static_cast<std::uint32_t>(bytes);
    return bstr;
}

std::size_t OleLength(const OLECHAR* psz) {
    std::size_t n = 0;
    while (psz[n])
        ++n;
    return n;
}

} // namespace

extern "C" {

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz)
        return nullptr;
    return Allocate(psz, OleLength(psz) * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) {
    return Allocate(pch, static_cast<std::size_t>(cch) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(LPCSTR psz, UINT len) {
    return Allocate(psz, len);
}

void SysFreeString(BSTR bstr) {
    if (bstr)
        std::free(reinterpret_cast<char*>(bstr) - kHeader);
}

UINT SysStringLen(BSTR bstr) {
    return bstr ? LengthField(bstr) / sizeof(OLECHAR) : 0;
}

UINT SysStringByteLen(BSTR bstr) {
    return bstr ? LengthField(bstr) : 0;
}

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    if (!pbstr)
        return FALSE;
    // Allocate first: psz may point into the old string.
    BSTR fresh = psz ? SysAllocString(psz) : SysAllocStringLen(nullptr, 0);
    if (!fresh)
        return FALSE;
    SysFreeString(*pbstr);
    *pbstr = fresh;
    return TRUE;
}

} // extern "C"
