#include "encoders/StandInFamilies.h"

#include <map>

namespace tarvexa {

namespace {

// The label and log line of a format whose label comes with its writer.
FormatText ByTag(int format, const Settings&) {
  return {std::string(FormatTag(format)) + ":",
          std::string("Set audio format: ") + FormatTag(format) + "."};
}

// 8000 to 96000 Hz.
RateChannelMatrix AllowedPairs(int, const Settings&) { return RateChannelMatrix::Rates(0, 10); }

FormatFamily Make(int format) {
  return FormatFamily{
      .name = FormatTag(format),
      .codes = {format},
      .describe = ByTag,
      .allowedPairs = AllowedPairs,
  };
}

}  // namespace

const FormatFamily& StandInFamily(int format) {
  static const std::map<int, FormatFamily> families = [] {
    std::map<int, FormatFamily> m;
    for (int f : {kFormatWMA})
      m.emplace(f, Make(f));
    return m;
  }();
  return families.at(format);
}

}  // namespace tarvexa
