#pragma once
// The window part of the families that have commands in the format menu
// but no pages in the options sheet yet: WMA. A family that gets pages
// moves its function beside them.
// Thread affinity: the user-interface thread.

#include "formats/ui/FormatFamilyUi.h"

namespace tarvexa {

FormatFamilyUi WmaFamilyUi();

}  // namespace tarvexa
