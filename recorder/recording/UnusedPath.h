#pragma once
// No path the recorder chooses by itself (a scheduled recording, a split
// clip) replaces an existing file. When the chosen path is taken, the start
// date and time go after the title ("Morning show 2026-12-08 07-00-00.mp3"),
// then a counter when that is taken too ("... 07-00-00 (2).mp3"). A path the
// user picked in a save dialog, with its overwrite question, is the user's
// choice and does not come here.
// Thread affinity: any thread.

#include <ctime>
#include <string>
#include <vector>

namespace tarvexa {

// path itself when neither it nor any of its companion files (the same path
// with each of `companions` appended, e.g. "c" for a WavPack correction file
// ".wvc") exists; else the first free variant as above. A dangling link
// counts as taken.
std::string UnusedPathFor(const std::string& path, std::time_t start,
                          const std::vector<std::string>& companions = {});

}  // namespace tarvexa
