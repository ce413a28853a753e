#pragma once
// Writes WMA (".wma": Windows Media Audio 9.2 in ASF) through the WMA
// component SndWMAFile2, which does the encoding on FFmpeg. The component is
// a library loaded at run time; each file loads its own instance from the
// component folder through ComponentLoader, so the window and the command
// line write the same way and the encoder thread never shares an instance
// with the user-interface thread. The library is loaded once per process
// and stays loaded.
// Also the family's pieces for the format catalogue: label, log line,
// allowed rate/channel pairs and the check before a recording.
// Thread affinity: the writer and PrepareWma run on the encoder thread; the
// label and pairs are pure over a Settings value and run on any thread.

#include <string>

#include "components/ComponentLoader.h"
#include "encoders/ClipWriter.h"
#include "formats/FormatCatalogue.h"

namespace tarvexa {

inline constexpr const char* kWmaComponentName = "SndWMAFile2";

class WmaWriter : public ClipWriter {
 public:
  explicit WmaWriter(const Settings& s);
  ~WmaWriter() override;

  std::string Open(const std::string& path) override;
  bool Write(const int16_t* samples, size_t frames) override;
  bool Close() override;
  std::string ErrorText() const override { return error_; }

 private:
  Settings settings_;
  ComponentHandle component_;
  WmaFileRole* wma_ = nullptr;
  bool open_ = false;
  std::string error_;
};

inline constexpr const char* kWmaLogLine = "Set audio format: WMA.";

// "WMA:  " followed by the description of WMA/Profile in the profiles in
// use (" WMA 9.2  128kbps; 44100 Hz; Stereo; CBR;").
std::string WmaFormatLabel(const Settings& s);

// Input pairs the WMA family takes: both channel counts, 8000 to 96000 Hz.
// The component converts them to the profile's rate and channels.
RateChannelMatrix WmaAllowedPairs();

// The check before the first clip: the component loads, the profile exists
// and can be written as it promises. Returns "" or the error to log (level
// 2: no file is made and the recording ends).
std::string PrepareWma(const Settings& s);

}  // namespace tarvexa
