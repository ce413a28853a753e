#include "widgets/CountdownMessageBox.h"

#include <QtWidgets/QAbstractButton>

#include "widgets/MessageBox.h"

namespace tarvexa {

CountdownMessageBox::CountdownMessageBox(QMessageBox::Icon icon, const QString& caption,
                                         const QString& text, QMessageBox::StandardButtons buttons,
                                         QMessageBox::StandardButton defaultButton, int seconds,
                                         QWidget* parent)
    : QMessageBox(icon, caption, text, buttons, parent), default_(defaultButton), left_(seconds) {
  setWindowFlag(Qt::WindowStaysOnTopHint, true);
  setDefaultButton(defaultButton);
  if (QAbstractButton* b = button(defaultButton)) caption_ = b->text();
  timer_.setInterval(1000);
  connect(&timer_, &QTimer::timeout, this, &CountdownMessageBox::Tick);
  UpdateCaption();
}

void CountdownMessageBox::showEvent(QShowEvent* e) {
  QMessageBox::showEvent(e);
  raise();
  activateWindow();
  if (!timer_.isActive()) timer_.start();
}

void CountdownMessageBox::UpdateCaption() {
  if (QAbstractButton* b = button(default_))
    b->setText(caption_ + QStringLiteral(" = ") + QString::number(left_));
}

void CountdownMessageBox::Tick() {
  left_ = std::max(0, left_ - 1);
  UpdateCaption();
  if (left_ == 0) {
    timer_.stop();
    if (QAbstractButton* b = button(default_)) b->click();
  }
}

QMessageBox::StandardButton CountdownMessageBox::Ask(QWidget* parent, const QString& text,
                                                     const QString& caption, QMessageBox::Icon icon,
                                                     QMessageBox::StandardButtons buttons,
                                                     QMessageBox::StandardButton defaultButton,
                                                     int seconds) {
  MessageBoxRequest req;
  req.text = text;
  req.caption = caption;
  req.icon = icon;
  req.buttons = buttons;
  req.defaultButton = defaultButton;
  req.countdownSeconds = seconds;
  QMessageBox::StandardButton answer;
  if (AnswerByHook(req, &answer)) return answer;
  CountdownMessageBox box(icon, caption, text, buttons, defaultButton, seconds, parent);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace tarvexa
