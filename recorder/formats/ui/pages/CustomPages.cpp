#include "formats/ui/pages/CustomPages.h"

#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QFileDialog>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QVBoxLayout>

#include <algorithm>
#include <fstream>

#include "encoders/external/CusSetting.h"
#include "encoders/external/CustomEncoderWriter.h"
#include "formats/EncoderPrograms.h"
#include "formats/ui/pages/PageKit.h"
#include "widgets/MessageBox.h"

namespace tarvexa {

using namespace pagekit;

namespace {
// The Config.ini widths of the three texts, less the terminator.
constexpr int kMaxEncoder = 511;
constexpr int kMaxParameter = 1023;
constexpr int kMaxFileExt = 7;
const char kSettingsFilter[] = "Customized Encoder Setting (*.ces)";
}  // namespace

CCustomOption::CCustomOption(Settings& settings, QWidget* parent)
    : OptionPage(QStringLiteral("Encoder::Customized"), settings, parent) {
  encoder_ = new QLineEdit(this);
  encoder_->setMaxLength(kMaxEncoder);
  browse_ = new QPushButton(QStringLiteral("..."), this);
  browse_->setAutoDefault(false);
  parameter_ = new QLineEdit(this);
  parameter_->setMaxLength(kMaxParameter);
  ext_ = new QLineEdit(this);
  ext_->setMaxLength(kMaxFileExt);
  QStringList inputs;
  for (const char* t : kCustomInputTexts) inputs << QString::fromUtf8(t);
  input_ = List(inputs, this);
  detail_ = new QCheckBox(tr("Write Encoding Details to Extrnal.log"), this);
  load_ = new QPushButton(tr("Load"), this);
  save_ = new QPushButton(tr("Save"), this);
  for (QPushButton* b : {load_, save_}) b->setAutoDefault(false);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Caption(tr("User-Customized Encoder Location:"), encoder_, this));
  auto* encoderRow = new QHBoxLayout;
  encoderRow->addWidget(encoder_, 1);
  encoderRow->addWidget(browse_);
  layout->addLayout(encoderRow);
  layout->addWidget(Caption(tr("User-Customized Encoder Parameters:"), parameter_, this));
  layout->addWidget(parameter_);
  auto* hint = new QLabel(tr("You MUST use %of% as the output filename"), this);
  layout->addWidget(hint);
  auto* grid = new QGridLayout;
  AddRow(grid, 0, tr("File Extension:"), ext_, this);
  AddRow(grid, 1, tr("Input Type:"), input_, this);
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid);
  layout->addWidget(detail_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(load_);
  buttons->addWidget(save_);
  buttons->addStretch(1);
  layout->addLayout(buttons);
  layout->addWidget(new QLabel(tr("For more details, please refer to help."), this));
  layout->addStretch(1);

  for (QLineEdit* edit : {encoder_, parameter_, ext_})
    connect(edit, &QLineEdit::textEdited, this, [this] { Changed(); });
  connect(input_, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
  connect(detail_, &QCheckBox::toggled, this, [this] { Changed(); });
  connect(browse_, &QPushButton::clicked, this, [this] {
    const QString path = AskFile(FileKind::Program);
    if (path.isEmpty()) return;
    encoder_->setText(path);
    Changed();
  });
  connect(load_, &QPushButton::clicked, this, [this] {
    const QString path = AskFile(FileKind::LoadSettings);
    if (!path.isEmpty()) LoadSettingsFile(path);
  });
  connect(save_, &QPushButton::clicked, this, [this] {
    const QString path = AskFile(FileKind::SaveSettings);
    if (!path.isEmpty()) SaveSettingsFile(path);
  });
}

QString CCustomOption::AskFile(FileKind kind) {
  if (askFile_) return askFile_(kind);
  QFileDialog dlg(this);
  switch (kind) {
    case FileKind::Program:
      // Programs on Linux carry no extension: any file may be one.
      dlg.setWindowTitle(tr("User-Customized Encoder"));
      dlg.setNameFilter(tr("External Encoder (*)"));
      dlg.setFileMode(QFileDialog::ExistingFile);
      break;
    case FileKind::LoadSettings:
      dlg.setNameFilter(QString::fromUtf8(kSettingsFilter));
      dlg.setFileMode(QFileDialog::ExistingFile);
      break;
    case FileKind::SaveSettings:
      dlg.setNameFilter(QString::fromUtf8(kSettingsFilter));
      dlg.setAcceptMode(QFileDialog::AcceptSave);
      dlg.setDefaultSuffix(QStringLiteral("ces"));
      break;
  }
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return QString();
  return dlg.selectedFiles().first();
}

void CCustomOption::Load() {
  const auto& c = settings_.CUSTOM;
  ext_->setText(QString::fromStdString(c.FileExt));
  encoder_->setText(QString::fromStdString(c.Encoder));
  parameter_->setText(QString::fromStdString(c.Parameter));
  SetChecked(detail_, c.Detail != 0);
  Select(input_, c.Input);
}

void CCustomOption::Store() {
  auto& c = settings_.CUSTOM;
  c.Encoder = encoder_->text().toStdString();
  c.Parameter = parameter_->text().toStdString();
  c.Detail = detail_->isChecked() ? 1 : 0;
  if (input_->currentIndex() >= 0) c.Input = I16(input_->currentIndex());
  c.FileExt = ext_->text().toStdString();
}

void CCustomOption::SaveSettingsFile(const QString& path) {
  const std::string file = path.toStdString();
  // The file is made (or emptied) first; it keeps the settings only when
  // they pass the checks.
  if (!std::ofstream(file, std::ios::binary | std::ios::trunc)) {
    ShowMessageBox(this, QString::fromUtf8(kCesSaveError), QString(), QMessageBox::Warning);
    return;
  }
  CCusSetting s;
  s.encoder = encoder_->text().toStdString();
  s.parameter = parameter_->text().toStdString();
  s.fileExt = ext_->text().toStdString();
  s.input = I16(std::max(0, input_->currentIndex()));
  s.detail = detail_->isChecked() ? 1 : 0;
  const std::string refused = CheckCustomEncoder(s.encoder, s.parameter, s.fileExt);
  if (!refused.empty()) {
    ShowMessageBox(this, QString::fromStdString(refused), QString(), QMessageBox::Critical);
    return;
  }
  std::string error;
  if (!SaveCesFile(file, s, &error)) {
    Log(std::string("An error occurred while saving. ") + error, 1);
    ShowMessageBox(this, QString::fromUtf8(kCesSaveError), QString(), QMessageBox::Warning);
  }
}

void CCustomOption::LoadSettingsFile(const QString& path) {
  CCusSetting s;
  if (!LoadCesFile(path.toStdString(), &s)) {
    ShowMessageBox(this, QString::fromUtf8(kCesLoadError), QString(), QMessageBox::Critical);
    return;
  }
  const std::string refused = CheckCustomEncoder(s.encoder, s.parameter, s.fileExt);
  if (!refused.empty()) {
    ShowMessageBox(this, QString::fromStdString(refused), QString(), QMessageBox::Critical);
    return;
  }
  encoder_->setText(QString::fromStdString(s.encoder));
  parameter_->setText(QString::fromStdString(s.parameter));
  ext_->setText(QString::fromStdString(s.fileExt));
  Select(input_, s.input);
  SetChecked(detail_, s.detail != 0);
  Changed();
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
  ui.pages.push_back(
      {kFormatUserCustomized, [](Settings& s) -> OptionPage* { return new CCustomOption(s); }});
  return ui;
}

}  // namespace tarvexa
