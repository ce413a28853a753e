#include "app/SystemTray.h"

#include <QtCore/QEvent>
#include <QtCore/QTimer>
#include <QtGui/QAction>
#include <QtGui/QWindowStateChangeEvent>
#include <QtWidgets/QMenu>
#include <QtWidgets/QWidget>

namespace tarvexa {

CSystemTray::CSystemTray(QObject* parent) : QObject(parent) {
  menu_ = new QMenu;
  QAction* restore = menu_->addAction(tr("Resore"));
  restore->setData(kRestoreCommand);
  QAction* exit = menu_->addAction(tr("Exit"));
  exit->setData(kExitCommand);
  connect(restore, &QAction::triggered, this, &CSystemTray::restoreRequested);
  connect(exit, &QAction::triggered, this, &CSystemTray::exitRequested);
  SetMenuDefaultItem(0, true);
}

CSystemTray::~CSystemTray() {
  if (window_) window_->removeEventFilter(this);
  RemoveIcon();
  delete menu_;
}

void CSystemTray::SetAvailabilityProbe(std::function<bool()> probe) { probe_ = std::move(probe); }

bool CSystemTray::Available() const {
  return probe_ ? probe_() : QSystemTrayIcon::isSystemTrayAvailable();
}

bool CSystemTray::Create(const QString& tooltip, const QIcon& icon, const QString& balloonText,
                         const QString& balloonTitle, int balloonSeconds) {
  if (tray_) return true;
  if (!Available()) return false;
  icon_ = icon;
  tray_ = new QSystemTrayIcon(icon, this);
  tray_->setContextMenu(menu_);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    if (r == QSystemTrayIcon::DoubleClick || r == QSystemTrayIcon::Trigger) RunDefaultItem();
  });
  SetTooltipText(tooltip);
  tray_->show();
  if (!balloonText.isEmpty())
    ShowBalloon(balloonText, balloonTitle, QSystemTrayIcon::Information, balloonSeconds);
  return true;
}

void CSystemTray::SetIcon(const QIcon& icon) {
  icon_ = icon;
  if (tray_) tray_->setIcon(icon);
}

void CSystemTray::SetTooltipText(const QString& text) {
  tooltip_ = text.left(127);
  if (tray_) tray_->setToolTip(tooltip_);
}

bool CSystemTray::ShowBalloon(const QString& text, const QString& title,
                              QSystemTrayIcon::MessageIcon icon, int seconds) {
  if (!tray_ || !QSystemTrayIcon::supportsMessages()) return false;
  tray_->showMessage(title.left(63), text.left(255), icon, seconds * 1000);
  return true;
}

void CSystemTray::RemoveIcon() {
  delete tray_;
  tray_ = nullptr;
}

void CSystemTray::SetMenuDefaultItem(int item, bool byPosition) {
  const QList<QAction*> actions = menu_->actions();
  QAction* chosen = nullptr;
  if (byPosition) {
    if (item >= 0 && item < actions.size()) chosen = actions[item];
  } else {
    for (QAction* a : actions)
      if (a->data().toInt() == item) chosen = a;
  }
  if (chosen) menu_->setDefaultAction(chosen);
}

void CSystemTray::RunDefaultItem() {
  if (QAction* a = menu_->defaultAction()) a->trigger();
}

// ------------------------------------------------- minimise and close to tray

void CSystemTray::AttachWindow(QWidget* window, std::function<bool()> minToTray,
                               std::function<bool()> closeToTray, LogFn log) {
  if (window_) window_->removeEventFilter(this);
  window_ = window;
  minToTray_ = std::move(minToTray);
  closeToTray_ = std::move(closeToTray);
  log_ = std::move(log);
  hidden_ = false;
  if (window_) window_->installEventFilter(this);
}

void CSystemTray::MinimiseToTray() {
  if (!window_) return;
  hidden_ = true;
  window_->hide();
  SetMenuDefaultItem(kRestoreCommand, false);
}

bool CSystemTray::ToTray(Request request) {
  const auto& setting = request == Request::Minimise ? minToTray_ : closeToTray_;
  if (hidden_ || !setting || !setting()) return false;
  if (!IsCreated() || !Available()) {
    // Hiding now would leave no way back to the window.
    if (log_)
      log_(request == Request::Minimise
               ? "Warning: there is no notification area to minimize to; the window is minimized "
                 "normally."
               : "Warning: there is no notification area to close to; the program exits.",
           1);
    return false;
  }
  if (request == Request::Close) {
    MinimiseToTray();
  } else {
    // Not from inside the window's own state change.
    hidden_ = true;
    QTimer::singleShot(0, this, [this] {
      if (hidden_) MinimiseToTray();
    });
  }
  return true;
}

bool CSystemTray::eventFilter(QObject* watched, QEvent* e) {
  if (watched != window_) return QObject::eventFilter(watched, e);
  switch (e->type()) {
    case QEvent::Show: hidden_ = false; break;
    case QEvent::WindowStateChange: {
      const auto old = static_cast<QWindowStateChangeEvent*>(e)->oldState();
      if (window_->isMinimized() && !(old & Qt::WindowMinimized)) ToTray(Request::Minimise);
      break;
    }
    case QEvent::Close:
      if (ToTray(Request::Close)) {
        e->ignore();
        return true;
      }
      break;
    default: break;
  }
  return QObject::eventFilter(watched, e);
}

}  // namespace tarvexa
