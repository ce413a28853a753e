#pragma once
// What may follow a recording that the auto-stop time ended: the option list
// of the Misc page, the question asked when a power action is chosen, the
// confirmation shown before it runs, and the power action itself.
// Thread affinity: the user-interface thread.

#include <optional>
#include <string>

#include "platform/desktop/PowerControl.h"

namespace tarvexa {

inline constexpr int kAfterRecordingActionCount = 8;

enum AfterRecordingAction {
  kActDoNothing = 0,
  kActMessageBox,
  kActBalloon,
  kActLogOff,
  kActStandBy,
  kActHibernate,
  kActRestart,
  kActShutdown,
};

// " Do Nothing", " Show MessageBox", ... ; "" outside 0..7.
const char* AfterRecordingOptionText(int action);
// The question asked on the Misc page when 3..7 is chosen; "" otherwise.
const char* AfterRecordingQuestion(int action);
// The confirmation before the power action runs; "" for 0..2.
const char* AfterRecordingConfirmation(int action);
// What 3..7 do, for the log: "shut down the computer" and the like.
const char* AfterRecordingPhrase(int action);
// The power action of 3..7.
std::optional<PowerAction> AfterRecordingPowerAction(int action);

// Carries out a power action: false with the reason in *error; `note` gets
// a line for the log before the action where there is one to say. The
// recorder uses the desktop's session manager and logind; tests put a fake
// in its place.
class SystemPower {
 public:
  virtual ~SystemPower() = default;
  virtual bool Run(PowerAction action, std::string* error, const PowerNote& note) = 0;
};

class LogindPower : public SystemPower {
 public:
  bool Run(PowerAction action, std::string* error, const PowerNote& note) override {
    return RunPowerAction(action, error, note);
  }
};

}  // namespace tarvexa
