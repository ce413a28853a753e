#pragma once
// Moving a file into the desktop's trash (the freedesktop.org trash that
// file managers show and restore from): the home trash for files on the
// home file system, else the trash at the top of the file's own mount
// ($topdir/.Trash/$uid or $topdir/.Trash-$uid). Where neither can be had,
// the caller is told so and nothing is moved.
// Thread affinity: any thread.

#include <string>

namespace tarvexa {

enum class TrashResult {
  Trashed,
  NoTrash,  // no trash can take this file; it is untouched
  Failed,   // the move failed; *error says why, the file is untouched
};

TrashResult MoveToTrash(const std::string& path, std::string* error,
                        std::string* trashedAs = nullptr);

}  // namespace tarvexa
