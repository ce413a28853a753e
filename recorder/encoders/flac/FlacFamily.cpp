#include "encoders/flac/FlacFamily.h"

#include "encoders/flac/FlacRepair.h"
#include "encoders/flac/FlacWriter.h"

namespace tarvexa {

const FormatFamily& FlacFamily() {
  static const FormatFamily family{
      .name = "FLAC",
      .codes = {kFormatFLAC},
      .describe =
          [](int, const Settings& s) {
            return FormatText{FlacLabel(s), kFlacLogLine};
          },
      // The encoder checks its settings when each file is opened.
      .makeWriter = [](const Settings& s) -> std::unique_ptr<ClipWriter> {
        return std::make_unique<FlacWriter>(s);
      },
      .recover = RecoverFlacFile,
  };
  return family;
}

}  // namespace tarvexa
