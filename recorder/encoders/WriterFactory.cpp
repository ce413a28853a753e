// Picks the writer of each output format. Adding a format family means one
// new writer file and one case here.
#include "encoders/ClipWriter.h"
#include "encoders/FlacWriter.h"
#include "encoders/Mp2Writer.h"
#include "encoders/Mp3Writer.h"
#include "encoders/OggVorbisWriter.h"
#include "encoders/SoundFileWriter.h"
#include "encoders/WavPackWriter.h"
#include "formats/FormatCatalogue.h"

namespace tarvexa {

std::unique_ptr<ClipWriter> MakeClipWriter(const Settings& s) {
  const int format = s.OUTPUT.OutputFormat;
  if (IsSoundFileFormat(format)) return std::make_unique<SoundFileWriter>(s);
  switch (format) {
    case kFormatMP3:
      return std::make_unique<Mp3Writer>(s);
    case kFormatOGG:
      return std::make_unique<OggVorbisWriter>(s);
    case kFormatFLAC:
      return std::make_unique<FlacWriter>(s);
    case kFormatMP2:
      return std::make_unique<Mp2Writer>(s);
    case kFormatWV:
      return std::make_unique<WavPackWriter>(s);
    default:
      return nullptr;
  }
}

std::string PrepareEncoder(const Settings& s) {
  const int format = s.OUTPUT.OutputFormat;
  if (IsSoundFileFormat(format)) return {};
  switch (format) {
    case kFormatMP3:
      return LameEncLibrary::Bind();  // the library stays loaded for the recording
    case kFormatOGG:
      // Refused settings end the recording before any file is created.
      return OggVorbisSettingsAccepted(s) ? std::string() : std::string(kOggInvalidFormatText);
    case kFormatFLAC:
      return {};  // the encoder checks its settings when each file is opened
    case kFormatMP2:
      return Mp2Writer::CheckSettings(s);
    case kFormatWV:
      return {};
    default:
      break;
  }
  if (!MakeClipWriter(s)) {
    return std::string("The ") + FormatTag(format) + " format is not available in this build.";
  }
  return {};
}

}  // namespace tarvexa
