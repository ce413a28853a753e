// Mixer access for the input devices. The mixer lines come with the device
// page; until then the component reports no mixer.
#include "PluginSupport.h"

namespace {

class SndAudioRecord2 final : public tarvexa::plugin::ComponentBase<SndAudioRecord2>,
                              public tarvexa::AudioRecordRole {
 public:
  static constexpr const char* kName = "SndAudioRecord2";
  static constexpr const char* kVersion = "2.0.0";

  void* Query(const char* role) override {
    if (std::strcmp(role, tarvexa::kRoleAudioRecord) == 0)
      return static_cast<tarvexa::AudioRecordRole*>(this);
    return nullptr;
  }
  int MixerCount() const override { return -1; }
};

}  // namespace

TARVEXA_EXPORT_COMPONENT(SndAudioRecord2)
