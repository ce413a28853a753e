#include "app/HotkeyGroup.h"

#include <QtWidgets/QCheckBox>
#include <QtWidgets/QVBoxLayout>

#include "config/Settings.h"
#include "platform/desktop/GlobalHotkeys.h"
#include "widgets/MessageBox.h"

namespace tarvexa {

namespace {
struct HotkeyKey {
  int id;
  char letter;
};
constexpr HotkeyKey kHotkeys[] = {{HotkeyGroup::kRecordHotkey, 'R'},
                                  {HotkeyGroup::kPauseHotkey, 'U'},
                                  {HotkeyGroup::kStopHotkey, 'S'}};
}  // namespace

HotkeyGroup::HotkeyGroup(Settings& settings, LogFn log, QWidget* parent)
    : QGroupBox(tr("Global Hotkeys"), parent), settings_(settings), log_(std::move(log)) {
  enable_ = new QCheckBox(tr("Enable Global Hotkeys for Sound Recording"), this);
  enable_->setToolTip(tr("Ctrl+R: Record, Ctrl+U: Pause/Resume, Ctrl+S: Stop, in any program"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(enable_);
  hotkeys_ = new GlobalHotkeys(this);
  connect(hotkeys_, &GlobalHotkeys::activated, this, &HotkeyGroup::hotkeyPressed);
  connect(enable_, &QCheckBox::toggled, this, [this](bool on) { on ? Enable() : Disable(); });
}

HotkeyGroup::~HotkeyGroup() { hotkeys_->UnregisterAll(); }

bool HotkeyGroup::Active() const {
  for (const auto& k : kHotkeys)
    if (!hotkeys_->IsRegistered(k.id)) return false;
  return true;
}

void HotkeyGroup::Load() {
  const bool want = settings_.MISC.HotKey != 0;
  const bool held = hotkeys_->Count() > 0;
  {
    const QSignalBlocker block(enable_);
    enable_->setChecked(want);
  }
  if (want && !Active())
    Enable();
  else if (!want && held)
    Disable();
}

void HotkeyGroup::Release() { hotkeys_->UnregisterAll(); }

void HotkeyGroup::Enable() {
  settings_.MISC.HotKey = 1;
  if (log_) log_("Enable global hotkeys.", 0);
  for (const auto& k : kHotkeys) {
    std::string reason;
    if (hotkeys_->Register(k.id, k.letter, &reason)) continue;
    // Half a set of hotkeys would work while the box says they are off.
    hotkeys_->UnregisterAll();
    if (log_)
      log_("Cannot register the global hotkey " + GlobalHotkeys::KeyName(k.letter) + ": " + reason +
               ".",
           1);
    ShowMessageBox(this, tr("RegisterHotKey failed"), QString(), QMessageBox::Critical);
    Untick();
    return;
  }
}

void HotkeyGroup::Disable() {
  settings_.MISC.HotKey = 0;
  if (log_) log_("Disable global hotkeys.", 0);
  hotkeys_->UnregisterAll();
}

void HotkeyGroup::Untick() {
  settings_.MISC.HotKey = 0;
  const QSignalBlocker block(enable_);
  enable_->setChecked(false);
}

}  // namespace tarvexa
