// WMA tags for the metadata page. Reading comes with the tag editor.
#include "PluginSupport.h"

namespace {

class WMAFileInformation2 final : public tarvexa::plugin::ComponentBase<WMAFileInformation2>,
                                  public tarvexa::WmaInfoRole {
 public:
  static constexpr const char* kName = "WMAFileInformation2";
  static constexpr const char* kVersion = "2.0.0";

  void* Query(const char* role) override {
    if (std::strcmp(role, tarvexa::kRoleWmaInfo) == 0) return static_cast<tarvexa::WmaInfoRole*>(this);
    return nullptr;
  }
  bool CanRead(const char*) const override { return false; }
};

}  // namespace

TARVEXA_EXPORT_COMPONENT(WMAFileInformation2)
