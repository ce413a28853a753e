#include "widgets/VisualizerView.h"

#include <QtGui/QLinearGradient>
#include <QtGui/QPainter>
#include <QtGui/QPainterPath>
#include <QtGui/QResizeEvent>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace tarvexa {

namespace {

using Stops = std::array<QColor, 3>;  // low, middle, high

QColor Rgb(uint32_t rgb, int alpha = 255) {
  return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF, alpha);
}

Stops PaletteStops(const VisualFrame& f) {
  switch (f.palette) {
    case VisualFrame::kPhosphor:
      return {QColor(40, 160, 90), QColor(90, 255, 150), QColor(200, 255, 210)};
    case VisualFrame::kLinear:
      return {QColor(40, 90, 200), QColor(80, 190, 255), QColor(225, 248, 255)};
    case VisualFrame::kNormal:
      return {QColor(40, 200, 70), QColor(235, 220, 40), QColor(235, 55, 40)};
    case VisualFrame::kFire:
      return {QColor(150, 10, 0), QColor(250, 120, 0), QColor(255, 240, 160)};
    case VisualFrame::kGlass:
      return {QColor(30, 110, 230, 170), QColor(90, 200, 255, 200), QColor(215, 245, 255, 235)};
    case VisualFrame::kKryptonite:
      return {QColor(15, 110, 30), QColor(60, 230, 80), QColor(200, 255, 170)};
    default: return {Rgb(f.colours[0]), Rgb(f.colours[1]), Rgb(f.colours[2])};
  }
}

QColor Mix(const QColor& a, const QColor& b, double t) {
  auto m = [t](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * t)); };
  return QColor(m(a.red(), b.red()), m(a.green(), b.green()), m(a.blue(), b.blue()),
                m(a.alpha(), b.alpha()));
}

// The colour of height v (0..1) on a three-stop scale.
QColor At(const Stops& s, double v) {
  v = std::clamp(v, 0.0, 1.0);
  return v < 0.5 ? Mix(s[0], s[1], v * 2) : Mix(s[1], s[2], (v - 0.5) * 2);
}

QColor PeakColour(const VisualFrame& f, const Stops& s) {
  switch (f.palette) {
    case VisualFrame::kNormal:
    case VisualFrame::kLinear: return QColor(255, 255, 255, 220);
    case VisualFrame::kGlass: return QColor(235, 250, 255);
    case VisualFrame::kKryptonite: return QColor(210, 255, 190);
    default: return s[2].lighter(120);
  }
}

QColor BackgroundColour(const VisualFrame& f) {
  switch (f.palette) {
    case VisualFrame::kPhosphor: return QColor(6, 20, 12);
    case VisualFrame::kFire: return QColor(0, 0, 0);
    case VisualFrame::kGlass: return QColor(4, 10, 24);
    case VisualFrame::kKryptonite: return QColor(3, 10, 5);
    case VisualFrame::kCustom: return QColor(6, 6, 10);
    default: return QColor(10, 12, 22);
  }
}

// The rectangles of the rows of a frame within r.
int RowRects(const VisualFrame& f, const QRect& r, QRect out[2]) {
  const int rows = std::clamp(f.rows, 1, 2);
  if (rows == 1 || f.style == VisualFrame::kMirror) {
    out[0] = r;
    return 1;
  }
  if (RowsSideBySide(f.style)) {
    const int half = r.width() / 2;
    out[0] = QRect(r.left(), r.top(), half - 1, r.height());
    out[1] = QRect(r.left() + half + 1, r.top(), r.width() - half - 1, r.height());
  } else {
    const int half = r.height() / 2;
    out[0] = QRect(r.left(), r.top(), r.width(), half);
    out[1] = QRect(r.left(), r.top() + half, r.width(), r.height() - half);
  }
  return 2;
}

// Pixel columns of band i of n in a row: [x0, x1).
void BandColumns(const QRect& r, const VisualFrame& f, int i, int n, int* x0, int* x1) {
  const double step = static_cast<double>(r.width()) / n;
  *x0 = r.left() + static_cast<int>(std::lround(i * step));
  const int next = r.left() + static_cast<int>(std::lround((i + 1) * step));
  int gap = 0;
  if (f.barWidth > 0 && f.gap > 0)
    gap = std::max(1, static_cast<int>(std::lround(step * f.gap / (f.barWidth + f.gap))));
  *x1 = std::max(*x0 + 1, next - gap);
}

}  // namespace

VisualizerView::VisualizerView(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setMinimumSize(120, 56);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  // Every pixel is painted each time: no background fill first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void VisualizerView::SetVisualization(VisualizationRole* visualization) {
  vis_ = visualization;
  if (vis_) vis_->SetViewSize(contentsRect().width(), contentsRect().height());
  update();
}

void VisualizerView::resizeEvent(QResizeEvent* e) {
  QFrame::resizeEvent(e);
  if (vis_) vis_->SetViewSize(contentsRect().width(), contentsRect().height());
}

void VisualizerView::paintEvent(QPaintEvent*) {
  ++paints_;
  static const VisualFrame kEmpty{};
  const VisualFrame& f = vis_ ? vis_->Frame() : kEmpty;
  const QRect r = contentsRect();
  {
    QPainter p(this);
    PaintBackground(p, r, f);
    if (f.style == VisualFrame::kWaterfall) {
      PaintWaterfall(p, r, f);
    } else if (f.points > 0 && f.values) {
      if (f.style == VisualFrame::kScope)
        PaintScope(p, r, f);
      else if (f.style == VisualFrame::kMirror)
        PaintMirror(p, r, f);
      else
        PaintBands(p, r, f);
    } else {
      afterglow_ = {};
      trace_ = {};
    }
    drawFrame(&p);
  }
  lastSerial_ = f.serial;
}

VisualizerView::Key VisualizerView::KeyOf(const QRect& r, const VisualFrame& f) {
  Key k;
  k.size = r.size();
  k.style = f.style;
  k.palette = f.palette;
  k.rows = f.rows;
  k.grid = f.grid;
  k.points = f.points;
  k.barWidth = f.barWidth;
  k.gap = f.gap;
  k.colours = {f.colours[0], f.colours[1], f.colours[2]};
  return k;
}

void VisualizerView::PaintBackground(QPainter& p, const QRect& r, const VisualFrame& f) {
  const Key key = KeyOf(r, f);
  if (!(key == backgroundKey_) || background_.isNull()) {
    backgroundKey_ = key;
    background_ = QImage(r.size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    QPainter b(&background_);
    const QRect all(QPoint(0, 0), r.size());
    const QColor base = BackgroundColour(f);
    QLinearGradient shade(all.topLeft(), all.bottomLeft());
    shade.setColorAt(0.0, base.lighter(f.palette == VisualFrame::kGlass ? 190 : 130));
    shade.setColorAt(1.0, base);
    b.fillRect(all, shade);
    QRect rows[2];
    const int n = RowRects(f, all, rows);
    if (f.style == VisualFrame::kScope) {
      // A graticule of ten by eight divisions per trace (with the grid),
      // the centre line brighter.
      const QColor line =
          f.palette == VisualFrame::kPhosphor ? QColor(24, 70, 42) : QColor(40, 40, 56);
      for (int k = 0; k < n; ++k) {
        const QRect& g = rows[k];
        b.setPen(line);
        for (int i = 1; i < 10 && f.grid; ++i) {
          const int x = g.left() + g.width() * i / 10;
          b.drawLine(x, g.top(), x, g.bottom());
        }
        for (int i = 1; i < 8 && f.grid; ++i) {
          const int y = g.top() + g.height() * i / 8;
          b.drawLine(g.left(), y, g.right(), y);
        }
        b.setPen(line.lighter(160));
        b.drawLine(g.left(), g.center().y(), g.right(), g.center().y());
      }
      if (n == 2) {
        b.setPen(line.lighter(200));
        b.drawLine(all.left(), rows[1].top(), all.right(), rows[1].top());
      }
    } else if (f.style == VisualFrame::kMirror) {
      b.setPen(QColor(60, 60, 80));
      b.drawLine(all.left(), all.center().y(), all.right(), all.center().y());
    } else if (f.style != VisualFrame::kWaterfall &&
               (f.grid || f.palette == VisualFrame::kKryptonite ||
                f.palette == VisualFrame::kLinear)) {
      b.setPen(f.palette == VisualFrame::kKryptonite ? QColor(14, 40, 18) : QColor(34, 40, 62));
      for (int i = 1; i < 4; ++i) {
        const int y = all.top() + all.height() * i / 4;
        b.drawLine(all.left(), y, all.right(), y);
      }
    }
    if (f.style == VisualFrame::kSegments && f.points > 0) {
      // The unlit segments, faintly.
      QColor dim = PaletteStops(f)[0];
      dim.setAlpha(45);
      for (int k = 0; k < std::min(n, std::max(1, f.rows)); ++k)
        for (int i = 0; i < f.points; ++i) {
          int x0, x1;
          BandColumns(rows[k], f, i, f.points, &x0, &x1);
          b.fillRect(QRect(x0, rows[k].top(), x1 - x0, rows[k].height()), dim);
        }
      CutSegments(b, all, BackgroundColour(f));
    }
    if (f.palette == VisualFrame::kGlass) Sheen(b, all);
    b.end();
    barsKey_ = Key{};  // the bars are cut from this picture
  }
  p.drawImage(r.topLeft(), background_);
}

void VisualizerView::CutSegments(QPainter& b, const QRect& all, const QColor& gap) {
  // Three lit rows and one dark: LED segments.
  for (int y = all.bottom() - 3; y >= all.top(); y -= 4)
    b.fillRect(QRect(all.left(), y, all.width(), 1), gap);
}

void VisualizerView::Sheen(QPainter& b, const QRect& all) {
  QLinearGradient sheen(0, all.top(), 0, all.center().y());
  sheen.setColorAt(0.0, QColor(255, 255, 255, 38));
  sheen.setColorAt(1.0, QColor(255, 255, 255, 0));
  b.fillRect(QRect(all.left(), all.top(), all.width(), all.height() / 2), sheen);
}

const QImage& VisualizerView::BarsImage(const QRect& r, const VisualFrame& f) {
  // Every band at full height on the background, in the colours of the
  // scale; each paint cuts the bars from it at their heights. Filling
  // gradients bar by bar on every block would cost far more.
  const Key key = KeyOf(r, f);
  if (key == barsKey_ && !bars_.isNull()) return bars_;
  barsKey_ = key;
  bars_ = background_.copy();
  QPainter b(&bars_);
  const QRect all(QPoint(0, 0), r.size());
  const Stops s = PaletteStops(f);
  auto scale = [&s](int from, int to) {
    QLinearGradient g(0, from, 0, to);
    g.setColorAt(0.0, s[0]);
    g.setColorAt(0.5, s[1]);
    g.setColorAt(1.0, s[2]);
    return QBrush(g);
  };
  if (f.style == VisualFrame::kMirror) {
    const int mid = all.top() + all.height() / 2;
    const QBrush up = scale(mid, all.top()), down = scale(mid + 1, all.bottom() + 1);
    for (int i = 0; i < f.points; ++i) {
      int x0, x1;
      BandColumns(all, f, i, f.points, &x0, &x1);
      b.fillRect(QRect(x0, all.top(), x1 - x0, mid - all.top()), up);
      b.fillRect(QRect(x0, mid + 1, x1 - x0, all.bottom() - mid), down);
    }
  } else {
    QRect rows[2];
    const int n = std::min(RowRects(f, all, rows), std::max(1, f.rows));
    for (int k = 0; k < n; ++k) {
      const QRect& g = rows[k];
      const QBrush brush = scale(g.bottom() + 1, g.top());
      for (int i = 0; i < f.points; ++i) {
        int x0, x1;
        BandColumns(g, f, i, f.points, &x0, &x1);
        b.fillRect(QRect(x0, g.top(), x1 - x0, g.height()), brush);
        if (f.palette == VisualFrame::kGlass && x1 - x0 > 2)
          b.fillRect(QRect(x0, g.top(), 1, g.height()), QColor(255, 255, 255, 70));  // a lit edge
      }
    }
    if (f.style == VisualFrame::kSegments) CutSegments(b, all, BackgroundColour(f));
    if (f.palette == VisualFrame::kGlass) Sheen(b, all);
  }
  return bars_;
}

void VisualizerView::PaintScope(QPainter& p, const QRect& r, const VisualFrame& f) {
  QRect rows[2];
  const int n = std::min(RowRects(f, r, rows), f.rows);
  const Stops s = PaletteStops(f);
  // Cosmetic one-pixel pens throughout: the fast line drawer, also with
  // antialiasing.
  auto pen = [](const QBrush& brush) {
    QPen pen(brush, 1.0);
    pen.setCosmetic(true);
    return pen;
  };
  p.setRenderHint(QPainter::Antialiasing);
  for (int k = 0; k < n; ++k) {
    const QRect& g = rows[k];
    const float* v = f.values + static_cast<ptrdiff_t>(k) * f.points;
    const double cy = g.top() + g.height() / 2.0;
    const double amp = g.height() / 2.0 - 2;
    QPolygonF line(f.points);
    for (int i = 0; i < f.points; ++i) {
      const double x =
          g.left() +
          (f.points > 1 ? static_cast<double>(i) * (g.width() - 1) / (f.points - 1) : 0.0);
      line[i] = QPointF(x, cy - std::clamp(static_cast<double>(v[i]), -1.0, 1.0) * amp);
    }
    QBrush brush;
    if (f.palette == VisualFrame::kPhosphor) {
      // A second trace in amber, as on a dual-beam tube.
      brush = k == 0 ? s[1] : QColor(255, 190, 70);
    } else if (f.gradient) {
      QLinearGradient g2(0, g.top(), 0, g.bottom());
      g2.setColorAt(0.0, s[2]);
      g2.setColorAt(0.25, s[1]);
      g2.setColorAt(0.5, s[0]);
      g2.setColorAt(0.75, s[1]);
      g2.setColorAt(1.0, s[2]);
      brush = g2;
    } else {
      brush = s[1];
    }
    const QColor beam = brush.style() == Qt::SolidPattern ? brush.color() : s[1];
    // The last trace fades out behind the new one.
    const size_t slot = static_cast<size_t>(k);
    if (f.serial != lastSerial_) {
      afterglow_[slot] = trace_[slot];
      trace_[slot] = line;
    }
    if (!afterglow_[slot].isEmpty()) {
      QColor fade = beam;
      fade.setAlpha(50);
      p.setPen(pen(fade));
      p.drawPolyline(afterglow_[slot]);
    }
    // A soft glow on either side of the beam, then the beam.
    QColor glow = beam;
    glow.setAlpha(70);
    p.setPen(pen(glow));
    p.drawPolyline(line.translated(0, -1));
    p.drawPolyline(line.translated(0, 1));
    p.setPen(pen(brush));
    p.drawPolyline(line);
  }
  p.setRenderHint(QPainter::Antialiasing, false);
}

void VisualizerView::PaintBands(QPainter& p, const QRect& r, const VisualFrame& f) {
  QRect rows[2];
  const int n = std::min(RowRects(f, r, rows), f.rows);
  const Stops s = PaletteStops(f);
  const QColor peakColour = PeakColour(f, s);
  const QImage& full = BarsImage(r, f);
  // A bar's pixels from the picture of full bars (or, without the colour
  // scale, in the one colour of its height).
  auto bar = [&](const QRect& rect, double level) {
    if (rect.isEmpty()) return;
    if (f.gradient)
      p.drawImage(rect.topLeft(), full, rect.translated(-r.topLeft()));
    else
      p.fillRect(rect, At(s, level));
  };
  for (int k = 0; k < n; ++k) {
    const QRect& g = rows[k];
    const float* v = f.values + static_cast<ptrdiff_t>(k) * f.points;
    const float* pk = f.peaks ? f.peaks + static_cast<ptrdiff_t>(k) * f.points : nullptr;
    const int bottom = g.bottom() + 1;
    const int h = g.height();

    if (f.style == VisualFrame::kCurve) {
      QPainterPath area;
      area.moveTo(g.left(), bottom);
      for (int i = 0; i < f.points; ++i) {
        const double x = g.left() + (i + 0.5) * g.width() / f.points;
        area.lineTo(x, bottom - v[i] * h);
      }
      area.lineTo(g.right() + 1, bottom);
      area.closeSubpath();
      p.setRenderHint(QPainter::Antialiasing);
      QLinearGradient fill(0, bottom, 0, g.top());
      for (int i = 0; i < 3; ++i) {
        QColor c = s[static_cast<size_t>(i)];
        c.setAlpha(150);
        fill.setColorAt(i * 0.5, c);
      }
      p.fillPath(area, f.gradient ? QBrush(fill)
                                  : QBrush(QColor(s[1].red(), s[1].green(), s[1].blue(), 150)));
      QPen edge(s[2], 1.0);
      edge.setCosmetic(true);
      p.setPen(edge);
      p.drawPath(area);
      if (pk) {
        QPolygonF peaks(f.points);
        for (int i = 0; i < f.points; ++i)
          peaks[i] = QPointF(g.left() + (i + 0.5) * g.width() / f.points, bottom - pk[i] * h);
        QPen dots(peakColour, 1.0, Qt::DotLine);
        dots.setCosmetic(true);
        p.setPen(dots);
        p.drawPolyline(peaks);
      }
      p.setRenderHint(QPainter::Antialiasing, false);
      continue;
    }

    for (int i = 0; i < f.points; ++i) {
      int x0, x1;
      BandColumns(g, f, i, f.points, &x0, &x1);
      const int w = x1 - x0;
      if (f.style == VisualFrame::kDots) {
        const double level = pk ? pk[i] : v[i];
        if (level <= 0) continue;
        const int y = bottom - std::max(3, static_cast<int>(std::lround(level * h)));
        bar(QRect(x0, y, w, 3), level);
        continue;
      }
      const int height = static_cast<int>(std::lround(std::clamp(v[i], 0.0f, 1.0f) * h));
      if (height > 0) {
        bar(QRect(x0, bottom - height, w, height), v[i]);
        if (f.palette == VisualFrame::kGlass && w > 2)
          p.fillRect(QRect(x0, bottom - height, w, 1),
                     QColor(255, 255, 255, 150));  // the bright cap
      }
      if (pk && pk[i] > 0.01f) {
        const int y = bottom - static_cast<int>(std::lround(std::clamp(pk[i], 0.0f, 1.0f) * h));
        p.fillRect(QRect(x0, std::max(g.top(), y - 2), w, 2), peakColour);
      }
    }
    if (f.style == VisualFrame::kSegments && !f.gradient) CutSegments(p, g, BackgroundColour(f));
  }
}

void VisualizerView::PaintMirror(QPainter& p, const QRect& r, const VisualFrame& f) {
  const Stops s = PaletteStops(f);
  const QColor peakColour = PeakColour(f, s);
  const QImage& full = BarsImage(r, f);
  const int mid = r.top() + r.height() / 2;
  const int half = r.height() / 2;
  for (int k = 0; k < 2; ++k) {
    // Left upwards, right downwards; the mix both ways.
    const int row = std::min(k, std::max(1, f.rows) - 1);
    const float* v = f.values + static_cast<ptrdiff_t>(row) * f.points;
    const float* pk = f.peaks ? f.peaks + static_cast<ptrdiff_t>(row) * f.points : nullptr;
    for (int i = 0; i < f.points; ++i) {
      int x0, x1;
      BandColumns(r, f, i, f.points, &x0, &x1);
      const int bar = static_cast<int>(std::lround(std::clamp(v[i], 0.0f, 1.0f) * (half - 1)));
      if (bar > 0) {
        const QRect rect =
            k == 0 ? QRect(x0, mid - bar, x1 - x0, bar) : QRect(x0, mid + 1, x1 - x0, bar);
        if (f.gradient)
          p.drawImage(rect.topLeft(), full, rect.translated(-r.topLeft()));
        else
          p.fillRect(rect, At(s, v[i]));
      }
      if (pk && pk[i] > 0.01f) {
        const int y = static_cast<int>(std::lround(std::clamp(pk[i], 0.0f, 1.0f) * (half - 1)));
        p.fillRect(QRect(x0, k == 0 ? mid - y - 1 : mid + y, x1 - x0, 1), peakColour);
      }
    }
  }
}

void VisualizerView::PaintWaterfall(QPainter& p, const QRect& r, const VisualFrame& f) {
  if (waterfall_.size() != r.size() || f.points <= 0 || !f.values) {
    waterfall_ = QImage(r.size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    waterfall_.fill(QColor(0, 0, 0));
  }
  if (f.palette != waterfallPalette_) {
    // A heat scale: black, then the palette's three colours to the top.
    waterfallPalette_ = f.palette;
    const Stops s = PaletteStops(f);
    const std::array<QColor, 4> stops = {QColor(0, 0, 0), s[0], s[1], s[2]};
    for (int i = 0; i < 256; ++i) {
      const double t = i / 255.0 * 3;
      const int a = std::min(2, static_cast<int>(t));
      heat_[static_cast<size_t>(i)] =
          Mix(stops[static_cast<size_t>(a)], stops[static_cast<size_t>(a + 1)], t - a).rgb();
    }
  }
  if (f.points > 0 && f.values && f.serial != lastSerial_) {
    // Scroll left by one column of blocks and draw the newest at the right.
    const int col = std::min(3, waterfall_.width());
    const int w = waterfall_.width();
    const int h = waterfall_.height();
    const int rows = std::clamp(f.rows, 1, 2);
    for (int y = 0; y < h; ++y) {
      auto* line = reinterpret_cast<QRgb*>(waterfall_.scanLine(y));
      std::memmove(line, line + col, static_cast<size_t>(w - col) * sizeof(QRgb));
      // The row's band for this line, low frequencies at the bottom.
      const int rowHeight = h / rows;
      const int row = std::min(rows - 1, y / std::max(1, rowHeight));
      const int inRow = y - row * rowHeight;
      const int band =
          std::clamp((rowHeight - 1 - inRow) * f.points / std::max(1, rowHeight), 0, f.points - 1);
      const float v =
          std::clamp(f.values[static_cast<ptrdiff_t>(row) * f.points + band], 0.0f, 1.0f);
      const QRgb c = heat_[static_cast<size_t>(v * 255.0f)];
      for (int x = w - col; x < w; ++x) line[x] = c;
    }
  }
  p.drawImage(r.topLeft(), waterfall_);
}

}  // namespace tarvexa
