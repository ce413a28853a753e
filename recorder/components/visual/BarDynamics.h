#pragma once
// How bars move from block to block: they rise at once and fall smoothly,
// and each has a peak mark that stays for a hold time and then falls at a
// set speed, never below its bar. The hold switch keeps the marks where
// they are until it is switched off; then they start again from the bars.
// Thread affinity: one thread per object.

#include <vector>

namespace tarvexa {

class BarDynamics {
 public:
  struct Params {
    float smoothing = 0.5f;      // share of the previous height kept when a bar falls, 0..1
    int holdMs = 500;            // how long a peak mark stays before falling
    float fallPerSecond = 1.0f;  // peak fall, in full heights per second
  };

  void SetParams(const Params& p) { params_ = p; }
  const Params& GetParams() const { return params_; }

  // Sets the number of bars; a change starts them all at 0.
  void Resize(int count);
  int Count() const { return static_cast<int>(bars_.size()); }

  // The target heights (0..1) of a new block, elapsedMs after the last one.
  void Update(const float* targets, int count, int elapsedMs);

  void SetHold(bool on);
  bool Hold() const { return hold_; }

  // Bars to 0; the peak marks too, unless held.
  void Clear();

  const std::vector<float>& Bars() const { return bars_; }
  const std::vector<float>& Peaks() const { return peaks_; }

 private:
  Params params_;
  bool hold_ = false;
  std::vector<float> bars_;
  std::vector<float> peaks_;
  std::vector<int> age_;  // ms since each peak was set
};

}  // namespace tarvexa
