#include "app/LogPage.h"

#include <QtGui/QTextCharFormat>
#include <QtGui/QTextCursor>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QPlainTextEdit>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QScrollBar>
#include <QtWidgets/QVBoxLayout>

#include "config/Settings.h"
#include "platform/EventLog.h"

namespace tarvexa {

LogPage::LogPage(Settings& settings, EventLog& log, QWidget* parent)
    : QWidget(parent), settings_(settings), log_(log) {
  view_ = new QPlainTextEdit(this);
  view_->setReadOnly(true);
  view_->setUndoRedoEnabled(false);
  view_->setLineWrapMode(QPlainTextEdit::NoWrap);
  view_->setObjectName(QStringLiteral("logView"));
  clear_ = new QPushButton(tr("Clear"), this);
  writeLog_ = new QCheckBox(tr("Write Log File"), this);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(writeLog_);
  buttons->addStretch(1);
  buttons->addWidget(clear_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_, 1);
  layout->addLayout(buttons);

  connect(clear_, &QPushButton::clicked, this, &LogPage::Clear);
  connect(writeLog_, &QCheckBox::toggled, this, [this](bool on) {
    settings_.MISC.WriteLog = on ? 1 : 0;
    log_.SetWriteLog(on);
  });
  Stabilize();
}

void LogPage::Load() {
  QSignalBlocker block(writeLog_);
  writeLog_->setChecked(settings_.MISC.WriteLog != 0);
}

QColor LogPage::LevelColor(int level, bool* shown) {
  if (shown) *shown = true;
  switch (level) {
    case -1:
    case 0: return QColor(0, 0, 255);
    case 1: return QColor(153, 0, 0);
    case 2: return QColor(255, 0, 0);
    default:
      if (shown) *shown = false;
      return QColor();
  }
}

void LogPage::Append(const QString& line, int level) {
  bool shown = false;
  const QColor color = LevelColor(level, &shown);
  if (!shown) return;
  QScrollBar* bar = view_->verticalScrollBar();
  const bool atEnd = bar->value() >= bar->maximum() - 2;
  QTextCharFormat fmt;
  fmt.setForeground(color);
  QTextCursor cursor(view_->document());
  cursor.movePosition(QTextCursor::End);
  if (!view_->document()->isEmpty()) cursor.insertBlock();
  cursor.insertText(line, fmt);
  // Follow the end unless the user has scrolled back to read.
  if (atEnd) bar->setValue(bar->maximum());
  Stabilize();
}

void LogPage::Clear() {
  view_->clear();
  Stabilize();
  emit cleared();
}

void LogPage::Stabilize() { clear_->setEnabled(!view_->document()->isEmpty()); }

}  // namespace tarvexa
