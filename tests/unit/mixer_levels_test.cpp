// The level arithmetic between the device page's sliders, the recording
// component's volume and balance, and a mixer element's raw range and
// channels.
#include <gtest/gtest.h>

#include "components/MixerLevels.h"

using namespace tarvexa::mixer;

TEST(MixerLevels, SliderPositionsMapOntoTheComponentVolumeAndBack) {
  EXPECT_EQ(SliderToVolume(100), 65535);
  EXPECT_EQ(SliderToVolume(0), 0);
  EXPECT_EQ(SliderToVolume(1), 655);   // trunc(655.35)
  EXPECT_EQ(SliderToVolume(3), 1966);  // trunc(1966.05)
  EXPECT_EQ(SliderToVolume(50), 32767);
  EXPECT_EQ(SliderToVolume(150), 65535) << "out of range positions are held at the ends";
  EXPECT_EQ(SliderToVolume(-5), 0);

  // Every position set and read back stays where the user put it.
  for (int p = 0; p <= 100; ++p) EXPECT_EQ(VolumeToSlider(SliderToVolume(p)), p) << p;
  // A volume set elsewhere shows at the nearest position.
  EXPECT_EQ(VolumeToSlider(65535), 100);
  EXPECT_EQ(VolumeToSlider(32768), 50);
  EXPECT_EQ(VolumeToSlider(327), 0);
  EXPECT_EQ(VolumeToSlider(328), 1);
  EXPECT_EQ(VolumeToSlider(70000), 100);
  EXPECT_EQ(VolumeToSlider(-1), 0);

  EXPECT_EQ(BalanceLabelValue(80), 30);
  EXPECT_EQ(BalanceLabelValue(50), 0);
  EXPECT_EQ(BalanceLabelValue(0), -50);
}

TEST(MixerLevels, VolumesMapOntoAnElementRangeAndBack) {
  // The PulseAudio control's range, a card's coarse range, and one that does
  // not start at 0.
  struct Range {
    long min, max;
  };
  for (const Range r : {Range{0, 65536}, Range{0, 31}, Range{0, 127}, Range{-20, 80}}) {
    EXPECT_EQ(VolumeToRaw(0, r.min, r.max), r.min);
    EXPECT_EQ(VolumeToRaw(65535, r.min, r.max), r.max);
    EXPECT_EQ(RawToVolume(r.min, r.min, r.max), 0);
    EXPECT_EQ(RawToVolume(r.max, r.min, r.max), 65535);
    // Outside the range counts as its nearest end.
    EXPECT_EQ(RawToVolume(r.max + 10, r.min, r.max), 65535);
    EXPECT_EQ(RawToVolume(r.min - 10, r.min, r.max), 0);
    EXPECT_EQ(VolumeToRaw(90000, r.min, r.max), r.max);
    // Every raw step of a range up to 65535 steps survives the trip.
    if (r.max - r.min <= 65535) {
      for (long raw = r.min; raw <= r.max; ++raw)
        EXPECT_EQ(VolumeToRaw(RawToVolume(raw, r.min, r.max), r.min, r.max), raw) << raw;
    }
  }
  // Rounded to the nearest step: half of 31 steps is 15.5 -> 16.
  EXPECT_EQ(VolumeToRaw(32768, 0, 31), 16);
  EXPECT_EQ(VolumeToRaw(32767, 0, 31), 15);
  // A degenerate range has one value.
  EXPECT_EQ(VolumeToRaw(40000, 5, 5), 5);
  EXPECT_EQ(RawToVolume(5, 5, 5), 0);
}

TEST(MixerLevels, BalanceLowersTheNearSideAndIsReadBackFromTheChannels) {
  const StereoVolume centre = SplitBalance(60000, 50);
  EXPECT_EQ(centre.left, 60000);
  EXPECT_EQ(centre.right, 60000);
  const StereoVolume right = SplitBalance(60000, 80);  // towards the right
  EXPECT_EQ(right.left, 24000);
  EXPECT_EQ(right.right, 60000);
  const StereoVolume left = SplitBalance(60000, 20);
  EXPECT_EQ(left.left, 60000);
  EXPECT_EQ(left.right, 24000);
  EXPECT_EQ(SplitBalance(60000, 100).left, 0);
  EXPECT_EQ(SplitBalance(60000, 0).right, 0);
  EXPECT_EQ(SplitBalance(60000, 130).left, 0) << "held at the end";

  // The volume of a pair is its louder channel, so balance does not change it.
  EXPECT_EQ(VolumeOf(right.left, right.right), 60000);
  EXPECT_EQ(VolumeOf(left.left, left.right), 60000);

  // Every balance comes back from the channels it made.
  for (int b = 0; b <= 100; ++b) {
    const StereoVolume v = SplitBalance(65535, b);
    EXPECT_EQ(BalanceOf(v.left, v.right), b) << b;
  }
  EXPECT_EQ(BalanceOf(0, 0), 50) << "silence has no side";
  EXPECT_EQ(BalanceOf(1000, 0), 0);
  EXPECT_EQ(BalanceOf(0, 1000), 100);
}
