#pragma once
// Monkey's Audio through MACDll.so, our compressor library.
// Thread affinity: a constant; see formats/FormatFamily.h.

#include "formats/FormatFamily.h"

namespace tarvexa {

const FormatFamily& ApeFamily();

}  // namespace tarvexa
