#pragma once
// The recorder's icon in the desktop's notification area, with its menu
// ("Resore", "Exit"), tooltip and balloons. Many Linux desktops have no
// notification area (and a headless or offscreen session never has one):
// Create() then answers false and the owner carries on without the icon.
// Thread affinity: the user-interface thread.

#include <QtCore/QObject>
#include <QtGui/QIcon>
#include <QtWidgets/QSystemTrayIcon>

class QMenu;

namespace tarvexa {

class CSystemTray : public QObject {
  Q_OBJECT

 public:
  explicit CSystemTray(QObject* parent = nullptr);
  ~CSystemTray() override;

  // Adds the icon and shows the balloon. False when the desktop has no
  // notification area.
  bool Create(const QString& tooltip, const QIcon& icon, const QString& balloonText,
              const QString& balloonTitle, int balloonSeconds);
  bool IsCreated() const { return tray_ != nullptr; }

  void SetIcon(const QIcon& icon);
  void SetTooltipText(const QString& text);
  QString TooltipText() const { return tooltip_; }
  // False when there is no icon to show it from.
  bool ShowBalloon(const QString& text, const QString& title, QSystemTrayIcon::MessageIcon icon,
                   int seconds);
  void RemoveIcon();

 signals:
  void restoreRequested();
  void exitRequested();

 private:
  QSystemTrayIcon* tray_ = nullptr;
  QMenu* menu_ = nullptr;
  QString tooltip_;
};

}  // namespace tarvexa
