#pragma once
// The recorder's command line: records without a display, printing the event
// log and a progress line. Reads Config.ini from the data folder but never
// writes it.

namespace tarvexa {

class EventLog;

// True when the arguments ask for the command line rather than the window.
bool WantsCommandLine(int argc, char** argv);

// Runs the command line; returns the process exit status.
int RunCommandLine(int argc, char** argv);

// Prints every event-log line on standard output, as --record and
// --scheduler do ("HH:MM:SS  [WARN |ERROR ]text"), clearing a progress line
// on standard error first when *progressShown says one is there.
void PrintEventLog(EventLog& log, bool* progressShown);

}  // namespace tarvexa
