#include "ApeNNFilter.h"

#include <algorithm>
#include <cstdlib>

#include "ApeNNKernel.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvexa::ape {

namespace {

struct PortableOps {
  static int32_t Dot(const int16_t* c, const int16_t* h, int order) {
#if defined(__SSE2__)
    __m128i acc = _mm_setzero_si128();
    for (int i = 0; i < order; i += 8) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i));
      acc = _mm_add_epi32(acc, _mm_madd_epi16(a, b));
    }
    acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, 0x4E));
    acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, 0xB1));
    return _mm_cvtsi128_si32(acc);
#else
    uint32_t s = 0;
    for (int i = 0; i < order; ++i) s += uint32_t(int32_t(c[i]) * h[i]);
    return int32_t(s);
#endif
  }
  static void Adapt(int16_t* c, const int16_t* a, int order, bool add) {
#if defined(__SSE2__)
    for (int i = 0; i < order; i += 8) {
      __m128i* p = reinterpret_cast<__m128i*>(c + i);
      const __m128i x = _mm_loadu_si128(p);
      const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
      _mm_storeu_si128(p, add ? _mm_add_epi16(x, y) : _mm_sub_epi16(x, y));
    }
#else
    for (int i = 0; i < order; ++i)
      c[i] = int16_t(add ? uint16_t(c[i] + a[i]) : uint16_t(c[i] - a[i]));
#endif
  }
};

constexpr int kWindow = 2048;

// MACDLL_NO_AVX2 (any value) keeps to the portable loop, so that tests on an
// AVX2 machine cover both.
bool HasAvx2() {
#if defined(__x86_64__)
  return __builtin_cpu_supports("avx2") && !std::getenv("MACDLL_NO_AVX2");
#else
  return false;
#endif
}

}  // namespace

void CompressNNPortable(NNState& s, int32_t* data, size_t count) {
  CompressNN<PortableOps>(s, data, count);
}

NNFilter::NNFilter(int order, int shift)
    : coeffs_(size_t(order)),
      hist_(size_t(order + kWindow)),
      adapt_(size_t(order + kWindow)),
      kernel_(HasAvx2() ? CompressNNAvx2 : CompressNNPortable) {
  s_.order = order;
  s_.shift = shift;
  s_.window = kWindow;
  Point();
}

NNFilter::NNFilter(NNFilter&& other) noexcept
    : coeffs_(std::move(other.coeffs_)),
      hist_(std::move(other.hist_)),
      adapt_(std::move(other.adapt_)),
      s_(other.s_),
      kernel_(other.kernel_) {
  Point();
}

void NNFilter::Point() {
  s_.coeffs = coeffs_.data();
  s_.hist = hist_.data();
  s_.adapt = adapt_.data();
}

void NNFilter::Reset() {
  std::fill(coeffs_.begin(), coeffs_.end(), int16_t{0});
  std::fill(hist_.begin(), hist_.end(), int16_t{0});
  std::fill(adapt_.begin(), adapt_.end(), int16_t{0});
  s_.pos = s_.order;
  s_.avg = 0;
}

}  // namespace tarvexa::ape
