#pragma once
// Draws what a visualizer component holds: the waveform of the last display
// block, one trace per channel.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QFrame>

#include <cstdint>
#include <functional>
#include <vector>

namespace tarvexa {

class VisualizerView : public QFrame {
  Q_OBJECT

 public:
  // source fills the vector with the samples to draw and returns the
  // channel count.
  using Source = std::function<int(std::vector<int16_t>&)>;

  explicit VisualizerView(QWidget* parent = nullptr);
  void SetSource(Source source) { source_ = std::move(source); }

  QSize sizeHint() const override { return {180, 64}; }

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  Source source_;
  std::vector<int16_t> samples_;
};

}  // namespace tarvexa
