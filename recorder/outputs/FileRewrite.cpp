#include "outputs/FileRewrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace tarvexa {

namespace fs = std::filesystem;

namespace {

std::string Reason(const std::string& what, const std::string& path, int err) {
  return what + " \"" + path + "\": " + std::strerror(err);
}

bool SyncFile(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

}  // namespace

FileRewrite::FileRewrite(std::string path) : path_(std::move(path)) {
  std::error_code ec;
  const fs::path target = fs::canonical(path_, ec);
  if (!ec) path_ = target.string();
}

FileRewrite::~FileRewrite() {
  if (!copy_.empty() && !committed_) ::unlink(copy_.c_str());
}

bool FileRewrite::Begin(std::string* error) {
  static std::atomic<unsigned> counter{0};
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0) {
    if (error) *error = Reason("cannot read", path_, errno);
    return false;
  }
  // A file its owner made read-only stays unchanged.
  if (::access(path_.c_str(), W_OK) != 0) {
    if (error) *error = Reason("cannot write", path_, errno);
    return false;
  }
  // A short hidden name in the same folder (so the rename stays on one file
  // system), with the file's extension for tools that go by it.
  const fs::path file(path_);
  copy_ = (file.parent_path() / (".tagging-" + std::to_string(::getpid()) + "-" +
                                 std::to_string(counter.fetch_add(1)) + file.extension().string()))
              .string();
  std::error_code ec;
  if (!fs::copy_file(path_, copy_, fs::copy_options::none, ec)) {
    ::unlink(copy_.c_str());
    if (error) *error = Reason("cannot copy", path_, ec.value());
    copy_.clear();
    return false;
  }
  return true;
}

bool FileRewrite::Commit(std::string* error) {
  if (copy_.empty()) {
    if (error) *error = "nothing to commit";
    return false;
  }
  struct stat st {};
  const bool haveMode = ::stat(path_.c_str(), &st) == 0;
  if (!SyncFile(copy_, O_RDONLY)) {
    if (error) *error = Reason("cannot write", copy_, errno);
    return false;
  }
  if (haveMode) ::chmod(copy_.c_str(), st.st_mode & 07777);
  if (::rename(copy_.c_str(), path_.c_str()) != 0) {
    if (error) *error = Reason("cannot replace", path_, errno);
    return false;
  }
  committed_ = true;
  SyncFile(fs::path(path_).parent_path().string(), O_RDONLY | O_DIRECTORY);
  return true;
}

}  // namespace tarvexa
