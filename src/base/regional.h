// The server's regional settings and the conversions that follow them: short date
// dd.mm.yyyy, time hh:nn:ss, decimal comma, thousands point. Every place that shows a
// value to a user or reads one typed by a user goes through here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/datetime.h"

namespace zoras::regional {

inline constexpr char kDecimalSeparator = ',';
inline constexpr char kThousandSeparator = '.';
inline constexpr char kDateSeparator = '.';
inline constexpr char kTimeSeparator = ':';
inline constexpr std::string_view kShortDateFormat = "dd.mm.yyyy";
inline constexpr std::string_view kLongTimeFormat = "hh:nn:ss";

// "05.03.2008"
std::string FormatDate(TDateTime d);
// "14:02:11"
std::string FormatTime(TDateTime t);
// "05.03.2008 14:02:11"; the date alone when the time of day is midnight.
std::string FormatDateTime(TDateTime dt);
// "05.03.2008 14:02:11" always, as log lines write it.
std::string FormatTimestamp(TDateTime dt);

// Formats with a date-time pattern: yyyy yy mm m dd d (month and day), hh h nn n ss s
// zzz z (mm and m after an hour mean minutes), text in quotes kept as it is, '/' the
// date separator and ':' the time separator. Other characters are copied.
std::string FormatDateTimePattern(std::string_view pattern, TDateTime dt);

// The server's number text: rounded to 15 significant digits, decimal comma, no digit
// grouping, no trailing zeros ("1234,5", "100", "0,25"); scientific form ("1,5E-6",
// "1E20") below 0,00001 or above 15 integer digits.
std::string FormatFloat(double v);

// Reads a number in the regional form: optional sign, digits, at most one decimal
// comma, optional exponent; no digit grouping, no surrounding blanks. False when the
// text is not such a number.
bool TryParseFloat(std::string_view text, double* out);
// Reads a decimal integer with an optional sign; false when not one or out of range.
bool TryParseInt(std::string_view text, int64_t* out);
// Reads d.m.yyyy (one or two digits for day and month, two-digit years are 20yy).
bool TryParseDate(std::string_view text, TDateTime* out);
// Reads h:n[:s[.zzz]].
bool TryParseTime(std::string_view text, TDateTime* out);
// Reads a date optionally followed by a blank and a time.
bool TryParseDateTime(std::string_view text, TDateTime* out);

}  // namespace zoras::regional
