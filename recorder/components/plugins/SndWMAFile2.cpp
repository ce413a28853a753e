// The WMA writer. Holds the profile file now; the writing comes with the WMA
// format.
#include <string>

#include "PluginSupport.h"

namespace {

class SndWMAFile2 final : public tarvexa::plugin::ComponentBase<SndWMAFile2>,
                          public tarvexa::WmaFileRole {
 public:
  static constexpr const char* kName = "SndWMAFile2";
  static constexpr const char* kVersion = "2.0.0";

  void* Query(const char* role) override {
    if (std::strcmp(role, tarvexa::kRoleWmaFile) == 0) return static_cast<tarvexa::WmaFileRole*>(this);
    return nullptr;
  }
  void SetProfileFile(const char* path) override { profile_ = path ? path : ""; }
  const char* ProfileFile() const override { return profile_.c_str(); }

 private:
  std::string profile_;
};

}  // namespace

TARVEXA_EXPORT_COMPONENT(SndWMAFile2)
