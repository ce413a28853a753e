#include "encoders/StandInFamilies.h"

#include <array>
#include <map>

namespace tarvexa {

namespace {

// The label and log line of a format whose label comes with its writer.
FormatText ByTag(int format, const Settings&) {
  return {std::string(FormatTag(format)) + ":",
          std::string("Set audio format: ") + FormatTag(format) + "."};
}

// TwinVQ presets fix one rate/channel pair each; index = VQF.Profile - 1.
struct VqfPair {
  int chan;
  int freq;  // SampleRateTable index
};
constexpr std::array<VqfPair, 18> kVqfPresetPairs = {{
    {1, 0}, {2, 0},                                  // 8000 Hz
    {1, 1}, {1, 1}, {2, 1}, {2, 1},                  // 11025 Hz
    {1, 3}, {2, 3},                                  // 16000 Hz
    {1, 4}, {1, 4}, {1, 4}, {2, 4}, {2, 4}, {2, 4},  // 22050 Hz
    {1, 7}, {1, 7}, {2, 7}, {2, 7},                  // 44100 Hz
}};

RateChannelMatrix AllowedPairs(int format, const Settings& s) {
  switch (format) {
    case kFormatWMA:
      return RateChannelMatrix::Rates(0, 10);
    case kFormatVQF: {
      RateChannelMatrix m;  // an unknown preset allows nothing
      const int profile = s.VQF.Profile;
      if (profile >= 1 && profile <= static_cast<int>(kVqfPresetPairs.size())) {
        const VqfPair& p = kVqfPresetPairs[static_cast<size_t>(profile - 1)];
        m.allowed[static_cast<size_t>(p.chan - 1)][static_cast<size_t>(p.freq)] = true;
      }
      return m;
    }
    default:
      return RateChannelMatrix::All();
  }
}

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
    for (int f : {kFormatWMA, kFormatVQF})
      m.emplace(f, Make(f));
    return m;
  }();
  return families.at(format);
}

}  // namespace tarvexa
