#pragma once
// Where the recorder finds what it loads and where it keeps what it writes.
// Thread affinity: any thread.

#include <string>

namespace tarvexa {

// Folder of the running executable, without a trailing "/". Encoder
// libraries and helper programs are loaded from here.
std::string ProgramFolder();

// Folder for Config.ini, Task.ini, Output.ini and the event log:
// $TARVEXA_HOME when set; else the program folder when it is writable and
// not an installed one; else $XDG_DATA_HOME/tarvexa-sound-recorder
// (~/.local/share/...), created on demand.
std::string DataFolder();

// True when `folder` is the program folder of an installed recorder:
// <prefix>/lib/tarvexa-sound-recorder (or one level deeper, as in
// lib/x86_64-linux-gnu/) with <prefix>/share/tarvexa-sound-recorder beside
// it. Such a folder is shared by every user and never holds their files,
// even when it is writable (root, or an install into the user's own prefix).
bool IsInstalledProgramFolder(const std::string& folder);

// DataFolder() + "/" + name.
std::string DataFile(const std::string& name);

// The file name part of a path (after the last "/").
std::string FileNameOf(const std::string& path);
// The folder part of a path, with its trailing "/" ("" when there is none).
std::string FolderOf(const std::string& path);
// The path without the extension of its file name: cut at the last "." of
// the file name only, so dots in folder names are kept.
std::string StripExtension(const std::string& path);

}  // namespace tarvexa
