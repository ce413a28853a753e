#pragma once
// The repair of an MP3 file left unfinished (the recover hook of the MP3
// family): the file is cut back to its last whole MPEG audio frame, and
// the information frame at its start, which the encoder library reserves
// but fills in only when a file is closed, gets the real frame and byte
// counts and the seek table ("Info" for a constant bitrate, "Xing" for a
// variable one). A file written without that frame is only cut back.
// Thread affinity: any thread.

#include <string>

#include "formats/FormatFamily.h"

namespace tarvexa {

RecoveredFile RecoverMp3File(int format, const std::string& path);

}  // namespace tarvexa
