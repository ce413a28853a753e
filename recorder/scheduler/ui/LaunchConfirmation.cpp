#include "scheduler/ui/LaunchConfirmation.h"

#include "scheduler/Scheduler.h"
#include "widgets/CountdownMessageBox.h"
#include "widgets/MessageBox.h"

namespace tarvexa {

bool AskLaunchConfirmation(QWidget* parent, const CTask& task) {
  return CountdownMessageBox::Ask(parent, QString::fromStdString(ConfirmLaunchText(task)),
                                  QString::fromUtf8(kAppCaption), QMessageBox::NoIcon,
                                  QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok,
                                  task.confirmSecs) == QMessageBox::Ok;
}

}  // namespace tarvexa
