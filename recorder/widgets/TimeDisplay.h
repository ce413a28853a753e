#pragma once
// The elapsed recording time: hours, minutes, seconds and tenths in large
// digits. Colours follow the desktop's button face with dark blue digits.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QWidget>

namespace tarvexa {

class TimeDisplay : public QWidget {
  Q_OBJECT

 public:
  explicit TimeDisplay(QWidget* parent = nullptr);

  // Elapsed time in milliseconds.
  void SetTime(qint64 ms);
  qint64 Time() const { return ms_; }
  QString Text() const;  // "00:02:30.0"

  void SetColors(const QColor& background, const QColor& digits);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  qint64 ms_ = 0;
  QColor background_;
  QColor digits_;
};

}  // namespace tarvexa
