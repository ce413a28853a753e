#include "widgets/Icons.h"

#include <QtGui/QPainter>
#include <QtGui/QPainterPath>
#include <QtGui/QPixmap>

#include <functional>

namespace tarvexa::icons {

namespace {

QIcon Draw(const std::function<void(QPainter&, double)>& paint) {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p, size);
    icon.addPixmap(pm);
  }
  return icon;
}

// A microphone on a dark blue rounded square.
void ProgramBase(QPainter& p, double s) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(22, 48, 110));
  p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.18, s * 0.18);
  p.setBrush(QColor(235, 240, 250));
  p.drawRoundedRect(QRectF(s * 0.36, s * 0.14, s * 0.28, s * 0.44), s * 0.14, s * 0.14);
  QPen stand(QColor(235, 240, 250), std::max(1.0, s * 0.07));
  stand.setCapStyle(Qt::RoundCap);
  p.setPen(stand);
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(s * 0.26, s * 0.30, s * 0.48, s * 0.40), 200 * 16, 140 * 16);
  p.drawLine(QPointF(s * 0.5, s * 0.71), QPointF(s * 0.5, s * 0.84));
  p.drawLine(QPointF(s * 0.36, s * 0.86), QPointF(s * 0.64, s * 0.86));
}

void Dot(QPainter& p, double s, const QColor& c) {
  p.setPen(QPen(Qt::white, std::max(1.0, s * 0.04)));
  p.setBrush(c);
  p.drawEllipse(QRectF(s * 0.56, s * 0.56, s * 0.42, s * 0.42));
}

}  // namespace

QIcon Program() { return Draw(ProgramBase); }

QIcon Recording() {
  return Draw([](QPainter& p, double s) {
    ProgramBase(p, s);
    Dot(p, s, QColor(220, 30, 30));
  });
}

QIcon Paused() {
  return Draw([](QPainter& p, double s) {
    ProgramBase(p, s);
    Dot(p, s, QColor(230, 160, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(s * 0.69, s * 0.67, s * 0.05, s * 0.20));
    p.drawRect(QRectF(s * 0.80, s * 0.67, s * 0.05, s * 0.20));
  });
}

QIcon Record() {
  return Draw([](QPainter& p, double s) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(210, 30, 30));
    p.drawEllipse(QRectF(s * 0.18, s * 0.18, s * 0.64, s * 0.64));
  });
}

QIcon Pause() {
  return Draw([](QPainter& p, double s) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 60, 70));
    p.drawRect(QRectF(s * 0.24, s * 0.2, s * 0.18, s * 0.6));
    p.drawRect(QRectF(s * 0.58, s * 0.2, s * 0.18, s * 0.6));
  });
}

QIcon Stop() {
  return Draw([](QPainter& p, double s) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 60, 70));
    p.drawRect(QRectF(s * 0.22, s * 0.22, s * 0.56, s * 0.56));
  });
}

}  // namespace tarvexa::icons
