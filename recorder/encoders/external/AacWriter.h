#pragma once
// AAC through outside encoder programs, by AAC.ContainerFormat: 0 to 3
// (".aac", ".m4a", ".m4b", ".mp4") through our own "External/faac" (FFmpeg's
// AAC encoder; LC, Main or LTP, never HE-AAC), 4 to 7 through the Nero AAC
// encoder and 8 through the CT AAC+ encoder, both programs the user puts
// into "External/" himself (UserExternalEncoderFolder()).
// Thread affinity: the writer runs on the encoder thread; the free
// functions are pure over a Settings value (any thread).

#include <string>
#include <vector>

#include "encoders/external/ExternalWriter.h"
#include "formats/FormatFamily.h"

namespace tarvexa {

inline constexpr int kAacContainerCount = 9;
// The container list of the AAC page, by AAC.ContainerFormat.
inline constexpr const char* kAacContainerTexts[kAacContainerCount] = {
    " AAC - FAAC Codec", " M4A - FAAC Codec", " M4B - FAAC Codec",
    " MP4 - FAAC Codec", " 3GP - Nero Codec", " M4A - Nero Codec",
    " M4B - Nero Codec", " MP4 - Nero Codec", " AAC - CT AAC+ Codec"};

enum class AacEncoder { Faac, Nero, Ct, None };
AacEncoder AacEncoderOf(int container);
// The program of a container (ExternalEncoderProgram); "" for None.
std::string AacProgramFor(int container);

// The switches of the container's encoder, exactly as the command line
// carries them (blanks included); "" for an unknown container. Made once
// per recording and used for every file of it.
std::string BuildAacSwitches(const Settings& s);

// The whole argument vector for one output file:
//   faac:        program SWITCHES -o path -
//   neroAacEnc:  program SWITCHES -of path -if -
//   enc_aacplus: program - path SWITCHES
// Empty for an unknown container.
std::vector<std::string> AacArguments(const Settings& s, const std::string& switches,
                                      const std::string& path);

class AacWriter final : public ExternalClipWriter {
 public:
  explicit AacWriter(const Settings& s) : ExternalClipWriter(s), switches_(BuildAacSwitches(s)) {}
  ExternalCommand CommandFor(const std::string& path) const override;

 private:
  std::string switches_;
};

// The format label and the log line of AAC.
FormatText DescribeAac(const Settings& s);
// Containers 0 to 7: both channel counts at 8000 to 96000 Hz; container 8:
// 32000, 44100 and 48000 Hz.
RateChannelMatrix AacRateChannels(const Settings& s);
// Refuses an unknown container; the program itself is looked for when
// each file starts.
std::string PrepareAac(const Settings& s);

}  // namespace tarvexa
