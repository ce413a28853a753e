#pragma once
// Drives the scheduler's clock from a Qt event loop: a socket notifier on the
// wall-clock alarm (exact, also after a suspend or a clock change) and a
// single-shot timer for the coarse check, both ending in Scheduler::OnWake.
// Rearm() after anything that may have moved the deadline (every refresh).
// Thread affinity: the user-interface thread.

#include <QtCore/QObject>
#include <QtCore/QTimer>

class QSocketNotifier;

namespace tarvexa {

class Scheduler;

class SchedulerDriver : public QObject {
  Q_OBJECT

 public:
  SchedulerDriver(Scheduler& scheduler, QObject* parent = nullptr);
  void Rearm();

 private:
  void Wake();

  Scheduler& scheduler_;
  QSocketNotifier* alarm_ = nullptr;
  QTimer timer_;
};

}  // namespace tarvexa
