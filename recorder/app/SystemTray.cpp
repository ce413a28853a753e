#include "app/SystemTray.h"

#include <QtWidgets/QMenu>

namespace tarvexa {

CSystemTray::CSystemTray(QObject* parent) : QObject(parent) {}

CSystemTray::~CSystemTray() { RemoveIcon(); }

bool CSystemTray::Create(const QString& tooltip, const QIcon& icon, const QString& balloonText,
                         const QString& balloonTitle, int balloonSeconds) {
  if (tray_) return true;
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
  menu_ = new QMenu;
  QAction* restore = menu_->addAction(tr("Resore"));
  menu_->setDefaultAction(restore);
  QAction* exit = menu_->addAction(tr("Exit"));
  connect(restore, &QAction::triggered, this, &CSystemTray::restoreRequested);
  connect(exit, &QAction::triggered, this, &CSystemTray::exitRequested);

  tray_ = new QSystemTrayIcon(icon, this);
  tray_->setContextMenu(menu_);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    if (r == QSystemTrayIcon::DoubleClick || r == QSystemTrayIcon::Trigger) emit restoreRequested();
  });
  SetTooltipText(tooltip);
  tray_->show();
  if (!balloonText.isEmpty())
    ShowBalloon(balloonText, balloonTitle, QSystemTrayIcon::Information, balloonSeconds);
  return true;
}

void CSystemTray::SetIcon(const QIcon& icon) {
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
  delete menu_;
  menu_ = nullptr;
}

}  // namespace tarvexa
