#pragma once
// Draws what a visualizer component shows (its VisualFrame): the
// oscilloscope, bars, curves, LED columns, the mirror, peak dots and the
// scrolling waterfall, in the colours of the frame's palette. It tells the
// component its size, so that the component computes one value per band
// the view can show. Painted only when the window asks (after each block);
// the empty display and the bars at full height are kept as pictures, so a
// paint mostly copies pixels; the waterfall keeps its own picture.
// Thread affinity: the user-interface thread.

#include <QtGui/QImage>
#include <QtGui/QPolygonF>
#include <QtWidgets/QFrame>
#include <array>
#include <cstdint>

#include "components/Component.h"

class QPainter;

namespace tarvexa {

class VisualizerView : public QFrame {
  Q_OBJECT

 public:
  explicit VisualizerView(QWidget* parent = nullptr);
  // The component drawn (not owned); nullptr draws the empty display.
  void SetVisualization(VisualizationRole* visualization);

  // How often the view has painted itself (for tests and the benchmark).
  int PaintCount() const { return paints_; }

  QSize sizeHint() const override { return {240, 96}; }

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  // What the cached pictures were made for.
  struct Key {
    QSize size;
    int style = -1, palette = -1, rows = 0, points = 0, barWidth = 0, gap = 0;
    bool grid = false;
    std::array<uint32_t, 3> colours{};
    bool operator==(const Key&) const = default;
  };
  static Key KeyOf(const QRect& r, const VisualFrame& f);
  static void CutSegments(QPainter& p, const QRect& r, const QColor& gap);
  static void Sheen(QPainter& p, const QRect& r);
  void PaintBackground(QPainter& p, const QRect& r, const VisualFrame& f);
  const QImage& BarsImage(const QRect& r, const VisualFrame& f);
  void PaintScope(QPainter& p, const QRect& r, const VisualFrame& f);
  void PaintBands(QPainter& p, const QRect& r, const VisualFrame& f);
  void PaintMirror(QPainter& p, const QRect& r, const VisualFrame& f);
  void PaintWaterfall(QPainter& p, const QRect& r, const VisualFrame& f);

  VisualizationRole* vis_ = nullptr;
  int paints_ = 0;
  Key backgroundKey_;
  QImage background_;  // the empty display
  Key barsKey_;
  QImage bars_;  // every bar at full height
  QImage waterfall_;
  int waterfallPalette_ = -1;
  std::array<QRgb, 256> heat_{};
  uint64_t lastSerial_ = 0;
  std::array<QPolygonF, 2> trace_;      // the traces of the newest block
  std::array<QPolygonF, 2> afterglow_;  // and of the one before
};

}  // namespace tarvexa
