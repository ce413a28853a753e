#pragma once
// Tells when files of a folder are written or replaced: inotify on the
// folder, so that a save through a temporary file and a rename counts as
// well as a write in place or a removal. A loop waits on Fd() with poll()
// and then asks TakeChanged().
// Thread affinity: one thread.

#include <string>
#include <vector>

namespace tarvexa {

class FolderWatch {
 public:
  // names: the files of `folder` to report (file names, no folder).
  FolderWatch(const std::string& folder, std::vector<std::string> names);
  ~FolderWatch();
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // -1 when the folder cannot be watched; Error() says why.
  int Fd() const { return fd_; }
  const std::string& Error() const { return error_; }

  // Reads what has happened since the last call (never waits): the names
  // that were closed after writing, renamed to or from, or removed (not
  // while they are being written), each once, in the order given; all of
  // them when the kernel's queue overflowed.
  std::vector<std::string> TakeChanged();

 private:
  int fd_ = -1;
  std::vector<std::string> names_;
  std::string error_;
};

}  // namespace tarvexa
