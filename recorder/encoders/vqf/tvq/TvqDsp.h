#pragma once
// Signal processing of the coder: the MDCT (through KissFFT) with windows
// of any overlap, and the linear-prediction envelope: autocorrelation from a
// power spectrum, Levinson-Durbin, conversion to and from line spectral
// pairs, and the envelope's amplitude at the MDCT bins.
// Thread affinity: an Mdct object is used by one thread at a time; the free
// functions are pure.

#include <complex>
#include <vector>

struct kiss_fft_state;

namespace tarvexa::tvq {

// MDCT of n coefficients over 2n samples, orthonormal: Inverse(Forward(x))
// windowed and overlapped with a Princen-Bradley window gives x back.
class Mdct {
 public:
  explicit Mdct(int n);
  ~Mdct();
  Mdct(const Mdct&) = delete;
  Mdct& operator=(const Mdct&) = delete;

  int Size() const { return n_; }
  void Forward(const float* in, float* out);  // 2n windowed samples -> n coefficients
  void Inverse(const float* in, float* out);  // n coefficients -> 2n samples, to be windowed

 private:
  void Dct4(float* u);  // in place, orthonormal

  int n_;
  kiss_fft_state* fft_ = nullptr;
  std::vector<std::complex<float>> pre_, post_, buf_, freq_;
  std::vector<float> work_;
};

// The window of a block of n coefficients (2n samples) whose overlaps with
// the blocks before and after span `left` and `right` samples around its two
// edges: sine slopes there, ones between them and zeros outside.
void BlockWindow(int n, int left, int right, float* w);

// cos(pi * (i + 0.5) / bins), the cosines of the MDCT bin frequencies.
std::vector<double> BinCosines(int bins);

// Autocorrelation r[0..order] of a signal with the given power at the MDCT
// bin frequencies (cosines from BinCosines).
void AutocorrelationOfSpectrum(const float* power, const std::vector<double>& cosines, int order,
                               double* r);

// Levinson-Durbin: a[0] = 1, a[1..order]; false when r[0] is not positive.
bool Levinson(const double* r, int order, double* a);

// LPC coefficients a[0..order] (order even) to line spectral frequencies in
// radians, ascending. False when the roots cannot all be found.
bool LpcToLsp(const double* a, int order, double* lsp);
// Line spectral frequencies back to a[0..order].
void LspToLpc(const double* lsp, int order, double* a);

// 1 / |A(e^{jw})| at the MDCT bin frequencies (cosines from BinCosines),
// scaled to a mean square of 1.
void LpcEnvelope(const double* a, int order, const std::vector<double>& cosines, float* env);

// Orders the frequencies and keeps them apart by at least `gap` and inside
// (gap, pi - gap).
void StabilizeLsp(double* lsp, int order, double gap);

}  // namespace tarvexa::tvq
