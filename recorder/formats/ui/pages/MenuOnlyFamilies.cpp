#include "formats/ui/pages/MenuOnlyFamilies.h"

#include "formats/FormatCatalogue.h"

namespace tarvexa {

namespace {

FormatFamilyUi OneCommand(int format) {
  FormatFamilyUi ui;
  ui.menu.push_back(PlainCommand(format));
  return ui;
}

}  // namespace

FormatFamilyUi WmaFamilyUi() { return OneCommand(kFormatWMA); }

}  // namespace tarvexa
