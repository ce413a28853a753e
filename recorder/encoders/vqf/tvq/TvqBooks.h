#pragma once
// The codebooks of the coder and the searches over them: the pairs of
// conjugate shape codebooks (one pair per vector length), the bark-scale
// envelope codebooks and the two-stage LSP codebooks.
//
// The books are our own, trained by train/TvqTrain.cpp on a generated
// corpus; TvqCodebooks.inc holds its output. See that program for how.
// Thread affinity: books are immutable once made; searches are pure.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvexa::tvq {

// Two codebooks of kShapeEntries vectors of one length: a division is coded
// as +-cb0[i] +-cb1[j]; a 7-bit index carries the sign in its top bit.
struct ShapeBook {
  int length = 0;
  std::vector<float> cb0, cb1;  // kShapeEntries * length each
  std::vector<float> sq0, sq1;  // their squares, for the search (PrepareShapeBook)
};

// Fills the squares after the vectors have been set or changed.
void PrepareShapeBook(ShapeBook& book);

// Bark-scale envelope values (log2 amplitude) for one interleaved part of a
// block's bands.
struct BarkBook {
  int length = 0;
  int entries = 0;
  std::vector<float> values;  // entries * length
};

// Line spectral frequencies (radians): a first stage over the whole vector
// and a second stage split into contiguous parts.
struct LspBook {
  int order = 0;
  int splits = 0;
  std::vector<float> stage1;  // kLspStage1Entries * order
  std::vector<float> stage2;  // for each split s: kLspStage2Entries * SplitLength(s)
  int SplitBegin(int s) const { return s * order / splits; }
  int SplitLength(int s) const { return SplitBegin(s + 1) - SplitBegin(s); }
  const float* Stage2(int s, int entry) const;
};

// The longest shape or envelope vector the searches take.
inline constexpr size_t kMaxVectorLength = 64;

inline constexpr int kLspStage1Entries = 64;
inline constexpr int kLspStage2Entries = 16;

struct Books {
  std::vector<ShapeBook> shapes;
  std::vector<BarkBook> barks;
  std::vector<LspBook> lsps;

  const ShapeBook* Shape(int length) const;
  const BarkBook* Bark(int length, int entries) const;
  const LspBook* Lsp(int order, int splits) const;
};

// The books this build was made with (empty when built without them).
const Books& DefaultBooks();

// The value of shape index `index` of `bits` bits (7: sign and entry, else
// entry only) in a codebook of the given length.
inline const float* ShapeVector(const std::vector<float>& cb, int length, int index) {
  return cb.data() + static_cast<size_t>(index & 63) * static_cast<size_t>(length);
}
inline float ShapeSign(int index, int bits) { return bits > 6 && (index & 64) ? -1.0f : 1.0f; }

struct ShapeChoice {
  int index0 = 0;
  int index1 = 0;
  double error = 0;
};

// The pair of indices (of bits0 and bits1 bits) that minimises
// sum w (x - s0 cb0 - s1 cb1)^2, searching the best `candidates` entries of
// each codebook jointly.
ShapeChoice SearchShape(const ShapeBook& book, const float* x, const float* w, int bits0, int bits1,
                        int candidates);

// The entry nearest to x (weights w) in a bark-scale book; *error gets the
// weighted error.
int SearchBark(const BarkBook& book, const float* x, const float* w, double* error);

// Two-stage search: the best `candidates` first-stage entries, each with its
// best second-stage entries; indices out[0] (stage 1) and out[1..splits].
// Returns the squared error of the reconstruction.
double SearchLsp(const LspBook& book, const double* x, int candidates, int32_t* out);
// The reconstruction of those indices.
void LspValue(const LspBook& book, const int32_t* idx, double* out);

}  // namespace tarvexa::tvq
