// The frame encoder of MACDll.so. Each stage is the exact inverse of what a
// version 3990 decoder does, down to the integer widths where values wrap,
// because a decoder reproduces the samples only from the same arithmetic.
#include "ApeCodec.h"

#include "ApeNNFilter.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstring>

namespace tarvexa::ape {

namespace {

void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
uint16_t GetLe16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t GetLe32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// The adaptation steps against the sign of a value: -1 for positive, +1 for
// negative, 0 for zero.
template <class T>
inline int InvSign(T x) {
  return (x < 0) - (x > 0);
}

inline int32_t Wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

// ---------------------------------------------------------------------------
// Range coder: 32-bit, a 31-bit window with carry, bytes settle once the
// top byte can no longer change (runs of 0xFF wait for the carry).

constexpr uint32_t kTop = 1u << 31;
constexpr uint32_t kBottom = kTop >> 8;
constexpr uint32_t kSettled = 0xFFu << 23;

class RangeEncoder {
 public:
  explicit RangeEncoder(std::vector<uint8_t>& out) : out_(out) {}

  // The symbol [low, low + size) of `total`.
  void Encode(uint32_t low, uint32_t size, uint32_t total) {
    Normalize();
    const uint32_t r = range_ / total;
    low_ += r * low;
    range_ = r * size;
  }
  // The same with total = 2^shift.
  void EncodeShift(uint32_t low, uint32_t size, int shift) {
    Normalize();
    const uint32_t r = range_ >> shift;
    low_ += r * low;
    range_ = r * size;
  }
  // Writes out every bit of the interval's low end (the code value is that
  // end followed by zeros) and the padding a decoder may read ahead into.
  void Finish() {
    for (int i = 0; i < 5; ++i) ShiftLow();
    out_.insert(out_.end(), 4, uint8_t{0});
  }

 private:
  void Normalize() {
    while (range_ <= kBottom) {
      ShiftLow();
      range_ <<= 8;
    }
  }
  void ShiftLow() {
    if (low_ < kSettled) {
      out_.push_back(held_);
      for (; pending_ > 0; --pending_) out_.push_back(0xFF);
      held_ = uint8_t(low_ >> 23);
    } else if (low_ & kTop) {
      out_.push_back(uint8_t(held_ + 1));
      for (; pending_ > 0; --pending_) out_.push_back(0x00);
      held_ = uint8_t(low_ >> 23);
    } else {
      ++pending_;
    }
    low_ = (low_ << 8) & (kTop - 1);
  }

  std::vector<uint8_t>& out_;
  uint32_t low_ = 0;
  uint32_t range_ = kTop;
  uint8_t held_ = 0;  // starts as the dummy byte that leads the coded data
  uint32_t pending_ = 0;
};

// Cumulative frequencies (of 65536) of the overflow symbols 0..20; symbols
// 21..63 have width 1 above them, 63 being the escape to a 32-bit overflow.
constexpr uint32_t kOverflowCum[22] = {0,     19578, 36160, 48417, 56323, 60899, 63265, 64435,
                                       64971, 65232, 65351, 65416, 65447, 65466, 65476, 65482,
                                       65485, 65488, 65490, 65491, 65492, 65493};
constexpr uint32_t kEscape = 63;
constexpr uint32_t kInitialKsum = 16384;

// One value: its overflow over the adaptive pivot with the fixed model, then
// the remainder uniformly; the pivot follows a running mean (ksum).
inline void EncodeValue(RangeEncoder& rc, uint32_t& ksum, int32_t n) {
  const uint32_t u = n > 0 ? (uint32_t(n) << 1) - 1 : (0u - uint32_t(n)) << 1;
  const uint32_t pivot = std::max(ksum >> 5, 1u);
  const uint32_t overflow = u / pivot;
  const uint32_t base = u - overflow * pivot;
  if (overflow < 21) {
    rc.EncodeShift(kOverflowCum[overflow], kOverflowCum[overflow + 1] - kOverflowCum[overflow], 16);
  } else if (overflow < kEscape) {
    rc.EncodeShift(65472 + overflow, 1, 16);
  } else {
    rc.EncodeShift(65472 + kEscape, 1, 16);
    rc.EncodeShift(overflow >> 16, 1, 16);
    rc.EncodeShift(overflow & 0xFFFF, 1, 16);
  }
  if (pivot < 65536) {
    rc.Encode(base, 1, pivot);
  } else {
    const int bits = std::bit_width(pivot) - 16;
    rc.Encode(base >> bits, 1, (pivot >> bits) + 1);
    rc.Encode(base & ((1u << bits) - 1), 1, 1u << bits);
  }
  ksum += (u + 1) / 2 - ((ksum + 16) >> 5);
}

// ---------------------------------------------------------------------------
// The fixed-order stage: a scaled first-order filter, then four adaptive
// taps on the channel's own history and (stereo) five on the other
// channel's.

struct Stage2 {
  int64_t lastA = 0;    // the previous filtered value of this channel
  int64_t ownPrev = 0;  // this channel's previous input
  int64_t otherPrev = 0;
  int64_t a[4] = {};  // A, then three first differences
  int64_t b[5] = {};  // B, then four first differences
  int64_t ca[4] = {360, 317, -109, 98};
  int64_t cb[5] = {};

  void Reset() { *this = Stage2(); }

  void PushA() {
    a[3] = a[2];
    a[2] = a[1];
    a[1] = lastA - a[0];
    a[0] = lastA;
  }

  // Stereo channel: v is this channel's value, other the value its
  // prediction draws on. Sums are taken in 32 bits below insane, in 64 bits
  // at insane, as the decoder takes them.
  int32_t Compress(int32_t v, int32_t other, bool wide) {
    PushA();
    const int64_t bIn = other - ((otherPrev * 31) >> 5);
    otherPrev = other;
    b[4] = b[3];
    b[3] = b[2];
    b[2] = b[1];
    b[1] = bIn - b[0];
    b[0] = bIn;
    int64_t pa = 0, pb = 0;
    for (int i = 0; i < 4; ++i) pa += a[i] * ca[i];
    for (int i = 0; i < 5; ++i) pb += b[i] * cb[i];
    const int64_t value = v - ((ownPrev * 31) >> 5);
    int32_t e;
    if (wide) {
      e = Wrap32(value - ((pa + (pb >> 1)) >> 10));
    } else {
      const int32_t p = Wrap32(int64_t(Wrap32(pa)) + (Wrap32(pb) >> 1)) >> 10;
      e = Wrap32(value - p);
    }
    lastA = value;
    ownPrev = v;
    if (const int s = InvSign(e)) {
      for (int i = 0; i < 4; ++i) ca[i] += InvSign(a[i]) * s;
      for (int i = 0; i < 5; ++i) cb[i] += InvSign(b[i]) * s;
    }
    return e;
  }

  // Mono (and pseudo-stereo) channel: the own taps only, 32-bit sums.
  int32_t CompressMono(int32_t v) {
    PushA();
    int64_t pa = 0;
    for (int i = 0; i < 4; ++i) pa += a[i] * ca[i];
    const int64_t value = v - ((ownPrev * 31) >> 5);
    const int32_t e = Wrap32(value - (Wrap32(pa) >> 10));
    lastA = value;
    ownPrev = v;
    if (const int s = InvSign(e)) {
      for (int i = 0; i < 4; ++i) ca[i] += InvSign(a[i]) * s;
    }
    return e;
  }
};

struct FilterShape {
  int order, shift;
};
// The NN filters of each level in the order a decoder applies them; the
// encoder applies them last to first.
const std::vector<FilterShape>& FiltersOf(int level) {
  static const std::vector<FilterShape> kLevels[5] = {
      {}, {{16, 11}}, {{64, 11}}, {{32, 10}, {256, 13}}, {{16, 11}, {256, 13}, {1280, 15}},
  };
  return kLevels[std::clamp(level / 1000 - 1, 0, 4)];
}

template <int Bits>
inline int32_t ReadSample(const uint8_t* p) {
  if constexpr (Bits == 8) {
    return int32_t(p[0]) - 128;
  } else if constexpr (Bits == 16) {
    return int16_t(uint16_t(p[0] | (p[1] << 8)));
  } else {
    return int32_t(uint32_t(p[0] | (p[1] << 8) | (p[2] << 16)) << 8) >> 8;
  }
}

}  // namespace

// ---------------------------------------------------------------------------

std::array<uint8_t, kHeaderBytes> FileHeader::HeaderBlock() const {
  std::array<uint8_t, kHeaderBytes> h{};
  PutLe16(&h[0], level);
  PutLe16(&h[2], formatFlags);
  PutLe32(&h[4], blocksPerFrame);
  PutLe32(&h[8], finalFrameBlocks);
  PutLe32(&h[12], totalFrames);
  PutLe16(&h[16], bitsPerSample);
  PutLe16(&h[18], channels);
  PutLe32(&h[20], sampleRate);
  return h;
}

std::array<uint8_t, kFixedHeadBytes> FileHeader::Bytes() const {
  std::array<uint8_t, kFixedHeadBytes> b{};
  std::memcpy(&b[0], "MAC ", 4);
  PutLe16(&b[4], kFileVersion);
  PutLe32(&b[8], kDescriptorBytes);
  PutLe32(&b[12], kHeaderBytes);
  PutLe32(&b[16], seekTableBytes);
  PutLe32(&b[20], headerDataBytes);
  PutLe32(&b[24], uint32_t(frameDataBytes));
  PutLe32(&b[28], uint32_t(frameDataBytes >> 32));
  PutLe32(&b[32], terminatingDataBytes);
  std::memcpy(&b[36], md5.data(), 16);
  const auto h = HeaderBlock();
  std::memcpy(&b[kDescriptorBytes], h.data(), h.size());
  return b;
}

bool FileHeader::Parse(const uint8_t* p, size_t size, FileHeader* out, int* version) {
  *version = 0;
  if (size < 8 || std::memcmp(p, "MAC ", 4) != 0) return false;
  *version = GetLe16(p + 4);
  if (*version < 3980 || size < kDescriptorBytes) return false;
  const uint32_t descriptor = GetLe32(p + 8);
  if (descriptor < kDescriptorBytes || size < size_t(descriptor) + kHeaderBytes) return false;
  FileHeader h;
  h.seekTableBytes = GetLe32(p + 16);
  h.headerDataBytes = GetLe32(p + 20);
  h.frameDataBytes = GetLe32(p + 24) | (uint64_t(GetLe32(p + 28)) << 32);
  h.terminatingDataBytes = GetLe32(p + 32);
  std::memcpy(h.md5.data(), p + 36, 16);
  const uint8_t* q = p + descriptor;
  h.level = GetLe16(q);
  h.formatFlags = GetLe16(q + 2);
  h.blocksPerFrame = GetLe32(q + 4);
  h.finalFrameBlocks = GetLe32(q + 8);
  h.totalFrames = GetLe32(q + 12);
  h.bitsPerSample = GetLe16(q + 16);
  h.channels = GetLe16(q + 18);
  h.sampleRate = GetLe32(q + 20);
  *out = h;
  return true;
}

uint32_t DefaultFrameBlocks(int level, uint32_t sampleRate) {
  const uint32_t base = level >= 5000 ? 73728 * 16 : level >= 4000 ? 73728 * 4 : 73728;
  const uint32_t scale = sampleRate > 96000 ? 4 : sampleRate > 48000 ? 2 : 1;
  return std::min(base * scale, kMaxFrameBlocks);
}

// ---------------------------------------------------------------------------

struct FrameEncoder::State {
  static constexpr size_t kChunk = 4096;

  int level;
  int channels;
  int bits;
  bool wide;
  // NN filters per channel, in the decoder's order.
  std::vector<NNFilter> filters[2];
  Stage2 stage[2];
  std::vector<int32_t> values[2];
  std::vector<uint8_t> bytes;

  State(int lev, int ch, int b) : level(lev), channels(ch), bits(b), wide(lev >= 5000) {
    for (auto& set : filters) {
      for (const FilterShape& f : FiltersOf(level)) set.emplace_back(f.order, f.shift);
    }
    for (auto& v : values) v.resize(kChunk);
    bytes.reserve(kChunk * 8);
  }

  void ResetChannel(int c) {
    stage[c].Reset();
    for (NNFilter& f : filters[c]) f.Reset();
  }

  void Filter(int c, size_t n) {
    for (auto it = filters[c].rbegin(); it != filters[c].rend(); ++it)
      it->Compress(values[c].data(), n);
  }

  template <int Bits>
  void Encode(const uint8_t* pcm, uint32_t blocks, ByteSink& out);
};

template <int Bits>
void FrameEncoder::State::Encode(const uint8_t* pcm, uint32_t blocks, ByteSink& out) {
  constexpr size_t kBytes = Bits / 8;
  const size_t align = kBytes * size_t(channels);
  const size_t total = align * blocks;

  bool silent = true;
  bool sameChannels = channels == 2;
  for (size_t i = 0; i < total; i += align) {
    const int32_t l = ReadSample<Bits>(pcm + i);
    if (channels == 2) {
      const int32_t r = ReadSample<Bits>(pcm + i + kBytes);
      silent = silent && l == 0 && r == 0;
      sameChannels = sameChannels && l == r;
    } else {
      silent = silent && l == 0;
    }
  }
  uint32_t flags = 0;
  if (silent)
    flags = channels == 2 ? kFrameStereoSilence : kFrameMonoSilence;
  else if (sameChannels)
    flags = kFramePseudoStereo;

  const uint32_t crc =
      (uint32_t(crc32(0L, pcm, static_cast<uInt>(total))) >> 1) | (flags ? 0x80000000u : 0u);
  bytes.clear();
  for (int s = 24; s >= 0; s -= 8) bytes.push_back(uint8_t(crc >> s));
  if (flags) {
    for (int s = 24; s >= 0; s -= 8) bytes.push_back(uint8_t(flags >> s));
  }

  RangeEncoder rc(bytes);
  uint32_t ksum[2] = {kInitialKsum, kInitialKsum};
  ResetChannel(0);
  ResetChannel(1);
  const bool oneChannel = channels == 1 || flags == kFramePseudoStereo;
  int32_t previousX = 0;
  for (uint32_t start = 0; !silent && start < blocks; start += uint32_t(kChunk)) {
    const size_t n = std::min<size_t>(kChunk, blocks - start);
    const uint8_t* p = pcm + size_t(start) * align;
    int32_t* y = values[0].data();
    int32_t* x = values[1].data();
    if (oneChannel) {
      for (size_t i = 0; i < n; ++i) y[i] = stage[0].CompressMono(ReadSample<Bits>(p + i * align));
      Filter(0, n);
      for (size_t i = 0; i < n; ++i) EncodeValue(rc, ksum[0], y[i]);
    } else {
      for (size_t i = 0; i < n; ++i) {
        const int32_t l = ReadSample<Bits>(p + i * align);
        const int32_t r = ReadSample<Bits>(p + i * align + kBytes);
        const int32_t side = r - l;
        const int32_t mid = l + side / 2;
        y[i] = stage[0].Compress(side, previousX, wide);
        x[i] = stage[1].Compress(mid, side, wide);
        previousX = mid;
      }
      Filter(0, n);
      Filter(1, n);
      for (size_t i = 0; i < n; ++i) {
        EncodeValue(rc, ksum[0], y[i]);
        EncodeValue(rc, ksum[1], x[i]);
      }
    }
    out.Put(bytes.data(), bytes.size());
    bytes.clear();
  }
  rc.Finish();
  out.Put(bytes.data(), bytes.size());
  bytes.clear();
}

FrameEncoder::FrameEncoder(int level, int channels, int bits)
    : st_(std::make_unique<State>(level, channels, bits)) {}

FrameEncoder::~FrameEncoder() = default;

void FrameEncoder::Encode(const uint8_t* pcm, uint32_t blocks, ByteSink& out) {
  switch (st_->bits) {
    case 8: st_->Encode<8>(pcm, blocks, out); break;
    case 24: st_->Encode<24>(pcm, blocks, out); break;
    default: st_->Encode<16>(pcm, blocks, out); break;
  }
}

}  // namespace tarvexa::ape
