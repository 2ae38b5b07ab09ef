// Describe(): readable form of an OLE value for logs and test messages.
#include "platform/variant.hpp"

#include <cstdio>

namespace qz {

namespace {

const char* BaseName(VARTYPE base) {
    switch (base) {
    case VT_EMPTY:
        return "VT_EMPTY";
    case VT_NULL:
        return "VT_NULL";
    case VT_I2:
        return "VT_I2";
    case VT_I4:
        return "VT_I4";
    case VT_R4:
        return "VT_R4";
    case VT_R8:
        return "VT_R8";
    case VT_CY:
        return "VT_CY";
    case VT_DATE:
        return "VT_DATE";
    case VT_BSTR:
        return "VT_BSTR";
    case VT_DISPATCH:
        return "VT_DISPATCH";
    case VT_ERROR:
        return "VT_ERROR";
    case VT_BOOL:
        return "VT_BOOL";
    case VT_VARIANT:
        return "VT_VARIANT";
    case VT_UNKNOWN:
        return "VT_UNKNOWN";
    case VT_DECIMAL:
        return "VT_DECIMAL";
    case VT_I1:
        return "VT_I1";
    case VT_UI1:
        return "VT_UI1";
    case VT_UI2:
        return "VT_UI2";
    case VT_UI4:
        return "VT_UI4";
    case VT_I8:
        return "VT_I8";
    case VT_UI8:
        return "VT_UI8";
    case VT_INT:
        return "VT_INT";
    case VT_UINT:
        return "VT_UINT";
    default:
        return nullptr;
    }
}

std::string TypeName(VARTYPE vt) {
    std::string name;
    if (vt & VT_BYREF)
        name += "VT_BYREF|";
    if (vt & VT_ARRAY)
        name += "VT_ARRAY|";
    const VARTYPE base = vt & VT_TYPEMASK;
    if (const char* known = BaseName(base)) {
        name += known;
    } else {
        char buf[16];
        std::snprintf(buf, sizeof buf, "VT_%u", static_cast<unsigned>(base));
        name += buf;
    }
    return name;
}

// The value part alone (no type name).
std::string ValueText(const VARIANT& v) {
    if (v.vt == VT_EMPTY || v.vt == VT_NULL)
        return {};
    if (v.vt == VT_ERROR) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%.8X", static_cast<unsigned>(v.scode));
        return buf;
    }
    if (v.vt == VT_UNKNOWN || v.vt == VT_DISPATCH) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%p", v.punkVal);
        return buf;
    }
    if (v.vt == VT_BSTR)
        return "\"" +
               Utf16ToUtf8(std::u16string_view(v.bstrVal ? AsU16(v.bstrVal) : u"", SysStringLen(v.bstrVal))) +
               "\"";
    if ((v.vt & VT_ARRAY) && !(v.vt & VT_BYREF)) {
        const Variant array(v);
        const ULONG n = array.arrayLength();
        if (!v.parray)
            return "null";
        if (SafeArrayGetDim(v.parray) != 1)
            return "[" + std::to_string(SafeArrayGetDim(v.parray)) + " dimensions]";
        std::string text = "[";
        for (ULONG i = 0; i < n && i < 16; ++i) {
            if (i)
                text += ", ";
            const Variant element = array.element(static_cast<LONG>(i));
            // Elements of a VARIANT array carry their own types.
            text +=
                array.vt() == (VT_ARRAY | VT_VARIANT) ? Describe(element.get()) : ValueText(element.get());
        }
        if (n > 16)
            text += ", ... (" + std::to_string(n) + " elements)";
        return text + "]";
    }
    Variant text;
    if (FAILED(Variant(v).tryConvert(VT_BSTR, text, VARIANT_ALPHABOOL)))
        return "?";
    return text.toUtf8();
}

} // namespace

std::string Describe(const VARIANT& v) {
    std::string out = TypeName(v.vt);
    try {
        const std::string value = ValueText(v);
        if (!value.empty())
            out += " " + value;
    } catch (const std::exception&) {
        out += " ?";
    }
    return out;
}

} // namespace qz
