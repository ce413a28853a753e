#include "app/AfterRecording.h"

namespace tarvexa {

namespace {
struct Row {
  const char* option;
  const char* question;
  const char* confirmation;
};
constexpr Row kRows[kAfterRecordingActionCount] = {
    {" Do Nothing", "", ""},
    {" Show MessageBox", "", ""},
    {" Balloon Notification", "", ""},
    {" Log Off", " After Automatically Stop Recording then Logoff the System, Are You Sure? ",
     "Logoff Current User, Continue?"},
    {" Stand By", " After Automatically Stop Recording then Suspend the System, Are You Sure? ",
     "Suspend the Computer, Continue?"},
    {" Hibernate", " After Automatically Stop Recording then Hibernate the System, Are You Sure? ",
     "Hibernate the Computer, Continue?"},
    {" Restart", " After Automatically Stop Recording then Restart the System, Are You Sure? ",
     "Restart the Computer, Continue?"},
    {" Shutdown", " After Automatically Stop Recording then Shutdown the System, Are You Sure? ",
     "Shutdown the Computer, Continue?"},
};

bool Valid(int action) { return action >= 0 && action < kAfterRecordingActionCount; }
}  // namespace

const char* AfterRecordingOptionText(int action) {
  return Valid(action) ? kRows[action].option : "";
}
const char* AfterRecordingQuestion(int action) {
  return Valid(action) ? kRows[action].question : "";
}
const char* AfterRecordingConfirmation(int action) {
  return Valid(action) ? kRows[action].confirmation : "";
}

const char* AfterRecordingPhrase(int action) {
  switch (action) {
    case kActLogOff: return "log off the current user";
    case kActStandBy: return "suspend the computer";
    case kActHibernate: return "hibernate the computer";
    case kActRestart: return "restart the computer";
    case kActShutdown: return "shut down the computer";
    default: return "";
  }
}

std::optional<PowerAction> AfterRecordingPowerAction(int action) {
  switch (action) {
    case kActLogOff: return PowerAction::LogOff;
    case kActStandBy: return PowerAction::Suspend;
    case kActHibernate: return PowerAction::Hibernate;
    case kActRestart: return PowerAction::Reboot;
    case kActShutdown: return PowerAction::PowerOff;
    default: return std::nullopt;
  }
}

}  // namespace tarvexa
