#pragma once
// Writes format 1 (WAV) in its PCM, floating-point, u-law and A-law
// sub-encodings as a classic RIFF/WAVE file, the way the sound-file library
// writes a plain WAV (format tag 1 for PCM, 3 for float, 7 u-law, 6 A-law;
// a "fact" chunk for the non-PCM ones), so that every reader takes it.
//
// For the safety of long or interrupted recordings:
//  - a "JUNK" chunk of 28 bytes right after the RIFF header keeps room for
//    the 64-bit sizes of RF64. A recording that passes 4 GiB turns into an
//    RF64 file in place at that moment (the JUNK chunk becomes its "ds64"
//    chunk); below 4 GiB it stays a plain WAV;
//  - the header's sizes are rewritten after every block, so a file left
//    behind by a killed process is complete up to its last block;
//  - a short write (disk full, file size limit) cuts the file back to its
//    last whole sample frame, with the header saying so, and is reported.
// The samples are encoded into the sub-encoding by the sound-file library
// (as a headerless stream); the container is ours.
// Thread affinity: the encoder thread.

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

#include "encoders/ClipWriter.h"

namespace tarvexa {

class WavWriter : public ClipWriter {
 public:
  explicit WavWriter(const Settings& s);
  ~WavWriter() override;

  // Whether the settings' WAV sub-encoding is written by this writer.
  static bool Writes(const Settings& s);

  std::string Open(const std::string& path) override;
  bool Write(const int16_t* samples, size_t frames) override;
  bool Close() override;
  std::string ErrorText() const override { return error_; }

  // Bytes before the audio data with the given fmt body and "fact" chunk.
  struct Layout {
    uint16_t formatTag = 1;
    uint16_t bitsPerSample = 16;
    uint16_t blockAlign = 4;
    bool extensionSize = false;  // fmt carries a cbSize of 0 (u-law, A-law)
    bool fact = false;           // a "fact" chunk with the frame count
  };
  static Layout LayoutOf(int subtype, int channels);

  // The 4-GiB limit of the RIFF sizes, settable for tests of the RF64 switch.
  void SetRiffLimitForTest(uint64_t bytes) { riffLimit_ = bytes; }

 private:
  bool WriteHeader();
  bool UpdateSizes();
  bool WriteAll(const void* data, size_t size, uint64_t at);
  void Fail(const std::string& cause);
  void Release();

  static sf_count_t VirtualLength(void* self);
  static sf_count_t VirtualSeek(sf_count_t offset, int whence, void* self);
  static sf_count_t VirtualRead(void* ptr, sf_count_t count, void* self);
  static sf_count_t VirtualWrite(const void* ptr, sf_count_t count, void* self);
  static sf_count_t VirtualTell(void* self);

  Settings settings_;
  std::string path_;
  std::string error_;
  int fd_ = -1;
  SNDFILE* encoder_ = nullptr;          // the sub-encoding, into encoded_
  std::vector<unsigned char> encoded_;  // one block in the sub-encoding
  sf_count_t encodedTotal_ = 0;         // bytes the encoder has produced
  Layout layout_;
  int channels_ = 2;
  int rate_ = 44100;
  uint64_t dataStart_ = 0;  // offset of the first audio byte
  uint64_t dataBytes_ = 0;  // audio bytes in the file
  uint64_t riffLimit_ = 0xFFFFFFFFull;
  bool rf64_ = false;
  bool padded_ = false;  // the pad byte after odd-sized data
  bool failed_ = false;
};

}  // namespace tarvexa
