#include "platform/opc_quality.hpp"

#include <iterator>

namespace qz {

namespace {

const char* SubStatus(unsigned major, unsigned status) {
    switch (major) {
    case 0x00: {
        static const char* const kBad[] = {nullptr,          "config error",   "not connected",
                                           "device failure", "sensor failure", "last known value",
                                           "comm failure",   "out of service", "waiting for initial data"};
        return status < std::size(kBad) ? kBad[status] : "unknown sub-status";
    }
    case 0x40: {
        static const char* const kUncertain[] = {nullptr,     "last usable value",   nullptr,
                                                 nullptr,     "sensor not accurate", "EU units exceeded",
                                                 "sub-normal"};
        if (status == 0)
            return nullptr;
        return status < std::size(kUncertain) && kUncertain[status] ? kUncertain[status]
                                                                    : "unknown sub-status";
    }
    case 0xC0:
        return status == 0 ? nullptr : status == 6 ? "local override" : "unknown sub-status";
    default:
        return nullptr;
    }
}

} // namespace

std::string OpcQualityText(std::uint16_t quality) {
    const unsigned major = quality & 0xC0u;
    const unsigned status = (quality >> 2) & 0x0Fu;
    std::string text = major == 0xC0   ? "good"
                       : major == 0x40 ? "uncertain"
                       : major == 0x00 ? "bad"
                                       : "invalid";
    const char* detail = SubStatus(major, status);
    const char* limit = nullptr;
    switch (quality & 0x03u) {
    case 1:
        limit = "low limited";
        break;
    case 2:
        limit = "high limited";
        break;
    case 3:
        limit = "constant";
        break;
    default:
        break;
    }
    if (detail != nullptr || limit != nullptr)
        text += ':';
    if (detail != nullptr) {
        text += ' ';
        text += detail;
    }
    if (limit != nullptr) {
        if (detail != nullptr)
            text += ',';
        text += ' ';
        text += limit;
    }
    return text;
}

} // namespace qz
