// The writer, the preparation and the finish of the current output format,
// from its family in the table.
#include "encoders/ClipWriter.h"
#include "formats/FormatFamily.h"

namespace tarvexa {

std::unique_ptr<ClipWriter> MakeClipWriter(const Settings& s) {
  const FormatFamily* family = FamilyOf(s.OUTPUT.OutputFormat);
  if (!family || !family->makeWriter) return nullptr;
  return family->makeWriter(s);
}

bool PrepareEncoder(const Settings& s, const LogSink& log) {
  const int format = s.OUTPUT.OutputFormat;
  const FormatFamily* family = FamilyOf(format);
  if (!family || !family->makeWriter) {
    return AcceptOrLog(
        std::string("The ") + FormatTag(format) + " format is not available in this build.", log);
  }
  return !family->prepare || family->prepare(s, log);
}

void FinishEncoder(const Settings& s, const LogSink& log) {
  const FormatFamily* family = FamilyOf(s.OUTPUT.OutputFormat);
  if (family && family->finish) family->finish(log);
}

}  // namespace tarvexa
