#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace tarvexa {

bool WriteFileAtomically(const std::string& path, const std::string& data, std::string* error) {
  static std::atomic<unsigned> counter{0};
  const std::string temp =
      path + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  auto fail = [&](const char* what, const std::string& name, int err) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    if (error) *error = std::string(what) + " \"" + name + "\": " + std::strerror(err);
    return false;
  };
  if (fd < 0) {
    const int err = errno;
    if (error) *error = "cannot create \"" + temp + "\": " + std::strerror(err);
    return false;
  }
  // The replacement keeps the permissions of the file it replaces.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd, st.st_mode & 07777);

  const char* p = data.data();
  size_t left = data.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail("cannot write", temp, errno);
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0) return fail("cannot write", temp, errno);
  const int closed = ::close(fd);
  fd = -1;
  if (closed != 0) return fail("cannot write", temp, errno);
  if (::rename(temp.c_str(), path.c_str()) != 0) return fail("cannot replace", path, errno);

  // Make the rename itself durable; a failure here does not undo the write.
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
  const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

}  // namespace tarvexa
