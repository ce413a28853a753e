#pragma once
// The scheduler's clock: one deadline (the soonest task's start) checked
// against the real-time clock, so that a suspend, a clock change or a slow
// timer never moves a start. A driver (the window's event loop, a loop
// without a window) waits until the alarm descriptor is readable or
// MsUntilCheck() has passed, whichever is first, and then calls Check().
// The time source is injected, so tests can move time at will.
// Thread affinity: one thread (the driver's).

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

namespace tarvexa {

class RealTimeAlarm;

class Clock {
 public:
  virtual ~Clock() = default;
  // The wall clock, milliseconds since the epoch.
  virtual int64_t NowMs() const = 0;
  std::time_t Now() const { return static_cast<std::time_t>(FloorDiv(NowMs(), 1000)); }

 private:
  static int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
  }
};

class SystemClock : public Clock {
 public:
  int64_t NowMs() const override;
};

struct Deadline {
  std::string title;  // the task's title
  int row = -1;       // its row when armed (titles need not be unique)
  std::time_t due = 0;
};

class SchedulerClock {
 public:
  // With an alarm the driver also wakes on the wall clock itself; tests with
  // an injected clock go without.
  SchedulerClock(const Clock& clock, bool withAlarm);
  ~SchedulerClock();

  void Arm(Deadline deadline);
  void Disarm();
  const std::optional<Deadline>& Armed() const { return armed_; }
  // The deadline is armed and its instant has come.
  bool Due() const;

  // Readable when the driver should call Check(); -1 without an alarm.
  int WakeFd() const;
  // The longest the driver may wait before calling Check(): until the
  // deadline, but never longer than a coarse period that catches what a
  // timer counting elapsed time misses (suspend, clock changes).
  int64_t MsUntilCheck() const;

  struct Fired {
    Deadline deadline;
    int64_t lateMs = 0;  // how long after its instant the deadline was seen
  };
  // Looks at the clock: when the deadline has come, disarms and returns it;
  // else re-arms the alarm and returns nothing.
  std::optional<Fired> Check();

 private:
  const Clock& clock_;
  std::unique_ptr<RealTimeAlarm> alarm_;
  std::optional<Deadline> armed_;
};

}  // namespace tarvexa
