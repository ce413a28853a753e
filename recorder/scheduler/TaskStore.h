#pragma once
// Task.ini, in the archive serialisation (platform/Archive.h): the task
// count as a 32-bit number, then each task's 29 fields in order. Numbers are
// 16-bit (WORD) or 32-bit (BOOL, DWORD); strings are length-prefixed.
// Saving replaces the file atomically. A damaged file loads the tasks read
// completely before the damage, reports it, and is kept beside the store
// before anything can overwrite it.
// Thread affinity: any thread, one call at a time per file.

#include <string>
#include <string_view>
#include <vector>

#include "config/ConfigStore.h"
#include "scheduler/Task.h"

namespace tarvexa {

inline constexpr const char* kTaskLoadErrorLog =
    "An error occurred while loading the scheduled tasks.";
inline constexpr const char* kTaskLoadErrorBox =
    "An Error Occurred While Loading the Scheduled Tasks.";
inline constexpr const char* kTaskSaveErrorLog =
    "An error occurred while saving the scheduled tasks.";
inline constexpr const char* kTaskSaveErrorBox =
    "An Error Occurred While Saving the Scheduled Tasks.";

std::string SerializeTasks(const std::vector<CTask>& tasks);

struct TaskFileRead {
  std::vector<CTask> tasks;  // every task read completely
  bool ok = true;
  std::string error;  // what was wrong, when !ok
};
TaskFileRead ParseTasks(std::string_view bytes);

// A missing file is an empty list. On a fault logs kTaskLoadErrorLog
// (level 1) and the reason, copies the damaged file to a name beside it
// (logged), and returns ok false with the tasks read before the fault.
TaskFileRead LoadTaskFile(const std::string& path, const LogSink& log);

// Writes the whole list atomically; on failure logs kTaskSaveErrorLog
// (level 1) and the reason and returns false, leaving the old file as it was.
bool SaveTaskFile(const std::string& path, const std::vector<CTask>& tasks, const LogSink& log);

}  // namespace tarvexa
