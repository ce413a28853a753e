#include "formats/ui/pages/MenuOnlyFamilies.h"

#include "formats/EncoderPrograms.h"
#include "formats/FormatCatalogue.h"
#include "widgets/MessageBox.h"

namespace tarvexa {

namespace {

FormatFamilyUi OneCommand(int format) {
  FormatFamilyUi ui;
  ui.menu.push_back(PlainCommand(format));
  return ui;
}

// The AAC commands, by container.
constexpr const char* kAacContainers[9] = {
    "AAC - FAAC Codec", "M4A - FAAC Codec", "M4B - FAAC Codec",
    "MP4 - FAAC Codec", "3GP - Nero Codec", "M4A - Nero Codec",
    "M4B - Nero Codec", "MP4 - Nero Codec", "AAC - CT AAC+ Codec"};

bool MayChooseAacContainer(QWidget* owner, int container) {
  if (container >= 4 && container <= 7 && !NeroAacEncoderPresent()) {
    Warn(owner, kNeroAacNotFound);
    return false;
  }
  if (container == 8 && !CtAacEncoderPresent()) {
    Warn(owner, kCtAacNotFound);
    return false;
  }
  return (container != 0 && container != 8) || AskYesNo(owner, kRawAacQuestion);
}

}  // namespace

FormatFamilyUi WmaFamilyUi() { return OneCommand(kFormatWMA); }
FormatFamilyUi ApeFamilyUi() { return OneCommand(kFormatAPE); }
FormatFamilyUi VqfFamilyUi() { return OneCommand(kFormatVQF); }
FormatFamilyUi MpcFamilyUi() { return OneCommand(kFormatMPC); }

FormatFamilyUi AacFamilyUi() {
  FormatFamilyUi ui;
  for (int container = 0; container < 9; ++container) {
    FormatMenuEntry e;
    e.format = kFormatAAC;
    e.variant = container;
    e.text = QString::fromUtf8(kAacContainers[container]);
    e.submenu = SetFormatText("AAC");
    e.mayChoose = [container](QWidget* owner, const Settings&) {
      return MayChooseAacContainer(owner, container);
    };
    e.choose = [container](Settings& s) { s.AAC.ContainerFormat = static_cast<int16_t>(container); };
    e.isCurrent = [container](const Settings& s) { return s.AAC.ContainerFormat == container; };
    ui.menu.push_back(e);
  }
  return ui;
}

FormatFamilyUi UserCustomizedFamilyUi() {
  FormatFamilyUi ui;
  FormatMenuEntry e;
  e.format = kFormatUserCustomized;
  e.text = SetFormatText("User-Customized");
  e.section = FormatMenuEntry::kUserCustomized;
  e.mayChoose = [](QWidget* owner, const Settings& s) {
    const std::string refused = CheckCustomEncoder(s.CUSTOM);
    if (refused.empty()) return true;
    ShowMessageBox(owner, QString::fromStdString(refused), QString(), QMessageBox::Critical);
    return false;
  };
  ui.menu.push_back(e);
  return ui;
}

}  // namespace tarvexa
