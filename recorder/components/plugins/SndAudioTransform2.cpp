// The sample processing stage: the engine's AudioTransform, compiled into
// this component, behind the transform role. The main window hands it to
// each recording, whose encoder thread runs the DSP stage on it.
#include "PluginSupport.h"
#include "recording/AudioTransform.h"

namespace {

using tarvexa::AudioTransform;

class SndAudioTransform2 final : public tarvexa::plugin::ComponentBase<SndAudioTransform2>,
                                 public tarvexa::TransformRole {
 public:
  static constexpr const char* kName = "SndAudioTransform2";
  static constexpr const char* kVersion = "2.1.0";

  void* Query(const char* role) override {
    if (std::strcmp(role, tarvexa::kRoleTransform) == 0)
      return static_cast<tarvexa::TransformRole*>(this);
    return nullptr;
  }

  void SetChannels(int channels) override { t_.SetChannels(channels); }
  void SetSampleRate(int rate) override { t_.SetSampleRate(rate); }
  int Channels() const override { return t_.Channels(); }
  int SampleRate() const override { return t_.SampleRate(); }
  std::vector<int16_t> LeftChannel(std::span<const int16_t> stereo) const override {
    return t_.LeftChannel(stereo);
  }
  std::vector<int16_t> RightChannel(std::span<const int16_t> stereo) const override {
    return t_.RightChannel(stereo);
  }
  std::vector<int16_t> Merge(std::span<const int16_t> left,
                             std::span<const int16_t> right) const override {
    return t_.Merge(left, right);
  }
  void Amplify(std::vector<int16_t>& samples, float coefficient) override {
    t_.Amplify(samples, coefficient);
  }
  void Normalize(std::vector<int16_t>& samples, float percent, bool leveling,
                 int channel) override {
    t_.Normalize(samples, percent, leveling, channel);
  }
  void Resample(std::vector<int16_t>& samples, float percent, int channel) override {
    t_.Resample(samples, percent, channel);
  }
  bool ResamplerPending(int channel) const override { return t_.ResamplerPending(channel); }
  void FlushResampler(std::vector<int16_t>& samples, int channel) override {
    t_.FlushResampler(samples, channel);
  }

 private:
  AudioTransform t_;
};

}  // namespace

TARVEXA_EXPORT_COMPONENT(SndAudioTransform2)
