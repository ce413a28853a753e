#pragma once
// The WMA encoding profiles: numbered, grouped by mode and codec, each with
// its description, sample rate, channels and bit rate. They come from the
// profile file "Tarvexa Sound Recorder.prx" beside the executable, or from
// the copy of that file built into the program. Which of them can be written
// as they promise is decided here too, so that the options page, the writer
// and the WMA component agree.
// Thread affinity: values and pure functions; any thread.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvexa {

inline constexpr const char* kWmaModeCbr = "CBR";
inline constexpr const char* kWmaCodec92 = "Windows Media Audio 9.2";

struct WmaProfile {
  int number = 0;
  std::string mode;         // "CBR", "Quality VBR (Lossy)", "Quality VBR (Lossless)"
  std::string codec;        // "Windows Media Audio 9.2", ...
  std::string description;  // " WMA 9.2  128kbps; 44100 Hz; Stereo; CBR;"
  int rate = 0;             // Hz
  int channels = 0;         // 1 or 2
  int bitrate = 0;          // bit/s; 0 for a quality-based profile
};

// Where a profile stands on the options page: its index in the mode list,
// in the codec list of that mode and in the preset list of both.
struct WmaProfilePlace {
  int mode = -1;
  int codec = -1;
  int preset = -1;
  bool operator==(const WmaProfilePlace&) const = default;
};

class WmaProfileSet {
 public:
  // Reads the text of a profile file. On failure returns false with the
  // reason, naming the line, in *error, and leaves *out as it was.
  static bool Parse(std::string_view text, WmaProfileSet* out, std::string* error);
  // The copy of the shipped profile file built into the program.
  static const WmaProfileSet& BuiltIn();

  const std::vector<WmaProfile>& All() const { return profiles_; }
  // nullptr for a number that is not there.
  const WmaProfile* Find(int number) const;

  // The modes, in the order they first appear.
  std::vector<std::string> Modes() const;
  // The codecs of a mode, in the order they first appear.
  std::vector<std::string> Codecs(int mode) const;
  // The profiles of a mode and codec, in number order.
  std::vector<const WmaProfile*> Presets(int mode, int codec) const;
  // All -1 for a number that is not there.
  WmaProfilePlace PlaceOf(int number) const;
  // The first number of the mode and codec plus the preset index; 0 when
  // there is no such place.
  int NumberAt(const WmaProfilePlace& place) const;

 private:
  std::vector<WmaProfile> profiles_;  // numbers ascending without gaps
};

// Why the profile cannot be written as it promises, as a sentence; "" when
// it can. The encoder (FFmpeg's WMA v2, the bitstream of Windows Media Audio
// 9.2) writes a constant bit rate of 24 kbps or more, 8000 to 48000 Hz.
std::string WmaRefusal(const WmaProfile& p);

// The profile file: "Tarvexa Sound Recorder.prx" in the program folder
// ($TARVEXA_WMA_PROFILE names another file, for tests and packagers).
std::string WmaProfileFile();

// Reads a profile file. False with the reason in *error when it cannot be
// read or parsed.
bool LoadWmaProfileFile(const std::string& path, WmaProfileSet* out, std::string* error);

// The profiles in use: the profile file's when it exists and reads cleanly,
// else the built-in ones. The file is read again when it changes.
std::shared_ptr<const WmaProfileSet> WmaProfilesInUse();

}  // namespace tarvexa
