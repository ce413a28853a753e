#pragma once
// The recorder's icon in the desktop's notification area, with its menu
// ("Resore", "Exit"), tooltip and balloons, and the owner window's
// Minimise and Close going to the tray instead when "MISC" "MinToTray" or
// "CloseToTray" is on.
//
// Many Linux desktops have no notification area (and a headless or
// offscreen session never has one): Create() then answers false and the
// owner carries on without the icon. A window is only ever hidden while the
// icon is there to bring it back: without it (also when the notification
// area goes away later) Minimise and Close keep their normal meaning, with a
// log line that says so.
//
// Left button: a double click runs the menu's default item ("Resore"). So
// does a single click, because trays that speak the StatusNotifierItem
// protocol never report a double click. The right button opens the menu.
// Thread affinity: the user-interface thread.

#include <QtCore/QObject>
#include <QtGui/QIcon>
#include <QtWidgets/QSystemTrayIcon>

#include <functional>
#include <string>

class QMenu;
class QWidget;

namespace tarvexa {

class CSystemTray : public QObject {
  Q_OBJECT

 public:
  static constexpr int kRestoreCommand = 32848;  // "Resore"
  static constexpr int kExitCommand = 32776;     // "Exit"

  using LogFn = std::function<void(const std::string& text, int level)>;
  explicit CSystemTray(QObject* parent = nullptr);
  ~CSystemTray() override;

  // Whether the desktop shows a notification area now. By default
  // QSystemTrayIcon::isSystemTrayAvailable(); tests put their own answer.
  void SetAvailabilityProbe(std::function<bool()> probe);
  bool Available() const;

  // Adds the icon and shows the balloon. False when the desktop has no
  // notification area.
  bool Create(const QString& tooltip, const QIcon& icon, const QString& balloonText,
              const QString& balloonTitle, int balloonSeconds);
  bool IsCreated() const { return tray_ != nullptr; }

  void SetIcon(const QIcon& icon);
  QIcon Icon() const { return icon_; }
  void SetTooltipText(const QString& text);
  QString TooltipText() const { return tooltip_; }
  // False when there is no icon to show it from.
  bool ShowBalloon(const QString& text, const QString& title, QSystemTrayIcon::MessageIcon icon,
                   int seconds);
  void RemoveIcon();

  // The menu's default item, by command (kRestoreCommand, kExitCommand) or
  // by position; drawn bold, run by a click on the icon.
  void SetMenuDefaultItem(int item, bool byPosition);
  QMenu* Menu() const { return menu_; }
  QSystemTrayIcon* TrayIcon() const { return tray_; }
  // What a click on the icon does.
  void RunDefaultItem();

  // Makes window's Minimise and Close go to the tray while the matching
  // setting says so; log receives the line of a fallback.
  void AttachWindow(QWidget* window, std::function<bool()> minToTray,
                    std::function<bool()> closeToTray, LogFn log);
  bool IsWindowHidden() const { return hidden_; }
  // Hides the window into the tray (no taskbar entry) and makes "Resore"
  // the default item. "Resore" asks the owner (restoreRequested) to show
  // it again; any showing of the window ends the hidden state.
  void MinimiseToTray();

 signals:
  void restoreRequested();
  void exitRequested();

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  enum class Request { Minimise, Close };
  // True when the window went to the tray; false when it keeps the normal
  // meaning of the request.
  bool ToTray(Request request);

  QSystemTrayIcon* tray_ = nullptr;
  QMenu* menu_ = nullptr;
  QString tooltip_;
  QIcon icon_;
  std::function<bool()> probe_;

  QWidget* window_ = nullptr;
  std::function<bool()> minToTray_;
  std::function<bool()> closeToTray_;
  LogFn log_;
  bool hidden_ = false;
};

}  // namespace tarvexa
