#pragma once
// Windows Media Audio through the SndWMAFile2 component on FFmpeg.
// Thread affinity: a constant; see formats/FormatFamily.h.

#include "formats/FormatFamily.h"

namespace tarvexa {

const FormatFamily& WmaFamily();

}  // namespace tarvexa
