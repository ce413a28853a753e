#include "encoders/ape/ApeFamily.h"

#include "encoders/ape/ApeWriter.h"

namespace tarvexa {

const FormatFamily& ApeFamily() {
  static const FormatFamily family{
      .name = "APE",
      .codes = {kFormatAPE},
      .describe =
          [](int, const Settings& s) {
            return FormatText{ApeFormatLabel(s), kApeLogLine};
          },
      // Every rate with both channel counts (no allowedPairs). A level
      // outside the five becomes the nearest, with the warning.
      .settingsRefused = ApeLevelWarning,
      .resetSettings = [](Settings& s) { s.APE.CompLev = static_cast<int16_t>(ApeLevelOf(s)); },
      // Binds the library for the recording ("Load MACDll.so") ...
      .prepare = PrepareApeRecording,
      // ... and lets go of it after the last clip ("Free MACDll.so").
      .finish = FinishApeRecording,
      .makeWriter = [](const Settings& s) -> std::unique_ptr<ClipWriter> {
        return std::make_unique<ApeWriter>(s);
      },
  };
  return family;
}

}  // namespace tarvexa
