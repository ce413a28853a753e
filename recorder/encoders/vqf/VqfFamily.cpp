#include "encoders/vqf/VqfFamily.h"

#include "encoders/vqf/VqfWriter.h"

namespace tarvexa {

const FormatFamily& VqfFamily() {
  static const FormatFamily family{
      .name = "VQF",
      .codes = {kFormatVQF},
      .describe =
          [](int, const Settings& s) {
            return FormatText{VqfFormatLabel(s), kVqfLogLine};
          },
      // Exactly the preset's pair, which the rate/channel rule then sets.
      .allowedPairs = [](int, const Settings& s) { return VqfFormatMatrix(s); },
      // Binds tvqenc.so for the recording.
      .prepare = [](const Settings& s,
                    const LogSink& log) { return AcceptOrLog(PrepareVqf(s), log); },
      .makeWriter = [](const Settings& s) -> std::unique_ptr<ClipWriter> {
        return std::make_unique<VqfWriter>(s);
      },
  };
  return family;
}

}  // namespace tarvexa
