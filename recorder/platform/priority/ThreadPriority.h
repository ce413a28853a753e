#pragma once
// Thread priorities on Linux. The five levels of the options are nice values
// relative to the process: lowest +10, below normal +5, normal 0, above
// normal -5, highest -10 (kept within -20..19).
//
// Lowering a priority always works. Raising one needs the right to: the
// thread asks the kernel first (root, CAP_SYS_NICE or the user's nice limit,
// RLIMIT_NICE), then the desktop's RealtimeKit service, as sound servers do,
// and failing both takes the best nice value the user's limit allows.
//
// A thread that must never be late (the capture of a live device) may ask
// for real-time scheduling when its level is raised: round-robin at
// priority 1 (above normal) or 3 (highest), below a sound server's own
// threads. Through RealtimeKit this comes with the CPU limit the service
// demands (RLIMIT_RTTIME); a thread that ever runs that long without
// blocking is returned to normal scheduling at the soft limit, before the
// hard limit could end the process. Without real-time scheduling the
// thread still gets its nice value as above.
// Thread affinity: construct and destroy on the thread concerned.

#include <sys/types.h>

#include <string>

namespace tarvexa {

class RealtimeKitSession;

class ThreadPriority {
 public:
  // level: -2 lowest, -1 below normal, 0 normal, +1 above normal, +2 highest.
  ThreadPriority(int level, bool realTime);
  ~ThreadPriority();
  ThreadPriority(const ThreadPriority&) = delete;
  ThreadPriority& operator=(const ThreadPriority&) = delete;

  // True when the thread runs at the level asked for (or real-time).
  bool Granted() const { return granted_; }
  // What the thread runs at: "nice -10" or "real-time priority 3".
  std::string Got() const;
  // Why it has less than it asked for; empty when granted.
  const std::string& Why() const { return why_; }

 private:
  bool TryRealTime(int priority, RealtimeKitSession& kit);
  bool TryNice(int nice, RealtimeKitSession& kit);

  pid_t tid_ = 0;
  bool granted_ = false;
  bool realTime_ = false;
  bool watched_ = false;
  int rtPriority_ = 0;
  int nice_ = 0;
  std::string why_;
};

}  // namespace tarvexa
