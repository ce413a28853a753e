#pragma once
// The window part of the families that have commands in the format menu
// but no pages in the options sheet yet: WMA, APE, VQF, AAC (one command per
// container, with the checks of the Nero and CT encoders), Musepack and the
// user-customised encoder (checked before it is chosen). A family that gets
// pages moves its function beside them.
// Thread affinity: the user-interface thread.

#include "formats/ui/FormatFamilyUi.h"

namespace tarvexa {

FormatFamilyUi WmaFamilyUi();
FormatFamilyUi ApeFamilyUi();
FormatFamilyUi VqfFamilyUi();
FormatFamilyUi AacFamilyUi();
FormatFamilyUi MpcFamilyUi();
FormatFamilyUi UserCustomizedFamilyUi();

}  // namespace tarvexa
