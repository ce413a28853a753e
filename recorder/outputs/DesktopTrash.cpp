#include "outputs/DesktopTrash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace tarvexa {

namespace fs = std::filesystem;

namespace {

// A folder that exists as a real folder (not a link), or is made with 0700.
bool EnsureFolder(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  return ::mkdir(path.c_str(), 0700) == 0;
}

bool EnsureFolders(const std::string& path) {
  std::string partial;
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at == path.size() || path[at] == '/') {
      partial = path.substr(0, at);
      struct stat st {};
      if (::stat(partial.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) return false;
      } else if (::mkdir(partial.c_str(), 0700) != 0) {
        return false;
      }
    }
  }
  return true;
}

dev_t DeviceOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_dev : static_cast<dev_t>(-1);
}

// The folder at the top of the mount that holds path.
std::string TopDirectory(const std::string& path) {
  fs::path dir = fs::path(path).parent_path();
  const dev_t dev = DeviceOf(dir.string());
  while (dir.has_parent_path() && dir != dir.root_path()) {
    const fs::path up = dir.parent_path();
    if (DeviceOf(up.string()) != dev) break;
    dir = up;
  }
  return dir.string();
}

std::string HomeTrash() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/')
    return std::string(data) + "/Trash";
  if (const char* home = std::getenv("HOME"); home && *home == '/')
    return std::string(home) + "/.local/share/Trash";
  return {};
}

// The trash for a file on another mount than the home trash: an
// administrator's shared $topdir/.Trash (a sticky folder, not a link) with
// a folder per user, else the user's own $topdir/.Trash-$uid.
std::string TopTrash(const std::string& top) {
  const std::string uid = std::to_string(::getuid());
  const std::string shared = top + "/.Trash";
  struct stat st {};
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
      EnsureFolder(shared + "/" + uid))
    return shared + "/" + uid;
  const std::string own = top + "/.Trash-" + uid;
  if (EnsureFolder(own) && ::lstat(own.c_str(), &st) == 0 && st.st_uid == ::getuid()) return own;
  return {};
}

std::string PercentEncoded(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if (std::isalnum(c) || std::strchr("/-_.~", c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string Now() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

}  // namespace

TrashResult MoveToTrash(const std::string& path, std::string* error, std::string* trashedAs) {
  std::error_code ec;
  const fs::path file = fs::absolute(path, ec).lexically_normal();
  struct stat st {};
  if (ec || ::lstat(file.c_str(), &st) != 0) {
    if (error) *error = std::strerror(errno ? errno : ENOENT);
    return TrashResult::Failed;
  }
  // The home trash takes the files of its own file system (and only it:
  // when it cannot be made, there is no trash for them); files of other
  // mounts go to the trash at the top of their mount.
  std::string trash = HomeTrash();
  std::string recorded = file.string();
  fs::path homeBase = fs::path(trash).parent_path();
  fs::path existing = homeBase;
  while (!trash.empty() && DeviceOf(existing.string()) == static_cast<dev_t>(-1) &&
         existing.has_parent_path() && existing != existing.root_path())
    existing = existing.parent_path();
  if (trash.empty() || DeviceOf(existing.string()) != st.st_dev) {
    const std::string top = TopDirectory(file.string());
    trash = TopTrash(top);
    recorded = file.lexically_relative(top).string();
  } else if (!EnsureFolders(homeBase.string())) {
    return TrashResult::NoTrash;
  }
  if (trash.empty() || !EnsureFolder(trash) || !EnsureFolder(trash + "/files") ||
      !EnsureFolder(trash + "/info") || DeviceOf(trash) != st.st_dev)
    return TrashResult::NoTrash;

  // Claim a name through its info file, then move the file under it.
  const std::string stem = file.stem().string(), ext = file.extension().string();
  for (int n = 1; n < 10000; ++n) {
    const std::string name =
        n == 1 ? file.filename().string() : stem + "." + std::to_string(n) + ext;
    const std::string info = trash + "/info/" + name + ".trashinfo";
    const int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      if (error) *error = std::strerror(errno);
      return TrashResult::Failed;
    }
    const std::string text =
        "[Trash Info]\nPath=" + PercentEncoded(recorded) + "\nDeletionDate=" + Now() + "\n";
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    const std::string target = trash + "/files/" + name;
    struct stat taken {};
    int err = 0;
    if (!written)
      err = EIO;
    else if (::lstat(target.c_str(), &taken) == 0)
      err = EEXIST;  // a file without its info file: leave it be
    else if (::rename(file.c_str(), target.c_str()) != 0)
      err = errno;
    if (err != 0) {
      ::unlink(info.c_str());
      if (err == EEXIST) continue;
      if (error) *error = std::strerror(err);
      return TrashResult::Failed;
    }
    if (trashedAs) *trashedAs = target;
    return TrashResult::Trashed;
  }
  if (error) *error = "the trash has too many files of this name";
  return TrashResult::Failed;
}

}  // namespace tarvexa
