// Picks the writer of each output format. Adding a format family means one
// new writer file and one case here.
#include "encoders/ClipWriter.h"
#include "encoders/SoundFileWriter.h"
#include "formats/FormatCatalogue.h"

namespace tarvexa {

std::unique_ptr<ClipWriter> MakeClipWriter(const Settings& s) {
  const int format = s.OUTPUT.OutputFormat;
  if (IsSoundFileFormat(format)) return std::make_unique<SoundFileWriter>(s);
  switch (format) {
    default:
      return nullptr;
  }
}

std::string PrepareEncoder(const Settings& s) {
  const int format = s.OUTPUT.OutputFormat;
  if (IsSoundFileFormat(format)) return {};
  switch (format) {
    default:
      break;
  }
  if (!MakeClipWriter(s)) {
    return std::string("The ") + FormatTag(format) + " format is not available in this build.";
  }
  return {};
}

}  // namespace tarvexa
