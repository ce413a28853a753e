#pragma once
// The box before a scheduled launch: "The Scheduled Task "..." will be
// Launched in N Seconds, Continue?" with OK and Cancel, on top, counting
// down on its OK button and pressing it by itself when the time is up.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QWidget>

#include "scheduler/Task.h"

namespace tarvexa {

// True when the launch goes on (OK, or the countdown ran out).
bool AskLaunchConfirmation(QWidget* parent, const CTask& task);

}  // namespace tarvexa
