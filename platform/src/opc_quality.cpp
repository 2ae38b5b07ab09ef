#include "platform/opc_quality.hpp"

#include <iterator>

// The desktop program shows these words translated: its translation tool reads this file and collects
// the texts marked here (context "OpcQuality"). The mark changes nothing in the text.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, text) text
#endif

namespace qz {

namespace {

const char* SubStatus(unsigned major, unsigned status, QualityWording wording) {
    const bool long_form = wording == QualityWording::Long;
    switch (major) {
    case 0x00: {
        static const char* const kBad[] = {nullptr,
                                           QT_TRANSLATE_NOOP("OpcQuality", "config error"),
                                           QT_TRANSLATE_NOOP("OpcQuality", "not connected"),
                                           QT_TRANSLATE_NOOP("OpcQuality", "device failure"),
                                           QT_TRANSLATE_NOOP("OpcQuality", "sensor failure"),
                                           QT_TRANSLATE_NOOP("OpcQuality", "last known value"),
                                           QT_TRANSLATE_NOOP("OpcQuality", "comm failure"),
                                           QT_TRANSLATE_NOOP("OpcQuality", "out of service"),
                                           QT_TRANSLATE_NOOP("OpcQuality", "waiting for initial data")};
        if (status == 1 && long_form)
            return QT_TRANSLATE_NOOP("OpcQuality", "configuration error");
        return status < std::size(kBad) ? kBad[status]
                                        : QT_TRANSLATE_NOOP("OpcQuality", "unknown sub-status");
    }
    case 0x40: {
        static const char* const kUncertain[] = {nullptr,
                                                 QT_TRANSLATE_NOOP("OpcQuality", "last usable value"),
                                                 nullptr,
                                                 nullptr,
                                                 QT_TRANSLATE_NOOP("OpcQuality", "sensor not accurate"),
                                                 QT_TRANSLATE_NOOP("OpcQuality", "EU units exceeded"),
                                                 QT_TRANSLATE_NOOP("OpcQuality", "sub-normal")};
        if (status == 0)
            return nullptr;
        if (status == 5 && long_form)
            return QT_TRANSLATE_NOOP("OpcQuality", "engineering units exceeded");
        return status < std::size(kUncertain) && kUncertain[status]
                   ? kUncertain[status]
                   : QT_TRANSLATE_NOOP("OpcQuality", "unknown sub-status");
    }
    case 0xC0:
        return status == 0   ? nullptr
               : status == 6 ? QT_TRANSLATE_NOOP("OpcQuality", "local override")
                             : QT_TRANSLATE_NOOP("OpcQuality", "unknown sub-status");
    default:
        return nullptr;
    }
}

} // namespace

OpcQualityWords OpcQualityWordsOf(std::uint16_t quality, QualityWording wording) {
    const unsigned major = quality & 0xC0u;
    const unsigned status = (quality >> 2) & 0x0Fu;
    OpcQualityWords words{};
    words.major = major == 0xC0 ? "good" : major == 0x40 ? "uncertain" : major == 0x00 ? "bad" : "invalid";
    words.sub_status = SubStatus(major, status, wording);
    switch (quality & 0x03u) {
    case 1:
        words.limit = QT_TRANSLATE_NOOP("OpcQuality", "low limited");
        break;
    case 2:
        words.limit = QT_TRANSLATE_NOOP("OpcQuality", "high limited");
        break;
    case 3:
        words.limit = QT_TRANSLATE_NOOP("OpcQuality", "constant");
        break;
    default:
        break;
    }
    return words;
}

std::string OpcQualityText(std::uint16_t quality) {
    const OpcQualityWords words = OpcQualityWordsOf(quality);
    std::string text = words.major;
    if (words.sub_status != nullptr || words.limit != nullptr)
        text += ':';
    if (words.sub_status != nullptr) {
        text += ' ';
        text += words.sub_status;
    }
    if (words.limit != nullptr) {
        if (words.sub_status != nullptr)
            text += ',';
        text += ' ';
        text += words.limit;
    }
    return text;
}

} // namespace qz
