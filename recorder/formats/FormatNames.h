#pragma once
// Formats by the names people give them: the tag ("wav", "flac", "w64",
// any case) or the code, and the file extensions each format writes, so
// that an output file's extension can choose its format.
// Thread affinity: pure functions; any thread.

#include <string>
#include <vector>

#include "config/Settings.h"

namespace tarvexa {

// The code of a format named by its tag (any case) or by its number 1..31;
// 0 when the text names none.
int FormatByName(const std::string& name);

// Every extension (with its dot, lower case) a format writes under some
// setting of its extension choice: ".aiff", ".aifc" and ".aif" for AIFF,
// ".flac" and ".ogg" for FLAC. The user-customised format's own extension
// is the user's and is not counted.
std::vector<std::string> ExtensionsOf(int format);

// The formats that write files with the extension of `path` (compared
// without regard to case), in code order; empty when it has none.
std::vector<int> FormatsForExtension(const std::string& path);

// Sets the format's extension choice so that FileExtensionFor gives the
// extension of `path` (when it is one of the format's), so split clips keep
// it. Returns false when the format never writes that extension.
bool ChooseExtension(int format, const std::string& path, Settings& s);

}  // namespace tarvexa
