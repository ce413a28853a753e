#include "scheduler/LaunchLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarvexa {

LaunchLock::LaunchLock(std::string path, std::string role)
    : path_(std::move(path)), role_(std::move(role)) {}

LaunchLock::~LaunchLock() {
  if (fd_ >= 0) ::close(fd_);
}

bool LaunchLock::TryAcquire() {
  if (held_) return true;
  if (fd_ < 0) fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    problem_ = "cannot open " + path_ + ": " + std::strerror(errno);
    held_ = true;
    return true;
  }
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return false;
    problem_ = "cannot lock " + path_ + ": " + std::strerror(errno);
    held_ = true;
    return true;
  }
  held_ = true;
  const std::string who = role_ + " (process " + std::to_string(::getpid()) + ")";
  if (::ftruncate(fd_, 0) == 0) {
    [[maybe_unused]] const ssize_t n = ::pwrite(fd_, who.data(), who.size(), 0);
  }
  return true;
}

std::string LaunchLock::Holder() const {
  char text[256];
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  ssize_t n = fd >= 0 ? ::pread(fd, text, sizeof text - 1, 0) : -1;
  if (fd >= 0) ::close(fd);
  if (n <= 0) return "another program";
  text[n] = '\0';
  std::string who(text);
  for (char& c : who)
    if (c == '\n' || c == '\r') c = ' ';
  return who;
}

}  // namespace tarvexa
