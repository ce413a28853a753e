#pragma once
// Which program launches the scheduled tasks of a data folder: the window
// and the scheduler service (`--scheduler`) may both run and both show the
// schedule, but only the holder of this lock launches, so a task is never
// recorded twice. The lock is a file locked with flock() in the data folder
// ("scheduler.lock"); the holder writes its role and process number into
// it for the other one's log line. It goes with the process, also when the
// process dies, and the first program that then sees a task come due takes
// it over.
// Thread affinity: one thread.

#include <string>

namespace tarvexa {

inline constexpr const char* kLaunchLockFile = "scheduler.lock";

class LaunchLock {
 public:
  // role: what this program is, for the other one's line ("the window",
  // "the scheduler service").
  LaunchLock(std::string path, std::string role);
  ~LaunchLock();
  LaunchLock(const LaunchLock&) = delete;
  LaunchLock& operator=(const LaunchLock&) = delete;

  // True when this program holds the lock (from now on, until it ends).
  // A lock file that cannot be opened is no reason to launch nothing: the
  // program then launches, and Problem() says why it could not check.
  bool TryAcquire();
  bool Held() const { return held_; }
  // Who holds the lock, as its holder wrote it ("the window (process
  // 1234)"); "another program" when it cannot be read.
  std::string Holder() const;
  const std::string& Problem() const { return problem_; }

 private:
  std::string path_;
  std::string role_;
  int fd_ = -1;
  bool held_ = false;
  std::string problem_;
};

}  // namespace tarvexa
