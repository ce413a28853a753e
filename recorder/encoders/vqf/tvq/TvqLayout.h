#pragma once
// The coding modes of our TwinVQ coder and everything derived from a mode
// and a channel count: the frame size, the bits of a frame, the field widths,
// the bark-scale bands and the interleaving of the spectrum into divisions.
// Shared by the encoder and the decoder, so both read one layout.
// Thread affinity: immutable values; any thread.

#include <array>
#include <cstdint>
#include <vector>

#include "TvqEnc.h"

namespace tarvexa::tvq {

enum FrameType : int { kShort = 0, kMedium = 1, kLong = 2 };
inline constexpr int kFrameTypes = kTvqFrameTypes;

// Fixed widths of the side information.
inline constexpr int kWindowTypeBits = 4;
inline constexpr int kArBits = 1;
inline constexpr int kGainBits = 8;
inline constexpr int kSubGainBits = 5;
inline constexpr int kLspModeBits = 1;
inline constexpr int kLspStage1Bits = 6;
inline constexpr int kLspStage2Bits = 4;
// Shape codebooks hold this many vectors each; a 7-bit index adds a sign.
inline constexpr int kShapeEntries = 64;
inline constexpr int kShapeIndexBits = 6;
// Bits a division aims at: two 7-bit indices.
inline constexpr int kDivisionBits = 14;

struct TypeMode {
  int subBlocks;    // transform blocks per frame
  int barkBands;    // bark-scale envelope values per block
  int barkIndices;  // envelope codebook indices per block (interleaved split)
  int barkWidth;    // bits per envelope index
};

// One coding mode: a sampling-rate code and a bit rate per channel.
struct Mode {
  int rateCode;
  int kbpsPerChannel;
  int frameSize;
  int lspOrder;
  int lspSplits;
  std::array<TypeMode, kFrameTypes> types;  // short, medium, long
};

// The modes; nullptr for a pair without one.
const Mode* FindMode(int rateCode, int kbpsPerChannel);
const std::vector<Mode>& AllModes();
// 8000, 11025, 16000, 22050, 44100; 0 for other codes.
int SampleRateOfCode(int rateCode);

// A frame type under a layout.
struct TypeLayout {
  int subBlocks = 1;
  int blockSize = 0;  // MDCT coefficients per block
  int barkBands = 0;
  int barkIndices = 0;
  int barkWidth = 0;
  std::vector<int> bandEdges;  // barkBands + 1 bin edges within a block
  std::vector<int> bandOf;     // the band of each bin
  int divisions = 0;
  std::vector<int32_t> bits0, bits1;  // widths of the two shape indices
  // Coefficients of each division, as positions in the frame's spectrum
  // (channel * frameSize + block * blockSize + bin).
  std::vector<std::vector<int>> members;
  int sideBits = 0;
  int mainBits = 0;
};

struct Layout {
  const Mode* mode = nullptr;
  int channels = 1;
  int sampleRate = 0;
  int frameSize = 0;
  int frameBits = 0;
  int latency = 0;
  std::array<TypeLayout, kFrameTypes> types;

  // The configuration record this layout gives.
  TvqConfInfo Conf() const;
  // The widths of one frame, summed as the writer writes them.
  int FieldBits(int type) const;
};

Layout MakeLayout(const Mode& mode, int channels);

// Window type (first field of a frame): the frame's type and the next one's.
inline int WindowType(int type, int nextType) { return type * kFrameTypes + nextType; }
inline int TypeOfWindow(int windowType) { return windowType / kFrameTypes; }
inline int NextTypeOfWindow(int windowType) { return windowType % kFrameTypes; }
inline constexpr int kWindowTypes = kFrameTypes * kFrameTypes;

}  // namespace tarvexa::tvq
