#include "widgets/VisualizerView.h"

#include <QtGui/QPainter>
#include <QtGui/QPainterPath>

namespace tarvexa {

VisualizerView::VisualizerView(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setMinimumSize(120, 56);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void VisualizerView::paintEvent(QPaintEvent* e) {
  {
    QPainter p(this);
    const QRect r = contentsRect();
    p.fillRect(r, QColor(12, 16, 28));
    p.setPen(QColor(40, 60, 90));
    p.drawLine(r.left(), r.center().y(), r.right(), r.center().y());

    int channels = source_ ? source_(samples_) : 0;
    if (channels > 0 && !samples_.empty()) {
      const int frames = static_cast<int>(samples_.size()) / channels;
      const QColor colors[2] = {QColor(80, 220, 120), QColor(90, 170, 255)};
      p.setRenderHint(QPainter::Antialiasing);
      for (int c = 0; c < channels && c < 2; ++c) {
        QPainterPath path;
        const int points = std::min(frames, r.width() * 2);
        for (int i = 0; i < points; ++i) {
          const int frame = static_cast<int>(static_cast<int64_t>(i) * frames / points);
          const double v = samples_[static_cast<size_t>(frame * channels + c)] / 32768.0;
          const double x = r.left() + static_cast<double>(i) * r.width() / points;
          const double y = r.center().y() - v * (r.height() / 2.0 - 2);
          if (i == 0) path.moveTo(x, y);
          else path.lineTo(x, y);
        }
        p.setPen(QPen(colors[c], 1.0));
        p.drawPath(path);
      }
    }
  }
  QFrame::paintEvent(e);
}

}  // namespace tarvexa
