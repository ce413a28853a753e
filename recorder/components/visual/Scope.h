#pragma once
// The oscilloscope's trace of a display block: each channel resampled to a
// number of points in -1..1. The trace starts at the first rising zero
// crossing in the first half of the block (the mix of the channels
// decides), so a steady tone stands still; it always spans half a block.
// Thread affinity: none (plain arithmetic).

#include <cstdint>

namespace tarvexa {

// Where the trace starts: a frame index in [0, frames / 2].
int ScopeTrigger(const int16_t* samples, int frames, int channels);

// Fills out[row * points + i] for rows = 1 (the mix) or rows = channels.
void ScopeTrace(const int16_t* samples, int frames, int channels, int rows, int points, float* out);

}  // namespace tarvexa
