#pragma once
// Free space on the file system that holds a recording, and the two texts the
// main dialog shows about it (the info line and the low-space warning).
// Thread affinity: any thread.

#include <cstdint>
#include <optional>
#include <string>

namespace tarvexa {

struct DiskSpaceInfo {
  bool ok = false;
  uint64_t freeBytes = 0;  // space free to this user (not counting root's reserve)
  std::string mountPoint;  // e.g. "/home"
  std::string device;      // mount source, e.g. "/dev/sda2" or "tmpfs"
  std::string error;       // why ok is false
};

// Free space for a file or folder. The path need not exist yet (an output
// file about to be written): its nearest existing ancestor folder is asked.
// A relative path is taken from the current folder; an empty path means the
// user's home folder (the start-up report, before any recording has a path).
DiskSpaceInfo QueryDiskSpace(const std::string& pathOrFolder);

// The info line, e.g. "Free space on /home  1234.56 MB": the mount point
// stands where a drive letter would, MB = bytes / 1048576 with two decimals.
std::string DiskSpaceLine(const DiskSpaceInfo& info);

// "Warning, less than 100 MB free space on /home" when below 100 MB; nothing
// otherwise, and nothing when the space could not be read.
std::optional<std::string> LowDiskWarning(const DiskSpaceInfo& info);

// The mount that holds the absolute, symlink-free `path`, found in the text
// of /proc/self/mountinfo: the longest mount point that is `path` or one of
// its ancestors; of equal ones the last listed (it is mounted on top).
// Escapes in the text (\040 for a blank and the like) are undone.
bool FindMount(const std::string& mountinfo, const std::string& path, std::string* mountPoint,
               std::string* device);

}  // namespace tarvexa
