// GUIDs in their registry text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include "platform/oleauto.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr int kTextLength = 38; // without the NUL

int HexValue(OLECHAR c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Reads `digits` hex digits at text[pos].
bool ReadHex(LPCOLESTR text, int pos, int digits, std::uint64_t& value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const int v = HexValue(text[pos + i]);
        if (v < 0)
            return false;
        value = value << 4 | static_cast<unsigned>(v);
    }
    return true;
}

} // namespace

extern "C" {

HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid) {
    if (!pclsid)
        return E_INVALIDARG;
    std::memset(pclsid, 0, sizeof(CLSID));
    if (!lpsz)
        return S_OK; // the null string names the null class ID
    for (int i = 0; i < kTextLength; ++i)
        if (lpsz[i] == 0)
            return CO_E_CLASSSTRING;
    if (lpsz[kTextLength] != 0 || lpsz[0] != u'{' || lpsz[37] != u'}' || lpsz[9] != u'-' ||
        lpsz[14] != u'-' || lpsz[19] != u'-' || lpsz[24] != u'-')
        return CO_E_CLASSSTRING;
    std::uint64_t v = 0;
    CLSID id{};
    if (!ReadHex(lpsz, 1, 8, v))
        return CO_E_CLASSSTRING;
    id.Data1 = static_cast<std::uint32_t>(v);
    if (!ReadHex(lpsz, 10, 4, v))
        return CO_E_CLASSSTRING;
    id.Data2 = static_cast<std::uint16_t>(v);
    if (!ReadHex(lpsz, 15, 4, v))
        return CO_E_CLASSSTRING;
    id.Data3 = static_cast<std::uint16_t>(v);
    static constexpr int kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(lpsz, kBytePos[i], 2, v))
            return CO_E_CLASSSTRING;
        id.Data4[i] = static_cast<std::uint8_t>(v);
    }
    *pclsid = id;
    return S_OK;
}

INT StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, INT cchMax) {
    if (!rguid || !lpsz || cchMax < kTextLength + 1)
        return 0;
    static constexpr char kHex[] = "0123456789ABCDEF";
    int pos = 0;
    auto put = [&](std::uint64_t value, int digits) {
        for (int i = digits - 1; i >= 0; --i)
            lpsz[pos++] = static_cast<OLECHAR>(kHex[(value >> (4 * i)) & 0xF]);
    };
    lpsz[pos++] = u'{';
    put(rguid->Data1, 8);
    lpsz[pos++] = u'-';
    put(rguid->Data2, 4);
    lpsz[pos++] = u'-';
    put(rguid->Data3, 4);
    lpsz[pos++] = u'-';
    put(rguid->Data4[0], 2);
    put(rguid->Data4[1], 2);
    lpsz[pos++] = u'-';
    for (int i = 2; i < 8; ++i)
        put(rguid->Data4[i], 2);
    lpsz[pos++] = u'}';
    lpsz[pos++] = 0;
    return pos;
}

BOOL IsEqualGUID(REFGUID a, REFGUID b) {
    if (!a || !b)
        return a == b;
    return std::memcmp(a, b, sizeof(GUID)) == 0;
}

} // extern "C"
