#pragma once
// Keeps the machine awake and the screen on while a recording runs.
// The system: a logind "sleep" inhibitor lock. The display: a logind "idle"
// inhibitor lock, plus, when the desktop session has a bus with a screen
// saver service, org.freedesktop.ScreenSaver.Inhibit. logind holds a lock for
// as long as its file descriptor is open; the screen saver for as long as our
// session-bus connection lives or until UnInhibit.
// Thread affinity: one thread at a time; a Q(Core)Application should exist.

#include <QtCore/QString>

#include <cstdint>
#include <memory>
#include <string>

namespace tarvexa {

namespace logind {
class BusConnection;
}

class KeepAwake {
 public:
  KeepAwake();
  ~KeepAwake();  // releases what is held
  KeepAwake(const KeepAwake&) = delete;
  KeepAwake& operator=(const KeepAwake&) = delete;

  // Takes the locks asked for (what was held before is released first).
  // True when everything asked for is held, or nothing was asked. False with
  // the reason in *error when logind could not be reached or refused; what
  // could be taken is still held until Release. A desktop without a screen
  // saver service is not a failure: logind's idle lock then stands alone.
  bool Acquire(bool system, bool display, std::string* error);

  // Gives everything back. Safe to call when nothing is held.
  void Release();

  // The logind lock's descriptor, -1 when none is held.
  int InhibitorFd() const { return inhibitorFd_; }
  // True while the screen saver is inhibited.
  bool ScreenSaverInhibited() const { return screenSaver_ != nullptr; }

 private:
  bool InhibitLogind(const QString& what, std::string* error);
  bool InhibitScreenSaver(std::string* error);

  int inhibitorFd_ = -1;
  std::unique_ptr<logind::BusConnection> screenSaver_;
  uint32_t screenSaverCookie_ = 0;
};

}  // namespace tarvexa
