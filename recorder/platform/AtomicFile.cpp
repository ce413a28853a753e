#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace tarvexa {

namespace {

std::string ErrnoText(const std::string& what, const std::string& path, int err) {
  return what + " \"" + path + "\": " + std::strerror(err);
}

bool WriteAll(int fd, std::string_view data) {
  const char* p = data.data();
  size_t left = data.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error,
                         int mode) {
  static std::atomic<unsigned> counter{0};
  const std::string temp =
      path + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));

  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (error) *error = ErrnoText("cannot create", temp, errno);
    return false;
  }
  // Keep the permissions of the file being replaced, unless told otherwise.
  struct stat st {};
  if (mode >= 0)
    ::fchmod(fd, static_cast<mode_t>(mode) & 07777);
  else if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
    ::fchmod(fd, st.st_mode & 07777);

  auto fail = [&](const char* what, const std::string& name, int err) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    if (error) *error = ErrnoText(what, name, err);
    return false;
  };
  if (!WriteAll(fd, bytes)) return fail("cannot write", temp, errno);
  if (::fsync(fd) != 0) return fail("cannot write", temp, errno);
  int closed = ::close(fd);
  fd = -1;
  if (closed != 0) return fail("cannot write", temp, errno);
  if (::rename(temp.c_str(), path.c_str()) != 0) return fail("cannot replace", path, errno);

  // Make the rename itself durable; a failure here does not undo the save.
  const size_t slash = path.find_last_of('/');
  const std::string folder =
      slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
  int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

}  // namespace tarvexa
