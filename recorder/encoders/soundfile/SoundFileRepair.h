#pragma once
// The repair of a sound file left unfinished (the recover hook of the
// sound-file family): WAV, WAVEX and RF64, AIFF and AIFF-C, Wave64 and CAF
// get the sizes in their headers from the file's length, cut back to the
// last whole sample frame (or codec block); a WAV that has passed 4 GiB and
// kept room for it becomes RF64. Other sound-file formats are measured as
// they are. The length reported is what the sound-file library reads.
// Thread affinity: any thread.

#include <string>

#include "formats/FormatFamily.h"

namespace tarvexa {

RecoveredFile RecoverSoundFile(int format, const std::string& path);

}  // namespace tarvexa
