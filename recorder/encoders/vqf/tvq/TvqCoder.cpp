#include "TvqCoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tarvexa::tvq {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLspGap = 0.005;
// Weights of the shape search: the envelope to this power. 1 would minimise
// the plain squared error; less leaves more of the noise under the strong
// parts of the spectrum, where it is masked.
constexpr float kWeightPower = 0.75f;
// The linear-prediction envelope follows the spectrum smoothed by a lag
// window of this width (Hz) over a floor this far down: sharper envelopes
// cost more in LSP quantisation error than they save.
constexpr double kLagWindowHz = 100.0;
constexpr double kNoiseFloor = 1e-5;
constexpr float kResidualMax = 8.0f;
// Main gain: log2 steps of 1/8 from 2^-7.875; index 0 is silence.
constexpr double kGainStep = 1.0 / 8;
constexpr double kGainFloor = -8.0;
// Block gains: steps of 1/3 octave (2 dB) below the main gain.
constexpr double kBlockGainStep = 1.0 / 3;

int BlockSize(const Layout& l, int type) { return l.types[static_cast<size_t>(type)].blockSize; }

// Members of split k of the bands: k, k + n, k + 2n, ...
template <typename F>
void ForSplit(int bands, int splits, int k, F&& f) {
  int m = 0;
  for (int b = k; b < bands; b += splits) f(b, m++);
}

}  // namespace

bool BooksCover(const Layout& layout, const Books& books) {
  if (!books.Lsp(layout.mode->lspOrder, layout.mode->lspSplits)) return false;
  for (const TypeLayout& t : layout.types) {
    if (t.barkBands % t.barkIndices != 0 ||
        static_cast<size_t>(t.barkBands / t.barkIndices) > kMaxVectorLength)
      return false;
    if (!books.Bark(t.barkBands / t.barkIndices, 1 << t.barkWidth)) return false;
    for (const auto& m : t.members)
      if (m.size() > kMaxVectorLength || !books.Shape(static_cast<int>(m.size()))) return false;
  }
  return true;
}

const float* WindowCache::Get(int n, int left, int right) {
  auto& w = windows_[{n, left, right}];
  if (w.empty()) {
    w.resize(static_cast<size_t>(2 * n));
    BlockWindow(n, left, right, w.data());
  }
  return w.data();
}

// ---------------------------------------------------------------------------
// Gains

float MainGain(int index) {
  if (index <= 0) return 0.0f;
  return static_cast<float>(std::exp2(kGainFloor + index * kGainStep));
}

float BlockGain(float main, int index) {
  return static_cast<float>(main * std::exp2(-index * kBlockGainStep));
}

int MainGainIndex(float gain) {
  if (!(gain > 0)) return 0;
  const long i = std::lround((std::log2(gain) - kGainFloor) / kGainStep);
  return static_cast<int>(std::clamp<long>(i, 0, (1 << kGainBits) - 1));
}

int BlockGainIndex(float main, float gain) {
  if (!(gain > 0) || !(main > 0)) return (1 << kSubGainBits) - 1;
  const long i = std::lround(std::log2(main / gain) / kBlockGainStep);
  return static_cast<int>(std::clamp<long>(i, 0, (1 << kSubGainBits) - 1));
}

// ---------------------------------------------------------------------------
// Reconstruction

Reconstruction::Reconstruction(const Layout& layout, const Books& books)
    : layout_(layout),
      books_(books),
      lsp_(books.Lsp(layout.mode->lspOrder, layout.mode->lspSplits)) {
  const int p = layout.mode->lspOrder;
  lspHist_.assign(static_cast<size_t>(layout.channels),
                  std::vector<double>(static_cast<size_t>(p)));
  for (auto& h : lspHist_)
    for (int i = 0; i < p; ++i) h[static_cast<size_t>(i)] = kPi * (i + 1) / (p + 1);
  for (int t = 0; t < kFrameTypes; ++t) {
    const TypeLayout& tl = layout.types[static_cast<size_t>(t)];
    bark_[static_cast<size_t>(t)] = books.Bark(tl.barkBands / tl.barkIndices, 1 << tl.barkWidth);
    barkHist_[static_cast<size_t>(t)].assign(
        static_cast<size_t>(layout.channels),
        std::vector<float>(static_cast<size_t>(tl.barkBands), 0.0f));
  }
}

const ShapeBook& Reconstruction::ShapeCodebook(int length) const { return *books_.Shape(length); }

void Reconstruction::LspCandidate(int ch, const int32_t* idx, double* lsp) const {
  const int p = lsp_->order;
  LspValue(*lsp_, idx + 1, lsp);
  if (idx[0] & 1) {
    const std::vector<double>& h = lspHist_[static_cast<size_t>(ch)];
    for (int i = 0; i < p; ++i)
      lsp[i] = (1 - kLspPrediction) * lsp[i] + kLspPrediction * h[static_cast<size_t>(i)];
  }
  StabilizeLsp(lsp, p, kLspGap);
}

void Reconstruction::DecodeLsp(int ch, const int32_t* idx, double* lsp) {
  LspCandidate(ch, idx, lsp);
  std::copy(lsp, lsp + lsp_->order, lspHist_[static_cast<size_t>(ch)].begin());
}

void Reconstruction::BarkCandidate(int type, int ch, const int32_t* idx, int ar,
                                   float* bands) const {
  const TypeLayout& tl = layout_.types[static_cast<size_t>(type)];
  const BarkBook& book = *bark_[static_cast<size_t>(type)];
  const std::vector<float>& h = barkHist_[static_cast<size_t>(type)][static_cast<size_t>(ch)];
  for (int k = 0; k < tl.barkIndices; ++k) {
    const float* c =
        book.values.data() + static_cast<size_t>((idx[k] & (book.entries - 1)) * book.length);
    ForSplit(tl.barkBands, tl.barkIndices, k, [&](int b, int m) {
      float v = c[m];
      if (ar & 1) v = (1 - kBarkPrediction) * v + kBarkPrediction * h[static_cast<size_t>(b)];
      bands[b] = std::clamp(v, kBarkMin, kBarkMax);
    });
  }
}

void Reconstruction::DecodeBark(int type, int ch, const int32_t* idx, int ar, float* bands) {
  BarkCandidate(type, ch, idx, ar, bands);
  auto& h = barkHist_[static_cast<size_t>(type)][static_cast<size_t>(ch)];
  std::copy(bands, bands + h.size(), h.begin());
}

void Reconstruction::Shapes(int type, const TvqIndex& index, float* residual) const {
  const TypeLayout& tl = layout_.types[static_cast<size_t>(type)];
  for (int d = 0; d < tl.divisions; ++d) {
    const auto& members = tl.members[static_cast<size_t>(d)];
    const int len = static_cast<int>(members.size());
    const ShapeBook& book = *books_.Shape(len);
    const int b0 = tl.bits0[static_cast<size_t>(d)];
    const int b1 = tl.bits1[static_cast<size_t>(d)];
    const int i0 = index.shape0[d];
    const int i1 = index.shape1[d];
    const float s0 = ShapeSign(i0, b0);
    const float s1 = ShapeSign(i1, b1);
    const float* c0 = ShapeVector(book.cb0, len, i0);
    const float* c1 = ShapeVector(book.cb1, len, i1);
    for (int m = 0; m < len; ++m)
      residual[members[static_cast<size_t>(m)]] = s0 * c0[m] + s1 * c1[m];
  }
}

// ---------------------------------------------------------------------------
// Encoder

Encoder::Encoder(const Layout& layout, int quality, const Books& books)
    : layout_(layout), books_(books), rec_(layout_, books) {
  const int q = std::clamp(quality, 1, 32);
  shapeCandidates_ = std::clamp(static_cast<int>(std::lround(2 * std::sqrt(q))), 2, 16);
  lspCandidates_ = 1 + q / 8;
  const int f = layout_.frameSize;
  const int c = layout_.channels;
  input_.assign(static_cast<size_t>(c), std::vector<float>(static_cast<size_t>(3 * f), 0.0f));
  leftOverlap_ = f;
  for (int t = 0; t < kFrameTypes; ++t) {
    mdct_[static_cast<size_t>(t)] = std::make_unique<Mdct>(BlockSize(layout_, t));
    cosines_[static_cast<size_t>(t)] = BinCosines(BlockSize(layout_, t));
  }
  spectrum_.resize(static_cast<size_t>(c * f));
  residual_.resize(static_cast<size_t>(c * f));
  weight_.resize(static_cast<size_t>(c * f));
  env_.resize(static_cast<size_t>(f));
  block_.resize(static_cast<size_t>(2 * f));
  power_.resize(static_cast<size_t>(f));
  x_.resize(kMaxVectorLength);
  w_.resize(kMaxVectorLength);
}

// The frame type of the newest frame of input: short blocks for a sharp
// attack, medium ones for a milder one. Attacks are measured on the
// high-passed signal in sixteenths of a frame against the four before.
int Encoder::DecideType(const std::vector<std::vector<float>>& buffer) {
  const int f = layout_.frameSize;
  const int seg = f / 16;
  double worst = 0;
  for (int k = 0; k < 16; ++k) {
    double e = 0;
    for (size_t c = 0; c < buffer.size(); ++c) {
      const float* x = buffer[c].data() + 2 * f + k * seg;
      float prev = k == 0 ? lastSample_[c] : x[-1];
      for (int i = 0; i < seg; ++i) {
        const float d = x[i] - prev;
        e += static_cast<double>(d) * d;
        prev = x[i];
      }
    }
    double before = 0;
    for (double r : recentEnergy_) before += r;
    before /= recentEnergy_.size();
    // Attacks below about -66 dBFS do not count.
    const double floor = 25.0 * seg;
    worst = std::max(worst, e / (before + floor));
    std::rotate(recentEnergy_.begin(), recentEnergy_.begin() + 1, recentEnergy_.end());
    recentEnergy_.back() = e;
  }
  for (size_t c = 0; c < buffer.size(); ++c)
    lastSample_[c] = buffer[c][static_cast<size_t>(3 * f - 1)];
  if (worst > 20) return kShort;
  if (worst > 6) return kMedium;
  return kLong;
}

// The spectrum of the frame in the middle of the input buffer.
void Encoder::Transform(int type, int left, int right) {
  const int f = layout_.frameSize;
  const TypeLayout& tl = layout_.types[static_cast<size_t>(type)];
  const int n = tl.blockSize;
  Mdct& mdct = *mdct_[static_cast<size_t>(type)];
  for (int c = 0; c < layout_.channels; ++c) {
    const std::vector<float>& in = input_[static_cast<size_t>(c)];
    for (int j = 0; j < tl.subBlocks; ++j) {
      const int l = j == 0 ? left : n;
      const int r = j == tl.subBlocks - 1 ? right : n;
      const float* w = windows_.Get(n, l, r);
      const float* x = in.data() + f + j * n - n / 2;
      for (int i = 0; i < 2 * n; ++i) block_[static_cast<size_t>(i)] = x[i] * w[i];
      mdct.Forward(block_.data(), spectrum_.data() + c * f + j * n);
    }
  }
}

void Encoder::QuantizeLsp(int ch, const double* lsp, int32_t* idx, double* decoded) {
  const LspBook& book = rec_.LspCodebook();
  const int p = book.order;
  const double* h = rec_.LspHistory(ch);
  double target[32], cand[32];
  int32_t best[2 + kTvqMaxLspSplits] = {};
  double bestErr = 1e300;
  for (int mode = 0; mode < 2; ++mode) {
    int32_t trial[2 + kTvqMaxLspSplits] = {};
    trial[0] = mode;
    const double a = mode ? kLspPrediction : 0.0;
    for (int i = 0; i < p; ++i) target[i] = (lsp[i] - a * h[i]) / (1 - a);
    SearchLsp(book, target, lspCandidates_, trial + 1);
    rec_.LspCandidate(ch, trial, cand);
    double err = 0;
    for (int i = 0; i < p; ++i) err += (cand[i] - lsp[i]) * (cand[i] - lsp[i]);
    if (err < bestErr) {
      bestErr = err;
      std::copy(trial, trial + 2 + book.splits, best);
    }
  }
  std::copy(best, best + 2 + book.splits, idx);
  rec_.DecodeLsp(ch, idx, decoded);
}

// The linear-prediction envelope of channel c (into env_) from the power
// spectrum of the frame's blocks; its LSP indices into idx.
void Encoder::LinearPrediction(int c, int type, int32_t* idx) {
  const TypeLayout& tl = layout_.types[static_cast<size_t>(type)];
  const int n = tl.blockSize;
  const int p = layout_.mode->lspOrder;
  const float* coefs = spectrum_.data() + c * layout_.frameSize;
  double mean = 0;
  for (int i = 0; i < n; ++i) {
    double e = 0;
    for (int j = 0; j < tl.subBlocks; ++j) e += coefs[j * n + i] * coefs[j * n + i];
    power_[static_cast<size_t>(i)] = static_cast<float>(e / tl.subBlocks);
    mean += e / tl.subBlocks;
  }
  mean /= n;
  for (int i = 0; i < n; ++i)
    power_[static_cast<size_t>(i)] += static_cast<float>(kNoiseFloor * mean + 1e-3);
  double r[32], a[32], lsp[32], decoded[32];
  AutocorrelationOfSpectrum(power_.data(), cosines_[static_cast<size_t>(type)], p, r);
  for (int k = 1; k <= p; ++k) {
    const double x = 2 * kPi * kLagWindowHz * k / layout_.sampleRate;
    r[k] *= std::exp(-0.5 * x * x);
  }
  r[0] *= 1.0001;
  const bool lpcOk = Levinson(r, p, a) && LpcToLsp(a, p, lsp);
  if (!lpcOk) std::copy(rec_.LspHistory(c), rec_.LspHistory(c) + p, lsp);
  if (tap_) tap_->OnLsp(p, layout_.mode->lspSplits, lsp);
  QuantizeLsp(c, lsp, idx, decoded);
  LspToLpc(decoded, p, a);
  LpcEnvelope(a, p, cosines_[static_cast<size_t>(type)], env_.data());
}

// The bark-scale envelope of one block (bins y, gain g) relative to its
// gain: indices and prediction flag, and the decoded log2 values in bands.
void Encoder::BarkEnvelope(int c, int type, float g, const float* y, int32_t* idx, int32_t* ar,
                           float* bands) {
  const TypeLayout& tl = layout_.types[static_cast<size_t>(type)];
  const size_t count = static_cast<size_t>(tl.barkBands);
  std::array<float, kMaxVectorLength> target{}, weight{};
  for (size_t b = 0; b < count; ++b) {
    double e = 0;
    for (int i = tl.bandEdges[b]; i < tl.bandEdges[b + 1]; ++i) {
      const double v = y[i] / env_[static_cast<size_t>(i)];
      e += v * v;
    }
    const int width = tl.bandEdges[b + 1] - tl.bandEdges[b];
    e /= width;
    const double rel = g > 0 ? 0.5 * std::log2(e / (static_cast<double>(g) * g) + 1e-30) : kBarkMin;
    target[b] = std::clamp(static_cast<float>(rel), kBarkMin, kBarkMax);
    // An envelope error costs in proportion to the band's share of the
    // block (as the shape weights see it).
    weight[b] = static_cast<float>(width) * std::exp2(2 * kWeightPower * target[b]);
  }
  if (tap_ && g > 0) tap_->OnBark(tl, target.data(), weight.data());

  const BarkBook& book = rec_.BarkCodebook(type);
  const float* h = rec_.BarkHistory(type, c);
  int32_t best[kTvqMaxForward] = {};
  int bestAr = 0;
  double bestErr = 1e300;
  // Silence keeps the first entries; the decoder's history moves on alike.
  for (int withHistory = 0; withHistory < 2 && g > 0; ++withHistory) {
    int32_t trial[kTvqMaxForward] = {};
    for (int k = 0; k < tl.barkIndices; ++k) {
      ForSplit(tl.barkBands, tl.barkIndices, k, [&](int b, int m) {
        const float t = target[static_cast<size_t>(b)];
        x_[static_cast<size_t>(m)] =
            withHistory ? (t - kBarkPrediction * h[b]) / (1 - kBarkPrediction) : t;
        w_[static_cast<size_t>(m)] = weight[static_cast<size_t>(b)];
      });
      trial[k] = SearchBark(book, x_.data(), w_.data(), nullptr);
    }
    rec_.BarkCandidate(type, c, trial, withHistory, bands);
    double err = 0;
    for (size_t b = 0; b < count; ++b) {
      const double d = bands[b] - target[b];
      err += weight[b] * d * d;
    }
    if (err < bestErr) {
      bestErr = err;
      bestAr = withHistory;
      std::copy(trial, trial + tl.barkIndices, best);
    }
  }
  std::copy(best, best + tl.barkIndices, idx);
  *ar = bestAr;
  rec_.DecodeBark(type, c, best, bestAr, bands);
}

void Encoder::EncodeFrame(const float* planes, TvqIndex* index) {
  const int f = layout_.frameSize;
  const int channels = layout_.channels;
  std::memset(index, 0, sizeof *index);

  // Shift the input on by one frame; stereo is coded as mid and side.
  for (int c = 0; c < channels; ++c) {
    auto& in = input_[static_cast<size_t>(c)];
    std::copy(in.begin() + f, in.end(), in.begin());
  }
  float* newest0 = input_[0].data() + 2 * f;
  if (channels == 2) {
    float* newest1 = input_[1].data() + 2 * f;
    for (int i = 0; i < f; ++i) {
      const float l = planes[i], r = planes[f + i];
      newest0[i] = 0.5f * (l + r);
      newest1[i] = 0.5f * (l - r);
    }
  } else {
    std::copy(planes, planes + f, newest0);
  }

  const int type = type_;
  const int next = DecideType(input_);
  const TypeLayout& tl = layout_.types[static_cast<size_t>(type)];
  const int n = tl.blockSize;
  const int right = std::min(n, BlockSize(layout_, next));
  Transform(type, leftOverlap_, right);
  index->windowType = WindowType(type, next);
  index->frameType = type;

  std::vector<float> bands(static_cast<size_t>(tl.barkBands));
  float maxWeight = 0;
  for (int c = 0; c < channels; ++c) {
    const float* coefs = spectrum_.data() + c * f;
    LinearPrediction(c, type, index->lsp[c]);

    // Gains: of every block of the flattened spectrum; the main gain is the
    // loudest block's, the others are coded below it.
    std::array<float, kTvqMaxSubBlocks> blockGain{};
    for (int j = 0; j < tl.subBlocks; ++j) {
      double e = 0;
      for (int i = 0; i < n; ++i) {
        const double y = coefs[j * n + i] / env_[static_cast<size_t>(i)];
        e += y * y;
      }
      blockGain[static_cast<size_t>(j)] = static_cast<float>(std::sqrt(e / n));
    }
    const float loudest = *std::max_element(blockGain.begin(), blockGain.begin() + tl.subBlocks);
    index->power[c] = MainGainIndex(loudest);
    const float mainGain = MainGain(index->power[c]);

    for (int j = 0; j < tl.subBlocks; ++j) {
      float g = mainGain;
      if (type != kLong) {
        index->powerSub[c][j] = BlockGainIndex(mainGain, blockGain[static_cast<size_t>(j)]);
        g = BlockGain(mainGain, index->powerSub[c][j]);
      }
      const float* y = coefs + j * n;
      BarkEnvelope(c, type, g, y, index->forward[c][j], &index->forwardAr[c][j], bands.data());

      // What is left for the shape codebooks, and its weights.
      for (int b = 0; b < tl.barkBands; ++b)
        bands[static_cast<size_t>(b)] = g * std::exp2(bands[static_cast<size_t>(b)]);
      for (int i = 0; i < n; ++i) {
        const size_t at = static_cast<size_t>(c * f + j * n + i);
        const float s = env_[static_cast<size_t>(i)] *
                        bands[static_cast<size_t>(tl.bandOf[static_cast<size_t>(i)])];
        // Far outside what the codebooks reach, a value only disturbs the
        // search for the rest of its division.
        residual_[at] = s > 0 ? std::clamp(y[i] / s, -kResidualMax, kResidualMax) : 0.0f;
        weight_[at] = s > 0 ? std::pow(s, 2 * kWeightPower) : 0.0f;
        maxWeight = std::max(maxWeight, weight_[at]);
      }
    }
  }

  // Shapes: each division against the two conjugate codebooks.
  const float norm = maxWeight > 0 ? 1.0f / maxWeight : 0.0f;
  for (int d = 0; d < tl.divisions; ++d) {
    const auto& members = tl.members[static_cast<size_t>(d)];
    const int len = static_cast<int>(members.size());
    for (int m = 0; m < len; ++m) {
      x_[static_cast<size_t>(m)] = residual_[static_cast<size_t>(members[static_cast<size_t>(m)])];
      w_[static_cast<size_t>(m)] =
          weight_[static_cast<size_t>(members[static_cast<size_t>(m)])] * norm;
    }
    if (tap_) tap_->OnShape(x_.data(), w_.data(), len);
    const ShapeChoice choice =
        SearchShape(rec_.ShapeCodebook(len), x_.data(), w_.data(), tl.bits0[static_cast<size_t>(d)],
                    tl.bits1[static_cast<size_t>(d)], shapeCandidates_);
    index->shape0[d] = choice.index0 & ((1 << tl.bits0[static_cast<size_t>(d)]) - 1);
    index->shape1[d] = choice.index1 & ((1 << tl.bits1[static_cast<size_t>(d)]) - 1);
  }

  leftOverlap_ = right;
  type_ = next;
}

// ---------------------------------------------------------------------------
// Decoder

Decoder::Decoder(const Layout& layout, const Books& books) : layout_(layout), rec_(layout_, books) {
  const int f = layout_.frameSize;
  const int c = layout_.channels;
  for (int t = 0; t < kFrameTypes; ++t) {
    mdct_[static_cast<size_t>(t)] = std::make_unique<Mdct>(BlockSize(layout_, t));
    cosines_[static_cast<size_t>(t)] = BinCosines(BlockSize(layout_, t));
  }
  overlap_.assign(static_cast<size_t>(c), std::vector<float>(static_cast<size_t>(2 * f), 0.0f));
  spectrum_.resize(static_cast<size_t>(c * f));
  residual_.resize(static_cast<size_t>(c * f));
  env_.resize(static_cast<size_t>(f));
  block_.resize(static_cast<size_t>(2 * f));
  time_.resize(static_cast<size_t>(2 * f));
}

void Decoder::DecodeFrame(const TvqIndex& index, float* interleaved) {
  const int f = layout_.frameSize;
  const int channels = layout_.channels;
  const int wt = std::clamp(index.windowType, 0, kWindowTypes - 1);
  const int type = TypeOfWindow(wt);
  const int next = NextTypeOfWindow(wt);
  const TypeLayout& tl = layout_.types[static_cast<size_t>(type)];
  const int n = tl.blockSize;
  const int p = layout_.mode->lspOrder;

  rec_.Shapes(type, index, residual_.data());
  std::vector<float> bands(static_cast<size_t>(tl.barkBands));
  for (int c = 0; c < channels; ++c) {
    double lsp[32], a[32];
    rec_.DecodeLsp(c, index.lsp[c], lsp);
    LspToLpc(lsp, p, a);
    LpcEnvelope(a, p, cosines_[static_cast<size_t>(type)], env_.data());
    const float mainGain = MainGain(index.power[c]);
    for (int j = 0; j < tl.subBlocks; ++j) {
      const float g = type == kLong ? mainGain : BlockGain(mainGain, index.powerSub[c][j]);
      rec_.DecodeBark(type, c, index.forward[c][j], index.forwardAr[c][j], bands.data());
      for (int b = 0; b < tl.barkBands; ++b)
        bands[static_cast<size_t>(b)] = g * std::exp2(bands[static_cast<size_t>(b)]);
      for (int i = 0; i < n; ++i) {
        const int at = c * f + j * n + i;
        spectrum_[static_cast<size_t>(at)] =
            residual_[static_cast<size_t>(at)] * env_[static_cast<size_t>(i)] *
            bands[static_cast<size_t>(tl.bandOf[static_cast<size_t>(i)])];
      }
    }
  }

  // Blocks back to time, windowed and overlapped: the buffer holds the
  // signal from half a frame before the frame to half a frame after it.
  const int left = std::min(BlockSize(layout_, prevType_), n);
  const int right = std::min(n, BlockSize(layout_, next));
  Mdct& mdct = *mdct_[static_cast<size_t>(type)];
  for (int c = 0; c < channels; ++c) {
    std::vector<float>& ola = overlap_[static_cast<size_t>(c)];
    for (int j = 0; j < tl.subBlocks; ++j) {
      const int l = j == 0 ? left : n;
      const int r = j == tl.subBlocks - 1 ? right : n;
      const float* w = windows_.Get(n, l, r);
      mdct.Inverse(spectrum_.data() + c * f + j * n, block_.data());
      float* out = ola.data() + f / 2 + j * n - n / 2;
      for (int i = 0; i < 2 * n; ++i) out[i] += block_[static_cast<size_t>(i)] * w[i];
    }
  }
  prevType_ = type;

  // The first frame of the buffer is complete.
  if (channels == 2) {
    const float* m = overlap_[0].data();
    const float* s = overlap_[1].data();
    for (int i = 0; i < f; ++i) {
      interleaved[2 * i] = m[i] + s[i];
      interleaved[2 * i + 1] = m[i] - s[i];
    }
  } else {
    std::copy(overlap_[0].begin(), overlap_[0].begin() + f, interleaved);
  }
  for (auto& ola : overlap_) {
    std::copy(ola.begin() + f, ola.end(), ola.begin());
    std::fill(ola.begin() + f, ola.end(), 0.0f);
  }
}

}  // namespace tarvexa::tvq
