#pragma once
// Starts the window: one recorder per user, the start-up sequence, the event
// loop. Returns the process exit status.

namespace tarvexa {

int RunRecorderWindow(int argc, char** argv);

}  // namespace tarvexa
