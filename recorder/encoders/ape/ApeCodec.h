#pragma once
// The parts of Monkey's Audio file version 3990 that MACDll.so writes: the
// file header (descriptor and header block), the frame block counts of the
// levels, and the frame encoder, which turns one frame of PCM into the
// frame's bytes.
//
// A frame, as one big-endian byte stream: the CRC-32 of the frame's PCM
// shifted right by one (bit 31 set when frame flags follow), the flags, then
// the range coder's output: one dummy byte, the coded values, the coder's
// flush and four bytes of padding. Every frame starts afresh: the stereo
// transform (X = L + (R - L) / 2, Y = R - L), a two-stage adaptive predictor
// (the level's NN filters after a fixed-order stage with cross-channel taps)
// and an adaptive range coder whose state all start from their initial values.
// Thread affinity: none; an encoder is used by one thread at a time.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tarvexa::ape {

inline constexpr uint16_t kFileVersion = 3990;
inline constexpr uint32_t kDescriptorBytes = 52;
inline constexpr uint32_t kHeaderBytes = 24;
inline constexpr uint32_t kFixedHeadBytes = kDescriptorBytes + kHeaderBytes;  // 76
inline constexpr uint16_t kFlagCreateWavHeader = 32;
inline constexpr uint32_t kMaxFrameBlocks = 73728 * 16;

// Frame flags.
inline constexpr uint32_t kFrameMonoSilence = 1;
inline constexpr uint32_t kFrameStereoSilence = 3;
inline constexpr uint32_t kFramePseudoStereo = 4;

// The descriptor and header block (76 bytes at the start of the file).
struct FileHeader {
  uint32_t seekTableBytes = 0;
  uint32_t headerDataBytes = 0;
  uint64_t frameDataBytes = 0;
  uint32_t terminatingDataBytes = 0;
  std::array<uint8_t, 16> md5{};
  uint16_t level = 0;
  uint16_t formatFlags = 0;
  uint32_t blocksPerFrame = 0;
  uint32_t finalFrameBlocks = 0;
  uint32_t totalFrames = 0;
  uint16_t bitsPerSample = 0;
  uint16_t channels = 0;
  uint32_t sampleRate = 0;

  std::array<uint8_t, kFixedHeadBytes> Bytes() const;
  // The 24-byte header block alone (part of the MD5).
  std::array<uint8_t, kHeaderBytes> HeaderBlock() const;
  // Reads a descriptor of version 3980 or later; false otherwise.
  // `version` gets the file version found (0 without "MAC ").
  static bool Parse(const uint8_t* bytes, size_t size, FileHeader* out, int* version);

  uint64_t TotalBlocks() const {
    return totalFrames == 0 ? 0 : uint64_t(totalFrames - 1) * blocksPerFrame + finalFrameBlocks;
  }
};

// Sample frames per frame for a level: 73 728 for the three lower levels,
// four times that for extra high and sixteen times for insane; above 48 kHz
// the lower levels take two or four times as many, so that a frame keeps to
// about a second and a half of sound and the seek table stays small, but
// never more than insane's count (which bounds the memory a frame needs).
uint32_t DefaultFrameBlocks(int level, uint32_t sampleRate);

// Where the encoded bytes of a frame go, in stream order, as they are made.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Put(const uint8_t* bytes, size_t count) = 0;
};

class FrameEncoder {
 public:
  // level: 1000..5000 in steps of 1000; channels 1 or 2; bits 8, 16 or 24.
  FrameEncoder(int level, int channels, int bits);
  ~FrameEncoder();
  FrameEncoder(const FrameEncoder&) = delete;
  FrameEncoder& operator=(const FrameEncoder&) = delete;

  // Encodes `blocks` sample frames of interleaved PCM (the wave layout:
  // 8-bit unsigned, 16 and 24-bit signed little-endian) as one frame.
  void Encode(const uint8_t* pcm, uint32_t blocks, ByteSink& out);

 private:
  struct State;
  std::unique_ptr<State> st_;
};

}  // namespace tarvexa::ape
