#include "scheduler/SchedulerClock.h"

#include <algorithm>
#include <chrono>

#include "platform/RealTimeAlarm.h"

namespace tarvexa {

namespace {
// With the alarm the coarse check is only a safety net; without it, it
// bounds how late a start can be after a resume or a clock change.
constexpr int64_t kCoarseWithAlarmMs = 60000;
constexpr int64_t kCoarseMs = 5000;
}  // namespace

int64_t SystemClock::NowMs() const {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

SchedulerClock::SchedulerClock(const Clock& clock, bool withAlarm) : clock_(clock) {
  if (withAlarm) {
    alarm_ = std::make_unique<RealTimeAlarm>();
    if (!alarm_->Valid()) alarm_.reset();
  }
}

SchedulerClock::~SchedulerClock() = default;

void SchedulerClock::Arm(Deadline deadline) {
  armed_ = std::move(deadline);
  if (alarm_) alarm_->ArmAt(static_cast<int64_t>(armed_->due) * 1000);
}

void SchedulerClock::Disarm() {
  armed_.reset();
  if (alarm_) alarm_->Disarm();
}

bool SchedulerClock::Due() const {
  return armed_ && clock_.NowMs() >= static_cast<int64_t>(armed_->due) * 1000;
}

int SchedulerClock::WakeFd() const { return alarm_ ? alarm_->Fd() : -1; }

int64_t SchedulerClock::MsUntilCheck() const {
  const int64_t coarse = alarm_ ? kCoarseWithAlarmMs : kCoarseMs;
  if (!armed_) return coarse;
  const int64_t left = static_cast<int64_t>(armed_->due) * 1000 - clock_.NowMs();
  return std::clamp<int64_t>(left, 0, coarse);
}

std::optional<SchedulerClock::Fired> SchedulerClock::Check() {
  if (alarm_) alarm_->Acknowledge();
  if (!armed_) return std::nullopt;
  const int64_t late = clock_.NowMs() - static_cast<int64_t>(armed_->due) * 1000;
  if (late < 0) {
    // Early (a timer, or the clock was set back): wait on.
    if (alarm_) alarm_->ArmAt(static_cast<int64_t>(armed_->due) * 1000);
    return std::nullopt;
  }
  Fired fired{std::move(*armed_), late};
  Disarm();
  return fired;
}

}  // namespace tarvexa
