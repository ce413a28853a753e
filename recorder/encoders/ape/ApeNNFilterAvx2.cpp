// The NN filter's inner loop built for AVX2 (this file only is compiled with
// -mavx2; NNFilter calls it only on processors that have AVX2). Elsewhere
// than x86-64 it falls back to the portable loop.
#include "ApeNNFilter.h"

#if defined(__x86_64__)
#include <immintrin.h>

#include "ApeNNKernel.h"

namespace tarvexa::ape {

namespace {

struct Avx2Ops {
  static int32_t Dot(const int16_t* c, const int16_t* h, int order) {
    __m256i acc = _mm256_setzero_si256();
    for (int i = 0; i < order; i += 16) {
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + i));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h + i));
      acc = _mm256_add_epi32(acc, _mm256_madd_epi16(a, b));
    }
    __m128i sum = _mm_add_epi32(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4E));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xB1));
    return _mm_cvtsi128_si32(sum);
  }
  static void Adapt(int16_t* c, const int16_t* a, int order, bool add) {
    for (int i = 0; i < order; i += 16) {
      __m256i* p = reinterpret_cast<__m256i*>(c + i);
      const __m256i x = _mm256_loadu_si256(p);
      const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
      _mm256_storeu_si256(p, add ? _mm256_add_epi16(x, y) : _mm256_sub_epi16(x, y));
    }
  }
};

}  // namespace

void CompressNNAvx2(NNState& s, int32_t* data, size_t count) {
  CompressNN<Avx2Ops>(s, data, count);
}

}  // namespace tarvexa::ape

#else

namespace tarvexa::ape {
void CompressNNAvx2(NNState& s, int32_t* data, size_t count) { CompressNNPortable(s, data, count); }
}  // namespace tarvexa::ape

#endif
