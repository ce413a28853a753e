#include "encoders/OggSerial.h"

#include <cstdint>
#include <mutex>
#include <random>

namespace tarvexa {

int NewOggSerialNumber() {
  // Seeded once from the system's entropy: clips split within the same
  // second (or in two recorders started together) still get distinct serials.
  static std::mutex mutex;
  static std::mt19937 generator{std::random_device{}()};
  static bool handedOut = false;
  static uint32_t last = 0;
  std::lock_guard<std::mutex> lock(mutex);
  uint32_t value;
  do {
    value = static_cast<uint32_t>(generator());
  } while (handedOut && value == last);
  handedOut = true;
  last = value;
  return static_cast<int>(value);
}

}  // namespace tarvexa
