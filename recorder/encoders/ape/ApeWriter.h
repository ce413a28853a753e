#pragma once
// Writes Monkey's Audio (".ape") through MACDll.so, our compressor library
// (MACDll.h), loaded at run time from the program folder for each recording.
// Also the family's label, log line, level check and the binding that runs
// once per recording before the first clip.
// Thread affinity: the binding and the writer run on the encoder thread; the
// label and level functions are pure over a Settings value.

#include <memory>
#include <string>

#include "config/ConfigStore.h"
#include "encoders/ClipWriter.h"
#include "encoders/ape/MACDll.h"
#include "formats/FormatCatalogue.h"

namespace tarvexa {

// The bound library: the dlopen handle and its entry points.
class MacLibrary {
 public:
  ~MacLibrary();
  MacLibrary(const MacLibrary&) = delete;
  MacLibrary& operator=(const MacLibrary&) = delete;

  // Loads MACDll.so from LoadFolder(), checks its interface version and
  // resolves the compressor entry points; the result becomes Current().
  // Logs through `log` and returns false when the recording cannot go on.
  static bool Bind(const LogSink& log);
  // Loads the library for the tag editor's calls (the stream properties,
  // GetID3Tag, TagFileSimple) without touching Current(); nullptr, with the
  // reason logged, when it is missing, incompatible or lacks one of them.
  static std::shared_ptr<const MacLibrary> LoadForTags(const LogSink& log);
  // The library bound last (nullptr before a successful Bind or after
  // Release). It stays loaded while a writer holds it.
  static std::shared_ptr<const MacLibrary> Current();
  // Lets go of the library once the recording is over.
  static void Release();
  // The program folder; tests may point $TARVEXA_LIB_DIR somewhere else.
  static std::string LoadFolder();

  MacGetInterfaceCompatibilityFn* getInterfaceCompatibility = nullptr;
  MacCompressCreateFn* create = nullptr;
  MacCompressDestroyFn* destroy = nullptr;
  MacCompressStartFn* start = nullptr;
  MacCompressAddDataFn* addData = nullptr;
  MacCompressFinishFn* finish = nullptr;
  // The tag editor's calls (null after Bind when the library lacks them).
  MacDecompressCreateFn* decompressCreate = nullptr;
  MacDecompressGetInfoFn* decompressGetInfo = nullptr;
  MacDecompressDestroyFn* decompressDestroy = nullptr;
  MacGetId3TagFn* getId3Tag = nullptr;
  MacTagFileSimpleFn* tagFileSimple = nullptr;

 private:
  MacLibrary() = default;
  static std::shared_ptr<MacLibrary> Load(const LogSink& log, bool forTags);
  void* handle_ = nullptr;
};

class ApeWriter : public ClipWriter {
 public:
  // Notes that are not errors ("File deleted: ") go to the notice sink.
  explicit ApeWriter(const Settings& s);
  ~ApeWriter() override;

  std::string Open(const std::string& path) override;
  bool Write(const int16_t* samples, size_t frames) override;
  bool Close() override;
  std::string ErrorText() const override { return error_; }

 private:
  void Release();

  Settings settings_;
  std::shared_ptr<const MacLibrary> lib_;
  MacCompressHandle handle_ = nullptr;
  std::string path_;
  std::string error_;
  size_t channels_ = 2;
  bool failed_ = false;
};

// The level a recording uses: CompLev when it is one of 1000..5000 in steps
// of 1000, else the nearest of them (halfway rounds up).
int ApeLevelOf(const Settings& s);
// " Fast", " Normal", " High", " Extra High", " Insane" (index = level / 1000 - 1).
const char* ApeLevelText(int level);

inline constexpr const char* kApeLogLine = "Set audio format: APE.";
// "APE: Compression Level High;  44100 Hz;  Stereo;" for the level used.
std::string ApeFormatLabel(const Settings& s);

// A level outside the five (only an edited Config.ini has one): the warning
// that the nearest (ApeLevelOf) is used, for the level-1 line; "" for one of
// the five. When the format is applied the level is then corrected.
std::string ApeLevelWarning(const Settings& s);

// Once per recording before the first clip: warns about a level that has to
// be corrected (when the format was not applied since) and binds the library
// ("Load MACDll.so"). False ends the recording; what went wrong has been
// logged.
bool PrepareApeRecording(const Settings& s, const LogSink& log);
// Once the last clip is done: lets go of the library ("Free MACDll.so").
void FinishApeRecording(const LogSink& log);

}  // namespace tarvexa
