#include "live_values.hpp"

#include "platform/civil_time.hpp"
#include "platform/opc_quality.hpp"

#include <QCoreApplication>
#include <QStringList>

namespace tagsink::app {

namespace {

constexpr std::uint16_t kQualityMask = 0xC0;

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
    switch (ClassOfQuality(quality)) {
    case QualityClass::Good:
        text = QCoreApplication::translate("tagsink::app::Quality", "Good");
        break;
    case QualityClass::Uncertain:
        text = QCoreApplication::translate("tagsink::app::Quality", "Uncertain");
        break;
    case QualityClass::Bad:
        text = QCoreApplication::translate("tagsink::app::Quality", "Bad");
        break;
    }
    const qz::OpcQualityWords words = qz::OpcQualityWordsOf(quality, qz::QualityWording::Long);
    QStringList details;
    for (const char* word : {words.sub_status, words.limit}) {
        if (word != nullptr) {
            details << QCoreApplication::translate("OpcQuality", word);
        }
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
