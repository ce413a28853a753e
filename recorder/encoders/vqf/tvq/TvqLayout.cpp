#include "TvqLayout.h"

#include <algorithm>
#include <cmath>

namespace tarvexa::tvq {

namespace {

// Frame sizes follow the TwinVQ format (players derive a frame's length in
// bits from them); the block counts, envelope sizes and LSP orders are this
// coder's choice, in the proportions of the TwinVQ design: 1 long block,
// 2 or 4 medium blocks, 4 to 16 short blocks of at least 64 bins.
const std::vector<Mode> kModes = {
    {8, 8, 512, 12, 3, {{{8, 10, 1, 5}, {2, 20, 2, 5}, {1, 30, 3, 6}}}},
    {11, 8, 512, 16, 4, {{{8, 10, 1, 5}, {2, 20, 2, 5}, {1, 30, 3, 6}}}},
    {11, 10, 512, 16, 4, {{{8, 10, 1, 5}, {2, 20, 2, 5}, {1, 30, 3, 6}}}},
    {16, 16, 1024, 16, 4, {{{8, 10, 1, 5}, {2, 20, 2, 5}, {1, 30, 3, 6}}}},
    {22, 20, 1024, 16, 4, {{{8, 10, 1, 6}, {2, 20, 2, 6}, {1, 32, 4, 6}}}},
    {22, 24, 1024, 16, 4, {{{8, 10, 1, 6}, {2, 20, 2, 6}, {1, 32, 4, 6}}}},
    {22, 32, 512, 16, 4, {{{4, 10, 1, 6}, {2, 20, 2, 6}, {1, 32, 4, 6}}}},
    {44, 40, 2048, 20, 4, {{{16, 10, 1, 6}, {4, 20, 2, 6}, {1, 40, 4, 6}}}},
    {44, 48, 2048, 20, 4, {{{16, 10, 1, 6}, {4, 20, 2, 6}, {1, 40, 4, 6}}}},
};

double Bark(double hz) {
  return 13.0 * std::atan(0.00076 * hz) + 3.5 * std::atan((hz / 7500.0) * (hz / 7500.0));
}

// Band edges equally spaced on the bark scale, each band at least one bin.
std::vector<int> BandEdges(int sampleRate, int bins, int bands) {
  std::vector<int> edges(static_cast<size_t>(bands) + 1, 0);
  const double top = Bark(sampleRate / 2.0);
  int bin = 0;
  for (int b = 1; b < bands; ++b) {
    const double z = top * b / bands;
    while (bin < bins && Bark((bin + 0.5) * sampleRate / (2.0 * bins)) < z) ++bin;
    edges[static_cast<size_t>(b)] = bin;
  }
  edges[static_cast<size_t>(bands)] = bins;
  for (int b = 1; b < bands; ++b) {
    auto& e = edges[static_cast<size_t>(b)];
    e = std::max(e, edges[static_cast<size_t>(b - 1)] + 1);
    e = std::min(e, bins - (bands - b));
  }
  return edges;
}

}  // namespace

const std::vector<Mode>& AllModes() { return kModes; }

const Mode* FindMode(int rateCode, int kbpsPerChannel) {
  for (const Mode& m : kModes) {
    if (m.rateCode == rateCode && m.kbpsPerChannel == kbpsPerChannel) return &m;
  }
  return nullptr;
}

int SampleRateOfCode(int rateCode) {
  switch (rateCode) {
    case 8: return 8000;
    case 11: return 11025;
    case 16: return 16000;
    case 22: return 22050;
    case 44: return 44100;
    default: return 0;
  }
}

Layout MakeLayout(const Mode& mode, int channels) {
  Layout l;
  l.mode = &mode;
  l.channels = channels;
  l.sampleRate = SampleRateOfCode(mode.rateCode);
  l.frameSize = mode.frameSize;
  l.frameBits = static_cast<int>(static_cast<int64_t>(mode.kbpsPerChannel) * channels * 1000 *
                                 mode.frameSize / l.sampleRate);
  // A frame's blocks reach half a frame past its end, and the encoder looks
  // one frame ahead to choose the blocks of the next frame.
  l.latency = mode.frameSize * 3 / 2;

  const int lspBits = kLspModeBits + kLspStage1Bits + mode.lspSplits * kLspStage2Bits;
  const int total = channels * mode.frameSize;
  for (int t = 0; t < kFrameTypes; ++t) {
    const TypeMode& tm = mode.types[static_cast<size_t>(t)];
    TypeLayout& tl = l.types[static_cast<size_t>(t)];
    tl.subBlocks = tm.subBlocks;
    tl.blockSize = mode.frameSize / tm.subBlocks;
    tl.barkBands = tm.barkBands;
    tl.barkIndices = tm.barkIndices;
    tl.barkWidth = tm.barkWidth;
    tl.bandEdges = BandEdges(l.sampleRate, tl.blockSize, tl.barkBands);
    tl.bandOf.assign(static_cast<size_t>(tl.blockSize), 0);
    for (int b = 0; b < tl.barkBands; ++b) {
      for (int i = tl.bandEdges[static_cast<size_t>(b)];
           i < tl.bandEdges[static_cast<size_t>(b) + 1]; ++i)
        tl.bandOf[static_cast<size_t>(i)] = b;
    }

    tl.sideBits = kWindowTypeBits +
                  channels * tm.subBlocks * (tm.barkIndices * tm.barkWidth + kArBits) +
                  channels * kGainBits + (t == kLong ? 0 : channels * tm.subBlocks * kSubGainBits) +
                  channels * lspBits;
    tl.mainBits = l.frameBits - tl.sideBits;

    // The rest of the frame goes to the shape indices: divisions of about
    // kDivisionBits bits, each split between the two conjugate codebooks.
    const int n = (tl.mainBits + kDivisionBits - 1) / kDivisionBits;
    tl.divisions = n;
    tl.bits0.assign(static_cast<size_t>(n), 0);
    tl.bits1.assign(static_cast<size_t>(n), 0);
    for (int d = 0; d < n; ++d) {
      const int bits = tl.mainBits / n + (d < tl.mainBits % n ? 1 : 0);
      tl.bits0[static_cast<size_t>(d)] = (bits + 1) / 2;
      tl.bits1[static_cast<size_t>(d)] = bits / 2;
    }

    // Interleaving: the spectrum in the order (bin, block, channel) is cut
    // into rows of n coefficients; division d takes slot (d + row) mod n of
    // every row, so each division samples the whole band, every block and
    // both channels.
    tl.members.assign(static_cast<size_t>(n), {});
    const int rows = (total + n - 1) / n;
    for (int d = 0; d < n; ++d) {
      auto& m = tl.members[static_cast<size_t>(d)];
      for (int row = 0; row < rows; ++row) {
        const int k = row * n + (d + row) % n;
        if (k >= total) continue;
        const int c = k % channels;
        const int rest = k / channels;
        const int block = rest % tm.subBlocks;
        const int bin = rest / tm.subBlocks;
        m.push_back(c * mode.frameSize + block * tl.blockSize + bin);
      }
    }
  }
  return l;
}

TvqConfInfo Layout::Conf() const {
  TvqConfInfo c{};
  c.frameSize = frameSize;
  c.channels = channels;
  c.sampleRate = sampleRate;
  c.frameBits = frameBits;
  c.latency = latency;
  c.windowTypeWidth = kWindowTypeBits;
  c.arWidth = kArBits;
  c.powerWidth = kGainBits;
  c.powerSubWidth = kSubGainBits;
  c.lspWidths[0] = kLspModeBits;
  c.lspWidths[1] = kLspStage1Bits;
  c.lspWidths[2] = kLspStage2Bits;
  c.lspSplits = mode->lspSplits;
  for (int t = 0; t < kFrameTypes; ++t) {
    const TypeLayout& tl = types[static_cast<size_t>(t)];
    TvqConfInfoSubBlock& s = c.sub[t];
    s.subBlocks = tl.subBlocks;
    s.divisions = tl.divisions;
    s.forwardDivisions = tl.barkIndices;
    s.forwardWidth = tl.barkWidth;
    s.powerSubBlocks = t == kLong ? 0 : tl.subBlocks;
  }
  return c;
}

int Layout::FieldBits(int type) const {
  const TypeLayout& tl = types[static_cast<size_t>(type)];
  int bits = kWindowTypeBits;
  for (int d = 0; d < tl.divisions; ++d)
    bits += tl.bits0[static_cast<size_t>(d)] + tl.bits1[static_cast<size_t>(d)];
  bits += channels * tl.subBlocks * (tl.barkIndices * tl.barkWidth + kArBits);
  bits += channels * (kGainBits + (type == kLong ? 0 : tl.subBlocks * kSubGainBits));
  bits += channels * (kLspModeBits + kLspStage1Bits + mode->lspSplits * kLspStage2Bits);
  return bits;
}

}  // namespace tarvexa::tvq
