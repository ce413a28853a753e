#include "encoders/ogg/OggVorbisFamily.h"

#include "encoders/OggRepair.h"
#include "encoders/ogg/OggVorbisWriter.h"

namespace tarvexa {

const FormatFamily& OggVorbisFamily() {
  static const FormatFamily family{
      .name = "Ogg Vorbis",
      .codes = {kFormatOGG},
      .describe =
          [](int, const Settings& s) {
            return FormatText{OggVorbisLabel(s), kOggVorbisLogLine};
          },
      .settingsRefused =
          [](const Settings& s) {
            return OggVorbisSettingsAccepted(s) ? std::string() : std::string(kOggRefusedLogText);
          },
      .resetSettings = ResetOggVorbisSettings,
      .refusedBoxText = kOggRefusedBoxText,
      // Refused settings end the recording before any file is created.
      .prepare =
          [](const Settings& s, const LogSink& log) {
            return AcceptOrLog(OggVorbisSettingsAccepted(s) ? "" : kOggInvalidFormatText, log);
          },
      .makeWriter = [](const Settings& s) -> std::unique_ptr<ClipWriter> {
        return std::make_unique<OggVorbisWriter>(s);
      },
      .recover = [](int, const std::string& path) { return RecoverOggFile(path); },
  };
  return family;
}

}  // namespace tarvexa
