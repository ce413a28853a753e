#include "platform/RealTimeAlarm.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>

namespace tarvexa {

RealTimeAlarm::RealTimeAlarm() {
  fd_ = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
}

RealTimeAlarm::~RealTimeAlarm() {
  if (fd_ >= 0) ::close(fd_);
}

void RealTimeAlarm::ArmAt(int64_t instantMs) {
  if (fd_ < 0) return;
  itimerspec when{};
  // An all-zero value would disarm; the first nanosecond of the epoch rings at once.
  if (instantMs <= 0) {
    when.it_value.tv_nsec = 1;
  } else {
    when.it_value.tv_sec = static_cast<time_t>(instantMs / 1000);
    when.it_value.tv_nsec = static_cast<long>(instantMs % 1000) * 1000000L;
  }
  ::timerfd_settime(fd_, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &when, nullptr);
}

void RealTimeAlarm::Disarm() {
  if (fd_ < 0) return;
  itimerspec when{};
  ::timerfd_settime(fd_, 0, &when, nullptr);
  Acknowledge();
}

bool RealTimeAlarm::Acknowledge() {
  if (fd_ < 0) return false;
  uint64_t expirations = 0;
  ssize_t n;
  do {
    n = ::read(fd_, &expirations, sizeof expirations);
  } while (n < 0 && errno == EINTR);
  return n < 0 && errno == ECANCELED;
}

}  // namespace tarvexa
