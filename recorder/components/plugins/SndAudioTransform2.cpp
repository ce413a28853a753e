// The sample processing stage. Knows the format of the recording; the
// processing itself comes with the DSP work.
#include "PluginSupport.h"

namespace {

class SndAudioTransform2 final : public tarvexa::plugin::ComponentBase<SndAudioTransform2>,
                                 public tarvexa::TransformRole {
 public:
  static constexpr const char* kName = "SndAudioTransform2";
  static constexpr const char* kVersion = "2.0.0";

  void* Query(const char* role) override {
    if (std::strcmp(role, tarvexa::kRoleTransform) == 0) return static_cast<tarvexa::TransformRole*>(this);
    return nullptr;
  }
  void SetFormat(int channels, int rate) override {
    channels_ = channels;
    rate_ = rate;
  }
  int Channels() const override { return channels_; }
  int Rate() const override { return rate_; }

 private:
  int channels_ = 2;
  int rate_ = 44100;
};

}  // namespace

TARVEXA_EXPORT_COMPONENT(SndAudioTransform2)
