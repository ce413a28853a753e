#pragma once
// Replacing a whole file so that a crash, a full disk or a power cut at any
// moment leaves either the old file or the new one, never a mixture: the
// bytes go to a temporary file beside the target, are flushed to the disk
// and the temporary file is renamed over the target.
// Thread affinity: any thread.

#include <string>
#include <string_view>

namespace tarvexa {

// Writes bytes as the new content of path, keeping the permissions of the
// file it replaces (a new file: 0666 less the umask), or with `mode` when it
// is given. False with a reason in *error (when given) on failure; the old
// file is then untouched and no temporary file is left behind.
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         std::string* error = nullptr, int mode = -1);

}  // namespace tarvexa
