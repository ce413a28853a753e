#pragma once
// The six audio components of the main window, created together at start-up
// and released together at exit. A component that cannot be created is
// reported with its own message box and log line; the caller ends the
// program when any failed.
// Thread affinity: the user-interface thread.

#include <array>
#include <functional>
#include <string>

#include "components/ComponentLoader.h"

namespace tarvexa {

enum class ComponentId {
  AudioRecord,      // SndAudioRecord2
  WmaFile,          // SndWMAFile2
  WmaInfo,          // WMAFileInformation2
  Transform,        // SndAudioTransform2
  Visualization,    // SndAudioVisualization2 (visualizer 1)
  VisualizationEx,  // SndAudioVisualizationEx2 (visualizer 2)
};
inline constexpr int kComponentCount = 6;

struct ComponentFailureText {
  const char* name;        // library and component name
  const char* boxText;     // message box, error icon
  const char* boxCaption;  // "" for the system's own caption
  const char* logLine;     // level 2
};
const ComponentFailureText& ComponentInfo(ComponentId id);

class AudioComponents {
 public:
  // box(text, caption) shows an error box; log(text, level) writes the event log.
  using BoxFn = std::function<void(const std::string& text, const std::string& caption)>;
  using LogFn = std::function<void(const std::string& text, int level)>;

  // Tries all six, in order, from folder; returns the number that failed.
  int CreateAll(const std::string& folder, const BoxFn& box, const LogFn& log);
  void ReleaseAll();

  const ComponentHandle& Get(ComponentId id) const { return handles_[static_cast<int>(id)]; }
  AudioRecordRole* AudioRecord() const {
    return Get(ComponentId::AudioRecord).As<AudioRecordRole>(kRoleAudioRecord);
  }
  WmaFileRole* WmaFile() const { return Get(ComponentId::WmaFile).As<WmaFileRole>(kRoleWmaFile); }
  WmaInfoRole* WmaInfo() const { return Get(ComponentId::WmaInfo).As<WmaInfoRole>(kRoleWmaInfo); }
  TransformRole* Transform() const {
    return Get(ComponentId::Transform).As<TransformRole>(kRoleTransform);
  }
  VisualizationRole* Visualizer(int which) const {
    return Get(which == 1 ? ComponentId::Visualization : ComponentId::VisualizationEx)
        .As<VisualizationRole>(kRoleVisualization);
  }

 private:
  std::array<ComponentHandle, kComponentCount> handles_;
};

}  // namespace tarvexa
