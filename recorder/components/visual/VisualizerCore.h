#pragma once
// The working part of the two visualizer components, without any display:
// each takes the display blocks (one per 100 ms) and keeps the VisualFrame
// the window draws. The component libraries wrap these classes.
//
// TypeVisualizer (visualizer 1) shows one of six visual types with an
// analysis block size of 64 to 16384 samples:
//   0 Analog         oscilloscope, one trace per channel
//   1 FFTLinear      bars on a linear frequency axis
//   2 FFTNormal      bars on a logarithmic (octave) axis
//   3 FFTFire        a scrolling waterfall in fire colours
//   4 FFTGlass       wide glass bars
//   5 FFTKryptonite  green LED columns
// The spectra show the mix of the channels in decibels over 70 dB.
//
// PresetVisualizer (visualizer 2) is driven by sixteen properties:
//   p1  style: 0 oscilloscope, 1 bars, 2 curve, 3 LED columns, 4 mirror
//       (left up, right down), 5 peak dots, 6 waterfall
//   p2  peak marks shown (0/1)
//   p3  colour along each bar (1) or one colour per bar by its height (0)
//   p4  width of a band in pixels (0: one band per pixel column)
//   p5  background grid (0/1)
//   p6  highest frequency shown, in steps of 50 Hz (up to half the rate)
//   p7  logarithmic frequency axis (1) or linear (0)
//   p8  1: the mix of the channels; 2: left and right apart
//   p9  amplitude in decibels (1) or linear, scaled to the loudest band (0)
//   p10 peak hold time in ms
//   p11 peak fall speed, per cent of the height per second
//   p12 decibel range shown (also the floor of the linear scale)
//   p13 smoothing: per cent of a falling bar's height kept per block
//   p14 to p16 colours 0xRRGGBB: low, middle and high part of the scale
// The hold switch keeps the peak marks (see BarDynamics).
// Thread affinity: one thread per object (the user-interface thread).

#include <array>
#include <cstdint>
#include <vector>

#include "components/Component.h"
#include "components/visual/BarDynamics.h"
#include "components/visual/Spectrum.h"

namespace tarvexa {

class VisualizerCore {
 public:
  static constexpr int kBlockMs = 100;

  virtual ~VisualizerCore() = default;

  void SetFormat(int rate, int channels);
  int Rate() const { return rate_; }
  int Channels() const { return channels_; }
  void Feed(const int16_t* samples, int count);
  int Snapshot(int16_t* out, int max) const;
  void Clear();
  void SetViewSize(int width, int height);
  const VisualFrame& Frame() const { return frame_; }

 protected:
  // What the current settings ask for.
  struct Look {
    int style = VisualFrame::kBars;
    int palette = VisualFrame::kNormal;
    int rows = 1;
    BandAxis axis;
    bool decibels = true;
    float rangeDb = 70;
    int barWidth = 4;
    int gap = 1;
    bool peaks = true;
    bool grid = false;
    bool gradient = true;
    std::array<uint32_t, 3> colours{0x00FF00, 0xFFFF00, 0xFF0000};
    BarDynamics::Params dynamics;
  };
  virtual Look CurrentLook() const = 0;
  virtual SpectrumAnalyzer& Analyzer() = 0;

  // Takes new settings: the bars start again from the last block.
  void Restyle();
  // Rebuilds the frame from the current state.
  void Publish();
  BarDynamics& Dynamics() { return dynamics_; }
  const BarDynamics& Dynamics() const { return dynamics_; }

 private:
  int PointsFor(const Look& look) const;
  void Compute(int elapsedMs);

  int rate_ = 44100;
  int channels_ = 2;
  int width_ = 0;
  int height_ = 0;
  Look look_;
  int points_ = 0;
  bool signal_ = false;  // a block arrived since the last Clear
  std::vector<int16_t> last_;
  std::vector<float> magnitudes_;
  std::vector<float> targets_;
  std::vector<float> trace_;
  float linearRef_ = 0;
  BarDynamics dynamics_;
  VisualFrame frame_;
  uint64_t serial_ = 0;
};

class TypeVisualizer : public VisualizerCore {
 public:
  static constexpr int kTypeCount = 6;
  static constexpr int kDefaultBlockSize = 1024;

  TypeVisualizer();
  void SetVisualType(int type);
  int VisualType() const { return type_; }
  void SetBlockSize(int samples);
  int BlockSize() const { return analyzer_.Size(); }

 protected:
  Look CurrentLook() const override;
  SpectrumAnalyzer& Analyzer() override { return analyzer_; }

 private:
  int type_ = 1;
  SpectrumAnalyzer analyzer_{kDefaultBlockSize};
};

class PresetVisualizer : public VisualizerCore {
 public:
  static constexpr int kPropertyCount = 16;
  static constexpr int kFftSize = 4096;

  PresetVisualizer();
  // Numbers 1 to 16; others are ignored (Property answers 0).
  void SetProperty(int number, int32_t value);
  int32_t Property(int number) const;
  void SetHold(bool on);
  bool Hold() const;

 protected:
  Look CurrentLook() const override;
  SpectrumAnalyzer& Analyzer() override { return analyzer_; }

 private:
  std::array<int32_t, kPropertyCount> p_{};
  SpectrumAnalyzer analyzer_{kFftSize};
};

}  // namespace tarvexa
