#pragma once
// Calendar arithmetic in the local time zone (the process's TZ), done on
// calendar fields, with the conversion to real instants that daylight-saving
// changes need: a local time that does not exist on a day (inside the spring
// gap) means the first instant after the gap, and a local time that exists
// twice (autumn) means the first of the two.
// Thread affinity: pure functions; any thread (they use localtime_r).

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace tarvexa {

struct LocalDateTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;

  friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);  // 0 for a month outside 1..12
// The date exists in the calendar and the time of day is a real one.
bool IsValidLocal(const LocalDateTime& t);

// The local calendar fields of an instant (seconds since the epoch).
LocalDateTime ToLocal(std::time_t instant);
// 1 Sunday .. 7 Saturday.
int DayOfWeek(const LocalDateTime& t);
// The same time of day, n calendar days later (n may be negative).
LocalDateTime AddDays(LocalDateTime t, int n);

// The instant at which the local clock first shows t, or the end of the gap
// when it never does; nothing for fields that are no date and time.
std::optional<std::time_t> ToInstant(const LocalDateTime& t);

// strftime of an instant in local time.
std::string FormatLocal(std::time_t instant, const char* format);

}  // namespace tarvexa
