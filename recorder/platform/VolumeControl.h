#pragma once
// Starts the desktop's volume control on its recording (input devices) or
// playback (output devices) page: pavucontrol where it is installed, else
// another graphical mixer of the desktop. The program is started detached
// (ShellOpen's StartDetached), so the call never waits for it.
// Thread affinity: any thread.

#include <string>
#include <vector>

namespace tarvexa {

enum class VolumeControlPage { Recording, Playback };

// The command lines tried, in order, for a page. $TARVEXA_VOLUME_CONTROL,
// when set, replaces the list with one command: its blank-separated words
// followed by pavucontrol's page argument ("--tab=4" or "--tab=3").
std::vector<std::vector<std::string>> VolumeControlCommands(VolumeControlPage page);

// Starts the first command of the list whose program exists and can be
// executed. False when none could be started, with the reasons in *error.
bool LaunchVolumeControl(VolumeControlPage page, std::string* error);

}  // namespace tarvexa
