// Values, VARTYPEs and qualities as text for people: the command-line tool's output and the recorder's
// live-value views.
#include "platform/value_text.hpp"

#include "platform/ascii.hpp"
#include "platform/civil_time.hpp"
#include "platform/variant.hpp"

#include <array>
#include <cstdio>
#include <iterator>

namespace qz {
namespace {

struct TypeName {
    VARTYPE vt;
    const char* name;
};

constexpr std::array<TypeName, 22> kTypeNames{{
    {VT_EMPTY, "EMPTY"},     {VT_NULL, "NULL"},       {VT_I2, "I2"},     {VT_I4, "I4"},
    {VT_R4, "R4"},           {VT_R8, "R8"},           {VT_CY, "CY"},     {VT_DATE, "DATE"},
    {VT_BSTR, "BSTR"},       {VT_ERROR, "ERROR"},     {VT_BOOL, "BOOL"}, {VT_VARIANT, "VARIANT"},
    {VT_DECIMAL, "DECIMAL"}, {VT_I1, "I1"},           {VT_UI1, "UI1"},   {VT_UI2, "UI2"},
    {VT_UI4, "UI4"},         {VT_I8, "I8"},           {VT_UI8, "UI8"},   {VT_INT, "INT"},
    {VT_UINT, "UINT"},       {VT_HRESULT, "HRESULT"},
}};

std::string DateText(DATE date) {
    const auto st = DateToSystemTime(date, false);
    if (!st)
        return "(invalid date " + std::to_string(date) + ")";
    return FormatSystemTime("yyyy-mm-dd hh:nn:ss.zzz", *st);
}

std::string ScalarText(const Variant& value, bool quote_text) {
    switch (value.vt()) {
    case VT_EMPTY:
        return "(empty)";
    case VT_NULL:
        return "(null)";
    case VT_BOOL:
        return value.get().boolVal ? "true" : "false";
    case VT_DATE:
        return DateText(value.get().date);
    case VT_ERROR: {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "(error 0x%08X)", static_cast<unsigned>(value.get().scode));
        return buffer;
    }
    case VT_BSTR:
        return quote_text ? "\"" + value.toUtf8() + "\"" : value.toUtf8();
    default:
        break;
    }
    Variant text;
    if (FAILED(value.tryConvert(VT_BSTR, text)))
        return "(" + VarTypeName(value.vt()) + " value without text)";
    return text.toUtf8();
}

} // namespace

std::string VarTypeName(VARTYPE vt) {
    std::string prefix;
    if (vt & VT_ARRAY)
        prefix += "VT_ARRAY|";
    if (vt & VT_BYREF)
        prefix += "VT_BYREF|";
    const VARTYPE base = vt & VT_TYPEMASK;
    for (const TypeName& t : kTypeNames)
        if (t.vt == base)
            return prefix + "VT_" + t.name;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "VT_0x%04X", static_cast<unsigned>(base));
    return prefix + buffer;
}

std::optional<VARTYPE> VarTypeFromName(std::string_view name) {
    // Type names are ASCII keywords: compared without regard to case, and the same under every locale.
    if (EqualsNoCase(name.substr(0, 3), "VT_"))
        name.remove_prefix(3);
    if (EqualsNoCase(name, "STRING") || EqualsNoCase(name, "TEXT"))
        return VT_BSTR;
    if (EqualsNoCase(name, "BOOLEAN"))
        return VT_BOOL;
    for (const TypeName& t : kTypeNames)
        if (EqualsNoCase(name, t.name) && t.vt != VT_EMPTY && t.vt != VT_NULL && t.vt != VT_VARIANT &&
            t.vt != VT_HRESULT)
            return t.vt;
    return std::nullopt;
}

std::string ValueText(const VARIANT& value) {
    try {
        Variant v(value);
        if (!v.isArray())
            return ScalarText(v, false);
        std::string out = "[";
        const ULONG n = v.arrayLength();
        for (ULONG i = 0; i < n; ++i) {
            if (i)
                out += ", ";
            out += ScalarText(v.element(static_cast<LONG>(i)), true);
        }
        return out + "]";
    } catch (const std::exception& e) {
        return std::string("(value without text: ") + e.what() + ")";
    }
}

std::string QualityCaption(std::uint16_t quality) {
    const unsigned major = quality & 0xC0;
    const unsigned sub = (quality >> 2) & 0x0F;
    const unsigned limit = quality & 0x03;
    std::string base;
    const char* detail = nullptr;
    switch (major) {
    case 0x00: {
        base = "Bad";
        static constexpr const char* kBad[] = {
            nullptr,          "config error",   "not connected",
            "device failure", "sensor failure", "last known value",
            "comm failure",   "out of service", "waiting for initial data"};
        detail = sub < std::size(kBad) ? kBad[sub] : "";
        break;
    }
    case 0x40: {
        base = "Uncertain";
        static constexpr const char* kUncertain[] = {
            nullptr, "last usable value", "", "", "sensor not accurate", "EU units exceeded", "sub-normal"};
        detail = sub < std::size(kUncertain) ? kUncertain[sub] : "";
        break;
    }
    case 0xC0:
        base = "Good";
        detail = sub == 0 ? nullptr : sub == 6 ? "local override" : "";
        break;
    default:
        base = "Invalid";
        detail = "";
        break;
    }
    std::string details;
    if (detail)
        details = *detail ? std::string(detail) : "substatus " + std::to_string(sub);
    static constexpr const char* kLimit[] = {nullptr, "low limited", "high limited", "constant"};
    if (limit)
        details += (details.empty() ? "" : ", ") + std::string(kLimit[limit]);
    return details.empty() ? base : base + " (" + details + ")";
}

} // namespace qz
