#pragma once
// `TarvexaSoundRecorder --scheduler`: the scheduled tasks of Task.ini in the
// data folder, launched without a window until Ctrl+C, SIGTERM or SIGHUP
// (which stop a running recording cleanly first). The event log is printed
// as with --record. Task.ini is read again whenever it is saved (by the
// window, for instance). A task that asks for confirmation is announced in
// the log and launched after its countdown. Each finished clip goes into
// Output.ini. A power action after a recording goes to logind; boxes,
// balloons and logging off are only named. Config.ini is read (again whenever it is saved, between
// recordings), never written: a task's own settings are kept in memory while
// they are in force. Of the window and this service,
// only the one holding the data folder's launch lock launches tasks.
// Links no Qt.
// Thread affinity: the main thread.

#include "platform/EventLog.h"

namespace tarvexa {

// Runs until interrupted; returns the process exit status.
int RunSchedulerService(EventLog& log);

}  // namespace tarvexa
