#include "components/AudioComponents.h"

namespace tarvexa {

namespace {
constexpr std::array<ComponentFailureText, kComponentCount> kInfo = {{
    {"SndAudioRecord2", "Error on CreateInstance ActiveX AudioRecord2!", "Error !",
     "Error on createInstance ActiveX AudioRecord2!!"},
    {"SndWMAFile2", "Error on CreateInstance ActiveX WMAFile2!", "Error !",
     "Error on createInstance ActiveX WMAFile2!!"},
    {"WMAFileInformation2", "Error on CreateInstance ActiveX WMAFileInformation2!", "Error !",
     "Error on createInstance ActiveX WMAFileInformation2!!"},
    {"SndAudioTransform2", "Error on CreateInstance ActiveX AudioTransform!", "Error !",
     "Error on createInstance ActiveX DxTransform!!"},
    {"SndAudioVisualization2", "Can't Create SndAudioVisualisation2 Control!", "",
     "Error on createInstance ActiveX AudioVisualization2!!"},
    {"SndAudioVisualizationEx2", "Can't Create SndAudioVisualisationEx2 Control!", "",
     "Error on createInstance ActiveX AudioVisualizationEx2!!"},
}};
}  // namespace

const ComponentFailureText& ComponentInfo(ComponentId id) { return kInfo[static_cast<int>(id)]; }

int AudioComponents::CreateAll(const std::string& folder, const BoxFn& box, const LogFn& log) {
  int failures = 0;
  for (int i = 0; i < kComponentCount; ++i) {
    const ComponentFailureText& info = kInfo[i];
    std::string error;
    if (handles_[i].Create(info.name, folder, &error)) continue;
    ++failures;
    if (box) box(info.boxText, info.boxCaption);
    if (log) {
      log(info.logLine, 2);
      // The reason, for whoever reads the log file afterwards.
      log(error, 2);
    }
  }
  return failures;
}

void AudioComponents::ReleaseAll() {
  for (auto& h : handles_) h.Reset();
}

}  // namespace tarvexa
