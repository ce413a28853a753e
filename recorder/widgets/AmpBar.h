#pragma once
// A level bar for one channel. The level is the loudness of the last block,
// 20 log10(mean + 1) of its absolute sample values: 0 for silence, about 90
// at full scale. kRestLevel (one step past the loudest level a block can
// have) puts the bar at rest, as it is when nothing is being recorded.
// Thread affinity: the user-interface thread.

#include <QtWidgets/QWidget>

#include <cstddef>
#include <cstdint>

namespace tarvexa {

class AmpBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kRestLevel = 92;
  static constexpr int kFullScale = 91;

  AmpBar(const QString& label, QWidget* parent = nullptr);

  // The levels of a display block: the mean absolute value of every 128th
  // sample (for stereo, the left sample there and the right one after it),
  // as the integer part of 20 log10(mean + 1). Mono gives the same level
  // for both.
  static void LevelsOf(const int16_t* samples, size_t count, int channels, int* left, int* right);

  void SetLevel(int level);
  int Level() const { return level_; }
  bool AtRest() const { return level_ >= kRestLevel; }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  QString label_;
  int level_ = kRestLevel;
};

}  // namespace tarvexa
