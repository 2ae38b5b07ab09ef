// Text forms of OPC values for the command line.
#include "value_text.hpp"

#include <platform/ascii.hpp>
#include <platform/civil_time.hpp>

#include <array>
#include <cstdio>
#include <ctime>
#include <vector>

namespace tagclient_cli {
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
    const auto st = qz::DateToSystemTime(date, false);
    if (!st)
        return "(invalid date " + std::to_string(date) + ")";
    return qz::FormatSystemTime("yyyy-mm-dd hh:nn:ss.zzz", *st);
}

std::string ScalarText(const qz::Variant& value, bool quote_text) {
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
    qz::Variant text;
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
    if (qz::EqualsNoCase(name.substr(0, 3), "VT_"))
        name.remove_prefix(3);
    if (qz::EqualsNoCase(name, "STRING") || qz::EqualsNoCase(name, "TEXT"))
        return VT_BSTR;
    if (qz::EqualsNoCase(name, "BOOLEAN"))
        return VT_BOOL;
    for (const TypeName& t : kTypeNames)
        if (qz::EqualsNoCase(name, t.name) && t.vt != VT_EMPTY && t.vt != VT_NULL && t.vt != VT_VARIANT &&
            t.vt != VT_HRESULT)
            return t.vt;
    return std::nullopt;
}

std::string ValueText(const VARIANT& value) {
    try {
        qz::Variant v(value);
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

std::string QualityText(std::uint16_t quality) {
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

std::string ServerStateText(std::uint16_t state) {
    switch (state) {
    case 1:
        return "running";
    case 2:
        return "failed";
    case 3:
        return "no configuration";
    case 4:
        return "suspended";
    case 5:
        return "test";
    default:
        return "unknown (" + std::to_string(state) + ")";
    }
}

namespace {
// 100 ns ticks between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kUnixEpochTicks = 116444736000000000LL;

bool SplitUnix(const FILETIME& ft, std::time_t& seconds, int& millis) {
    const auto ticks = static_cast<std::int64_t>(qz::FileTimeTicks(ft)) - kUnixEpochTicks;
    std::int64_t ms = ticks / 10000;
    if (ticks < 0 && ticks % 10000)
        --ms;
    std::int64_t s = ms / 1000;
    std::int64_t rest = ms % 1000;
    if (rest < 0) {
        rest += 1000;
        --s;
    }
    seconds = static_cast<std::time_t>(s);
    millis = static_cast<int>(rest);
    return true;
}

std::string FormatTm(const std::tm& tm, int millis, const char* zone_format) {
    char date[64];
    char zone[16];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &tm);
    std::strftime(zone, sizeof zone, zone_format, &tm);
    char out[112];
    std::snprintf(out, sizeof out, "%s.%03d %s", date, millis, zone);
    return out;
}
} // namespace

std::string UtcTimeText(const FILETIME& utc) {
    if (qz::FileTimeTicks(utc) == 0)
        return "(none)";
    std::time_t seconds;
    int millis;
    SplitUnix(utc, seconds, millis);
    std::tm tm{};
#ifdef _WIN32
    if (gmtime_s(&tm, &seconds) != 0)
#else
    if (!gmtime_r(&seconds, &tm))
#endif
        return "(invalid time)";
    return FormatTm(tm, millis, "UTC");
}

std::string LocalTimeText(const FILETIME& utc) {
    if (qz::FileTimeTicks(utc) == 0)
        return "(none)";
    std::time_t seconds;
    int millis;
    SplitUnix(utc, seconds, millis);
    std::tm tm{};
#ifdef _WIN32
    if (localtime_s(&tm, &seconds) != 0)
#else
    if (!localtime_r(&seconds, &tm))
#endif
        return "(invalid time)";
    return FormatTm(tm, millis, "%z");
}

std::string ItemLine(std::string_view item_id, const VARIANT& value, std::uint16_t quality,
                     const FILETIME& utc) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(quality));
    return std::string(item_id) + " = " + ValueText(value) + "  [" + VarTypeName(value.vt) + "]  quality " +
           QualityText(quality) + " (" + code + ")  time " + UtcTimeText(utc) + " (local " +
           LocalTimeText(utc) + ")";
}

namespace {
qz::Variant ParseScalar(std::string_view text, VARTYPE vt) {
    if (vt == VT_BOOL) {
        const auto is = [text](std::string_view word) { return qz::EqualsNoCase(text, word); };
        if (is("TRUE") || is("1") || is("YES") || is("ON"))
            return qz::Variant(true);
        if (is("FALSE") || is("0") || is("NO") || is("OFF"))
            return qz::Variant(false);
        throw qz::VariantError(DISP_E_TYPEMISMATCH);
    }
    const qz::Variant source(text);
    if (vt == VT_BSTR)
        return source;
    return source.convertedTo(vt);
}
} // namespace

qz::Variant ParseValue(std::string_view text, VARTYPE vt) {
    if (!(vt & VT_ARRAY))
        return ParseScalar(text, vt);
    const VARTYPE element_type = vt & VT_TYPEMASK;
    std::vector<qz::Variant> elements;
    if (!text.empty()) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = text.find(',', start);
            std::string_view part =
                text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
            while (!part.empty() && part.front() == ' ')
                part.remove_prefix(1);
            elements.push_back(ParseScalar(part, element_type));
            if (comma == std::string_view::npos)
                break;
            start = comma + 1;
        }
    }
    qz::Variant array = qz::Variant::Array(element_type, static_cast<ULONG>(elements.size()));
    for (std::size_t i = 0; i < elements.size(); ++i) {
        LONG index = static_cast<LONG>(i);
        VARIANT& e = const_cast<VARIANT&>(elements[i].get());
        void* data = element_type == VT_BSTR ? static_cast<void*>(e.bstrVal) : static_cast<void*>(&e.llVal);
        const HRESULT hr = SafeArrayPutElement(array.get().parray, &index, data);
        if (FAILED(hr))
            throw qz::VariantError(hr);
    }
    return array;
}

} // namespace tagclient_cli
