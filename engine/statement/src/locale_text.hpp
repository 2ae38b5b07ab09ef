// The locale formats the statement texts use, read from the program's one fixed locale.
#pragma once

#include "platform/locale_formats.hpp"

#include <string>

namespace tagsink {

inline const std::string& ShortDateFormat() {
    static const std::string kFormat(qz::kShortDateFormat);
    return kFormat;
}

inline const std::string& LongTimeFormat() {
    static const std::string kFormat(qz::kLongTimeFormat);
    return kFormat;
}

inline const std::string& DateTimeSeparator() {
    static const std::string kSeparator(qz::kDateTimeSeparator);
    return kSeparator;
}

inline char DecimalSeparator() {
    return qz::kDecimalSeparator;
}

} // namespace tagsink
