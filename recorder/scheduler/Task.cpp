#include "scheduler/Task.h"

#include "config/Settings.h"
#include "platform/Text.h"

namespace tarvexa {

namespace {

constexpr const char* kWeekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

const char* DaySuffix(int day) {
  switch (day) {
    case 1:
    case 21: return "st";
    case 2:
    case 22: return "ed";
    case 3:
    case 23: return "rd";
    default: return "th";
  }
}

// pad: spaces between "Monthly," and a one-digit day; a two-digit day gets
// one fewer. weekPad likewise after "Weekly,"; otherPad after "Weekday,".
std::string ModeLabel(int mode, int pad, int weekPad, int otherPad) {
  if (mode == kModeOnce) return "Only Once";
  if (mode == kModeDaily) return "Daily";
  if (mode >= kModeWeeklySunday && mode < kModeWeekdays)
    return "Weekly," + std::string(static_cast<size_t>(weekPad), ' ') +
           kWeekdays[mode - kModeWeeklySunday];
  if (mode == kModeWeekdays)
    return "Weekday," + std::string(static_cast<size_t>(otherPad), ' ') + "Mon-Fri";
  if (mode == kModeWeekend)
    return "Weekend," + std::string(static_cast<size_t>(otherPad), ' ') + "Sat-Sun";
  if (mode >= kModeMonthlyFirst && mode < kModeCount) {
    const int day = mode - 10;
    return "Monthly," + std::string(static_cast<size_t>(day < 10 ? pad : pad - 1), ' ') +
           std::to_string(day) + DaySuffix(day);
  }
  return {};
}

}  // namespace

CTask NewTask(const Settings& s, const LocalDateTime& now) {
  CTask t;
  t.title = kDefaultTaskTitle;
  t.active = 1;
  t.confirm = 1;
  t.confirmSecs = 30;
  t.mode = kModeOnce;
  t.startYear = static_cast<uint16_t>(now.year);
  t.startMonth = static_cast<uint16_t>(now.month);
  t.startDay = static_cast<uint16_t>(now.day);
  t.startHour = static_cast<uint16_t>(now.hour);
  t.startMinute = static_cast<uint16_t>(now.minute);
  t.startSecond = static_cast<uint16_t>(now.second);
  t.url = kDefaultTaskUrl;
  t.format = static_cast<uint16_t>(s.OUTPUT.OutputFormat);
  t.freqIndex = static_cast<uint16_t>(s.OUTPUT.Freq);
  t.channels = static_cast<uint16_t>(s.OUTPUT.Chan);
  t.split = static_cast<uint16_t>(s.MISC.Split);
  t.splitHour = static_cast<uint16_t>(s.MISC.SplitHour);
  t.splitMinute = static_cast<uint16_t>(s.MISC.SplitMin);
  t.splitSecond = static_cast<uint16_t>(s.MISC.SplitSec);
  t.stopAfter = static_cast<uint32_t>(s.MISC.Stop);
  t.stopHour = static_cast<uint16_t>(s.MISC.StopHour);
  t.stopMinute = static_cast<uint16_t>(s.MISC.StopMin);
  t.stopSecond = static_cast<uint16_t>(s.MISC.StopSec);
  t.afterRecording = static_cast<uint16_t>(s.MISC.ActAftRec);
  return t;
}

std::string ModeListLabel(int mode) { return ModeLabel(mode, 2, 1, 1); }
std::string ModeEditorLabel(int mode) { return ModeLabel(mode, 3, 3, 2); }

std::optional<std::time_t> GetNextStartTime(const CTask& task, std::time_t now) {
  const LocalDateTime today = ToLocal(now);
  const auto at = [&](const LocalDateTime& date) {
    return LocalDateTime{date.year,      date.month,       date.day,
                         task.startHour, task.startMinute, task.startSecond};
  };
  // A start on a given day; nothing when the time of day is no time.
  const auto on = [&](const LocalDateTime& date) { return ToInstant(at(date)); };
  const std::optional<std::time_t> T = on(today);
  if (task.mode != kModeOnce && !T) return std::nullopt;
  const bool past = T && *T < now;
  const int dow = DayOfWeek(today);  // 1 Sunday .. 7 Saturday

  switch (task.mode) {
    case kModeOnce:
      return on(LocalDateTime{task.startYear, task.startMonth, task.startDay, 0, 0, 0});
    case kModeDaily: return past ? on(AddDays(today, 1)) : T;
    case kModeWeekdays:
      if (dow == 1) return on(AddDays(today, 1));
      if (dow == 7) return on(AddDays(today, 2));
      if (!past) return T;
      return on(AddDays(today, dow == 6 ? 3 : 1));
    case kModeWeekend:
      if (dow == 1) return past ? on(AddDays(today, 6)) : T;
      if (dow == 7) return past ? on(AddDays(today, 1)) : T;
      return on(AddDays(today, 7 - dow));
    default: break;
  }
  if (task.mode >= kModeWeeklySunday && task.mode < kModeWeekdays) {
    int d = (task.mode - 1) - dow;
    if (d < 0) d += 7;
    if (d == 0 && past) d = 7;
    return on(AddDays(today, d));
  }
  if (task.mode >= kModeMonthlyFirst && task.mode < kModeCount) {
    const int day = task.mode - 10;
    int year = today.year, month = today.month;
    // Every day 1..31 occurs within twelve months.
    for (int i = 0; i < 13; ++i) {
      if (day <= DaysInMonth(year, month)) {
        const std::optional<std::time_t> s = on(LocalDateTime{year, month, day, 0, 0, 0});
        if (s && *s >= now) return s;
      }
      if (++month > 12) month = 1, ++year;
    }
  }
  return std::nullopt;
}

int64_t SecondsUntilStart(const CTask& task, std::time_t now) {
  const std::optional<std::time_t> next = GetNextStartTime(task, now);
  return next ? static_cast<int64_t>(*next) - now : 0;
}

std::optional<std::time_t> UpcomingStartTime(const CTask& task, std::time_t now) {
  const std::optional<std::time_t> next = GetNextStartTime(task, now);
  if (next && *next == now && task.mode != kModeOnce) return GetNextStartTime(task, now + 1);
  return next;
}

int StopSecondsFor(const CTask& task, const Settings& s) {
  if (task.override) {
    if (!task.stopAfter) return 0;
    return task.stopHour * 3600 + task.stopMinute * 60 + task.stopSecond;
  }
  if (!s.MISC.Stop) return 0;
  return s.MISC.StopHour * 3600 + s.MISC.StopMin * 60 + s.MISC.StopSec;
}

}  // namespace tarvexa
