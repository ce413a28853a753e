#include "formats/ui/FormatMenu.h"

#include <QtGui/QActionGroup>

#include "encoders/FlacWriter.h"
#include "formats/EncoderPrograms.h"
#include "formats/FormatCatalogue.h"
#include "widgets/MessageBox.h"

namespace tarvexa {

namespace {
// The AAC entries, by container.
constexpr const char* kAacContainers[9] = {
    "AAC - FAAC Codec", "M4A - FAAC Codec", "M4B - FAAC Codec",
    "MP4 - FAAC Codec", "3GP - Nero Codec", "M4A - Nero Codec",
    "M4B - Nero Codec", "MP4 - Nero Codec", "AAC - CT AAC+ Codec"};

QString SetFormat(const char* what) {
  return QStringLiteral("Set Format: %1").arg(QString::fromUtf8(what));
}
}  // namespace

FormatMenu::FormatMenu(Settings& settings, Hooks hooks, QWidget* parent)
    : QMenu(parent), settings_(settings), hooks_(std::move(hooks)) {
  // One radio mark over the menu and its submenus: the current format.
  group_ = new QActionGroup(this);
  group_->setExclusive(true);
  for (int f : {kFormatWAV, kFormatMP3, kFormatWMA, kFormatOGG, kFormatAPE}) Add(this, SetFormat(FormatTag(f)), f);
  Add(this, SetFormat("FLAC"), kFormatFLAC, 1);
  Add(this, SetFormat("Ogg FLAC"), kFormatFLAC, 0);
  for (int f : {kFormatMP2, kFormatVQF, kFormatAIFF}) Add(this, SetFormat(FormatTag(f)), f);
  QMenu* aac = addMenu(SetFormat("AAC"));
  for (int container = 0; container < 9; ++container)
    Add(aac, QString::fromUtf8(kAacContainers[container]), kFormatAAC, container);
  for (int f : {kFormatMPC, kFormatWV}) Add(this, SetFormat(FormatTag(f)), f);
  addSeparator();
  QMenu* others = addMenu(tr("Other Formats"));
  for (int f = kFormatAU; f <= kFormatSD2; ++f) Add(others, SetFormat(FormatTag(f)), f);
  addSeparator();
  Add(this, SetFormat("User-Customized"), kFormatUserCustomized);

  connect(this, &QMenu::aboutToShow, this, &FormatMenu::MarkCurrent);
}

void FormatMenu::Add(QMenu* menu, const QString& text, int format, int variant) {
  QAction* action = menu->addAction(text);
  const int id = kFirstCommand + static_cast<int>(commands_.size());
  action->setData(id);
  action->setCheckable(true);
  group_->addAction(action);
  commands_.push_back({format, variant, action});
  connect(action, &QAction::triggered, this, [this, id] {
    Run(id);
    MarkCurrent();
  });
}

QAction* FormatMenu::Command(int id) const {
  const int i = id - kFirstCommand;
  return i >= 0 && i < CommandCount() ? commands_[static_cast<size_t>(i)].action : nullptr;
}

int FormatMenu::CommandFor(int format, int container) const {
  for (size_t i = 0; i < commands_.size(); ++i) {
    const auto& c = commands_[i];
    if (c.format != format) continue;
    if (format == kFormatFLAC && c.variant != 1) continue;
    if (format == kFormatAAC && c.variant != container) continue;
    return kFirstCommand + static_cast<int>(i);
  }
  return 0;
}

bool FormatMenu::MayChoose(const Entry& c) {
  QWidget* owner = parentWidget();
  auto ask = [owner](const char* question) {
    return ShowMessageBox(owner, QString::fromUtf8(question), QString(), QMessageBox::Question,
                          QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
  };
  auto warn = [owner](const char* text) {
    ShowMessageBox(owner, QString::fromUtf8(text), QString(), QMessageBox::Warning);
  };
  switch (c.format) {
    case kFormatFLAC:
      return c.variant != 0 || ask(kOggFlacQuestion);
    case kFormatAAC:
      if (c.variant >= 4 && c.variant <= 7 && !NeroAacEncoderPresent()) {
        warn(kNeroAacNotFound);
        return false;
      }
      if (c.variant == 8 && !CtAacEncoderPresent()) {
        warn(kCtAacNotFound);
        return false;
      }
      return (c.variant != 0 && c.variant != 8) || ask(kRawAacQuestion);
    case kFormatUserCustomized: {
      const std::string refused = CheckCustomEncoder(settings_.CUSTOM);
      if (refused.empty()) return true;
      ShowMessageBox(owner, QString::fromStdString(refused), QString(), QMessageBox::Critical);
      return false;
    }
    default:
      return true;
  }
}

bool FormatMenu::Run(int id) {
  const int i = id - kFirstCommand;
  if (i < 0 || i >= CommandCount()) return false;
  const Entry& c = commands_[static_cast<size_t>(i)];
  if (hooks_.confirmStop && !hooks_.confirmStop()) return false;
  if (!MayChoose(c)) return false;
  if (c.format == kFormatFLAC) settings_.FLAC.Native = c.variant;
  if (c.format == kFormatAAC) settings_.AAC.ContainerFormat = static_cast<int16_t>(c.variant);
  settings_.OUTPUT.OutputFormat = static_cast<int16_t>(c.format);
  if (hooks_.apply) hooks_.apply();
  return true;
}

void FormatMenu::MarkCurrent() {
  const int format = settings_.OUTPUT.OutputFormat;
  for (const Entry& c : commands_) {
    bool current = c.format == format;
    if (current && format == kFormatFLAC) current = (settings_.FLAC.Native != 0) == (c.variant == 1);
    if (current && format == kFormatAAC) current = settings_.AAC.ContainerFormat == c.variant;
    c.action->setChecked(current);
  }
}

}  // namespace tarvexa
