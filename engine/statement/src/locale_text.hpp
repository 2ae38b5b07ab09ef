// The locale formats the statement texts use, read from the program's one fixed locale.
#pragma once

#include "platform/locale_formats.hpp"

#include <string>

namespace tagsink {

inline const std::string& ShortDateFormat() {
    static const std::string format(qz::kShortDateFormat);
    return format;
}

inline const std::string& LongTimeFormat() {
    static const std::string format(qz::kLongTimeFormat);
    return format;
}

inline const std::string& DateTimeSeparator() {
    static const std::string separator(qz::kDateTimeSeparator);
    return separator;
}

inline char DecimalSeparator() {
    return qz::kDecimalSeparator;
}

} // namespace tagsink
