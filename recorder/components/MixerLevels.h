#pragma once
// The arithmetic of recording levels, on both sides of the recording
// component: the device page's 0..100 sliders against the component's
// volume (0..65535) and balance (0..100, 50 the centre), and the component's
// volume and balance against a mixer element's raw range and its left and
// right channels.
// Thread affinity: pure functions; any thread.

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tarvexa::mixer {

inline constexpr int kMaxVolume = 65535;
inline constexpr int kCentre = 50;

// --- The device page's sliders ----------------------------------------------

// Slider position 0..100 to the component's volume: trunc(p * 655.35).
inline int SliderToVolume(int position) {
  position = std::clamp(position, 0, 100);
  return static_cast<int>(position * 655.35);
}

// The component's volume back to a slider position: volume / 655.35, rounded
// to the nearest position, so that a position set and read back is the same
// (truncating would turn 1 -> 655 back into 0, and nearly every position into
// the one below it).
inline int VolumeToSlider(int volume) {
  volume = std::clamp(volume, 0, kMaxVolume);
  return std::clamp(static_cast<int>(std::lround(volume / 655.35)), 0, 100);
}

// The balance label's number: the position less the centre.
inline int BalanceLabelValue(int position) { return position - kCentre; }

// --- The component against a mixer element -----------------------------------

// Volume 0..65535 to a raw value of the element's range [min, max], rounded.
inline long VolumeToRaw(int volume, long min, long max) {
  volume = std::clamp(volume, 0, kMaxVolume);
  if (max <= min) return min;
  return min +
         std::lround(static_cast<double>(volume) * static_cast<double>(max - min) / kMaxVolume);
}

// A raw value of the range [min, max] to the volume 0..65535, rounded; a raw
// value outside the range counts as its nearest end.
inline int RawToVolume(long raw, long min, long max) {
  if (max <= min) return 0;
  raw = std::clamp(raw, min, max);
  return static_cast<int>(
      std::lround(static_cast<double>(raw - min) * kMaxVolume / static_cast<double>(max - min)));
}

struct StereoVolume {
  int left = 0;
  int right = 0;
};

// The channel volumes of a volume at a balance: the far side of the centre
// keeps the volume, the near side is lowered in proportion (balance 100: the
// left channel silent; 0: the right one).
inline StereoVolume SplitBalance(int volume, int balance) {
  volume = std::clamp(volume, 0, kMaxVolume);
  balance = std::clamp(balance, 0, 100);
  StereoVolume v{volume, volume};
  if (balance > kCentre)
    v.left = static_cast<int>(std::lround(volume * (100.0 - balance) / kCentre));
  else if (balance < kCentre)
    v.right = static_cast<int>(std::lround(volume * static_cast<double>(balance) / kCentre));
  return v;
}

// The volume of a channel pair: the louder channel.
inline int VolumeOf(int left, int right) { return std::max(left, right); }

// The balance of a channel pair, the inverse of SplitBalance (rounded);
// the centre when both are silent.
inline int BalanceOf(int left, int right) {
  left = std::max(left, 0);
  right = std::max(right, 0);
  if (left == right) return kCentre;
  if (left > right)
    return static_cast<int>(std::lround(kCentre * static_cast<double>(right) / left));
  return 100 - static_cast<int>(std::lround(kCentre * static_cast<double>(left) / right));
}

}  // namespace tarvexa::mixer
