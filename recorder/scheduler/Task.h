#pragma once
// One scheduled task: when it starts (once, or by a calendar rule), what it
// opens or runs first, where it records, and the recording settings of its
// own that it may use instead of the global ones. The 29 fields are stored in
// this order in Task.ini (TaskStore).
// Thread affinity: plain values and pure functions; any thread.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "scheduler/LocalTime.h"

namespace tarvexa {

struct Settings;

inline constexpr int kModeOnce = 0;
inline constexpr int kModeDaily = 1;
inline constexpr int kModeWeeklySunday = 2;  // .. 8 Saturday
inline constexpr int kModeWeekdays = 9;
inline constexpr int kModeWeekend = 10;
inline constexpr int kModeMonthlyFirst = 11;  // .. 41: day (mode - 10)
inline constexpr int kModeCount = 42;

inline constexpr int kMinConfirmSecs = 5;
inline constexpr int kMaxConfirmSecs = 180;
inline constexpr const char* kDefaultTaskTitle = "Untitled Task";
inline constexpr const char* kDefaultTaskUrl = "https://www.radio-browser.info/";

struct CTask {
  std::string title;
  uint32_t active = 0;   // BOOL
  uint32_t confirm = 0;  // BOOL
  uint16_t confirmSecs = 0;
  uint16_t mode = 0;
  std::string outputFile;
  uint16_t startYear = 0;
  uint16_t startMonth = 0;
  uint16_t startDay = 0;
  uint16_t startHour = 0;
  uint16_t startMinute = 0;
  uint16_t startSecond = 0;
  uint32_t runApp = 0;   // BOOL
  uint32_t openUrl = 0;  // BOOL
  std::string appCommand;
  std::string url;
  uint32_t override = 0;  // BOOL: fields format .. afterRecording are in force
  uint16_t format = 0;    // OutputFormat, 1..31
  uint16_t freqIndex = 0;
  uint16_t channels = 0;
  uint16_t split = 0;
  uint16_t splitHour = 0;
  uint16_t splitMinute = 0;
  uint16_t splitSecond = 0;
  uint32_t stopAfter = 0;  // DWORD
  uint16_t stopHour = 0;
  uint16_t stopMinute = 0;
  uint16_t stopSecond = 0;
  uint16_t afterRecording = 0;

  friend bool operator==(const CTask&, const CTask&) = default;
};

// A new task as the task editor offers it: active, confirmed after 30 s,
// "Only Once" at the given local time, the recording settings from s.
CTask NewTask(const Settings& s, const LocalDateTime& now);

// "Daily", "Weekly, Mon", "Monthly,  2ed" ... for the task list; the
// editor's labels are spaced differently ("Weekly,   Mon"). "" outside 0..41.
std::string ModeListLabel(int mode);
std::string ModeEditorLabel(int mode);

// The instant of the task's next start as seen at `now` (read once). Does
// not look at `active`; may lie in the past (an "Only Once" task). Nothing
// for a mode outside 0..41, a stored date that is no date or a time of day
// that is no time. Today's start counts as past only when its instant is
// before now, so a start equal to now is today's. Days are counted on the
// local calendar and each start is then turned into its real instant, so a
// daylight-saving change moves no start.
std::optional<std::time_t> GetNextStartTime(const CTask& task, std::time_t now);

// Whole seconds from now to the next start; 0 or less means "Never".
int64_t SecondsUntilStart(const CTask& task, std::time_t now);

// The start the scheduler waits for: GetNextStartTime, except that a
// recurring task whose start is this very second (just launched, just
// cancelled, a recording that ended at once) looks on to its following
// start instead of dropping out of the schedule until something changes.
std::optional<std::time_t> UpcomingStartTime(const CTask& task, std::time_t now);

// The auto-stop length that will be in force for the task's recording, in
// seconds: the task's own when it overrides, else the global one; 0 when the
// recording is stopped by hand.
int StopSecondsFor(const CTask& task, const Settings& s);

}  // namespace tarvexa
