#include "scheduler/ui/TaskGeneralPage.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QRegularExpression>
#include <QtCore/QStandardPaths>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QDateEdit>
#include <QtWidgets/QFileDialog>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QSpinBox>
#include <QtWidgets/QTimeEdit>

namespace tarvexa {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QPushButton* BrowseButton(QWidget* parent) {
  auto* b = new QPushButton(QStringLiteral("..."), parent);
  b->setAutoDefault(false);
  b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
  return b;
}

}  // namespace

QString QuoteAsOneWord(const QString& path) {
  static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+,:@%=-]+$"));
  if (plain.match(path).hasMatch()) return path;
  QString quoted = path;
  quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
  return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

TaskGeneralPage::TaskGeneralPage(QWidget* parent) : QWidget(parent) {
  title_ = new QLineEdit(this);
  date_ = new QDateEdit(this);
  date_->setCalendarPopup(true);
  date_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  time_ = new QTimeEdit(this);
  time_->setDisplayFormat(QStringLiteral("HH:mm:ss"));
  mode_ = new QComboBox(this);
  for (int m = 0; m < kModeCount; ++m) mode_->addItem(Q(ModeEditorLabel(m)));
  mode_->setMaxVisibleItems(14);
  output_ = new QLineEdit(this);
  outputBrowse_ = BrowseButton(this);
  runApp_ = new QCheckBox(tr("Run App:"), this);
  runApp_->setToolTip(
      QStringLiteral("Run an application, for example, the audio program (such as Windows Media "
                     "Player) you want to "
                     "record.\nYou can also input the parameters of the application."));
  app_ = new QLineEdit(this);
  appBrowse_ = BrowseButton(this);
  openUrl_ = new QCheckBox(tr("Open URL:"), this);
  openUrl_->setToolTip(
      QStringLiteral("Open a URL, for example, the URL of the internet radio station."));
  url_ = new QLineEdit(this);
  active_ = new QCheckBox(tr("Activate the Task"), this);
  confirm_ = new QCheckBox(tr("Show Confirm Dialog for"), this);
  confirmSecs_ = new QSpinBox(this);
  confirmSecs_->setRange(0, 9999);
  confirmSecs_->setAlignment(Qt::AlignRight);

  auto* grid = new QGridLayout(this);
  int row = 0;
  grid->addWidget(new QLabel(tr("Task Title:"), this), row, 0);
  grid->addWidget(title_, row++, 1, 1, 3);
  auto* start = new QHBoxLayout;
  start->addWidget(date_);
  start->addWidget(time_);
  start->addWidget(mode_, 1);
  grid->addWidget(new QLabel(tr("Start:"), this), row, 0);
  grid->addLayout(start, row++, 1, 1, 3);
  grid->addWidget(new QLabel(tr("Output File:"), this), row, 0);
  grid->addWidget(output_, row, 1, 1, 2);
  grid->addWidget(outputBrowse_, row++, 3);
  grid->addWidget(runApp_, row, 0);
  grid->addWidget(app_, row, 1, 1, 2);
  grid->addWidget(appBrowse_, row++, 3);
  grid->addWidget(openUrl_, row, 0);
  grid->addWidget(url_, row++, 1, 1, 3);
  grid->addWidget(active_, row++, 0, 1, 4);
  auto* confirm = new QHBoxLayout;
  confirm->addWidget(confirm_);
  confirm->addWidget(confirmSecs_);
  confirm->addWidget(new QLabel(tr("Secs"), this));
  confirm->addStretch(1);
  grid->addLayout(confirm, row++, 0, 1, 4);
  grid->setRowStretch(row, 1);
  grid->setColumnStretch(1, 1);

  connect(mode_, &QComboBox::currentIndexChanged, this, &TaskGeneralPage::Stabilize);
  for (QCheckBox* b : {runApp_, openUrl_, confirm_})
    connect(b, &QCheckBox::toggled, this, &TaskGeneralPage::Stabilize);
  connect(outputBrowse_, &QPushButton::clicked, this, &TaskGeneralPage::BrowseOutput);
  connect(appBrowse_, &QPushButton::clicked, this, &TaskGeneralPage::BrowseApp);
}

void TaskGeneralPage::Load(const CTask& t) {
  title_->setText(Q(t.title));
  const QDate date(t.startYear, t.startMonth, t.startDay);
  date_->setDate(date.isValid() ? date : QDate::currentDate());
  time_->setTime(QTime(t.startHour % 24, t.startMinute % 60, t.startSecond % 60));
  mode_->setCurrentIndex(t.mode < kModeCount ? t.mode : 0);
  output_->setText(Q(t.outputFile));
  runApp_->setChecked(t.runApp != 0);
  app_->setText(Q(t.appCommand));
  openUrl_->setChecked(t.openUrl != 0);
  url_->setText(Q(t.url));
  active_->setChecked(t.active != 0);
  confirm_->setChecked(t.confirm != 0);
  confirmSecs_->setValue(t.confirmSecs);
  Stabilize();
}

void TaskGeneralPage::Store(CTask& t) const {
  confirmSecs_->interpretText();
  t.title = title_->text().toStdString();
  t.startYear = static_cast<uint16_t>(date_->date().year());
  t.startMonth = static_cast<uint16_t>(date_->date().month());
  t.startDay = static_cast<uint16_t>(date_->date().day());
  t.startHour = static_cast<uint16_t>(time_->time().hour());
  t.startMinute = static_cast<uint16_t>(time_->time().minute());
  t.startSecond = static_cast<uint16_t>(time_->time().second());
  t.mode = static_cast<uint16_t>(mode_->currentIndex());
  t.outputFile = output_->text().toStdString();
  t.runApp = runApp_->isChecked();
  t.appCommand = app_->text().toStdString();
  t.openUrl = openUrl_->isChecked();
  t.url = url_->text().toStdString();
  t.active = active_->isChecked();
  t.confirm = confirm_->isChecked();
  t.confirmSecs = static_cast<uint16_t>(confirmSecs_->value());
}

void TaskGeneralPage::Stabilize() {
  // The date matters only to a task that starts once.
  date_->setEnabled(mode_->currentIndex() == kModeOnce);
  app_->setEnabled(runApp_->isChecked());
  appBrowse_->setEnabled(runApp_->isChecked());
  url_->setEnabled(openUrl_->isChecked());
  confirmSecs_->setEnabled(confirm_->isChecked());
}

QString TaskGeneralPage::Ask(bool save, const QString& filter, const QString& suffix) {
  if (asker_) return asker_(save, filter, suffix);
  QFileDialog dlg(this);
  dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dlg.setNameFilter(filter);
  if (!suffix.isEmpty()) dlg.setDefaultSuffix(suffix);
  const QString current = save ? output_->text() : QString();
  if (!current.isEmpty()) {
    dlg.setDirectory(QFileInfo(current).absolutePath());
    dlg.selectFile(current);
  } else if (save) {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    dlg.setDirectory(QDir(music).exists() ? music : QDir::homePath());
  } else {
    dlg.setDirectory(QStringLiteral("/usr/bin"));
  }
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return QString();
  return dlg.selectedFiles().first();
}

void TaskGeneralPage::BrowseOutput() {
  const QString ext = Q(extension_ ? extension_() : std::string());
  const QString path = Ask(true, QStringLiteral("(*%1)").arg(ext), ext.mid(1));
  if (!path.isEmpty()) output_->setText(path);
}

void TaskGeneralPage::BrowseApp() {
  const QString path = Ask(false, tr("Application (*)"), QString());
  // The chosen program replaces whatever was typed, its parameters too.
  if (!path.isEmpty()) app_->setText(QuoteAsOneWord(path));
}

}  // namespace tarvexa
