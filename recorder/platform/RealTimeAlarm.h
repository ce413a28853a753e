#pragma once
// An alarm on the wall clock: a file descriptor that becomes readable when
// the real-time clock reaches a set instant, also when that instant passed
// while the machine was suspended (it rings right after the resume), and as
// soon as anyone sets the clock. Unlike a timer that counts elapsed time, it
// cannot ring late after a suspend or early or late after a clock change.
// A Qt window watches the descriptor with a socket notifier, a loop without
// a window with poll().
// Thread affinity: one thread.

#include <cstdint>

namespace tarvexa {

class RealTimeAlarm {
 public:
  RealTimeAlarm();
  ~RealTimeAlarm();
  RealTimeAlarm(const RealTimeAlarm&) = delete;
  RealTimeAlarm& operator=(const RealTimeAlarm&) = delete;

  // False when the system offers no such timer (the descriptor is then -1).
  bool Valid() const { return fd_ >= 0; }
  int Fd() const { return fd_; }

  // Rings at the instant, in milliseconds since the epoch (at once when it
  // has passed).
  void ArmAt(int64_t instantMs);
  void Disarm();
  // Takes a ring off the descriptor; true when it rang because the clock
  // was set. Either way the owner looks at the clock again and re-arms.
  bool Acknowledge();

 private:
  int fd_ = -1;
};

}  // namespace tarvexa
