#include "app/NamingRuleDlg.h"

#include <QtWidgets/QComboBox>
#include <QtWidgets/QDialogButtonBox>
#include <QtWidgets/QFormLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QSpinBox>
#include <QtWidgets/QVBoxLayout>

#include <algorithm>
#include <ctime>

#include "config/Settings.h"
#include "recording/NamingRule.h"
#include "widgets/MessageBox.h"

namespace tarvexa {

namespace {
constexpr const char* kSampleTitle = "So Far So Good";
}

QString NamingRuleDlg::OriginalFileName() {
  return QStringLiteral("/home/user/") + QString::fromUtf8(kSampleTitle) + QStringLiteral(".mp3");
}

NamingRuleDlg::NamingRuleDlg(Settings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
  setWindowTitle(tr("Naming Rule"));
  rule_ = new QLineEdit(QString::fromStdString(settings_.MISC.RenameStr), this);
  rule_->setMaxLength(1023);
  width_ = new QSpinBox(this);
  width_->setRange(1, 10);
  width_->setValue(std::clamp<int>(settings_.MISC.Rename, 1, 10));
  timestamp_ = new QComboBox(this);
  for (int i = 0; i <= 5; ++i) timestamp_->addItem(QString::fromUtf8(TimestampTypeText(i)));
  timestamp_->setCurrentIndex(std::clamp<int>(settings_.MISC.timestamp, 0, 5));
  sample_ = new QLabel(this);
  sample_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* help = new QLabel(
      tr("Split clips are named by this rule: %of% stands for the name of the first file, "
         "%sc% for the number of the clip, %ts% for the time the clip starts."),
      this);
  help->setWordWrap(true);

  auto* form = new QFormLayout;
  form->addRow(tr("Naming Rule:"), rule_);
  form->addRow(tr("Splitted Count Width:"), width_);
  form->addRow(tr("Timestamp:"), timestamp_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &NamingRuleDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &NamingRuleDlg::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(help);
  layout->addLayout(form);
  layout->addSpacing(6);
  layout->addWidget(new QLabel(tr("Original Output Filename: ") + OriginalFileName(), this));
  layout->addWidget(sample_);
  layout->addWidget(buttons);

  connect(rule_, &QLineEdit::textChanged, this, &NamingRuleDlg::RebuildSample);
  connect(width_, &QSpinBox::valueChanged, this, &NamingRuleDlg::RebuildSample);
  connect(timestamp_, &QComboBox::currentIndexChanged, this, &NamingRuleDlg::RebuildSample);
  RebuildSample();
  resize(sizeHint().expandedTo(QSize(460, 0)));
}

QString NamingRuleDlg::SampleText() const {
  const std::string name =
      ExpandNamingRule(rule_->text().toStdString(), kSampleTitle, 1, width_->value(),
                       timestamp_->currentIndex(), std::time(nullptr));
  return QString::fromStdString(name) + QStringLiteral(".mp3");
}

void NamingRuleDlg::RebuildSample() {
  sample_->setText(tr("Splitted Clip Filename: ") + SampleText());
}

void NamingRuleDlg::accept() {
  const std::string problem = CheckNamingRule(rule_->text().toStdString());
  if (!problem.empty()) {
    ShowMessageBox(this, QString::fromStdString(problem), QString(), QMessageBox::Critical);
    rule_->setText(QString::fromUtf8(kDefaultNamingRule));
    RebuildSample();
    return;
  }
  settings_.MISC.RenameStr = rule_->text().toStdString();
  settings_.MISC.Rename = static_cast<int16_t>(width_->value());
  settings_.MISC.timestamp = static_cast<int16_t>(timestamp_->currentIndex());
  QDialog::accept();
}

}  // namespace tarvexa
