#pragma once
// The spectrum of a display block through KissFFT, and its bands.
//
// A block shorter than the analysis size is Hann-windowed over its whole
// length and padded with zeros; a longer one is cut into Hann-windowed
// pieces of the analysis size, half overlapping, whose powers are averaged.
// Magnitudes are relative to full scale: a full-scale sine on a bin is 1.0.
// Thread affinity: one thread per object.

#include <cstdint>
#include <vector>

struct kiss_fftr_state;

namespace tarvexa {

class SpectrumAnalyzer {
 public:
  static constexpr int kMinSize = 64;
  static constexpr int kMaxSize = 16384;
  static bool ValidSize(int n) { return n >= kMinSize && n <= kMaxSize && (n & (n - 1)) == 0; }

  explicit SpectrumAnalyzer(int size = 2048);
  ~SpectrumAnalyzer();
  SpectrumAnalyzer(const SpectrumAnalyzer&) = delete;
  SpectrumAnalyzer& operator=(const SpectrumAnalyzer&) = delete;

  // False (and nothing changed) unless n is a power of two, 64 to 16384.
  bool SetSize(int n);
  int Size() const { return size_; }

  // The magnitudes of size/2 + 1 bins (bin k is k * rate / size Hz) of
  // `frames` frames of an interleaved block: one channel (0, 1), or the mix
  // of all when channel < 0.
  void Analyze(const int16_t* samples, int frames, int channels, int channel,
               std::vector<float>& magnitudes);

 private:
  const std::vector<float>& Window(int length);

  int size_ = 0;
  kiss_fftr_state* cfg_ = nullptr;
  std::vector<float> input_;
  std::vector<float> signal_;
  std::vector<float> power_;
  std::vector<float> window_;  // Hann of windowLength_
  int windowLength_ = 0;
  double windowSum_ = 0;
  std::vector<float> spectrum_;  // kiss_fft_cpx pairs
};

// The frequency axis of the bands.
struct BandAxis {
  double lowHz = 0;
  double highHz = 22050;
  bool logarithmic = false;  // equal ratios (octaves) instead of equal widths
};

// Frequency of band edge i (0..bands) on the axis.
double BandEdge(const BandAxis& axis, int bands, int i);

// Maps magnitudes (as from Analyze, for a block at `rate`) to `bands`
// values: the largest bin inside each band, or, for a band narrower than
// the bins, the magnitude interpolated at its centre.
void MapBands(const std::vector<float>& magnitudes, int rate, const BandAxis& axis, int bands,
              float* out);

// Magnitude to bar height 0..1: decibels over `rangeDb` (0 dB full scale is
// 1, -rangeDb and below 0).
float DecibelHeight(float magnitude, float rangeDb);

}  // namespace tarvexa
