#include "variant_strings.hpp"

namespace tagsink::app {

QStringList StringsOf(const VARIANT& value) {
    QStringList result;
    if (value.vt != (VT_ARRAY | VT_BSTR) || value.parray == nullptr || SafeArrayGetDim(value.parray) != 1) {
        return result;
    }
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(value.parray, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(value.parray, 1, &upper))) {
        return result;
    }
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(value.parray, &data))) {
        return result;
    }
    const BSTR* items = static_cast<const BSTR*>(data);
    for (LONG i = 0; i <= upper - lower; ++i) {
        BSTR text = items[i];
        result << (text ? QString::fromUtf16(reinterpret_cast<const char16_t*>(text),
                                             static_cast<qsizetype>(SysStringLen(text)))
                        : QString());
    }
    SafeArrayUnaccessData(value.parray);
    return result;
}

} // namespace tagsink::app
