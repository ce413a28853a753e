#pragma once
// The DSP stage of the encoder worker: between fetching a block and writing
// it, amplify, normalise and resample, in that order, as the DSP settings
// say at that block. A stereo block is split into its channels when any of
// the three is on, each channel is processed on its own (left first), and
// the two are merged again. With every switch off the block passes as it is.
// Thread affinity: the recording's encoder thread.

#include <cstdint>
#include <span>
#include <vector>

#include "config/Settings.h"
#include "recording/SampleTransform.h"

namespace tarvexa {

// Processes one block of interleaved samples (t.Channels() channels) and
// returns the samples to write: the block itself when nothing is on, else
// the contents of `out`. The count may differ from the block's when
// resampling is on; it is always a whole number of frames.
std::span<const int16_t> ApplyDsp(SampleTransform& t, const Settings::DspSection& dsp,
                                  std::span<const int16_t> block, std::vector<int16_t>& out);

// End of a clip: the samples the resamplers still hold, interleaved (empty
// when they hold none). Written after the clip's last block, they make the
// clip exactly as long as its input resampled.
std::span<const int16_t> FlushDsp(SampleTransform& t, std::vector<int16_t>& out);

}  // namespace tarvexa
