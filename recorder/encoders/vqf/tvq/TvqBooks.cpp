#include "TvqBooks.h"

#include "TvqLayout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>

namespace tarvexa::tvq {

namespace {

#ifndef TVQ_NO_BUILTIN_BOOKS
#include "TvqCodebooks.inc"

Books LoadBuiltinBooks() {
  Books b;
  for (const auto& d : generated::kShapes) {
    ShapeBook s;
    s.length = d.length;
    const size_t n = static_cast<size_t>(64 * d.length);
    const int16_t* v = generated::kShapeValues + d.offset;
    for (size_t i = 0; i < n; ++i) s.cb0.push_back(v[i] * generated::kShapeScale);
    for (size_t i = 0; i < n; ++i) s.cb1.push_back(v[n + i] * generated::kShapeScale);
    PrepareShapeBook(s);
    b.shapes.push_back(std::move(s));
  }
  for (const auto& d : generated::kBarks) {
    BarkBook k;
    k.length = d.length;
    k.entries = d.entries;
    const int16_t* v = generated::kBarkValues + d.offset;
    for (int i = 0; i < d.length * d.entries; ++i) k.values.push_back(v[i] * generated::kBarkScale);
    b.barks.push_back(std::move(k));
  }
  for (const auto& d : generated::kLsps) {
    LspBook l;
    l.order = d.order;
    l.splits = d.splits;
    const int16_t* v = generated::kLspValues + d.offset;
    for (int i = 0; i < kLspStage1Entries * d.order; ++i)
      l.stage1.push_back(v[i] * generated::kLspScale);
    v += kLspStage1Entries * d.order;
    for (int i = 0; i < kLspStage2Entries * d.order; ++i)
      l.stage2.push_back(v[i] * generated::kLspScale);
    b.lsps.push_back(std::move(l));
  }
  return b;
}
#endif

}  // namespace

const Books& DefaultBooks() {
#ifdef TVQ_NO_BUILTIN_BOOKS
  static const Books books;
#else
  static const Books books = LoadBuiltinBooks();
#endif
  return books;
}

const ShapeBook* Books::Shape(int length) const {
  for (const ShapeBook& s : shapes)
    if (s.length == length) return &s;
  return nullptr;
}

const BarkBook* Books::Bark(int length, int entries) const {
  for (const BarkBook& b : barks)
    if (b.length == length && b.entries == entries) return &b;
  return nullptr;
}

const LspBook* Books::Lsp(int order, int splits) const {
  for (const LspBook& l : lsps)
    if (l.order == order && l.splits == splits) return &l;
  return nullptr;
}

const float* LspBook::Stage2(int s, int entry) const {
  // Split s starts after kLspStage2Entries vectors of every earlier split.
  return stage2.data() +
         static_cast<size_t>(kLspStage2Entries * SplitBegin(s) + entry * SplitLength(s));
}

void PrepareShapeBook(ShapeBook& book) {
  book.sq0.resize(book.cb0.size());
  book.sq1.resize(book.cb1.size());
  for (size_t i = 0; i < book.cb0.size(); ++i) book.sq0[i] = book.cb0[i] * book.cb0[i];
  for (size_t i = 0; i < book.cb1.size(); ++i) book.sq1[i] = book.cb1[i] * book.cb1[i];
}

namespace {

// The best `k` entries of one codebook on their own: the weighted
// correlation with the target and the weighted energy of every entry give
// the error of that entry alone (with its best sign when there is one).
struct Preselection {
  int count = 0;
  std::array<int, kShapeEntries> entry{};
  std::array<float, kShapeEntries> corr{}, energy{}, score{};
};

void Preselect(const std::vector<float>& cb, const std::vector<float>& sq, int len, const float* wx,
               const float* w, bool signedIndex, int k, Preselection& p) {
  p.count = 0;
  for (int e = 0; e < kShapeEntries; ++e) {
    const float* c = cb.data() + static_cast<size_t>(e * len);
    const float* c2 = sq.data() + static_cast<size_t>(e * len);
    float corr = 0, energy = 0;
#pragma omp simd reduction(+ : corr, energy)
    for (int j = 0; j < len; ++j) {
      corr += wx[j] * c[j];
      energy += w[j] * c2[j];
    }
    const float score = energy - 2 * (signedIndex ? std::fabs(corr) : corr);
    // Insert into the sorted list of the best k.
    int at = p.count < k ? p.count++ : k;
    if (at == k && score >= p.score[static_cast<size_t>(k - 1)]) continue;
    if (at == k) at = k - 1;
    while (at > 0 && p.score[static_cast<size_t>(at - 1)] > score) {
      p.score[static_cast<size_t>(at)] = p.score[static_cast<size_t>(at - 1)];
      p.entry[static_cast<size_t>(at)] = p.entry[static_cast<size_t>(at - 1)];
      p.corr[static_cast<size_t>(at)] = p.corr[static_cast<size_t>(at - 1)];
      p.energy[static_cast<size_t>(at)] = p.energy[static_cast<size_t>(at - 1)];
      --at;
    }
    p.score[static_cast<size_t>(at)] = score;
    p.entry[static_cast<size_t>(at)] = e;
    p.corr[static_cast<size_t>(at)] = corr;
    p.energy[static_cast<size_t>(at)] = energy;
  }
}

}  // namespace

ShapeChoice SearchShape(const ShapeBook& book, const float* x, const float* w, int bits0, int bits1,
                        int candidates) {
  const int len = book.length;
  std::array<float, kMaxVectorLength> wx{};
  float ex = 0;
  for (int j = 0; j < len; ++j) {
    wx[static_cast<size_t>(j)] = w[j] * x[j];
    ex += wx[static_cast<size_t>(j)] * x[j];
  }
  const int k = std::clamp(candidates, 1, kShapeEntries);
  const bool signed0 = bits0 > kShapeIndexBits;
  const bool signed1 = bits1 > kShapeIndexBits;
  Preselection p0, p1;
  Preselect(book.cb0, book.sq0, len, wx.data(), w, signed0, k, p0);
  Preselect(book.cb1, book.sq1, len, wx.data(), w, signed1, k, p1);

  // Every pair of the two short lists, with every sign they may take: the
  // joint error needs only the weighted cross term of the two vectors.
  ShapeChoice best;
  double bestErr = std::numeric_limits<double>::infinity();
  std::array<float, kMaxVectorLength> wc{};
  for (int a = 0; a < p0.count; ++a) {
    const int e0 = p0.entry[static_cast<size_t>(a)];
    const float* c0 = book.cb0.data() + static_cast<size_t>(e0 * len);
    for (int j = 0; j < len; ++j) wc[static_cast<size_t>(j)] = w[j] * c0[j];
    const float corr0 = p0.corr[static_cast<size_t>(a)], en0 = p0.energy[static_cast<size_t>(a)];
    for (int b = 0; b < p1.count; ++b) {
      const int e1 = p1.entry[static_cast<size_t>(b)];
      const float* c1 = book.cb1.data() + static_cast<size_t>(e1 * len);
      float cross = 0;
#pragma omp simd reduction(+ : cross)
      for (int j = 0; j < len; ++j) cross += wc[static_cast<size_t>(j)] * c1[j];
      const float corr1 = p1.corr[static_cast<size_t>(b)], en1 = p1.energy[static_cast<size_t>(b)];
      for (int g0 = 0; g0 < (signed0 ? 2 : 1); ++g0) {
        const float s0 = g0 ? -1.0f : 1.0f;
        for (int g1 = 0; g1 < (signed1 ? 2 : 1); ++g1) {
          const float s1 = g1 ? -1.0f : 1.0f;
          const double err = en0 + en1 - 2.0 * (s0 * corr0 + s1 * corr1) + 2.0 * s0 * s1 * cross;
          if (err < bestErr) {
            bestErr = err;
            best.index0 = e0 | (g0 ? 64 : 0);
            best.index1 = e1 | (g1 ? 64 : 0);
          }
        }
      }
    }
  }
  best.error = std::max(0.0, ex + bestErr);
  return best;
}

int SearchBark(const BarkBook& book, const float* x, const float* w, double* error) {
  int best = 0;
  double bestErr = std::numeric_limits<double>::infinity();
  for (int e = 0; e < book.entries; ++e) {
    const float* c = book.values.data() + static_cast<size_t>(e * book.length);
    double err = 0;
    for (int j = 0; j < book.length; ++j) {
      const double d = x[j] - c[j];
      err += w[j] * d * d;
    }
    if (err < bestErr) {
      bestErr = err;
      best = e;
    }
  }
  if (error) *error = bestErr;
  return best;
}

double SearchLsp(const LspBook& book, const double* x, int candidates, int32_t* out) {
  const int p = book.order;
  std::array<double, kLspStage1Entries> dist{};
  for (int e = 0; e < kLspStage1Entries; ++e) {
    const float* c = book.stage1.data() + static_cast<size_t>(e * p);
    double d = 0;
    for (int j = 0; j < p; ++j) d += (x[j] - c[j]) * (x[j] - c[j]);
    dist[static_cast<size_t>(e)] = d;
  }
  std::array<int, kLspStage1Entries> order{};
  std::iota(order.begin(), order.end(), 0);
  const int m = std::clamp(candidates, 1, kLspStage1Entries);
  std::partial_sort(order.begin(), order.begin() + m, order.end(), [&](int a, int b) {
    return dist[static_cast<size_t>(a)] < dist[static_cast<size_t>(b)];
  });

  double bestErr = std::numeric_limits<double>::infinity();
  std::array<int32_t, 1 + 8> cur{};
  for (int c = 0; c < m; ++c) {
    const int e1 = order[static_cast<size_t>(c)];
    const float* c1 = book.stage1.data() + static_cast<size_t>(e1 * p);
    cur[0] = e1;
    double total = 0;
    for (int s = 0; s < book.splits; ++s) {
      const int begin = book.SplitBegin(s);
      const int len = book.SplitLength(s);
      double splitBest = std::numeric_limits<double>::infinity();
      for (int e2 = 0; e2 < kLspStage2Entries; ++e2) {
        const float* c2 = book.Stage2(s, e2);
        double d = 0;
        for (int j = 0; j < len; ++j) {
          const double r = x[begin + j] - c1[begin + j] - c2[j];
          d += r * r;
        }
        if (d < splitBest) {
          splitBest = d;
          cur[static_cast<size_t>(1 + s)] = e2;
        }
      }
      total += splitBest;
    }
    if (total < bestErr) {
      bestErr = total;
      std::copy(cur.begin(), cur.begin() + 1 + book.splits, out);
    }
  }
  return bestErr;
}

void LspValue(const LspBook& book, const int32_t* idx, double* out) {
  const int p = book.order;
  const float* c1 = book.stage1.data() + static_cast<size_t>((idx[0] & 63) * p);
  for (int s = 0; s < book.splits; ++s) {
    const float* c2 = book.Stage2(s, idx[1 + s] & 15);
    for (int j = 0; j < book.SplitLength(s); ++j) {
      const int at = book.SplitBegin(s) + j;
      out[at] = c1[at] + c2[j];
    }
  }
}

}  // namespace tarvexa::tvq
