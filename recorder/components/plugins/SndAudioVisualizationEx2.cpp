// Visualizer 2.
#include "Visualization.h"

namespace {

class SndAudioVisualizationEx2 final
    : public tarvexa::plugin::Visualization<SndAudioVisualizationEx2> {
 public:
  static constexpr const char* kName = "SndAudioVisualizationEx2";
  static constexpr const char* kVersion = "2.0.0";
};

}  // namespace

TARVEXA_EXPORT_COMPONENT(SndAudioVisualizationEx2)
