#pragma once
// Logging off, suspending, hibernating, restarting and shutting down, asked
// of systemd-logind (org.freedesktop.login1) on the system bus. Each request
// is non-interactive: logind does not ask for a password and the action is
// not forced, so other programs' shutdown inhibitors are honoured.
// The system bus is the standard one ($DBUS_SYSTEM_BUS_ADDRESS when set).
// Thread affinity: any thread; a Q(Core)Application should exist.

#include <string>

namespace tarvexa {

enum class PowerAction { LogOff, Suspend, Hibernate, Reboot, PowerOff };

// Asks logind for the action and returns once logind has answered (at most a
// few seconds per call, never hanging on a missing or silent bus). For all
// but LogOff, logind's Can* answer is checked first and "no"/"na" refuses.
// LogOff ends the caller's login session ($XDG_SESSION_ID, else the session
// of this process). False with a reason in *error (when given) on failure.
bool RunPowerAction(PowerAction action, std::string* error);

// "log off", "suspend", ... for messages.
const char* PowerActionName(PowerAction action);

}  // namespace tarvexa
