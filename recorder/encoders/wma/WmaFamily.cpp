#include "encoders/wma/WmaFamily.h"

#include "encoders/wma/WmaWriter.h"

namespace tarvexa {

const FormatFamily& WmaFamily() {
  static const FormatFamily family{
      .name = "WMA",
      .codes = {kFormatWMA},
      .describe =
          [](int, const Settings& s) {
            return FormatText{WmaFormatLabel(s), kWmaLogLine};
          },
      .allowedPairs = [](int, const Settings&) { return WmaAllowedPairs(); },
      // A profile that cannot be written as it promises is an error: the
      // recording ends before any file is made.
      .prepare = [](const Settings& s,
                    const LogSink& log) { return AcceptOrLog(PrepareWma(s), log, 2); },
      .makeWriter = [](const Settings& s) -> std::unique_ptr<ClipWriter> {
        return std::make_unique<WmaWriter>(s);
      },
  };
  return family;
}

}  // namespace tarvexa
