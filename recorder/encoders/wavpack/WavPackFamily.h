#pragma once
// WavPack, lossless or hybrid.
// Thread affinity: a constant; see formats/FormatFamily.h.

#include "formats/FormatFamily.h"

namespace tarvexa {

const FormatFamily& WavPackFamily();

}  // namespace tarvexa
