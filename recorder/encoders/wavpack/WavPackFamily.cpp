#include "encoders/wavpack/WavPackFamily.h"

#include "encoders/wavpack/WavPackRepair.h"
#include "encoders/wavpack/WavPackWriter.h"

namespace tarvexa {

const FormatFamily& WavPackFamily() {
  static const FormatFamily family{
      .name = "WavPack",
      .codes = {kFormatWV},
      .describe =
          [](int, const Settings& s) {
            return FormatText{WavPackLabel(s), kWavPackLogLine};
          },
      .makeWriter = [](const Settings& s) -> std::unique_ptr<ClipWriter> {
        return std::make_unique<WavPackWriter>(s);
      },
      .recover = RecoverWavPackFile,
  };
  return family;
}

}  // namespace tarvexa
