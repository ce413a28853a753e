#pragma once
// WAV, AIFF and the eighteen further formats of the sound-file library.
// Thread affinity: a constant; see formats/FormatFamily.h.

#include "formats/FormatFamily.h"

namespace tarvexa {

const FormatFamily& SoundFileFamily();

}  // namespace tarvexa
