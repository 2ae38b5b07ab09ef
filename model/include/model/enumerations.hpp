// The enumerations of the project objects, with their identifiers and ordinals.
//
// The project file and the property inspector use the identifiers, spelled exactly as in the tables below;
// the ordinals are the values the objects hold.
#pragma once

#include "model/type_info.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tagsink {

enum class TTableType : std::uint8_t { ttTable, ttStoredProc };
enum class TRecordType : std::uint8_t { rtInsert, rtUpdate };
enum class TTrigType : std::uint8_t { ttSnapShot, ttDataChange };
enum class TGainType : std::uint8_t { gtGain, gtFixed, gtCalc, gtQuality, gtTimeStamp };
// The time choices of a project (stored only when they differ from the first value, so projects made
// before them load and save unchanged).
enum class TTimeZone : std::uint8_t { tzLocal, tzUTC };
enum class TTimePrecision : std::uint8_t { tpSeconds, tpMilliseconds };
enum class TTimeSource : std::uint8_t { tsAuto, tsClock, tsServer };
enum class TFieldType : std::uint8_t {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftParadoxOle,
    ftDBaseOle,
    ftTypedBinary,
    ftCursor,
    ftFixedChar,
    ftWideString,
    ftLargeint,
    ftADT,
    ftArray,
    ftReference,
    ftDataSet,
    ftOraBlob,
    ftOraClob,
    ftVariant,
    ftInterface,
    ftIDispatch,
    ftGuid,
    ftTimeStamp,
    ftFMTBcd,
};

inline constexpr std::array<std::string_view, 2> kTableTypeNames{"ttTable", "ttStoredProc"};
inline constexpr std::array<std::string_view, 2> kRecordTypeNames{"rtInsert", "rtUpdate"};
inline constexpr std::array<std::string_view, 2> kTrigTypeNames{"ttSnapShot", "ttDataChange"};
inline constexpr std::array<std::string_view, 5> kGainTypeNames{"gtGain", "gtFixed", "gtCalc", "gtQuality",
                                                                "gtTimeStamp"};
inline constexpr std::array<std::string_view, 2> kTimeZoneNames{"tzLocal", "tzUTC"};
inline constexpr std::array<std::string_view, 2> kTimePrecisionNames{"tpSeconds", "tpMilliseconds"};
inline constexpr std::array<std::string_view, 3> kTimeSourceNames{"tsAuto", "tsClock", "tsServer"};
inline constexpr std::array<std::string_view, 38> kFieldTypeNames{
    "ftUnknown",    "ftString",     "ftSmallint", "ftInteger",     "ftWord",      "ftBoolean",
    "ftFloat",      "ftCurrency",   "ftBCD",      "ftDate",        "ftTime",      "ftDateTime",
    "ftBytes",      "ftVarBytes",   "ftAutoInc",  "ftBlob",        "ftMemo",      "ftGraphic",
    "ftFmtMemo",    "ftParadoxOle", "ftDBaseOle", "ftTypedBinary", "ftCursor",    "ftFixedChar",
    "ftWideString", "ftLargeint",   "ftADT",      "ftArray",       "ftReference", "ftDataSet",
    "ftOraBlob",    "ftOraClob",    "ftVariant",  "ftInterface",   "ftIDispatch", "ftGuid",
    "ftTimeStamp",  "ftFMTBcd"};

namespace detail {
template <std::size_t N>
constexpr TypeInfo MakeEnumType(std::string_view name, const std::array<std::string_view, N>& names) {
    TypeInfo type;
    type.Kind = TypeKind::Enumeration;
    type.Name = name;
    type.Ord = OrdType::UByte;
    type.MinValue = 0;
    type.MaxValue = static_cast<std::int64_t>(N) - 1;
    type.EnumNames = names;
    return type;
}
// An enumeration whose first value is not stored (a choice added after the first file format).
template <std::size_t N>
constexpr TypeInfo MakeOptionalEnumType(std::string_view name, const std::array<std::string_view, N>& names) {
    TypeInfo type = MakeEnumType(name, names);
    type.UnstoredValue = 0;
    return type;
}
} // namespace detail

inline constexpr TypeInfo kTableTypeInfo = detail::MakeEnumType("TTableType", kTableTypeNames);
inline constexpr TypeInfo kRecordTypeInfo = detail::MakeEnumType("TRecordType", kRecordTypeNames);
inline constexpr TypeInfo kTrigTypeInfo = detail::MakeEnumType("TTrigType", kTrigTypeNames);
inline constexpr TypeInfo kGainTypeInfo = detail::MakeEnumType("TGainType", kGainTypeNames);
inline constexpr TypeInfo kFieldTypeInfo = detail::MakeEnumType("TFieldType", kFieldTypeNames);
inline constexpr TypeInfo kTimeZoneInfo = detail::MakeOptionalEnumType("TTimeZone", kTimeZoneNames);
inline constexpr TypeInfo kTimePrecisionInfo =
    detail::MakeOptionalEnumType("TTimePrecision", kTimePrecisionNames);
inline constexpr TypeInfo kTimeSourceInfo = detail::MakeOptionalEnumType("TTimeSource", kTimeSourceNames);

/// The identifier of an ordinal of an enumeration type, or empty when the ordinal is out of range.
std::string_view EnumName(const TypeInfo& type, std::int64_t ordinal);

/// The ordinal of an identifier (compared without regard to ASCII case), or nothing.
std::optional<std::int64_t> EnumValue(const TypeInfo& type, std::string_view identifier);

/// The descriptor of each enumeration type, for generic code.
template <class E> constexpr const TypeInfo& EnumTypeInfo();
template <> constexpr const TypeInfo& EnumTypeInfo<TTableType>() {
    return kTableTypeInfo;
}
template <> constexpr const TypeInfo& EnumTypeInfo<TRecordType>() {
    return kRecordTypeInfo;
}
template <> constexpr const TypeInfo& EnumTypeInfo<TTrigType>() {
    return kTrigTypeInfo;
}
template <> constexpr const TypeInfo& EnumTypeInfo<TGainType>() {
    return kGainTypeInfo;
}
template <> constexpr const TypeInfo& EnumTypeInfo<TFieldType>() {
    return kFieldTypeInfo;
}
template <> constexpr const TypeInfo& EnumTypeInfo<TTimeZone>() {
    return kTimeZoneInfo;
}
template <> constexpr const TypeInfo& EnumTypeInfo<TTimePrecision>() {
    return kTimePrecisionInfo;
}
template <> constexpr const TypeInfo& EnumTypeInfo<TTimeSource>() {
    return kTimeSourceInfo;
}

/// The identifier of an enumeration value, e.g. ToString(TFieldType::ftFloat) == "ftFloat".
template <class E> std::string_view ToString(E value) {
    return EnumName(EnumTypeInfo<E>(), static_cast<std::int64_t>(value));
}

} // namespace tagsink
