#pragma once
// TwinVQ in the VQF container through tvqenc.so, our coding library.
// Thread affinity: a constant; see formats/FormatFamily.h.

#include "formats/FormatFamily.h"

namespace tarvexa {

const FormatFamily& VqfFamily();

}  // namespace tarvexa
