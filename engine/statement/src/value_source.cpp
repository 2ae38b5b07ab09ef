#include "engine/statement/value_source.hpp"

#include "engine/statement/date_text.hpp"
#include "engine/statement/field_format.hpp"
#include "locale_text.hpp"
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "platform/opc_quality.hpp"
#include "platform/variant.hpp"

#include <chrono>

namespace tagsink {

namespace {

// FILETIME ticks from 1 January 1601 to 1 January 1970.
constexpr std::uint64_t kFileTimeAtUnixEpoch = 116444736000000000ULL;

bool IsTextType(TFieldType type) {
    return type == TFieldType::ftString || type == TFieldType::ftWideString;
}

} // namespace

std::uint64_t FileTimeNow() {
    const auto now = std::chrono::system_clock::now();
    const std::int64_t ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    return static_cast<std::uint64_t>(ms) * 10000ULL + kFileTimeAtUnixEpoch;
}

TimeStyle TimeStyleOf(const TServer& server) {
    TimeStyle style;
    style.utc = server.TimeZone() == TTimeZone::tzUTC;
    style.milliseconds = server.TimePrecision() == TTimePrecision::tpMilliseconds;
    return style;
}

std::string FormatTimeValue(double date_time, TFieldType field_type, TimeStyle style) {
    if (!style.milliseconds)
        return FormatFieldValue(qz::Variant::Date(date_time), field_type);
    switch (field_type) {
    case TFieldType::ftDateTime:
    case TFieldType::ftTimeStamp:
    case TFieldType::ftString:
    case TFieldType::ftWideString:
        return QuoteSqlString(FormatDateTimeParts(
            ShortDateFormat() + DateTimeSeparator() + LongTimeFormat() + ".zzz", DecodeDateTime(date_time)));
    case TFieldType::ftTime:
        return QuoteSqlString(FormatDateTimeParts(LongTimeFormat() + ".zzz", DecodeDateTime(date_time)));
    default:
        return FormatFieldValue(qz::Variant::Date(date_time), field_type);
    }
}

double FileTimeInStyle(std::uint64_t file_time, TimeStyle style) {
    return FileTimeToDateTime(file_time, style.utc ? 0 : CurrentUtcOffsetSeconds());
}

double NowInStyle(TimeStyle style) {
    return style.utc ? FileTimeToDateTime(FileTimeNow(), 0) : LocalNow();
}

std::string QualityValueText(const TItem& item) {
    if (IsTextType(item.FieldType()))
        return FormatFieldValue(qz::Variant(qz::OpcQualityText(item.Quality)), item.FieldType());
    return FormatFieldValue(qz::Variant(static_cast<std::int32_t>(item.Quality)), item.FieldType());
}

std::string TimeStampValueText(const TItem& item) {
    const TimeStyle style = TimeStyleOf(item.Group().Server());
    return FormatTimeValue(FileTimeInStyle(item.TimeStamp, style), item.FieldType(), style);
}

} // namespace tagsink
