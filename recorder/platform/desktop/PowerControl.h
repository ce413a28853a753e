#pragma once
// Logging off, suspending, hibernating, restarting and shutting down.
// Suspend, hibernate, restart and shut down are asked of systemd-logind
// (org.freedesktop.login1) on the system bus; each request is
// non-interactive: logind does not ask for a password and the action is not
// forced, so other programs' shutdown inhibitors are honoured.
// Logging off is asked of the desktop's session manager on the session bus
// (GNOME, KDE Plasma, Xfce, MATE, Cinnamon), which lets every program save
// its work or refuse; only where none answers is the session ended through
// logind, which closes every program of the session without asking.
// The buses are the standard ones ($DBUS_SYSTEM_BUS_ADDRESS and
// $DBUS_SESSION_BUS_ADDRESS when set).
// Thread affinity: any thread; a Q(Core)Application should exist.

#include <functional>
#include <string>

namespace tarvexa {

enum class PowerAction { LogOff, Suspend, Hibernate, Reboot, PowerOff };

// A line for the event log (level 1) about how the action is carried out,
// given before it is: the log-off through logind.
using PowerNote = std::function<void(const std::string& text)>;

// Asks for the action and returns once it was answered (at most a few
// seconds per call, never hanging on a missing or silent bus). For all but
// LogOff, logind's Can* answer is checked first and "no"/"na" refuses.
// LogOff asks the session manager; a session manager that refuses or does
// not answer in time is a failure (nothing is forced). Where there is none,
// it ends the caller's login session through logind ($XDG_SESSION_ID, else
// the session of this process) and says so through `note` first.
// False with a reason in *error (when given) on failure.
bool RunPowerAction(PowerAction action, std::string* error, const PowerNote& note = nullptr);

// "log off", "suspend", ... for messages.
const char* PowerActionName(PowerAction action);

}  // namespace tarvexa
