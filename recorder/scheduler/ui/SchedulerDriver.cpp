#include "scheduler/ui/SchedulerDriver.h"

#include <QtCore/QSocketNotifier>

#include "scheduler/Scheduler.h"

namespace tarvexa {

SchedulerDriver::SchedulerDriver(Scheduler& scheduler, QObject* parent)
    : QObject(parent), scheduler_(scheduler) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &SchedulerDriver::Wake);
  if (const int fd = scheduler_.GetClock().WakeFd(); fd >= 0) {
    alarm_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(alarm_, &QSocketNotifier::activated, this, &SchedulerDriver::Wake);
  }
  Rearm();
}

void SchedulerDriver::Rearm() {
  timer_.start(static_cast<int>(scheduler_.GetClock().MsUntilCheck()));
}

void SchedulerDriver::Wake() {
  scheduler_.OnWake();
  Rearm();
}

}  // namespace tarvexa
