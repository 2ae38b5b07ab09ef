// Text forms of OPC values for the command line.
#include "value_text.hpp"

#include <platform/ascii.hpp>
#include <platform/civil_time.hpp>

#include <cstdio>
#include <ctime>
#include <vector>

namespace tagclient_cli {

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
           qz::QualityCaption(quality) + " (" + code + ")  time " + UtcTimeText(utc) + " (local " +
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
