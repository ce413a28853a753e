#include "widgets/MessageBox.h"

namespace tarvexa {

namespace {
MessageBoxHook& Hook() {
  static MessageBoxHook hook;
  return hook;
}
}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) { Hook() = std::move(hook); }
bool HasMessageBoxHook() { return static_cast<bool>(Hook()); }

bool AnswerByHook(const MessageBoxRequest& request, QMessageBox::StandardButton* answer) {
  if (!Hook()) return false;
  *answer = Hook()(request);
  return true;
}

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const QString& text,
                                           const QString& caption, QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton) {
  MessageBoxRequest req;
  req.text = text;
  req.caption = caption.isEmpty() ? QString::fromUtf8(kAppCaption) : caption;
  req.icon = icon;
  req.buttons = buttons;
  req.defaultButton = defaultButton;
  QMessageBox::StandardButton answer;
  if (AnswerByHook(req, &answer)) return answer;

  QMessageBox box(icon, req.caption, text, buttons, parent);
  if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace tarvexa
