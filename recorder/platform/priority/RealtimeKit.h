#pragma once
// A client of RealtimeKit (org.freedesktop.RealtimeKit1 on the system bus),
// the desktop service that lets an ordinary user's program raise one of its
// threads to real-time scheduling or a negative nice value within limits
// the service sets, as sound servers do. Each object is one connection of
// its own to the system bus ($DBUS_SYSTEM_BUS_ADDRESS when set), with a
// short timeout on every call so that a silent service never holds a thread.
// Thread affinity: one thread at a time.

#include <sys/types.h>

#include <cstdint>
#include <string>

struct sd_bus;

namespace tarvexa {

class RealtimeKit {
 public:
  // What the service grants at most; its own defaults when it does not say.
  struct Limits {
    int maxRealtimePriority = 20;
    int minNiceLevel = -15;
    int64_t rtTimeUSecMax = 200000;  // CPU time a real-time thread may take without blocking
  };

  RealtimeKit();
  ~RealtimeKit();
  RealtimeKit(const RealtimeKit&) = delete;
  RealtimeKit& operator=(const RealtimeKit&) = delete;

  // False (and Error() says why) when there is no system bus.
  bool Connected() const { return bus_ != nullptr; }
  const std::string& Error() const { return error_; }

  // Reads the service's limits; false (limits untouched) when it does not answer.
  bool ReadLimits(Limits* limits);
  // Each returns false with the service's answer in Error().
  bool MakeThreadRealtime(pid_t tid, int priority);
  bool MakeThreadHighPriority(pid_t tid, int nice);

 private:
  sd_bus* bus_ = nullptr;
  std::string error_;
};

}  // namespace tarvexa
