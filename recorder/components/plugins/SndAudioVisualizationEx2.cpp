// Visualizer 2: sixteen properties and the hold switch.
#include "Visualization.h"
#include "components/visual/VisualizerCore.h"

namespace {

using tarvexa::PresetVisualizer;

class SndAudioVisualizationEx2 final
    : public tarvexa::plugin::Visualization<SndAudioVisualizationEx2, PresetVisualizer>,
      public tarvexa::VisualPresetRole {
 public:
  static constexpr const char* kName = "SndAudioVisualizationEx2";
  static constexpr const char* kVersion = "2.1.0";

  void* Query(const char* role) override {
    if (std::strcmp(role, tarvexa::kRoleVisualPreset) == 0)
      return static_cast<tarvexa::VisualPresetRole*>(this);
    return Visualization::Query(role);
  }
  void SetProperty(int number, int32_t value) override { core_.SetProperty(number, value); }
  int32_t Property(int number) const override { return core_.Property(number); }
  void SetHold(bool on) override { core_.SetHold(on); }
  bool Hold() const override { return core_.Hold(); }
};

}  // namespace

TARVEXA_EXPORT_COMPONENT(SndAudioVisualizationEx2)
