// tvq_train: makes the codebooks of our TwinVQ coder and writes them as
// TvqCodebooks.inc.
//
//   tvq_train OUT.inc [SECONDS_PER_RATE]
//
// The corpus is generated here, from fixed seeds, so the books can be made
// again bit for bit on any machine: at every sampling rate of the coder,
// SECONDS_PER_RATE (default 150) seconds of stereo made of
//  - notes: harmonic tones with vibrato and envelopes, up to three voices,
//  - voices: a pulse train with a moving pitch and noise through moving
//    formant resonators, in syllables and pauses,
//  - noises: white noise through random resonators, slowly modulated,
//  - sweeps: logarithmic sine sweeps,
//  - hits: decaying noise bursts and falling tones,
//  - mixtures of these, at levels from -40 to -3 dBFS,
// each source panned, centred or on one side. No recording of anyone went
// into them.
//
// The books are trained in three stages with the coder itself, every mode in
// mono and stereo, each stage quantising with the books of the stages before:
//  1. LSP: the unquantised line spectral frequencies -> a 64-entry first
//     stage and 16-entry second stages per split (k-means);
//  2. bark-scale envelopes: the target log2 envelopes of the blocks, and
//     their predicted forms -> one book per vector length and size
//     (k-means weighted by band width);
//  3. shapes: the flattened spectra with their weights, as the coder
//     interleaves them, cut into vectors of every length the modes use ->
//     a pair of 64-entry conjugate codebooks per length, by alternating
//     weighted centroid updates of the two books over the joint search the
//     encoder uses (a generalised Lloyd algorithm for sums of two vectors).
// Values are written as 16-bit integers with the scales in the file.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "TvqBooks.h"
#include "TvqCoder.h"
#include "TvqLayout.h"

using namespace tarvexa;
using namespace tarvexa::tvq;

namespace {

constexpr double kPi = 3.14159265358979323846;

// A small portable generator, so the corpus is the same everywhere.
class Random {
 public:
  explicit Random(uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t Next() {
    s_ ^= s_ >> 12;
    s_ ^= s_ << 25;
    s_ ^= s_ >> 27;
    return s_ * 0x2545F4914F6CDD1Dull;
  }
  double Uniform() { return (Next() >> 11) * (1.0 / 9007199254740992.0); }
  double Range(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
  double LogRange(double lo, double hi) { return lo * std::pow(hi / lo, Uniform()); }
  int Int(int n) { return static_cast<int>(Uniform() * n); }
  double Gauss() {
    const double u1 = std::max(Uniform(), 1e-300), u2 = Uniform();
    return std::sqrt(-2 * std::log(u1)) * std::cos(2 * kPi * u2);
  }

 private:
  uint64_t s_;
};

// Two-pole resonator.
struct Resonator {
  double a1 = 0, a2 = 0, g = 1, y1 = 0, y2 = 0;
  void Set(double freq, double bandwidth, double rate) {
    const double r = std::exp(-kPi * bandwidth / rate);
    a1 = -2 * r * std::cos(2 * kPi * freq / rate);
    a2 = r * r;
    g = 1 - r;
  }
  double Run(double x) {
    const double y = g * x - a1 * y1 - a2 * y2;
    y2 = y1;
    y1 = y;
    return y;
  }
};

using Signal = std::vector<double>;

void Normalize(Signal& s, double peak) {
  double m = 1e-12;
  for (double v : s) m = std::max(m, std::fabs(v));
  for (double& v : s) v *= peak / m;
}

Signal Notes(Random& rng, int rate, int n) {
  Signal s(static_cast<size_t>(n), 0.0);
  const double nyq = rate / 2.0;
  const int voices = 1 + rng.Int(3);
  for (int v = 0; v < voices; ++v) {
    int at = rng.Int(rate / 4);
    while (at < n) {
      const int len = static_cast<int>(rate * rng.Range(0.12, 1.2));
      const double f0 = rng.LogRange(70, 1200);
      const double roll = rng.Range(0.5, 2.2);
      const int harmonics = 1 + rng.Int(14);
      const double attack = rng.Range(0.003, 0.08) * rate;
      const double decay = rng.Range(0.1, 1.5) * rate;
      const double vib = rng.Range(0, 0.006);
      std::vector<double> amp(static_cast<size_t>(harmonics)), ph(static_cast<size_t>(harmonics));
      for (int h = 0; h < harmonics; ++h) {
        amp[static_cast<size_t>(h)] = rng.Range(0.3, 1.0) / std::pow(h + 1, roll);
        ph[static_cast<size_t>(h)] = rng.Range(0, 2 * kPi);
      }
      for (int i = 0; i < len && at + i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double env = std::min(1.0, i / attack) * std::exp(-i / decay) *
                           std::min(1.0, (len - i) / (0.01 * rate));
        const double f = f0 * (1 + vib * std::sin(2 * kPi * 5.5 * t));
        double x = 0;
        for (int h = 0; h < harmonics; ++h) {
          const double fh = f * (h + 1) * (1 + 0.0004 * h * h);
          if (fh >= nyq * 0.95) break;
          ph[static_cast<size_t>(h)] += 2 * kPi * fh / rate;
          x += amp[static_cast<size_t>(h)] * std::sin(ph[static_cast<size_t>(h)]);
        }
        s[static_cast<size_t>(at + i)] += env * x;
      }
      at += len + rng.Int(rate / 5);
    }
  }
  return s;
}

Signal Voice(Random& rng, int rate, int n) {
  Signal s(static_cast<size_t>(n), 0.0);
  Resonator formant[4];
  const double base[4] = {rng.Range(250, 900), rng.Range(800, 2400), rng.Range(2000, 3200),
                          rng.Range(3000, 4500)};
  double pitch = rng.Range(85, 250);
  double phase = 0;
  int at = 0;
  while (at < n) {
    const int syl = static_cast<int>(rate * rng.Range(0.12, 0.38));
    const bool voiced = rng.Uniform() < 0.75;
    double f[4];
    for (int k = 0; k < 4; ++k) f[k] = std::min(base[k] * rng.Range(0.7, 1.35), rate * 0.45);
    const double p0 = pitch, p1 = std::clamp(pitch * rng.Range(0.8, 1.25), 80.0, 320.0);
    for (int i = 0; i < syl && at + i < n; ++i) {
      if (i % 64 == 0) {
        for (int k = 0; k < 4; ++k) formant[k].Set(f[k] * (1 + 0.1 * i / syl), 60 + 40 * k, rate);
      }
      const double env = std::sin(kPi * i / syl);
      double src;
      if (voiced) {
        const double p = p0 + (p1 - p0) * i / syl;
        phase += p / rate;
        // A short rounded pulse per period, with some breath.
        const double frac = phase - std::floor(phase);
        src = (frac < 0.08 ? std::sin(kPi * frac / 0.08) : 0.0) * 4 + 0.05 * rng.Gauss();
      } else {
        src = rng.Gauss();
      }
      double y = 0;
      for (int k = 0; k < 4; ++k) y += formant[k].Run(src) / (k + 1);
      s[static_cast<size_t>(at + i)] = env * y;
    }
    pitch = p1;
    at += syl + (rng.Uniform() < 0.3 ? rng.Int(rate / 3) : 0);
  }
  return s;
}

Signal Noise(Random& rng, int rate, int n) {
  Signal s(static_cast<size_t>(n));
  Resonator r[2];
  r[0].Set(rng.LogRange(100, rate * 0.4), rng.LogRange(50, 3000), rate);
  r[1].Set(rng.LogRange(100, rate * 0.4), rng.LogRange(200, 8000), rate);
  const double mix = rng.Uniform();
  const double mod = rng.Range(0.1, 3);
  for (int i = 0; i < n; ++i) {
    const double x = rng.Gauss();
    const double y = mix * x + (1 - mix) * (r[0].Run(x) * 8 + r[1].Run(x) * 4);
    s[static_cast<size_t>(i)] = y * (0.6 + 0.4 * std::sin(2 * kPi * mod * i / rate));
  }
  return s;
}

Signal Sweep(Random& rng, int rate, int n) {
  Signal s(static_cast<size_t>(n));
  double f1 = rng.LogRange(30, 2000), f2 = rng.LogRange(200, rate * 0.45);
  if (rng.Uniform() < 0.5) std::swap(f1, f2);
  double ph = 0;
  for (int i = 0; i < n; ++i) {
    const double f = f1 * std::pow(f2 / f1, static_cast<double>(i) / n);
    ph += 2 * kPi * f / rate;
    s[static_cast<size_t>(i)] = std::sin(ph);
  }
  return s;
}

Signal Hits(Random& rng, int rate, int n) {
  Signal s(static_cast<size_t>(n), 0.0);
  int at = rng.Int(rate / 4);
  while (at < n) {
    const bool tonal = rng.Uniform() < 0.4;
    const double tau = rng.Range(0.01, 0.2) * rate;
    Resonator r;
    r.Set(rng.LogRange(200, rate * 0.4), rng.LogRange(100, 5000), rate);
    const double f0 = rng.Range(45, 160);
    double ph = 0;
    for (int i = 0; at + i < n && i < 6 * tau; ++i) {
      const double env = std::exp(-i / tau);
      double x;
      if (tonal) {
        ph += 2 * kPi * f0 * (1 + 2 * std::exp(-i / (0.02 * rate))) / rate;
        x = std::sin(ph);
      } else {
        x = r.Run(rng.Gauss()) * 6 + 0.3 * rng.Gauss();
      }
      s[static_cast<size_t>(at + i)] += env * x;
    }
    at += static_cast<int>(rate * rng.Range(0.08, 0.6));
  }
  return s;
}

// Stereo corpus at one rate: segments of a few seconds, one after another.
std::vector<float> MakeCorpus(int rate, double seconds, uint64_t seed) {
  Random rng(seed);
  const int total = static_cast<int>(rate * seconds);
  std::vector<float> out(static_cast<size_t>(2 * total), 0.0f);
  const std::function<Signal(Random&, int, int)> kinds[] = {Notes, Voice, Noise, Sweep, Hits};
  int at = 0;
  while (at < total) {
    const int n = std::min(total - at, static_cast<int>(rate * rng.Range(1.5, 5.0)));
    const int sources = 1 + rng.Int(3);
    for (int k = 0; k < sources; ++k) {
      Signal x = kinds[rng.Int(5)](rng, rate, n);
      Normalize(x, 1.0);
      const double level = std::pow(10, rng.Range(-40, -3) / 20) * 32767 / sources;
      const double placement = rng.Uniform();
      double gl = 1, gr = 1;
      if (placement < 0.3) {
        gl = 1, gr = 1;  // centred
      } else if (placement < 0.45) {
        (rng.Uniform() < 0.5 ? gl : gr) = 0;  // one side
      } else {
        const double pan = rng.Uniform();
        gl = std::cos(pan * kPi / 2) * 1.41;
        gr = std::sin(pan * kPi / 2) * 1.41;
      }
      for (int i = 0; i < n; ++i) {
        out[static_cast<size_t>(2 * (at + i))] +=
            static_cast<float>(gl * level * x[static_cast<size_t>(i)]);
        out[static_cast<size_t>(2 * (at + i) + 1)] +=
            static_cast<float>(gr * level * x[static_cast<size_t>(i)]);
      }
    }
    at += n;
  }
  for (float& v : out) v = std::clamp(v, -32768.0f, 32767.0f);
  return out;
}

// ---------------------------------------------------------------------------
// Training data

struct LspData {
  std::vector<std::vector<double>> vectors;
};

struct BarkData {
  std::vector<std::vector<float>> x, w;
};

// The element stream of the shape divisions, in coder order.
struct ShapeData {
  std::vector<float> x, w;
};

struct Collector : TrainingTap {
  int stage = 0;
  std::map<std::pair<int, int>, LspData>* lsp = nullptr;
  std::map<std::pair<int, int>, BarkData>* bark = nullptr;  // (length, entries)
  ShapeData* shape = nullptr;
  // Target of the block before, per frame type layout, for predicted forms.
  std::map<const TypeLayout*, std::vector<float>> previous;
  Random rng{77};
  double keep = 1.0;  // share of the divisions kept in stage 3

  void OnLsp(int order, int splits, const double* v) override {
    if (stage != 1) return;
    (*lsp)[{order, splits}].vectors.emplace_back(v, v + order);
  }
  void OnBark(const TypeLayout& t, const float* bands, const float* widths) override {
    if (stage != 2) return;
    const int n = t.barkIndices;
    const int len = t.barkBands / n;
    auto& prev = previous[&t];
    auto& data = (*bark)[{len, 1 << t.barkWidth}];
    for (int k = 0; k < n; ++k) {
      std::vector<float> x, w, xp;
      for (int b = k; b < t.barkBands; b += n) {
        x.push_back(bands[b]);
        w.push_back(widths[b]);
        if (!prev.empty())
          xp.push_back((bands[b] - kBarkPrediction * prev[static_cast<size_t>(b)]) /
                       (1 - kBarkPrediction));
      }
      data.x.push_back(x);
      data.w.push_back(w);
      if (!xp.empty()) {
        data.x.push_back(xp);
        data.w.push_back(w);
      }
    }
    prev.assign(bands, bands + t.barkBands);
  }
  void OnShape(const float* x, const float* w, int length) override {
    if (stage != 3 || rng.Uniform() >= keep) return;
    double weight = 0;
    for (int i = 0; i < length; ++i) weight += w[i];
    if (weight <= 1e-9) return;  // silent divisions teach nothing
    shape->x.insert(shape->x.end(), x, x + length);
    shape->w.insert(shape->w.end(), w, w + length);
  }
};

// ---------------------------------------------------------------------------
// Clustering

// Weighted k-means of vectors into `entries` centroids.
std::vector<float> KMeans(const std::vector<std::vector<float>>& x,
                          const std::vector<std::vector<float>>* w, int length, int entries,
                          int iterations, uint64_t seed) {
  Random rng(seed);
  std::vector<float> c(static_cast<size_t>(entries * length));
  for (int e = 0; e < entries; ++e) {
    const auto& v = x[static_cast<size_t>(rng.Int(static_cast<int>(x.size())))];
    std::copy(v.begin(), v.end(), c.begin() + e * length);
  }
  std::vector<int> assign(x.size());
  for (int it = 0; it < iterations; ++it) {
    std::vector<double> num(c.size(), 0.0), den(c.size(), 0.0);
    std::vector<int> count(static_cast<size_t>(entries), 0);
    double total = 0;
    for (size_t i = 0; i < x.size(); ++i) {
      int best = 0;
      double bestD = 1e300;
      for (int e = 0; e < entries; ++e) {
        double d = 0;
        for (int j = 0; j < length; ++j) {
          const double diff = x[i][static_cast<size_t>(j)] - c[static_cast<size_t>(e * length + j)];
          d += (w ? (*w)[i][static_cast<size_t>(j)] : 1.0) * diff * diff;
        }
        if (d < bestD) {
          bestD = d;
          best = e;
        }
      }
      assign[i] = best;
      total += bestD;
      ++count[static_cast<size_t>(best)];
      for (int j = 0; j < length; ++j) {
        const double wt = w ? (*w)[i][static_cast<size_t>(j)] : 1.0;
        num[static_cast<size_t>(best * length + j)] += wt * x[i][static_cast<size_t>(j)];
        den[static_cast<size_t>(best * length + j)] += wt;
      }
    }
    for (int e = 0; e < entries; ++e) {
      if (count[static_cast<size_t>(e)] == 0) {
        const auto& v = x[static_cast<size_t>(rng.Int(static_cast<int>(x.size())))];
        std::copy(v.begin(), v.end(), c.begin() + e * length);
        continue;
      }
      for (int j = 0; j < length; ++j) {
        const size_t k = static_cast<size_t>(e * length + j);
        if (den[k] > 1e-12) c[k] = static_cast<float>(num[k] / den[k]);
      }
    }
    if (it == iterations - 1)
      std::fprintf(stderr, "    k-means %d x %d: distortion %.5f\n", entries, length,
                   total / x.size());
  }
  return c;
}

LspBook TrainLsp(int order, int splits, const LspData& data) {
  LspBook b;
  b.order = order;
  b.splits = splits;
  std::vector<std::vector<float>> x;
  for (const auto& v : data.vectors) x.emplace_back(v.begin(), v.end());
  std::fprintf(stderr, "  LSP order %d: %zu vectors\n", order, x.size());
  b.stage1 = KMeans(x, nullptr, order, kLspStage1Entries, 30, 11);
  // Second stage on what the first leaves.
  std::vector<std::vector<float>> residual;
  for (const auto& v : x) {
    int best = 0;
    double bestD = 1e300;
    for (int e = 0; e < kLspStage1Entries; ++e) {
      double d = 0;
      for (int j = 0; j < order; ++j) {
        const double diff =
            v[static_cast<size_t>(j)] - b.stage1[static_cast<size_t>(e * order + j)];
        d += diff * diff;
      }
      if (d < bestD) {
        bestD = d;
        best = e;
      }
    }
    std::vector<float> r(static_cast<size_t>(order));
    for (int j = 0; j < order; ++j)
      r[static_cast<size_t>(j)] =
          v[static_cast<size_t>(j)] - b.stage1[static_cast<size_t>(best * order + j)];
    residual.push_back(r);
  }
  for (int s = 0; s < splits; ++s) {
    const int begin = b.SplitBegin(s), len = b.SplitLength(s);
    std::vector<std::vector<float>> part;
    for (const auto& r : residual) part.emplace_back(r.begin() + begin, r.begin() + begin + len);
    const std::vector<float> c = KMeans(part, nullptr, len, kLspStage2Entries, 30, 12 + s);
    b.stage2.insert(b.stage2.end(), c.begin(), c.end());
  }
  return b;
}

ShapeBook TrainShape(int length, const ShapeData& data, int vectors, int iterations) {
  Random rng(1000 + length);
  const size_t available = data.x.size() / static_cast<size_t>(length);
  std::vector<size_t> pick;
  for (int i = 0; i < vectors; ++i)
    pick.push_back(static_cast<size_t>(rng.Next() % available) * length);
  auto X = [&](size_t v) { return data.x.data() + pick[v]; };
  auto W = [&](size_t v) { return data.w.data() + pick[v]; };

  ShapeBook b;
  b.length = length;
  b.cb0.resize(static_cast<size_t>(kShapeEntries * length));
  b.cb1.resize(b.cb0.size());
  for (int e = 0; e < kShapeEntries; ++e) {
    const float* v0 = X(static_cast<size_t>(rng.Int(vectors)));
    const float* v1 = X(static_cast<size_t>(rng.Int(vectors)));
    for (int j = 0; j < length; ++j) {
      b.cb0[static_cast<size_t>(e * length + j)] = 0.6f * v0[j];
      b.cb1[static_cast<size_t>(e * length + j)] = 0.4f * v1[j];
    }
  }
  std::vector<ShapeChoice> choice(pick.size());
  for (int it = 0; it < iterations; ++it) {
    PrepareShapeBook(b);
    double total = 0, energy = 0;
    for (size_t v = 0; v < pick.size(); ++v) {
      choice[v] = SearchShape(b, X(v), W(v), 7, 7, 8);
      total += choice[v].error;
      for (int j = 0; j < length; ++j) energy += W(v)[j] * X(v)[j] * X(v)[j];
    }
    // Alternately move each book to the weighted centroids of what it is
    // asked to match, given the other book's vectors.
    for (int which = 0; which < 2; ++which) {
      std::vector<float>& cb = which ? b.cb1 : b.cb0;
      const std::vector<float>& other = which ? b.cb0 : b.cb1;
      std::vector<double> num(cb.size(), 0.0), den(cb.size(), 0.0);
      std::vector<int> count(kShapeEntries, 0);
      for (size_t v = 0; v < pick.size(); ++v) {
        const int mine = which ? choice[v].index1 : choice[v].index0;
        const int theirs = which ? choice[v].index0 : choice[v].index1;
        const float sm = ShapeSign(mine, 7), so = ShapeSign(theirs, 7);
        const float* o = ShapeVector(other, length, theirs);
        const int e = mine & 63;
        ++count[static_cast<size_t>(e)];
        for (int j = 0; j < length; ++j) {
          const double wt = W(v)[j];
          num[static_cast<size_t>(e * length + j)] += wt * sm * (X(v)[j] - so * o[j]);
          den[static_cast<size_t>(e * length + j)] += wt;
        }
      }
      for (int e = 0; e < kShapeEntries; ++e) {
        if (count[static_cast<size_t>(e)] == 0) {
          // An unused vector starts again from a random target.
          const float* v0 = X(static_cast<size_t>(rng.Int(vectors)));
          for (int j = 0; j < length; ++j) cb[static_cast<size_t>(e * length + j)] = 0.5f * v0[j];
          continue;
        }
        for (int j = 0; j < length; ++j) {
          const size_t k = static_cast<size_t>(e * length + j);
          if (den[k] > 1e-9) cb[k] = static_cast<float>(num[k] / den[k]);
        }
      }
    }
    PrepareShapeBook(b);
    if (it == 0 || it == iterations - 1)
      std::fprintf(stderr, "    shapes length %2d pass %2d: weighted SNR %.2f dB\n", length, it,
                   10 * std::log10(energy / std::max(total, 1e-12)));
  }
  return b;
}

// Random stand-ins for the books of later stages.
Books StandIns(const std::set<int>& shapeLengths) {
  Books b;
  Random rng(5);
  for (int len : shapeLengths) {
    ShapeBook s;
    s.length = len;
    for (int i = 0; i < kShapeEntries * len; ++i) {
      s.cb0.push_back(static_cast<float>(0.5 * rng.Gauss()));
      s.cb1.push_back(static_cast<float>(0.5 * rng.Gauss()));
    }
    PrepareShapeBook(s);
    b.shapes.push_back(s);
  }
  for (int len : {8, 10})
    for (int entries : {32, 64}) {
      BarkBook k;
      k.length = len;
      k.entries = entries;
      for (int i = 0; i < len * entries; ++i)
        k.values.push_back(static_cast<float>(rng.Range(-3, 2)));
      b.barks.push_back(k);
    }
  for (const Mode& m : AllModes()) {
    if (b.Lsp(m.lspOrder, m.lspSplits)) continue;
    LspBook l;
    l.order = m.lspOrder;
    l.splits = m.lspSplits;
    for (int e = 0; e < kLspStage1Entries; ++e)
      for (int j = 0; j < l.order; ++j)
        l.stage1.push_back(static_cast<float>(kPi * (j + 1) / (l.order + 1) * rng.Range(0.8, 1.2)));
    l.stage2.assign(static_cast<size_t>(kLspStage2Entries * l.order), 0.0f);
    b.lsps.push_back(l);
  }
  return b;
}

// Every mode in mono and stereo over the corpus of its rate; in stage 3 each
// of them contributes about the same number of shape coefficients.
void RunCorpus(const Books& books, Collector& tap, double seconds) {
  constexpr double kShapeCoefficientsPerRun = 400000;
  std::map<int, std::vector<float>> corpus;
  for (const Mode& m : AllModes()) {
    const int rate = SampleRateOfCode(m.rateCode);
    auto& pcm = corpus[rate];
    if (pcm.empty()) pcm = MakeCorpus(rate, seconds, static_cast<uint64_t>(rate));
    for (int channels = 1; channels <= 2; ++channels) {
      const Layout layout = MakeLayout(m, channels);
      Encoder enc(layout, 16, books);
      enc.SetTap(&tap);
      tap.previous.clear();
      const int f = layout.frameSize;
      std::vector<float> planes(static_cast<size_t>(channels * f));
      TvqIndex index;
      const size_t frames = pcm.size() / 2 / static_cast<size_t>(f);
      tap.keep =
          std::min(1.0, kShapeCoefficientsPerRun / (static_cast<double>(frames) * f * channels));
      for (size_t t = 0; t < frames; ++t) {
        for (int i = 0; i < f; ++i) {
          const size_t at = 2 * (t * static_cast<size_t>(f) + static_cast<size_t>(i));
          if (channels == 1) {
            planes[static_cast<size_t>(i)] = 0.5f * (pcm[at] + pcm[at + 1]);
          } else {
            planes[static_cast<size_t>(i)] = pcm[at];
            planes[static_cast<size_t>(f + i)] = pcm[at + 1];
          }
        }
        enc.EncodeFrame(planes.data(), &index);
      }
    }
  }
}

void WriteValues(FILE* out, const char* name, const std::vector<int16_t>& v) {
  std::fprintf(out, "inline constexpr int16_t %s[] = {", name);
  for (size_t i = 0; i < v.size(); ++i) std::fprintf(out, "%s%d,", i % 16 ? "" : "\n   ", v[i]);
  std::fprintf(out, "\n};\n\n");
}

int16_t Fixed(float v, float scale) {
  return static_cast<int16_t>(std::clamp<long>(std::lround(v * scale), -32767, 32767));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tvq_train OUT.inc [SECONDS_PER_RATE]\n");
    return 2;
  }
  const double seconds = argc > 2 ? std::atof(argv[2]) : 150.0;

  std::set<int> lengths;
  for (const Mode& m : AllModes())
    for (int channels = 1; channels <= 2; ++channels) {
      const Layout l = MakeLayout(m, channels);
      for (const TypeLayout& t : l.types)
        for (const auto& members : t.members) lengths.insert(static_cast<int>(members.size()));
    }

  Books books = StandIns(lengths);
  std::map<std::pair<int, int>, LspData> lsp;
  std::map<std::pair<int, int>, BarkData> bark;
  ShapeData shape;
  Collector tap;
  tap.lsp = &lsp;
  tap.bark = &bark;
  tap.shape = &shape;

  std::fprintf(stderr, "stage 1: LSP\n");
  tap.stage = 1;
  RunCorpus(books, tap, seconds);
  books.lsps.clear();
  for (const auto& [key, data] : lsp) books.lsps.push_back(TrainLsp(key.first, key.second, data));

  std::fprintf(stderr, "stage 2: bark-scale envelopes\n");
  tap.stage = 2;
  RunCorpus(books, tap, seconds);
  books.barks.clear();
  for (const auto& [key, data] : bark) {
    std::fprintf(stderr, "  envelope length %d, %d entries: %zu vectors\n", key.first, key.second,
                 data.x.size());
    BarkBook k;
    k.length = key.first;
    k.entries = key.second;
    k.values =
        KMeans(data.x, &data.w, key.first, key.second, 25, 21 + key.first * 100 + key.second);
    books.barks.push_back(k);
  }

  std::fprintf(stderr, "stage 3: shapes\n");
  tap.stage = 3;
  RunCorpus(books, tap, seconds);
  std::fprintf(stderr, "  %zu coefficients collected\n", shape.x.size());
  books.shapes.clear();
  for (int len : lengths) books.shapes.push_back(TrainShape(len, shape, 40000, 16));

  FILE* out = std::fopen(argv[1], "w");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  std::fprintf(
      out,
      "// Codebooks of the TwinVQ coder, generated by tvq_train (train/TvqTrain.cpp) from\n"
      "// its generated corpus, %.0f seconds per sampling rate. Do not edit; run the\n"
      "// trainer again.\n"
      "// clang-format off\n"
      "namespace generated {\n\n"
      "inline constexpr float kShapeScale = 1.0f / 4096;\n"
      "inline constexpr float kBarkScale = 1.0f / 1024;\n"
      "inline constexpr float kLspScale = 1.0f / 8192;\n"
      "struct ShapeDesc { int length; int offset; };\n"
      "struct BarkDesc { int length; int entries; int offset; };\n"
      "struct LspDesc { int order; int splits; int offset; };\n\n",
      seconds);
  std::vector<int16_t> values;
  std::fprintf(out, "inline constexpr ShapeDesc kShapes[] = {\n");
  for (const ShapeBook& s : books.shapes) {
    std::fprintf(out, "    {%d, %zu},\n", s.length, values.size());
    for (float v : s.cb0) values.push_back(Fixed(v, 4096));
    for (float v : s.cb1) values.push_back(Fixed(v, 4096));
  }
  std::fprintf(out, "};\n");
  WriteValues(out, "kShapeValues", values);
  values.clear();
  std::fprintf(out, "inline constexpr BarkDesc kBarks[] = {\n");
  for (const BarkBook& k : books.barks) {
    std::fprintf(out, "    {%d, %d, %zu},\n", k.length, k.entries, values.size());
    for (float v : k.values) values.push_back(Fixed(v, 1024));
  }
  std::fprintf(out, "};\n");
  WriteValues(out, "kBarkValues", values);
  values.clear();
  std::fprintf(out, "inline constexpr LspDesc kLsps[] = {\n");
  for (const LspBook& l : books.lsps) {
    std::fprintf(out, "    {%d, %d, %zu},\n", l.order, l.splits, values.size());
    for (float v : l.stage1) values.push_back(Fixed(v, 8192));
    for (float v : l.stage2) values.push_back(Fixed(v, 8192));
  }
  std::fprintf(out, "};\n");
  WriteValues(out, "kLspValues", values);
  std::fprintf(out, "}  // namespace generated\n// clang-format on\n");
  std::fclose(out);
  std::fprintf(stderr, "wrote %s\n", argv[1]);
  return 0;
}
