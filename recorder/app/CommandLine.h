#pragma once
// The recorder's command line: records without a display, printing the event
// log and a progress line. Reads Config.ini from the data folder but never
// writes it.

namespace tarvexa {

// True when the arguments ask for the command line rather than the window.
bool WantsCommandLine(int argc, char** argv);

// Runs the command line; returns the process exit status.
int RunCommandLine(int argc, char** argv);

}  // namespace tarvexa
