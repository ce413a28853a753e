#pragma once
// Musepack (".mpc", ".mp+", ".mpp") through an outside encoder program:
// the user's "External/mppenc" when it is there, else mpcenc from
// the system (Debian's musepack-tools), both with the same switches.
// Thread affinity: the writer runs on the encoder thread; the free
// functions are pure over a Settings value (any thread).

#include <string>
#include <vector>

#include "encoders/external/ExternalWriter.h"
#include "formats/FormatFamily.h"

namespace tarvexa {

// The preset list of the Musepack page, and the quality (in tenths) each of
// the first seven fixes; the eighth entry keeps the stored quality.
inline constexpr const char* kMusepackPresetTexts[] = {
    " Telephone   60 kbps", " Thumb       90 kbps", " Radio      130 kbps", " Standard   180 kbps",
    " Extreme    210 kbps", " Insane     240 kbps", " Braindead  270 kbps", " Customized  "};
inline constexpr int kMusepackPresetQuality[] = {20, 30, 40, 50, 60, 70, 80};
inline constexpr int kMusepackCustomizedPreset = 7;
// The extension list of the Musepack page (MPC.Ext).
inline constexpr const char* kMusepackExtensionTexts[] = {" MPC ", " MP+ ", " MPP "};

class MusepackWriter final : public ExternalClipWriter {
 public:
  explicit MusepackWriter(const Settings& s) : ExternalClipWriter(s) {}
  ExternalCommand CommandFor(const std::string& path) const override;
};

// The encoder program: ExternalEncoderProgram("mppenc") when it is an
// executable file, else mpcenc on $PATH; "" when there is neither.
std::string MusepackProgram();

// program --quality Q --overwrite - path, Q = MPC.Quality × 0.1 as "%3.2f".
std::vector<std::string> MusepackArguments(const Settings& s, const std::string& program,
                                           const std::string& path);

// The format label and the log line of MPC.
FormatText DescribeMusepack(const Settings& s);
// Both channel counts at 32000, 44100 and 48000 Hz.
RateChannelMatrix MusepackRateChannels(const Settings& s);

}  // namespace tarvexa
