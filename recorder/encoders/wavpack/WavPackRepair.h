#pragma once
// The repair of a WavPack file left unfinished (the recover hook of the
// WavPack family): the ".wv" file, and its ".wvc" correction file when
// there is one, are cut back to their last whole block (a block whose
// checksum holds) and to the blocks both have, and the sample count of
// those blocks is written into the first block of each (with its checksum
// recomputed), where a recording that never ended says "unknown".
// Thread affinity: any thread.

#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/FormatFamily.h"

namespace tarvexa {

RecoveredFile RecoverWavPackFile(int format, const std::string& path);

// The checksum of a WavPack block's own checksum sub-block, computed over
// the block's first `bytes` bytes (up to that sub-block).
uint32_t WavPackBlockChecksum(const unsigned char* block, size_t bytes);

}  // namespace tarvexa
