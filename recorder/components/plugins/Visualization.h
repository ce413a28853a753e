#pragma once
// The two visualizers share their data side: the last display block, kept
// for the window to draw. Built once per library with its own name.

#include <algorithm>
#include <mutex>
#include <vector>

#include "PluginSupport.h"

namespace tarvexa::plugin {

template <class Derived>
class Visualization : public ComponentBase<Derived>, public VisualizationRole {
 public:
  void* Query(const char* role) override {
    if (std::strcmp(role, kRoleVisualization) == 0) return static_cast<VisualizationRole*>(this);
    return nullptr;
  }
  void SetFormat(int rate, int channels) override {
    rate_ = rate;
    channels_ = channels;
  }
  void Feed(const int16_t* samples, int count) override {
    if (!samples || count <= 0) return;
    last_.assign(samples, samples + count);
  }
  int Snapshot(int16_t* out, int max) const override {
    const int n = std::min<int>(max, static_cast<int>(last_.size()));
    std::copy(last_.begin(), last_.begin() + n, out);
    return n;
  }
  int Channels() const override { return channels_; }
  void Clear() override { last_.clear(); }

 private:
  int rate_ = 44100;
  int channels_ = 2;
  std::vector<int16_t> last_;
};

}  // namespace tarvexa::plugin
