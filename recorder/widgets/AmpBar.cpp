#include "widgets/AmpBar.h"

#include <QtGui/QLinearGradient>
#include <QtGui/QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "components/visual/Levels.h"

namespace tarvexa {

AmpBar::AmpBar(const QString& label, QWidget* parent) : QWidget(parent), label_(label) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void AmpBar::LevelsOf(const int16_t* samples, size_t count, int channels, int* left, int* right) {
  const BlockLevels levels = tarvexa::LevelsOf(samples, count, channels);
  *left = levels.left;
  *right = levels.right;
}

void AmpBar::SetLevel(int level) {
  if (level == level_) return;
  level_ = level;
  update();
}

QSize AmpBar::sizeHint() const { return {160, fontMetrics().height() + 6}; }

void AmpBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int labelWidth = fontMetrics().horizontalAdvance(QStringLiteral("MM"));
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(QRect(0, 0, labelWidth, height()), Qt::AlignVCenter | Qt::AlignLeft, label_);

  QRect bar(labelWidth, 2, width() - labelWidth - 1, height() - 5);
  p.setPen(palette().color(QPalette::Mid));
  p.setBrush(QColor(24, 24, 32));
  p.drawRect(bar);
  if (AtRest()) return;

  // The lower 40 dB of the range carry no music; the bar shows the rest.
  const double floor = 40.0;
  const double f = std::clamp((level_ - floor) / (kFullScale - floor), 0.0, 1.0);
  QRect fill = bar.adjusted(1, 1, 0, 0);
  fill.setWidth(static_cast<int>(fill.width() * f));
  QLinearGradient g(bar.topLeft(), bar.topRight());
  g.setColorAt(0.0, QColor(40, 170, 60));
  g.setColorAt(0.75, QColor(220, 200, 40));
  g.setColorAt(1.0, QColor(220, 40, 30));
  p.fillRect(fill, g);
}

}  // namespace tarvexa
