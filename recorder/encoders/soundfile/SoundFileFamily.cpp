#include "encoders/soundfile/SoundFileFamily.h"

#include <sndfile.h>

#include "encoders/soundfile/SoundFileRepair.h"
#include "encoders/soundfile/SoundFileWriter.h"
#include "encoders/soundfile/WavWriter.h"
#include "platform/Text.h"

namespace tarvexa {

namespace {

// Sub-encodings that libsndfile writes in one channel only; in every format
// that offers them they restrict the format to mono.
bool IsMonoOnlySubtype(int subtype) {
  switch (subtype) {
    case SF_FORMAT_GSM610:
    case SF_FORMAT_VOX_ADPCM:
    case SF_FORMAT_G721_32:
    case SF_FORMAT_G723_24:
    case SF_FORMAT_G723_40:
    case SF_FORMAT_DWVW_12:
    case SF_FORMAT_DWVW_16:
    case SF_FORMAT_DWVW_24: return true;
    default: return false;
  }
}

// "WAV:  Signed 16 bit PCM 44100 Hz;  Stereo;" and "Set audio format: WAV
// Signed 16 bit PCM". An unknown selector shows only the rate and channels
// and logs nothing: the writer will refuse the format.
FormatText Describe(int format, const Settings& s) {
  const std::string rateAndChannels =
      Printf(" %5d Hz; ", SampleRateOf(s)) + (s.OUTPUT.Chan == 1 ? " Mono;" : " Stereo;");
  const SubEncoding* sub = SelectedSubEncoding(format, s);
  if (!sub) return {rateAndChannels, ""};
  return {std::string(FormatTag(format)) + ":  " + sub->name + rateAndChannels,
          std::string("Set audio format: ") + FormatTag(format) + " " + sub->name};
}

RateChannelMatrix AllowedPairs(int format, const Settings& s) {
  switch (format) {
    case kFormatSVX:
    case kFormatXI:
    case kFormatSDS: return RateChannelMatrix::MonoOnly();
    default: {
      const SubEncoding* sub = SelectedSubEncoding(format, s);
      return sub && IsMonoOnlySubtype(sub->subtype) ? RateChannelMatrix::MonoOnly()
                                                    : RateChannelMatrix::All();
    }
  }
}

std::vector<int> Codes() {
  std::vector<int> codes = {kFormatWAV, kFormatAIFF};
  for (int f = kFormatAU; f <= kFormatSD2; ++f) codes.push_back(f);
  return codes;
}

}  // namespace

const FormatFamily& SoundFileFamily() {
  static const FormatFamily family{
      .name = "sound file",
      .codes = Codes(),
      .describe = Describe,
      .allowedPairs = AllowedPairs,
      .makeWriter = [](const Settings& s) -> std::unique_ptr<ClipWriter> {
        // Plain WAV in PCM, float and the two laws is our own container;
        // everything else is the sound-file library's.
        if (WavWriter::Writes(s)) return std::make_unique<WavWriter>(s);
        return std::make_unique<SoundFileWriter>(s);
      },
      .recover = RecoverSoundFile,
  };
  return family;
}

}  // namespace tarvexa
