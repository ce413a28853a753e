// The writer and the preparation of the current output format, from its
// family in the table.
#include "encoders/ClipWriter.h"
#include "formats/FormatFamily.h"

namespace tarvexa {

std::unique_ptr<ClipWriter> MakeClipWriter(const Settings& s) {
  const FormatFamily* family = FamilyOf(s.OUTPUT.OutputFormat);
  if (!family || !family->makeWriter) return nullptr;
  return family->makeWriter(s);
}

std::string PrepareEncoder(const Settings& s) {
  const int format = s.OUTPUT.OutputFormat;
  const FormatFamily* family = FamilyOf(format);
  if (!family || !family->makeWriter) {
    return std::string("The ") + FormatTag(format) + " format is not available in this build.";
  }
  return family->prepare ? family->prepare(s) : std::string();
}

}  // namespace tarvexa
