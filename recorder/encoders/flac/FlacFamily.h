#pragma once
// FLAC, native or in Ogg, through libFLAC.
// Thread affinity: a constant; see formats/FormatFamily.h.

#include "formats/FormatFamily.h"

namespace tarvexa {

const FormatFamily& FlacFamily();

}  // namespace tarvexa
