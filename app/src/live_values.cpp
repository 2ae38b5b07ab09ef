#include "live_values.hpp"

#include "platform/civil_time.hpp"

#include <QStringList>

#include <iterator>

namespace tagsink::app {

namespace {

constexpr std::uint16_t kQualityMask = 0xC0;
constexpr std::uint16_t kStatusMask = 0x3C;
constexpr std::uint16_t kLimitMask = 0x03;

const char* SubStatusName(std::uint16_t quality) {
    const unsigned status = (quality & kStatusMask) >> 2;
    switch (quality & kQualityMask) {
    case 0x00: {
        static const char* const kNames[] = {
            nullptr,          "configuration error", "not connected",
            "device failure", "sensor failure",      "last known value",
            "comm failure",   "out of service",      "waiting for initial data"};
        return status < std::size(kNames) ? kNames[status] : "unknown sub-status";
    }
    case 0x40: {
        static const char* const kNames[] = {nullptr,     "last usable value",   nullptr,
                                             nullptr,     "sensor not accurate", "engineering units exceeded",
                                             "sub-normal"};
        if (status == 0) {
            return nullptr;
        }
        return status < std::size(kNames) && kNames[status] ? kNames[status] : "unknown sub-status";
    }
    case 0xC0:
        if (status == 0) {
            return nullptr;
        }
        return status == 6 ? "local override" : "unknown sub-status";
    default:
        return "unknown sub-status";
    }
}

} // namespace

QualityClass ClassOfQuality(std::uint16_t quality) {
    switch (quality & kQualityMask) {
    case 0xC0:
        return QualityClass::Good;
    case 0x40:
        return QualityClass::Uncertain;
    default:
        return QualityClass::Bad; // 0x80 is not a defined quality: it cannot be trusted
    }
}

QString QualityText(std::uint16_t quality) {
    QString text;
    switch (quality & kQualityMask) {
    case 0xC0:
        text = QStringLiteral("Good");
        break;
    case 0x40:
        text = QStringLiteral("Uncertain");
        break;
    default:
        text = QStringLiteral("Bad");
        break;
    }
    QStringList details;
    if (const char* status = SubStatusName(quality)) {
        details << QLatin1String(status);
    }
    switch (quality & kLimitMask) {
    case 1:
        details << QStringLiteral("low limited");
        break;
    case 2:
        details << QStringLiteral("high limited");
        break;
    case 3:
        details << QStringLiteral("constant");
        break;
    default:
        break;
    }
    if (!details.isEmpty()) {
        text += QStringLiteral(" (") + details.join(QStringLiteral(", ")) + QLatin1Char(')');
    }
    return text;
}

QString LiveValueText(const qz::Variant& value) {
    try {
        return QString::fromStdString(value.toUtf8());
    } catch (const std::exception&) {
        return QString::fromStdString(qz::Describe(value.get()));
    }
}

QString LocalTimeStampText(std::uint64_t file_time) {
    if (file_time == 0) {
        return {};
    }
    std::optional<double> local = qz::FileTimeToLocalDate(qz::MakeFileTime(file_time));
    if (!local) {
        return {};
    }
    std::optional<SYSTEMTIME> st = qz::DateToSystemTime(*local, false);
    if (!st) {
        return {};
    }
    return QString::fromStdString(qz::FormatSystemTime("yyyy-mm-dd hh:nn:ss.zzz", *st));
}

} // namespace tagsink::app
