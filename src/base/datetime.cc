#include "base/datetime.h"

namespace zoras {
namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
constexpr int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned dd = doy - (153 * mp + 2) / 5 + 1;
  const unsigned mm = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int>(yy + (mm <= 2));
  *m = static_cast<int>(mm);
  *d = static_cast<int>(dd);
}

// constexpr, so that TDateTime constants of other files may use it during static
// initialisation.
constexpr int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

std::optional<TDateTime> TDateTime::TryEncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return std::nullopt;
  return TDateTime((DaysFromCivil(year, month, day) - kEpochDays) * kMsPerDay);
}

std::optional<TDateTime> TDateTime::TryEncodeTime(int hour, int minute, int second, int msec) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
      msec > 999)
    return std::nullopt;
  return TDateTime(((hour * 60LL + minute) * 60 + second) * 1000 + msec);
}

std::optional<TDateTime> TDateTime::TryEncode(const TDateParts& p) {
  auto d = TryEncodeDate(p.year, p.month, p.day);
  auto t = TryEncodeTime(p.hour, p.minute, p.second, p.msec);
  if (!d || !t) return std::nullopt;
  return TDateTime(d->ms_ + t->ms_);
}

TDateTime TDateTime::Encode(int year, int month, int day, int hour, int minute, int second,
                            int msec) {
  return TryEncode({year, month, day, hour, minute, second, msec}).value_or(TDateTime());
}

int64_t TDateTime::Days() const { return FloorDiv(ms_, kMsPerDay); }
int64_t TDateTime::MsOfDay() const { return ms_ - Days() * kMsPerDay; }
TDateTime TDateTime::DatePart() const { return TDateTime(Days() * kMsPerDay); }
TDateTime TDateTime::TimePart() const { return TDateTime(MsOfDay()); }

TDateParts TDateTime::Decode() const {
  TDateParts p;
  CivilFromDays(Days() + kEpochDays, &p.year, &p.month, &p.day);
  int64_t t = MsOfDay();
  p.msec = static_cast<int>(t % 1000);
  t /= 1000;
  p.second = static_cast<int>(t % 60);
  t /= 60;
  p.minute = static_cast<int>(t % 60);
  p.hour = static_cast<int>(t / 60);
  return p;
}

}  // namespace zoras
