#pragma once
// MPEG-1 Audio Layer 2 through libtwolame.
// Thread affinity: a constant; see formats/FormatFamily.h.

#include "formats/FormatFamily.h"

namespace tarvexa {

const FormatFamily& Mp2Family();

}  // namespace tarvexa
