#pragma once
// Every message box of the recorder goes through ShowMessageBox, so that the
// same texts, icons and buttons reach the user everywhere, and so that a
// program without a user (tests, the benchmark, screenshots) can install a
// hook that answers instead of a person.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QMessageBox>

#include <functional>

namespace tarvexa {

struct MessageBoxRequest {
  QString text;
  QString caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  int countdownSeconds = 0;  // > 0 for a box that presses its default by itself
};

// Answers a box instead of showing it.
using MessageBoxHook = std::function<QMessageBox::StandardButton(const MessageBoxRequest&)>;
void SetMessageBoxHook(MessageBoxHook hook);
bool HasMessageBoxHook();
// For boxes built elsewhere (the countdown box): the hook's answer, when a
// hook is installed.
bool AnswerByHook(const MessageBoxRequest& request, QMessageBox::StandardButton* answer);

// The recorder's caption for its own boxes.
inline constexpr const char* kAppCaption = "Tarvexa Sound Recorder";

// Shows a modal box and returns the button pressed. An empty caption gives
// the program's name.
QMessageBox::StandardButton ShowMessageBox(
    QWidget* parent, const QString& text, const QString& caption = QString(),
    QMessageBox::Icon icon = QMessageBox::NoIcon,
    QMessageBox::StandardButtons buttons = QMessageBox::Ok,
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

}  // namespace tarvexa
