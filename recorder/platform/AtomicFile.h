#pragma once
// Replaces a file whole or not at all: the new content goes to a temporary
// file beside the target, is flushed to the disk, and is renamed over the
// target, so a crash or a full disk never leaves a half-written file.
// Thread affinity: any thread.

#include <string>

namespace tarvexa {

// False with the reason in *error (when given) when the file could not be
// written; the old file is then untouched.
bool WriteFileAtomically(const std::string& path, const std::string& data, std::string* error);

}  // namespace tarvexa
