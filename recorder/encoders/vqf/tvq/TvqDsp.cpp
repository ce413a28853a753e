#include "TvqDsp.h"

#include <kiss_fft.h>

#include <algorithm>
#include <cmath>

namespace tarvexa::tvq {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Sum c[m] cos(m w), m = 0..count-1, by Clenshaw's recurrence in x = cos(w).
double CosineSeries(const double* c, int count, double x) {
  double b1 = 0, b2 = 0;
  for (int m = count - 1; m >= 1; --m) {
    const double b0 = 2 * x * b1 - b2 + c[m];
    b2 = b1;
    b1 = b0;
  }
  return x * b1 - b2 + c[0];
}

}  // namespace

// ---------------------------------------------------------------------------
// MDCT: the 2n windowed samples are folded into n values, whose DCT-IV is
// computed with an n/2-point complex FFT between two twiddle passes.

Mdct::Mdct(int n) : n_(n) {
  const int half = n / 2;
  fft_ = kiss_fft_alloc(half, 0, nullptr, nullptr);
  pre_.resize(static_cast<size_t>(half));
  post_.resize(static_cast<size_t>(half));
  buf_.resize(static_cast<size_t>(half));
  freq_.resize(static_cast<size_t>(half));
  work_.resize(static_cast<size_t>(n));
  const double scale = std::sqrt(2.0 / n);
  for (int k = 0; k < half; ++k) {
    pre_[static_cast<size_t>(k)] = std::polar(1.0f, static_cast<float>(-kPi * (k + 0.25) / n));
    post_[static_cast<size_t>(k)] =
        std::polar(static_cast<float>(scale), static_cast<float>(-kPi * k / n));
  }
}

Mdct::~Mdct() { kiss_fft_free(fft_); }

void Mdct::Dct4(float* u) {
  const int n = n_;
  const int half = n / 2;
  for (int k = 0; k < half; ++k) {
    buf_[static_cast<size_t>(k)] =
        std::complex<float>(u[2 * k], u[n - 1 - 2 * k]) * pre_[static_cast<size_t>(k)];
  }
  kiss_fft(fft_, reinterpret_cast<const kiss_fft_cpx*>(buf_.data()),
           reinterpret_cast<kiss_fft_cpx*>(freq_.data()));
  for (int k = 0; k < half; ++k) {
    const std::complex<float> y = freq_[static_cast<size_t>(k)] * post_[static_cast<size_t>(k)];
    u[2 * k] = y.real();
    u[n - 1 - 2 * k] = -y.imag();
  }
}

void Mdct::Forward(const float* in, float* out) {
  const int n = n_;
  const int h = n / 2;
  // With the input as quarters a b c d: (-c reversed - d, a - b reversed).
  for (int i = 0; i < h; ++i) {
    out[i] = -in[3 * h - 1 - i] - in[3 * h + i];
    out[h + i] = in[i] - in[n - 1 - i];
  }
  Dct4(out);
}

void Mdct::Inverse(const float* in, float* out) {
  const int n = n_;
  const int h = n / 2;
  float* u = work_.data();
  std::copy(in, in + n, u);
  Dct4(u);
  // (u2, -u2 reversed, -u1 reversed, -u1) for u = (u1, u2).
  for (int i = 0; i < h; ++i) {
    out[i] = u[h + i];
    out[h + i] = -u[n - 1 - i];
    out[n + i] = -u[h - 1 - i];
    out[3 * h + i] = -u[i];
  }
}

void BlockWindow(int n, int left, int right, float* w) {
  // Power-complementary slopes: sin(pi/2 sin^2(.)) keeps the far side lobes
  // low, which helps tonal signals at these bit rates.
  auto slope = [](int j, int len) {
    const double s = std::sin(kPi / 2 * (j + 0.5) / len);
    return static_cast<float>(std::sin(kPi / 2 * s * s));
  };
  const int leftStart = n / 2 - left / 2;
  const int rightStart = 3 * n / 2 - right / 2;
  for (int i = 0; i < 2 * n; ++i) {
    if (i < leftStart) {
      w[i] = 0;
    } else if (i < leftStart + left) {
      w[i] = slope(i - leftStart, left);
    } else if (i < rightStart) {
      w[i] = 1;
    } else if (i < rightStart + right) {
      w[i] = slope(right - 1 - (i - rightStart), right);
    } else {
      w[i] = 0;
    }
  }
}

// ---------------------------------------------------------------------------
// Linear prediction

std::vector<double> BinCosines(int bins) {
  std::vector<double> c(static_cast<size_t>(bins));
  for (int i = 0; i < bins; ++i) c[static_cast<size_t>(i)] = std::cos(kPi * (i + 0.5) / bins);
  return c;
}

void AutocorrelationOfSpectrum(const float* power, const std::vector<double>& cosines, int order,
                               double* r) {
  std::fill(r, r + order + 1, 0.0);
  const int bins = static_cast<int>(cosines.size());
  for (int i = 0; i < bins; ++i) {
    // cos(k w) by the Chebyshev recurrence.
    const double c1 = cosines[static_cast<size_t>(i)];
    double prev = 1.0;
    double cur = c1;
    const double p = power[i];
    r[0] += p;
    if (order >= 1) r[1] += p * c1;
    for (int k = 2; k <= order; ++k) {
      const double next = 2 * c1 * cur - prev;
      r[k] += p * next;
      prev = cur;
      cur = next;
    }
  }
}

bool Levinson(const double* r, int order, double* a) {
  std::fill(a, a + order + 1, 0.0);
  a[0] = 1.0;
  if (!(r[0] > 0)) return false;
  double err = r[0];
  std::vector<double> tmp(static_cast<size_t>(order) + 1);
  for (int i = 1; i <= order; ++i) {
    double acc = r[i];
    for (int j = 1; j < i; ++j) acc += a[j] * r[i - j];
    double k = -acc / err;
    if (!(std::fabs(k) < 1.0)) k = k > 0 ? 0.999 : -0.999;  // keep the filter stable
    std::copy(a, a + i, tmp.begin());
    for (int j = 1; j < i; ++j)
      a[j] = tmp[static_cast<size_t>(j)] + k * tmp[static_cast<size_t>(i - j)];
    a[i] = k;
    err *= 1 - k * k;
    if (!(err > 0)) return false;
  }
  return true;
}

bool LpcToLsp(const double* a, int order, double* lsp) {
  const int p = order;
  const int half = p / 2;
  // P(z) = A(z) + z^-(p+1) A(1/z) and Q(z) = A(z) - z^-(p+1) A(1/z), with
  // their roots at z = -1 and z = 1 divided out, as cosine series.
  std::vector<double> pc(static_cast<size_t>(p) + 1), qc(static_cast<size_t>(p) + 1);
  double prevP = 0, prevQ = 0;
  for (int k = 0; k <= p; ++k) {
    const double mirror = (p + 1 - k <= p) ? a[p + 1 - k] : 0.0;
    const double pk = a[k] + mirror - prevP;
    const double qk = a[k] - mirror + prevQ;
    pc[static_cast<size_t>(k)] = pk;
    qc[static_cast<size_t>(k)] = qk;
    prevP = pk;
    prevQ = qk;
  }
  std::vector<double> cp(static_cast<size_t>(half) + 1), cq(static_cast<size_t>(half) + 1);
  cp[0] = pc[static_cast<size_t>(half)];
  cq[0] = qc[static_cast<size_t>(half)];
  for (int m = 1; m <= half; ++m) {
    cp[static_cast<size_t>(m)] = 2 * pc[static_cast<size_t>(half - m)];
    cq[static_cast<size_t>(m)] = 2 * qc[static_cast<size_t>(half - m)];
  }

  // The roots alternate, starting with P's: scan the upper half of the unit
  // circle for sign changes of the polynomial whose root comes next. Roots
  // closer than a grid step can hide; a finer grid finds them.
  const std::vector<double>* series[2] = {&cp, &cq};
  auto at = [&](int which, double w) {
    return CosineSeries(series[which]->data(), half + 1, std::cos(w));
  };
  for (int grid : {1024, 16384}) {
    int found = 0;
    double lo = 0.0;
    double flo = at(0, lo);
    for (int g = 1; g <= grid && found < p;) {
      const double hi = kPi * g / grid;
      const int which = found & 1;
      const double fhi = at(which, hi);
      if ((flo <= 0) == (fhi <= 0)) {
        lo = hi;
        flo = fhi;
        ++g;
        continue;
      }
      double a0 = lo, a1 = hi, f0 = flo;
      for (int it = 0; it < 30; ++it) {
        const double mid = 0.5 * (a0 + a1);
        const double fm = at(which, mid);
        if ((f0 <= 0) == (fm <= 0)) {
          a0 = mid;
          f0 = fm;
        } else {
          a1 = mid;
        }
      }
      // Carry on from the root with the other polynomial, in the same step.
      lo = 0.5 * (a0 + a1);
      lsp[found++] = lo;
      flo = at(found & 1, lo);
    }
    if (found == p) return true;
  }
  return false;
}

void LspToLpc(const double* lsp, int order, double* a) {
  const int p = order;
  // P'(z) and Q'(z) as products of second-order sections over their roots.
  std::vector<double> pp(static_cast<size_t>(p) + 2, 0.0), qq(static_cast<size_t>(p) + 2, 0.0);
  pp[0] = 1;
  qq[0] = 1;
  int degP = 0, degQ = 0;
  for (int i = 0; i < p; ++i) {
    std::vector<double>& poly = (i & 1) ? qq : pp;
    int& deg = (i & 1) ? degQ : degP;
    const double c = -2 * std::cos(lsp[i]);
    for (int k = deg + 2; k >= 0; --k) {
      double v = poly[static_cast<size_t>(k)];
      if (k >= 1) v += c * poly[static_cast<size_t>(k - 1)];
      if (k >= 2) v += poly[static_cast<size_t>(k - 2)];
      poly[static_cast<size_t>(k)] = v;
    }
    deg += 2;
  }
  // P = P'(1 + 1/z), Q = Q'(1 - 1/z), A = (P + Q) / 2.
  for (int k = 0; k <= p; ++k) {
    const double pk = pp[static_cast<size_t>(k)] + (k ? pp[static_cast<size_t>(k - 1)] : 0.0);
    const double qk = qq[static_cast<size_t>(k)] - (k ? qq[static_cast<size_t>(k - 1)] : 0.0);
    a[k] = 0.5 * (pk + qk);
  }
}

void LpcEnvelope(const double* a, int order, const std::vector<double>& cosines, float* env) {
  // |A(e^{jw})|^2 as a cosine series over the autocorrelation of a.
  double c[64];
  for (int m = 0; m <= order; ++m) {
    double acc = 0;
    for (int k = 0; k + m <= order; ++k) acc += a[k] * a[k + m];
    c[m] = m ? 2 * acc : acc;
  }
  const int bins = static_cast<int>(cosines.size());
  double sum = 0;
  for (int i = 0; i < bins; ++i) {
    const double mag2 =
        std::max(CosineSeries(c, order + 1, cosines[static_cast<size_t>(i)]), 1e-12);
    env[i] = static_cast<float>(1.0 / std::sqrt(mag2));
    sum += 1.0 / mag2;
  }
  const float scale = static_cast<float>(1.0 / std::sqrt(sum / bins));
  for (int i = 0; i < bins; ++i) env[i] *= scale;
}

void StabilizeLsp(double* lsp, int order, double gap) {
  std::sort(lsp, lsp + order);
  lsp[0] = std::max(lsp[0], gap);
  for (int i = 1; i < order; ++i) lsp[i] = std::max(lsp[i], lsp[i - 1] + gap);
  lsp[order - 1] = std::min(lsp[order - 1], kPi - gap);
  for (int i = order - 2; i >= 0; --i) lsp[i] = std::min(lsp[i], lsp[i + 1] - gap);
}

}  // namespace tarvexa::tvq
