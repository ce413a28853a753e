#pragma once
// The two visualizers share their component side: the role every
// visualizer plays, handed to a core from the visual library that does the
// work. Built once per library with its own name.

#include "PluginSupport.h"

namespace tarvexa::plugin {

template <class Derived, class Core>
class Visualization : public ComponentBase<Derived>, public VisualizationRole {
 public:
  void* Query(const char* role) override {
    if (std::strcmp(role, kRoleVisualization) == 0) return static_cast<VisualizationRole*>(this);
    return nullptr;
  }
  void SetFormat(int rate, int channels) override { core_.SetFormat(rate, channels); }
  void Feed(const int16_t* samples, int count) override { core_.Feed(samples, count); }
  int Snapshot(int16_t* out, int max) const override { return core_.Snapshot(out, max); }
  int Channels() const override { return core_.Channels(); }
  void Clear() override { core_.Clear(); }
  void SetViewSize(int width, int height) override { core_.SetViewSize(width, height); }
  const VisualFrame& Frame() const override { return core_.Frame(); }

 protected:
  Core core_;
};

}  // namespace tarvexa::plugin
