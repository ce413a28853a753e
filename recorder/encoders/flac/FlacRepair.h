#pragma once
// The repair of a FLAC file left unfinished (the recover hook of the FLAC
// family). Native FLAC: the file is cut back to its last whole frame (a
// frame whose checksum holds) and the sample count of those frames is
// written into STREAMINFO; when the count had to change, the MD5 signature
// is cleared (it was of audio the file does not hold), which decoders
// accept. Ogg FLAC is an Ogg stream and is repaired as one.
// Thread affinity: any thread.

#include <string>

#include "formats/FormatFamily.h"

namespace tarvexa {

RecoveredFile RecoverFlacFile(int format, const std::string& path);

}  // namespace tarvexa
