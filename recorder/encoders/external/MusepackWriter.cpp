#include "encoders/external/MusepackWriter.h"

#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "formats/EncoderPrograms.h"
#include "platform/ShellOpen.h"
#include "platform/Text.h"

namespace tarvexa {

namespace {

// "Standard" from " Standard   180 kbps".
std::string PresetName(int preset) {
  if (preset < 0 || preset > kMusepackCustomizedPreset) return {};
  std::string_view text = kMusepackPresetTexts[preset];
  text.remove_prefix(1);
  return std::string(text.substr(0, text.find(' ')));
}

}  // namespace

std::string MusepackProgram() {
  const std::string own = ExternalEncoderProgram("mppenc");
  if (::access(own.c_str(), X_OK) == 0) return own;
  return FindProgram("mpcenc");
}

std::vector<std::string> MusepackArguments(const Settings& s, const std::string& program,
                                           const std::string& path) {
  return {program, "--quality", Printf("%3.2f", s.MPC.Quality * 0.1), "--overwrite", "-", path};
}

ExternalCommand MusepackWriter::CommandFor(const std::string& path) const {
  ExternalCommand c;
  const std::string program = MusepackProgram();
  if (program.empty()) {
    c.error = "Error: no Musepack encoder was found: put mppenc into " +
              UserExternalEncoderFolder() + " or install mpcenc (Debian package musepack-tools).";
    return c;
  }
  c.argv = MusepackArguments(settings(), program, path);
  c.dataLength = kUnknownDataLength;
  return c;
}

FormatText DescribeMusepack(const Settings& s) {
  std::string preset = PresetName(s.MPC.Preset);
  if (!preset.empty()) preset += "; ";
  return {"MPC:  " + preset +
              Printf("Quality %3.2f; %5d Hz; ", s.MPC.Quality * 0.1, SampleRateOf(s)) +
              (ChannelsOf(s) == 1 ? " Mono;" : " Stereo;"),
          "Set audio format: MPC."};
}

RateChannelMatrix MusepackRateChannels(const Settings&) {
  RateChannelMatrix m;
  for (auto& row : m.allowed) std::fill(row.begin() + 6, row.begin() + 9, true);
  return m;
}

}  // namespace tarvexa
