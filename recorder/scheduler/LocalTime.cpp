#include "scheduler/LocalTime.h"

#include <algorithm>
#include <vector>

namespace tarvexa {

namespace {

// Days from 1970-01-01 to a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The fields read as if they were UTC.
int64_t AsUtc(const LocalDateTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

long OffsetAt(std::time_t instant) {
  std::tm tm{};
  localtime_r(&instant, &tm);
  return tm.tm_gmtoff;
}

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidLocal(const LocalDateTime& t) {
  return t.year >= 1 && t.year <= 9999 && t.day >= 1 && t.day <= DaysInMonth(t.year, t.month) &&
         t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 &&
         t.second <= 59;
}

LocalDateTime ToLocal(std::time_t instant) {
  std::tm tm{};
  localtime_r(&instant, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

int DayOfWeek(const LocalDateTime& t) {
  // 1970-01-01 was a Thursday (5).
  const int64_t days = DaysFromCivil(t.year, t.month, t.day);
  return static_cast<int>(((days % 7) + 7 + 4) % 7) + 1;
}

LocalDateTime AddDays(LocalDateTime t, int n) {
  int64_t z = DaysFromCivil(t.year, t.month, t.day) + n + 719468;
  // Back from days to a date (the inverse of DaysFromCivil).
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (m <= 2));
  t.month = m;
  t.day = d;
  return t;
}

std::optional<std::time_t> ToInstant(const LocalDateTime& t) {
  if (!IsValidLocal(t)) return std::nullopt;
  const int64_t wall = AsUtc(t);
  // The offsets in force around t: a zone changes its offset at most a few
  // times a year, so a day either side sees the offsets before and after
  // any change that touches the day of t.
  std::vector<long> offsets;
  for (int64_t probe : {wall - 86400, wall - 43200, wall, wall + 43200, wall + 86400}) {
    const long o = OffsetAt(static_cast<std::time_t>(probe));
    if (std::find(offsets.begin(), offsets.end(), o) == offsets.end()) offsets.push_back(o);
  }
  std::optional<std::time_t> first;
  for (long o : offsets) {
    const std::time_t candidate = static_cast<std::time_t>(wall - o);
    if (ToLocal(candidate) == t && (!first || candidate < *first)) first = candidate;
  }
  if (first) return first;

  // In a gap: the clock jumps from before t to after it. The earliest
  // instant of the offsets that reads t late enough lies after the jump;
  // the latest that reads it too early lies before it. Search between.
  std::time_t lo = 0, hi = 0;
  bool haveLo = false, haveHi = false;
  for (long o : offsets) {
    const std::time_t c = static_cast<std::time_t>(wall - o);
    const int64_t shown = AsUtc(ToLocal(c));
    if (shown < wall && (!haveLo || c > lo)) lo = c, haveLo = true;
    if (shown > wall && (!haveHi || c < hi)) hi = c, haveHi = true;
  }
  if (!haveLo || !haveHi || lo >= hi)
    return static_cast<std::time_t>(wall - OffsetAt(static_cast<std::time_t>(wall)));
  // Invariant: the clock shows less than t at lo and more than t at hi.
  while (hi - lo > 1) {
    const std::time_t mid = lo + (hi - lo) / 2;
    if (AsUtc(ToLocal(mid)) < wall)
      lo = mid;
    else
      hi = mid;
  }
  return hi;
}

std::string FormatLocal(std::time_t instant, const char* format) {
  std::tm tm{};
  localtime_r(&instant, &tm);
  char buf[128];
  const size_t n = std::strftime(buf, sizeof buf, format, &tm);
  return std::string(buf, n);
}

}  // namespace tarvexa
