#pragma once
// Where the recorder finds what it loads and where it keeps what it writes.
// Thread affinity: any thread.

#include <string>

namespace tarvexa {

// Folder of the running executable, without a trailing "/". Encoder
// libraries and helper programs are loaded from here.
std::string ProgramFolder();

// Folder for Config.ini, Task.ini, Output.ini and the event log:
// $TARVEXA_HOME when set; else the program folder when it is writable; else
// $XDG_DATA_HOME/tarvexa-sound-recorder (~/.local/share/...), created on demand.
std::string DataFolder();

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
