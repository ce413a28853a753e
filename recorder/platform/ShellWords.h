#pragma once
// Splits a command text into words the way a POSIX shell splits them, without
// running a shell: blanks separate words; single quotes keep everything up to
// the next single quote; double quotes keep everything but a backslash before
// ", \, $ or `; a backslash outside quotes keeps the next character. Nothing
// is expanded ($VAR, ~, *, `...` stay as they are) and no character has any
// other meaning (; | & > < are ordinary characters of a word).
// Thread affinity: any thread.

#include <string>
#include <vector>

namespace tarvexa {

struct ShellWords {
  std::vector<std::string> words;
  bool ok = true;     // false: an unterminated quote or a trailing backslash
  std::string error;  // why, when !ok
};

ShellWords SplitShellWords(const std::string& text);

}  // namespace tarvexa
