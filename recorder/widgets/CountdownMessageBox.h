#pragma once
// A confirmation box that presses its default button by itself: the button
// shows its caption followed by " = " and the seconds left, and is pressed
// when the count reaches 0. Used before the power actions that follow an
// unattended recording. The box stays on top and comes to the front.
// Thread affinity: the user-interface thread.

#include <QtCore/QTimer>
#include <QtWidgets/QMessageBox>

namespace tarvexa {

class CountdownMessageBox : public QMessageBox {
  Q_OBJECT

 public:
  CountdownMessageBox(QMessageBox::Icon icon, const QString& caption, const QString& text,
                      QMessageBox::StandardButtons buttons,
                      QMessageBox::StandardButton defaultButton, int seconds,
                      QWidget* parent = nullptr);

  int SecondsLeft() const { return left_; }
  QString DefaultCaption() const { return caption_; }

  // Shows the box (or asks the message-box hook when one is installed) and
  // returns the button pressed.
  static QMessageBox::StandardButton Ask(QWidget* parent, const QString& text,
                                         const QString& caption, QMessageBox::Icon icon,
                                         QMessageBox::StandardButtons buttons,
                                         QMessageBox::StandardButton defaultButton, int seconds);

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  void Tick();
  void UpdateCaption();

  QTimer timer_;
  QString caption_;
  QMessageBox::StandardButton default_;
  int left_;
};

}  // namespace tarvexa
