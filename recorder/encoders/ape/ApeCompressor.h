#pragma once
// One Monkey's Audio file being written by MACDll.so: the PCM of the current
// frame, the frame encoder, and the file with its header, seek table and
// MD5.
//
// The seek table sits before the audio, so its size is fixed when the file
// is created: room for the announced length, or for 24 hours at the file's
// rate when the length is unknown (about 200 KB at the lower levels, less at
// the higher ones). Frames are written as they are made; after every frame
// the seek entry and the header (frame count, last frame's length, frame data
// size) are brought up to date, so the file is always a valid one that ends
// on its last whole frame. The MD5 is written when the file is finished.
// Memory: one frame of PCM (at most 4.7 MB of 16-bit stereo at the insane
// level), the seek entries written so far and small buffers.
// Thread affinity: one thread at a time.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ApeCodec.h"
#include "MACDll.h"

namespace tarvexa::ape {

class Compressor : public ByteSink {
 public:
  Compressor();
  ~Compressor() override;  // closes the file as it is
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;

  int SetFrameBlocks(int blocks);
  int Start(const char* path, const MacWaveFormat* format, int64_t maxAudioBytes, int level,
            const void* headerData, int headerBytes);
  int AddData(const uint8_t* data, size_t bytes);
  int Finish();

  void Put(const uint8_t* bytes, size_t count) override;

 private:
  void EncodeFrame(uint32_t blocks);
  void FlushWords();
  std::array<uint8_t, 4> PaddedCarry() const;
  void EndFrame(uint32_t blocks);
  void WriteAt(const uint8_t* data, size_t size, uint64_t offset);
  void Fail(int code);
  void RollBack();
  struct Md5;
  void AddHeaderAndSeekTable(Md5& m) const;
  std::array<uint8_t, 16> Md5OfFile();

  int fd_ = -1;
  bool started_ = false;
  bool finished_ = false;
  int error_ = kMacSuccess;
  uint32_t frameBlocksOverride_ = 0;

  FileHeader header_;
  uint32_t align_ = 0;          // bytes per sample frame
  uint64_t firstFrame_ = 0;     // file offset of the frame data
  uint32_t seekEntries_ = 0;    // reserved
  uint64_t acceptedBytes_ = 0;  // PCM bytes taken so far
  std::vector<uint32_t> seek_;  // entries of the frames written

  std::unique_ptr<FrameEncoder> encoder_;
  std::vector<uint8_t> frame_;  // PCM of the frame being filled
  size_t frameFill_ = 0;

  // The frame data as a stream of 32-bit words, each stored byte-swapped.
  uint8_t carry_[4] = {};  // the word being filled
  size_t carryLen_ = 0;
  std::vector<uint8_t> words_;  // finished words not yet written
  uint64_t wordsWritten_ = 0;
  uint64_t streamBytes_ = 0;      // stream bytes made so far
  uint64_t goodStreamBytes_ = 0;  // ... up to the end of the last whole frame
  uint8_t goodCarry_[4] = {};
  size_t goodCarryLen_ = 0;

  std::unique_ptr<Md5> md5_;  // over the frame data words as they become final
  bool md5Valid_ = true;      // false after a roll-back: the MD5 is read back
};

}  // namespace tarvexa::ape
