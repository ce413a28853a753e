#include "components/visual/Levels.h"

#include <cmath>
#include <cstdlib>

namespace tarvexa {

BlockLevels LevelsOf(const int16_t* samples, size_t count, int channels) {
  BlockLevels out;
  if (!samples || count == 0) return out;
  int64_t sumLeft = 0, sumRight = 0;
  const int64_t n = static_cast<int64_t>((count + 127) / 128);
  for (size_t i = 0; i < count; i += 128) {
    sumLeft += std::abs(static_cast<int>(samples[i]));
    if (i + 1 < count) sumRight += std::abs(static_cast<int>(samples[i + 1]));
  }
  auto level = [n](int64_t sum) {
    return static_cast<int>(20.0 * std::log10(static_cast<double>(sum / n) + 1.0));
  };
  out.left = level(sumLeft);
  out.right = channels == 2 ? level(sumRight) : out.left;
  return out;
}

}  // namespace tarvexa
