#pragma once
// Writes MPEG-1/2 Audio Layer III (".mp3") through lame_enc.so, the encoder
// library with the BladeEnc-style interface (encoders/mp3/lame_enc/LameEnc.h),
// which is loaded at run time from the program folder.
// Thread affinity: LameEncLibrary::Bind and the writer run on the encoder
// thread; the label, preset and record functions are pure over a Settings
// value and run on any thread.

#include <sys/types.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "encoders/ClipWriter.h"
#include "encoders/mp3/lame_enc/LameEnc.h"
#include "formats/FormatCatalogue.h"

namespace tarvexa {

// The bound encoder library: the dlopen handle and its entry points.
class LameEncLibrary {
 public:
  ~LameEncLibrary();
  LameEncLibrary(const LameEncLibrary&) = delete;
  LameEncLibrary& operator=(const LameEncLibrary&) = delete;

  // Loads lame_enc.so from LoadFolder() and resolves its entry points; the
  // result becomes Current(). Returns "" or the text to log. Run once per MP3
  // recording, before the first clip.
  static std::string Bind();
  // The library bound last (nullptr before a successful Bind). It stays
  // loaded while a writer holds it.
  static std::shared_ptr<const LameEncLibrary> Current();
  // The program folder; tests may point $TARVEXA_LIB_DIR somewhere else.
  static std::string LoadFolder();

  BeInitStreamFn* initStream = nullptr;
  BeEncodeChunkFn* encodeChunk = nullptr;
  BeDeinitStreamFn* deinitStream = nullptr;
  BeCloseStreamFn* closeStream = nullptr;
  BeWriteVBRHeaderFn* writeVbrHeader = nullptr;
  BeWriteInfoTagFn* writeInfoTag = nullptr;  // optional

 private:
  LameEncLibrary() = default;
  void* handle_ = nullptr;
};

class Mp3Writer : public ClipWriter {
 public:
  explicit Mp3Writer(const Settings& s);
  ~Mp3Writer() override;

  std::string Open(const std::string& path) override;
  bool Write(const int16_t* samples, size_t frames) override;
  bool Close() override;
  std::string ErrorText() const override { return error_; }

 private:
  bool EncodeChunk(uint32_t samples);
  bool WritePending();
  void Fail(std::string text);
  void Release();

  Settings settings_;
  std::shared_ptr<const LameEncLibrary> lib_;
  BeStream stream_ = 0;
  int fd_ = -1;
  std::string path_;
  std::string error_;
  size_t channels_ = 2;
  uint32_t chunkSamples_ = 0;           // what the library takes per call
  uint32_t outputBytes_ = 0;            // output buffer size per call
  std::vector<int16_t> chunk_;          // the sample queue: a chunk being filled
  size_t queued_ = 0;                   // samples in chunk_
  std::vector<unsigned char> pending_;  // encoded bytes not yet in the file
  off_t fileBytes_ = 0;                 // bytes safely in the file
  bool failed_ = false;
};

// The configuration record for the MP3 settings (CBR, VBR/ABR or preset by
// MP3.LameTab; mono recordings always get channel mode 3).
BeConfig MakeBeConfig(const Settings& s);

struct LamePreset {
  const char* name;         // "Fast Medium", as in the preset list
  int32_t code;             // BeConfig::preset
  const char* description;  // shown beside the list
};
// Index = MP3.LamePreset.
const std::array<LamePreset, 18>& LamePresets();

// Kbps of a BitrateTable index; 0 outside the table.
int Mp3Kbps(int index);

inline constexpr const char* kMp3LogLine = "Set audio format: MP3.";
// "MP3:  CBR 128 kbps; 44100 Hz; Quality  5; Joint Stereo;" and its VBR, ABR
// and preset forms.
std::string Mp3FormatLabel(const Settings& s);

}  // namespace tarvexa
