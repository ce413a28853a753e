#pragma once
// The families whose files an outside program writes: AAC, Musepack and the
// user-customised encoder (see formats/FormatFamily.h).
// Thread affinity: constants; see formats/FormatFamily.h.

#include "formats/FormatFamily.h"

namespace tarvexa {

const FormatFamily& AacFamily();
const FormatFamily& MusepackFamily();
const FormatFamily& CustomEncoderFamily();

}  // namespace tarvexa
