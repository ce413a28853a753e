#pragma once
// The catalogue of output formats: codes, tags, list texts, extensions, the
// sample-rate and bitrate tables, the sub-encodings and format words of the
// sound-file library, the rule that restricts rate and channel count per
// format, and the application of a newly chosen format. What depends on the
// encoder of a format (its label, the pairs it allows, its settings check,
// its writer) comes from the format's family (formats/FormatFamily.h).
// Thread affinity: pure functions over a Settings value; any thread.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "config/Settings.h"

namespace tarvexa {

enum OutputFormat : int {
  kFormatWAV = 1,
  kFormatMP3,
  kFormatWMA,
  kFormatOGG,
  kFormatAPE,
  kFormatFLAC,
  kFormatMP2,
  kFormatVQF,
  kFormatAIFF,
  kFormatAAC,
  kFormatMPC,
  kFormatWV,
  kFormatAU,
  kFormatRAW,
  kFormatPAF,
  kFormatSVX,
  kFormatNIST,
  kFormatIRCAM,
  kFormatVOC,
  kFormatW64,
  kFormatMAT4,
  kFormatMAT5,
  kFormatPVF,
  kFormatXI,
  kFormatHTK,
  kFormatCAF,
  kFormatSDS,
  kFormatAVR,
  kFormatWAVEX,
  kFormatSD2,
  kFormatUserCustomized = 31,
};
constexpr int kFirstFormat = 1;
constexpr int kLastFormat = 31;

inline constexpr std::array<int, 12> SampleRateTable = {8000,  11025, 12000, 16000, 22050, 24000,
                                                        32000, 44100, 48000, 88200, 96000, 192000};
inline constexpr std::array<int, 17> BitrateTable = {8,  16,  24,  32,  40,  48,  56,  64, 80,
                                                     96, 112, 128, 160, 192, 224, 256, 320};

// Sample rate of settings.OUTPUT.Freq; 44100 when the index is out of range.
int SampleRateOf(const Settings& s);
// The SampleRateTable index of a rate in Hz; -1 for a rate not in the table.
int RateIndexOf(int rate);
// Channel count of settings.OUTPUT.Chan, 1 or 2 (anything else counts as 2).
int ChannelsOf(const Settings& s);

bool IsSoundFileFormat(int format);      // WAV, AIFF, 13..30
const char* FormatTag(int format);       // "WAV", "MP3", ... ; "" outside 1..31
const char* FormatListText(int format);  // " WAV    (Waveform Audio)" ...

// Extension with its leading dot for the format with the current settings;
// "" outside 1..31.
std::string FileExtensionFor(int format, const Settings& s);

struct SubEncoding {
  const char* name;  // "Signed 16 bit PCM"
  int subtype;       // SF_FORMAT_PCM_16
};
// The offered sub-encodings of a sound-file format, in list order.
std::vector<SubEncoding> SubEncodingsOf(int format);
// The "File Extension:" list of a sound-file format (" au", " snd", ...).
std::vector<std::string> ExtensionListOf(int format);
// The selected sub-encoding index of a sound-file format (its selector field).
int SubEncodingIndexOf(int format, const Settings& s);
// The selected sub-encoding of a sound-file format; nullptr when the
// selector is outside the format's code table (or for other formats).
const SubEncoding* SelectedSubEncoding(int format, const Settings& s);

// libsndfile format word (major | subtype | endianness) for the current
// sound-file format; the subtype is 0 when the selector is out of range.
// Returns 0 for formats not written through libsndfile.
int SndfileFormatCode(const Settings& s);

// Rows: 0 mono, 1 stereo; columns: SampleRateTable indices.
struct RateChannelMatrix {
  std::array<std::array<bool, 12>, 2> allowed{};
  static RateChannelMatrix All();
  // Both channel counts at the rate indices first..last.
  static RateChannelMatrix Rates(int first, int last);
  // One channel at every rate.
  static RateChannelMatrix MonoOnly();
};

// The rate/channel pairs the current format allows by itself (before the
// input device is taken into account).
RateChannelMatrix FormatMatrixOf(const Settings& s);

struct RateChannelResult {
  RateChannelMatrix format;  // the format matrix of the current format
  bool monoAllowed = true;
  bool stereoAllowed = true;
  bool changed = false;  // Chan/Freq were corrected
};

// Evaluates the rule for the current format against the device matrix and
// corrects settings.OUTPUT.Chan/Freq when the current pair is not usable
// (the format or the device lacks it), also for a format that allows every
// pair. A format that allows a single pair (a TwinVQ preset) sets that pair
// at once. Where no pair is usable the settings stay as they are.
RateChannelResult RateChannelRule(Settings& s, const RateChannelMatrix& device);

struct FormatApplied {
  std::string label;                                  // shown in the third information line
  std::string logLine;                                // "" when nothing is logged
  std::vector<std::pair<std::string, int>> extraLog;  // probe messages (text, level)
  // When the encoder refused the settings and they were reset: the text of
  // the message box the window shows (error icon); "" for none.
  std::string refusedBox;
  RateChannelResult rule;
};

// Makes the current format current: label, log line, the check of the
// encoder settings (settings the encoder refuses are reset to their
// defaults and the refusal is added to extraLog, level 1), and the
// rate/channel rule (re-run after a correction, as the main window does).
FormatApplied ApplyOutputFormat(Settings& s, const RateChannelMatrix& device);

}  // namespace tarvexa
