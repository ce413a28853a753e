#pragma once
// Suspend, hibernate, restart and shut down through systemd-logind
// (org.freedesktop.login1 on the system bus, $DBUS_SYSTEM_BUS_ADDRESS when
// set), without Qt: for the scheduler service, which has no desktop session.
// As in the window, logind's Can* answer is asked first and "no"/"na"
// refuses; the request is non-interactive (no password prompt) and not
// forced, so other programs' shutdown inhibitors are honoured.
// Thread affinity: any thread; each call opens its own connection.

#include <string>

namespace tarvexa {

enum class LogindAction { Suspend, Hibernate, Reboot, PowerOff };

// The manager's method: "Suspend", "Hibernate", "Reboot", "PowerOff".
const char* LogindMethod(LogindAction action);

// Asks logind for the action; returns once it answered (at most a few
// seconds per call). False with the reason in *error.
bool RequestLogindAction(LogindAction action, std::string* error);

}  // namespace tarvexa
