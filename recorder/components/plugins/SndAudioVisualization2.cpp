// Visualizer 1: six visual types and the analysis block size.
#include "Visualization.h"
#include "components/visual/VisualizerCore.h"

namespace {

using tarvexa::TypeVisualizer;

class SndAudioVisualization2 final
    : public tarvexa::plugin::Visualization<SndAudioVisualization2, TypeVisualizer>,
      public tarvexa::VisualTypeRole {
 public:
  static constexpr const char* kName = "SndAudioVisualization2";
  static constexpr const char* kVersion = "2.1.0";

  void* Query(const char* role) override {
    if (std::strcmp(role, tarvexa::kRoleVisualType) == 0)
      return static_cast<tarvexa::VisualTypeRole*>(this);
    return Visualization::Query(role);
  }
  void SetVisualType(int type) override { core_.SetVisualType(type); }
  int VisualType() const override { return core_.VisualType(); }
  void SetBlockSize(int samples) override { core_.SetBlockSize(samples); }
  int BlockSize() const override { return core_.BlockSize(); }
};

}  // namespace

TARVEXA_EXPORT_COMPONENT(SndAudioVisualization2)
