// The failure of turning a value into the text a column type needs.
#pragma once

#include <stdexcept>
#include <string>

namespace tagsink {

// Raised when a value cannot be written as the requested field type: a text that is not a number for a
// number column, a number outside the 32-bit range, a NaN, a date outside the years 100 to 9999, a BCD
// value with too many integer digits ("BCD overflow"). The message names the value and the target type.
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace tagsink
