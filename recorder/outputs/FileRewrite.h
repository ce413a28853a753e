#pragma once
// Editing a file that must never be damaged (a recording being tagged):
// the edit is made on a copy beside the file, and only a complete, flushed
// copy replaces it by rename. A crash, a full disk or a failing edit leaves
// the original as it was. Depends on nothing but the C++ library, so the
// tag programs and the components build it in.
// Thread affinity: one thread per object.

#include <string>

namespace tarvexa {

class FileRewrite {
 public:
  // `path` may be a symbolic link; its target is what gets rewritten.
  explicit FileRewrite(std::string path);
  ~FileRewrite();  // removes a copy that was not committed
  FileRewrite(const FileRewrite&) = delete;
  FileRewrite& operator=(const FileRewrite&) = delete;

  // Makes the copy. False with a reason in *error.
  bool Begin(std::string* error);
  // The copy to edit (valid after Begin).
  const std::string& CopyPath() const { return copy_; }
  // Flushes the edited copy and renames it over the file, with the file's
  // permissions. False with a reason in *error; the file is then untouched.
  bool Commit(std::string* error);

 private:
  std::string path_;  // the file (symbolic links resolved)
  std::string copy_;
  bool committed_ = false;
};

}  // namespace tarvexa
