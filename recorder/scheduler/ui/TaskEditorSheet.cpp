#include "scheduler/ui/TaskEditorSheet.h"

#include <QtWidgets/QDialogButtonBox>
#include <QtWidgets/QTabWidget>
#include <QtWidgets/QVBoxLayout>

#include "formats/FormatCatalogue.h"
#include "scheduler/ui/TaskGeneralPage.h"
#include "scheduler/ui/TaskOverridePage.h"
#include "widgets/MessageBox.h"

namespace tarvexa {

TaskEditorSheet::TaskEditorSheet(const CTask& task, bool isNew, std::vector<std::string> titles,
                                 const Settings& global, std::function<bool()> busy,
                                 QWidget* parent)
    : QDialog(parent),
      task_(task),
      isNew_(isNew),
      titles_(std::move(titles)),
      global_(global),
      busy_(std::move(busy)) {
  setWindowTitle(tr("Scheduled Task Properties"));
  tabs_ = new QTabWidget(this);
  general_ = new TaskGeneralPage(tabs_);
  override_ = new TaskOverridePage(tabs_);
  tabs_->addTab(general_, QStringLiteral("  General "));
  tabs_->addTab(override_, QStringLiteral(" Override "));
  general_->SetExtensionSource([this] { return OutputExtension(); });
  general_->Load(task_);
  override_->Load(task_, global_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TaskEditorSheet::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TaskEditorSheet::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_, 1);
  layout->addWidget(buttons);
  tabs_->setCurrentIndex(0);
}

std::string TaskEditorSheet::OutputExtension() const {
  const int own = override_->OverrideFormat();
  return FileExtensionFor(own > 0 ? own : global_.OUTPUT.OutputFormat, global_);
}

void TaskEditorSheet::ShowGeneral() { tabs_->setCurrentWidget(general_); }

void TaskEditorSheet::accept() {
  if (busy_ && busy_()) return;
  CTask t = task_;
  general_->Store(t);
  override_->Store(t);
  if (t.title.empty()) {
    ShowGeneral();
    ShowMessageBox(this, tr("Task Title is Required!"));
    return;
  }
  if (isNew_) {
    const QString title = QString::fromStdString(t.title);
    for (const std::string& other : titles_) {
      if (QString::fromStdString(other).compare(title, Qt::CaseInsensitive) == 0) {
        ShowGeneral();
        ShowMessageBox(this,
                       tr("The Task %1 Already Exists, Please Specify Another Title!").arg(title));
        return;
      }
    }
  }
  if (t.outputFile.empty()) {
    ShowGeneral();
    ShowMessageBox(this, tr("Output Filename is Required!"));
    return;
  }
  if (t.confirmSecs < kMinConfirmSecs || t.confirmSecs > kMaxConfirmSecs) {
    ShowMessageBox(
        this, tr("The Time Length of Showing Confirmation Dialog Must Be between 5 and 180 Secs!"));
    return;
  }
  task_ = t;
  QDialog::accept();
}

}  // namespace tarvexa
