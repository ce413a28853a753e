#include "encoders/mp2/Mp2Family.h"

#include "encoders/mp2/Mp2Writer.h"

namespace tarvexa {

namespace {

// 16000 to 48000 Hz.
RateChannelMatrix AllowedPairs(int, const Settings&) { return RateChannelMatrix::Rates(3, 8); }

std::string SettingsRefused(const Settings& s) {
  // A rate or channel count that MP2 does not allow is corrected by the
  // rate/channel rule right after this, and the format is applied again:
  // probing before that would blame (and reset) the MP2 settings for it.
  const int freq = s.OUTPUT.Freq;
  if (freq < 0 || freq >= static_cast<int>(SampleRateTable.size())) return {};
  if (!AllowedPairs(kFormatMP2, s)
           .allowed[static_cast<size_t>(ChannelsOf(s) - 1)][static_cast<size_t>(freq)])
    return {};
  return Mp2Writer::CheckSettings(s).empty() ? std::string()
                                             : "Error: configuring Libtwolame encoder failed!";
}

}  // namespace

const FormatFamily& Mp2Family() {
  static const FormatFamily family{
      .name = "MP2",
      .codes = {kFormatMP2},
      .describe =
          [](int, const Settings& s) {
            return FormatText{Mp2Label(s), kMp2LogLine};
          },
      .allowedPairs = AllowedPairs,
      .settingsRefused = SettingsRefused,
      .resetSettings = [](Settings& s) { s.MP2 = Settings::Mp2Section{}; },
      .prepare = [](const Settings& s,
                    const LogSink& log) { return AcceptOrLog(Mp2Writer::CheckSettings(s), log); },
      .makeWriter = [](const Settings& s) -> std::unique_ptr<ClipWriter> {
        return std::make_unique<Mp2Writer>(s);
      },
  };
  return family;
}

}  // namespace tarvexa
