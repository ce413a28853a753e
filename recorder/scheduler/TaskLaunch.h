#pragma once
// The pieces of a scheduled launch that touch the system: the recording's
// path, its folder, the task's application and URL, and the task's own
// recording settings.
// Thread affinity: any thread (the scheduler calls them on its own).

#include <ctime>
#include <string>

#include "scheduler/Task.h"

namespace tarvexa {

struct Settings;

// outputFile without the extension of its file name (dots in folder names
// stay), followed by extension (with its dot).
std::string ScheduledOutputPath(const std::string& outputFile, const std::string& extension);

// Creates the folder of outputFile with every missing parent. False with
// the reason when it could not.
bool EnsureOutputFolder(const std::string& outputFile, std::string* error);

// Starts the task's application without a shell: the command is split into
// words as a shell would split them (quotes and backslashes, no expansion,
// so ; | & $ are plain characters) and the first word is the program, found
// on $PATH unless it holds a "/". A command that is one link ("scheme://...")
// or one existing file that is not a program (a playlist, a folder) is
// opened with the desktop's opener instead. Not waited for.
bool RunTaskApplication(const std::string& command, std::string* error);

// Opens the URL with the desktop's opener; not waited for.
bool OpenTaskUrl(const std::string& url, std::string* error);

// The task's recording settings made current: format, rate, channels,
// after-recording action, split and auto-stop with their lengths.
void CopyTaskSettings(const CTask& task, Settings& s);

// A start that came late records only the rest of its length: the auto-stop
// length of the recording's settings is shortened by lateSeconds (to one
// second at least). Nothing when the recording has no auto-stop.
void ShortenForLateStart(Settings& s, int lateSeconds);

}  // namespace tarvexa
