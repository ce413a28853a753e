// Visualizer 1.
#include "Visualization.h"

namespace {

class SndAudioVisualization2 final
    : public tarvexa::plugin::Visualization<SndAudioVisualization2> {
 public:
  static constexpr const char* kName = "SndAudioVisualization2";
  static constexpr const char* kVersion = "2.0.0";
};

}  // namespace

TARVEXA_EXPORT_COMPONENT(SndAudioVisualization2)
