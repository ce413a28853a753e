#pragma once
// The level of a display block for the amplitude bars: the mean absolute
// value of every 128th sample position, shown as the integer part of
// 20 log10(mean + 1). Silence gives 0 and full scale 90.
// Thread affinity: none (plain arithmetic).

#include <cstddef>
#include <cstdint>

namespace tarvexa {

struct BlockLevels {
  int left = 0;
  int right = 0;
};

// Takes the values at 0, 128, 256, ... ((count + 127) / 128 of them); for
// stereo the value just after each taken one is the right channel's. The
// mean is an integer division. Mono shows the left level on both.
BlockLevels LevelsOf(const int16_t* samples, size_t count, int channels);

}  // namespace tarvexa
