#pragma once
// Ogg Vorbis through libvorbis.
// Thread affinity: a constant; see formats/FormatFamily.h.

#include "formats/FormatFamily.h"

namespace tarvexa {

const FormatFamily& OggVorbisFamily();

}  // namespace tarvexa
