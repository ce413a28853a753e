#include "platform/FolderWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tarvexa {

FolderWatch::FolderWatch(const std::string& folder, std::vector<std::string> names)
    : names_(std::move(names)) {
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) {
    error_ = std::string("inotify: ") + std::strerror(errno);
    return;
  }
  if (inotify_add_watch(fd_, folder.c_str(),
                        IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE) < 0) {
    error_ = "cannot watch " + folder + ": " + std::strerror(errno);
    close(fd_);
    fd_ = -1;
  }
}

FolderWatch::~FolderWatch() {
  if (fd_ >= 0) close(fd_);
}

std::vector<std::string> FolderWatch::TakeChanged() {
  if (fd_ < 0) return {};
  std::vector<bool> changed(names_.size(), false);
  alignas(inotify_event) char buffer[8192];
  for (;;) {
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      // The queue overflowed: anything may have changed.
      if (e->mask & IN_Q_OVERFLOW) changed.assign(names_.size(), true);
      if (e->len > 0) {
        const auto it = std::find(names_.begin(), names_.end(), std::string(e->name));
        if (it != names_.end()) changed[static_cast<size_t>(it - names_.begin())] = true;
      }
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
  }
  std::vector<std::string> names;
  for (size_t i = 0; i < names_.size(); ++i)
    if (changed[i]) names.push_back(names_[i]);
  return names;
}

}  // namespace tarvexa
