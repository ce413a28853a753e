#include "widgets/TimeDisplay.h"

#include <QtGui/QFontDatabase>
#include <QtGui/QPainter>

namespace tarvexa {

TimeDisplay::TimeDisplay(QWidget* parent)
    : QWidget(parent), background_(palette().color(QPalette::Button)), digits_(0, 0, 153) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void TimeDisplay::SetTime(qint64 ms) {
  if (ms == ms_) return;
  ms_ = ms;
  update();
}

QString TimeDisplay::Text() const {
  const qint64 tenths = ms_ / 100;
  return QStringLiteral("%1:%2:%3.%4")
      .arg(tenths / 36000, 2, 10, QLatin1Char('0'))
      .arg((tenths / 600) % 60, 2, 10, QLatin1Char('0'))
      .arg((tenths / 10) % 60, 2, 10, QLatin1Char('0'))
      .arg(tenths % 10);
}

void TimeDisplay::SetColors(const QColor& background, const QColor& digits) {
  background_ = background;
  digits_ = digits;
  update();
}

static QFont DigitFont(int pixelSize) {
  QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  f.setPixelSize(pixelSize);
  f.setBold(true);
  return f;
}

QSize TimeDisplay::sizeHint() const {
  QFontMetrics fm(DigitFont(30));
  return {fm.horizontalAdvance(QStringLiteral("00:00:00.0")) + 24, fm.height() + 14};
}

QSize TimeDisplay::minimumSizeHint() const { return sizeHint(); }

void TimeDisplay::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  p.setPen(palette().color(QPalette::Mid));
  p.setBrush(background_);
  p.drawRoundedRect(r, 4, 4);
  p.setPen(digits_);
  p.setFont(DigitFont(30));
  p.drawText(rect(), Qt::AlignCenter, Text());
}

}  // namespace tarvexa
