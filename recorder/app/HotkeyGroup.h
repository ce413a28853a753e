#pragma once
// The hotkey group of the "Advanced" page: the check box "Enable Global
// Hotkeys for Sound Recording". Ticking it registers Ctrl+R (100, Record),
// Ctrl+U (200, Pause/Resume) and Ctrl+S (300, Stop) in that order; the first
// that fails stops the registration, releases those already held, shows
// "RegisterHotKey failed", sets MISC HotKey back to 0 and unticks the box.
// Unticking releases all three; so does destroying the group.
// Load() makes the registration follow the stored HotKey, so a user who
// left the box ticked finds the hotkeys working after a restart.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QGroupBox>

#include <functional>
#include <string>

class QCheckBox;

namespace tarvexa {

class GlobalHotkeys;
struct Settings;

class HotkeyGroup : public QGroupBox {
  Q_OBJECT

 public:
  enum HotkeyId { kRecordHotkey = 100, kPauseHotkey = 200, kStopHotkey = 300 };

  using LogFn = std::function<void(const std::string& text, int level)>;
  HotkeyGroup(Settings& settings, LogFn log, QWidget* parent = nullptr);
  ~HotkeyGroup() override;

  void Load();
  // Lets the keys go without changing the setting (the exit sequence).
  void Release();

  QCheckBox* EnableCheck() const { return enable_; }
  // All three hotkeys are held.
  bool Active() const;

 signals:
  // One of the three hotkeys was pressed, in any program.
  void hotkeyPressed(int id);

 private:
  void Enable();
  void Disable();
  void Untick();

  Settings& settings_;
  LogFn log_;
  QCheckBox* enable_;
  GlobalHotkeys* hotkeys_;
};

}  // namespace tarvexa
