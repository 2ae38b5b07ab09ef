// FormatFieldValue: the one conversion of a value into SQL text by field type.
//
// Used for item values, key texts and time texts. The result is ready to be placed into a statement:
// numbers and booleans as they are, dates and times in single quotes, texts as SQL string literals
// (single quotes, embedded single quotes doubled), so that no value can change a statement's structure.
// Locale formats: see platform/locale_formats.hpp (short date yyyy-mm-dd, long time hh:nn:ss, decimal ".").
//
//   ftString, ftWideString      the value's text as a string literal ('' for an empty or null value)
//   ftSmallint, ftInteger,      32-bit signed integer: floating-point values rounded half to even, texts
//   ftWord                      read as numbers, an empty value 0; out of range, null or not a number fail
//   ftBoolean                   True or False (numbers other than 0 are true; the texts True and False)
//   ftFloat, ftCurrency         the general format: at most 15 significant digits, 1.5E20, 1E-6
//   ftBCD, ftFMTBcd             the general text cut to four decimals; more than 18 integer digits fail
//   ftDate                      'yyyy-mm-dd'
//   ftTime                      'hh:nn:ss'
//   ftDateTime, ftTimeStamp     'yyyy-mm-dd hh:nn:ss', only the date when the time shows as 00:00:00
//   every other type            an empty text
//
// Numbers are taken as date-times in the OLE Automation day convention. Failures raise ConversionError.
#pragma once

#include "engine/statement/conversion_error.hpp"
#include "model/enumerations.hpp"
#include "platform/oleauto.h"

#include <string>

namespace tagsink {

// The SQL text of `value` for a column of type `field_type`. Never fails for the empty value.
std::string FormatFieldValue(const VARIANT& value, TFieldType field_type);

// The same text before quoting: for the text and the date and time types without the enclosing quotes and
// without doubling quotes inside, for every other type exactly FormatFieldValue. Row membership compares an
// item's Key with this form of the key text.
std::string FormatFieldText(const VARIANT& value, TFieldType field_type);

// The value's own text, as ftString writes it inside its quotes: texts as they are, integers in decimal,
// floating-point numbers in the general format, booleans True or False, currency amounts with up to four
// decimals, dates as date and time (only the date at midnight); empty and null give "".
std::string VariantText(const VARIANT& value);

// The value as a double for the number and date types (an empty value is 0). Fails for null, for texts
// that are not numbers, for errors and arrays, naming `target_name` (for example "ftFloat") in the message.
double VariantToDouble(const VARIANT& value, const char* target_name);

// `text` as an SQL string literal: enclosed in single quotes, every single quote inside doubled, NUL
// characters left out.
std::string QuoteSqlString(const std::string& text);

// A short description of a value for messages: its text (shortened when long) and its type.
std::string DescribeValue(const VARIANT& value);

} // namespace tagsink
