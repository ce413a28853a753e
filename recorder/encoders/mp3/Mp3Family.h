#pragma once
// MPEG-1 Audio Layer 3 through lame_enc.so.
// Thread affinity: a constant; see formats/FormatFamily.h.

#include "formats/FormatFamily.h"

namespace tarvexa {

const FormatFamily& Mp3Family();

}  // namespace tarvexa
