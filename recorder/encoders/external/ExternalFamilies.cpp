#include "encoders/external/ExternalFamilies.h"

#include "encoders/external/AacWriter.h"
#include "encoders/external/CustomEncoderWriter.h"
#include "encoders/external/MusepackWriter.h"

namespace tarvexa {

const FormatFamily& AacFamily() {
  static const FormatFamily family{
      .name = "AAC",
      .codes = {kFormatAAC},
      .describe = [](int, const Settings& s) { return DescribeAac(s); },
      .allowedPairs = [](int, const Settings& s) { return AacRateChannels(s); },
      .prepare = [](const Settings& s,
                    const LogSink& log) { return AcceptOrLog(PrepareAac(s), log); },
      .makeWriter = [](const Settings& s) -> std::unique_ptr<ClipWriter> {
        return std::make_unique<AacWriter>(s);
      },
  };
  return family;
}

const FormatFamily& MusepackFamily() {
  static const FormatFamily family{
      .name = "Musepack",
      .codes = {kFormatMPC},
      .describe = [](int, const Settings& s) { return DescribeMusepack(s); },
      .allowedPairs = [](int, const Settings& s) { return MusepackRateChannels(s); },
      // The program is looked for when each file starts.
      .makeWriter = [](const Settings& s) -> std::unique_ptr<ClipWriter> {
        return std::make_unique<MusepackWriter>(s);
      },
  };
  return family;
}

const FormatFamily& CustomEncoderFamily() {
  static const FormatFamily family{
      .name = "User-Customized",
      .codes = {kFormatUserCustomized},
      .describe = [](int, const Settings& s) { return DescribeCustomEncoder(s); },
      // Every pair: the program is the user's choice.
      .prepare = [](const Settings& s,
                    const LogSink& log) { return AcceptOrLog(PrepareCustomEncoder(s), log); },
      .makeWriter = [](const Settings& s) -> std::unique_ptr<ClipWriter> {
        return std::make_unique<CustomEncoderWriter>(s);
      },
  };
  return family;
}

}  // namespace tarvexa
