// Calendar dates and times of day as the server handles them: local wall-clock time
// without a time zone, to the millisecond.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>

namespace zoras {

struct TDateParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, msec = 0;
};

// A point in local time, counted in milliseconds from 30.12.1899 00:00. That origin is
// the zero date: a date field left empty by a caller reads as the zero date.
class TDateTime {
 public:
  constexpr TDateTime() = default;
  static constexpr TDateTime FromMs(int64_t ms) { return TDateTime(ms); }

  // Returns nothing when the parts do not form a valid date or time (30 February,
  // hour 24, ...). Years run from 1 to 9999.
  static std::optional<TDateTime> TryEncode(const TDateParts& p);
  static std::optional<TDateTime> TryEncodeDate(int year, int month, int day);
  static std::optional<TDateTime> TryEncodeTime(int hour, int minute, int second, int msec);
  // As TryEncode for parts known to be valid (tests, constants); invalid parts give the
  // zero date.
  static TDateTime Encode(int year, int month, int day, int hour = 0, int minute = 0,
                          int second = 0, int msec = 0);

  TDateParts Decode() const;
  int64_t Ms() const { return ms_; }
  bool IsZero() const { return ms_ == 0; }
  // The date alone (midnight) and the time of day alone (on the zero date).
  TDateTime DatePart() const;
  TDateTime TimePart() const;
  // Milliseconds since midnight.
  int64_t MsOfDay() const;
  // Whole days since the zero date (negative before it).
  int64_t Days() const;

  TDateTime AddDays(int64_t days) const { return TDateTime(ms_ + days * kMsPerDay); }
  TDateTime AddMs(int64_t ms) const { return TDateTime(ms_ + ms); }

  friend constexpr auto operator<=>(TDateTime, TDateTime) = default;

  static constexpr int64_t kMsPerDay = 86'400'000;

 private:
  constexpr explicit TDateTime(int64_t ms) : ms_(ms) {}
  int64_t ms_ = 0;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

}  // namespace zoras
