#pragma once
// Opens a file, a folder or a URL the way the desktop would on a double
// click: with the user's default application, through xdg-open (or, when that
// is missing, "gio open"). Thread affinity: any thread.

#include <string>
#include <vector>

namespace tarvexa {

// Starts the opener detached and returns at once; the opener and whatever it
// starts outlive the call, run in their own session and are never left as
// zombies of this process. False with a reason in *error (when given) when no
// opener program exists or it could not be started; whether the opener then
// finds an application for the target is not reported.
//
// $TARVEXA_OPENER, when set, replaces the opener: a program name or path,
// optionally followed by blank-separated arguments that go before the target.
bool ShellOpen(const std::string& fileFolderOrUrl, std::string* error);

// Starts command[0] (a full path) with the rest as its arguments in the same
// way: detached, in its own session, without our files, never our zombie.
// False with a reason in *error (when given) when it could not be executed.
bool StartDetached(std::vector<std::string> command, std::string* error);

// The full path of an executable program: `name` itself when it holds a "/",
// else the first match on $PATH. Empty when there is none.
std::string FindProgram(const std::string& name);

}  // namespace tarvexa
