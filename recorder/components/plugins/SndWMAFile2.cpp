// The WMA writer: the encoding profiles (the profile file's or the built-in
// ones) and the writing of one WMA file at a time through FFmpeg, converting
// the input format to the selected profile's.
#include <string>

#include "AsfWmaOutput.h"
#include "FfmpegLog.h"
#include "PluginSupport.h"
#include "encoders/wma/WmaProfiles.h"

namespace {

using tarvexa::WmaProfile;
using tarvexa::WmaProfileSet;

class SndWMAFile2 final : public tarvexa::plugin::ComponentBase<SndWMAFile2>,
                          public tarvexa::WmaFileRole {
 public:
  static constexpr const char* kName = "SndWMAFile2";
  static constexpr const char* kVersion = "2.1.0";

  SndWMAFile2() : profiles_(WmaProfileSet::BuiltIn()) { tarvexa::wma::InstallFfmpegLog(); }

  void* Query(const char* role) override {
    if (std::strcmp(role, tarvexa::kRoleWmaFile) == 0)
      return static_cast<tarvexa::WmaFileRole*>(this);
    return nullptr;
  }

  bool CloseOutput() override {
    if (!output_.IsOpen()) return Refuse("No WMA file is open.");
    return output_.Close(&error_);
  }

  bool OpenOutput(const char* path) override {
    if (output_.IsOpen()) return Refuse("A WMA file is open already.");
    const WmaProfile* p = profiles_.Find(selected_);
    if (!p) return Refuse("No WMA profile is selected.");
    if (const std::string why = tarvexa::WmaRefusal(*p); !why.empty()) return Refuse(why);
    tarvexa::wma::StreamFormat f;
    f.inRate = inRate_;
    f.inChannels = inChannels_;
    f.rate = p->rate;
    f.channels = p->channels;
    f.bitrate = p->bitrate;
    return output_.Open(path ? path : "", f, &error_);
  }

  bool WriteSamples(const int16_t* samples, size_t count) override {
    return output_.Write(samples, count, &error_);
  }

  bool SetInputFormat(int rate, int channels) override {
    if (output_.IsOpen()) return Refuse("The input format cannot change while a file is open.");
    if (rate < 1000 || rate > 768000 || channels < 1 || channels > 2)
      return Refuse("The input format " + std::to_string(rate) + " Hz, " +
                    std::to_string(channels) + " channel(s) is not supported.");
    inRate_ = rate;
    inChannels_ = channels;
    return true;
  }

  bool LoadProfileFile(const char* path) override {
    WmaProfileSet loaded;
    std::string why;
    if (!tarvexa::LoadWmaProfileFile(path ? path : "", &loaded, &why)) return Refuse(why);
    profiles_ = std::move(loaded);
    return true;
  }

  bool SelectProfile(int number) override {
    if (!profiles_.Find(number))
      return Refuse("There is no WMA profile " + std::to_string(number) + ".");
    selected_ = number;
    return true;
  }

  const char* GetProfileDescription() override {
    const WmaProfile* p = profiles_.Find(selected_);
    return p ? p->description.c_str() : "";
  }

  const char* ProfileRefusal() override {
    const WmaProfile* p = profiles_.Find(selected_);
    refusal_ = p ? tarvexa::WmaRefusal(*p) : "No WMA profile is selected.";
    return refusal_.c_str();
  }

  const char* LastError() const override { return error_.c_str(); }

 private:
  bool Refuse(std::string why) {
    error_ = std::move(why);
    return false;
  }

  WmaProfileSet profiles_;
  int selected_ = 0;
  int inRate_ = 44100;
  int inChannels_ = 2;
  tarvexa::wma::AsfWmaOutput output_;
  std::string error_;
  std::string refusal_;
};

}  // namespace

TARVEXA_EXPORT_COMPONENT(SndWMAFile2)
