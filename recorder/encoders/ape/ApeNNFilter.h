#pragma once
// The NN filter of Monkey's Audio file version 3990, encoder side: an
// adaptive FIR over the last `order` values (clipped to 16 bits) whose 16-bit
// coefficients step by sign-scaled adaptation values; each value is replaced
// by its residual. The arithmetic wraps where a decoder's does.
// The inner loop exists twice: for any x86-64 (SSE2, or plain C elsewhere)
// and for AVX2, chosen once per filter by what the processor has (the
// environment variable MACDLL_NO_AVX2 keeps to the portable one).
// Thread affinity: none; a filter is used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvexa::ape {

// What the inner loop works on: plain memory only, so that the AVX2 copy of
// the loop shares no inline code with the rest of the library.
struct NNState {
  int order = 0;
  int shift = 0;
  int window = 0;  // values kept before the history is moved back
  int16_t* coeffs = nullptr;
  int16_t* hist = nullptr;   // the filter's inputs, clipped, oldest first
  int16_t* adapt = nullptr;  // their adaptation values
  int pos = 0;               // where the next input goes (>= order)
  int32_t avg = 0;           // running mean of the inputs' magnitude
};

void CompressNNPortable(NNState& s, int32_t* data, size_t count);
void CompressNNAvx2(NNState& s, int32_t* data, size_t count);

class NNFilter {
 public:
  NNFilter(int order, int shift);
  NNFilter(NNFilter&& other) noexcept;
  NNFilter(const NNFilter&) = delete;
  NNFilter& operator=(const NNFilter&) = delete;

  void Reset();
  void Compress(int32_t* data, size_t count) { kernel_(s_, data, count); }

 private:
  void Point();

  std::vector<int16_t> coeffs_, hist_, adapt_;
  NNState s_;
  void (*kernel_)(NNState&, int32_t*, size_t);
};

}  // namespace tarvexa::ape
