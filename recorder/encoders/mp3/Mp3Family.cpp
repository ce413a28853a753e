#include "encoders/mp3/Mp3Family.h"

#include "encoders/mp3/Mp3Repair.h"
#include "encoders/mp3/Mp3Writer.h"

namespace tarvexa {

const FormatFamily& Mp3Family() {
  static const FormatFamily family{
      .name = "MP3",
      .codes = {kFormatMP3},
      .describe =
          [](int, const Settings& s) {
            return FormatText{Mp3FormatLabel(s), kMp3LogLine};
          },
      // 8000 to 48000 Hz.
      .allowedPairs = [](int, const Settings&) { return RateChannelMatrix::Rates(0, 8); },
      // The library stays loaded for the recording.
      .prepare = [](const Settings&,
                    const LogSink& log) { return AcceptOrLog(LameEncLibrary::Bind(), log); },
      .makeWriter = [](const Settings& s) -> std::unique_ptr<ClipWriter> {
        return std::make_unique<Mp3Writer>(s);
      },
      .recover = RecoverMp3File,
  };
  return family;
}

}  // namespace tarvexa
