#include "platform/VolumeControl.h"

#include <cstdlib>
#include <sstream>

#include "platform/ShellOpen.h"

namespace tarvexa {

std::vector<std::vector<std::string>> VolumeControlCommands(VolumeControlPage page) {
  // pavucontrol numbers its tabs from 1: 3 output devices, 4 input devices.
  const std::string tab = page == VolumeControlPage::Recording ? "--tab=4" : "--tab=3";
  if (const char* custom = std::getenv("TARVEXA_VOLUME_CONTROL"); custom && *custom) {
    std::vector<std::string> command;
    std::istringstream in(custom);
    for (std::string w; in >> w;) command.push_back(w);
    if (command.empty()) return {};
    command.push_back(tab);
    return {command};
  }
  return {
      {"pavucontrol", tab},
      {"pavucontrol-qt", tab},
      {"pwvucontrol"},
      {"gnome-control-center", "sound"},
      {"kcmshell6", "kcm_pulseaudio"},
      {"kcmshell5", "kcm_pulseaudio"},
      {"mate-volume-control"},
  };
}

bool LaunchVolumeControl(VolumeControlPage page, std::string* error) {
  std::string reasons, names;
  bool found = false;
  for (std::vector<std::string> command : VolumeControlCommands(page)) {
    names += (names.empty() ? "" : ", ") + command[0];
    const std::string program = FindProgram(command[0]);
    if (program.empty()) continue;
    found = true;
    command[0] = program;
    std::string why;
    if (StartDetached(command, &why)) return true;
    reasons += (reasons.empty() ? "" : "; ") + why;
  }
  if (error) *error = found ? reasons : "no volume control program was found (" + names + ")";
  return false;
}

}  // namespace tarvexa
