// The APE writer: MACDll.so, bound by name for each recording, fed the
// processed blocks as they come. The library keeps the file playable after
// every frame, so a recording that is killed keeps its whole frames, and it
// finishes the file (last frame, header, MD5) when the clip is closed.
#include "encoders/ape/ApeWriter.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <mutex>
#include <type_traits>

#include "platform/Paths.h"
#include "platform/Text.h"

namespace tarvexa {

namespace {

std::mutex gLibraryMutex;
std::shared_ptr<const MacLibrary> gCurrentLibrary;

constexpr std::array<const char*, 5> kLevelTexts = {" Fast", " Normal", " High", " Extra High",
                                                    " Insane"};

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Binding

MacLibrary::~MacLibrary() {
  if (handle_) dlclose(handle_);
}

std::string MacLibrary::LoadFolder() {
  if (const char* dir = std::getenv("TARVEXA_LIB_DIR"); dir && *dir) return dir;
  return ProgramFolder();
}

std::shared_ptr<MacLibrary> MacLibrary::Load(const LogSink& log, bool forTags) {
  auto say = [&log](const std::string& text, int level) {
    if (log) log(text, level);
  };
  const std::string path = LoadFolder() + "/" + kMacDllFileName;
  std::shared_ptr<MacLibrary> lib(new MacLibrary);
  lib->handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib->handle_) {
    say(Printf("Fail to load %s!", kMacDllFileName), 1);
    if (const char* why = dlerror()) say(why, 1);
    return nullptr;
  }
  auto find = [&](auto*& fn, const char* name) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(lib->handle_, name));
    return fn != nullptr;
  };
  const char* refusal = forTags ? "the file cannot be read" : "the recording cannot start";
  if (!find(lib->getInterfaceCompatibility, kMacGetInterfaceCompatibilityName)) {
    say(Printf("%s lacks the entry point %s; %s.", kMacDllFileName,
               kMacGetInterfaceCompatibilityName, refusal),
        2);
    return nullptr;
  }
  if (const int rc = lib->getInterfaceCompatibility(kMacInterfaceVersion, 1, nullptr); rc != 0) {
    say(Printf("%s is not compatible with this recorder (interface %d refused with code %d); %s.",
               kMacDllFileName, kMacInterfaceVersion, rc, refusal),
        2);
    return nullptr;
  }
  std::string missing;
  auto require = [&](auto*& fn, const char* name, bool needed) {
    if (!find(fn, name) && needed) missing += (missing.empty() ? "" : ", ") + std::string(name);
  };
  require(lib->create, kMacCompressCreateName, !forTags);
  require(lib->start, kMacCompressStartName, !forTags);
  require(lib->addData, kMacCompressAddDataName, !forTags);
  require(lib->finish, kMacCompressFinishName, !forTags);
  require(lib->destroy, kMacCompressDestroyName, !forTags);
  require(lib->decompressCreate, kMacDecompressCreateName, forTags);
  require(lib->decompressGetInfo, kMacDecompressGetInfoName, forTags);
  require(lib->decompressDestroy, kMacDecompressDestroyName, forTags);
  require(lib->getId3Tag, kMacGetId3TagName, forTags);
  require(lib->tagFileSimple, kMacTagFileSimpleName, forTags);
  if (!missing.empty()) {
    say(Printf("%s lacks the entry point %s; %s.", kMacDllFileName, missing.c_str(), refusal), 2);
    return nullptr;
  }
  return lib;
}

bool MacLibrary::Bind(const LogSink& log) {
  {
    std::lock_guard<std::mutex> lock(gLibraryMutex);
    gCurrentLibrary = nullptr;
  }
  std::shared_ptr<MacLibrary> lib = Load(log, false);
  if (!lib) return false;
  {
    std::lock_guard<std::mutex> lock(gLibraryMutex);
    gCurrentLibrary = std::move(lib);
  }
  if (log) log(Printf("Load %s", kMacDllFileName), 0);
  return true;
}

std::shared_ptr<const MacLibrary> MacLibrary::LoadForTags(const LogSink& log) {
  return Load(log, true);
}

std::shared_ptr<const MacLibrary> MacLibrary::Current() {
  std::lock_guard<std::mutex> lock(gLibraryMutex);
  return gCurrentLibrary;
}

void MacLibrary::Release() {
  std::lock_guard<std::mutex> lock(gLibraryMutex);
  gCurrentLibrary = nullptr;
}

std::string ApeLevelWarning(const Settings& s) {
  const int level = ApeLevelOf(s);
  if (level == s.APE.CompLev) return {};
  return Printf(
      "The APE compression level %d is not one of 1000, 2000, 3000, 4000 and 5000; "
      "the nearest, %d (%s), is used.",
      int(s.APE.CompLev), level, ApeLevelText(level) + 1);
}

bool PrepareApeRecording(const Settings& s, const LogSink& log) {
  if (const std::string warning = ApeLevelWarning(s); !warning.empty() && log) log(warning, 1);
  return MacLibrary::Bind(log);
}

void FinishApeRecording(const LogSink& log) {
  MacLibrary::Release();
  if (log) log(Printf("Free %s", kMacDllFileName), 0);
}

// ---------------------------------------------------------------------------
// Settings

int ApeLevelOf(const Settings& s) {
  const int v = std::clamp(int(s.APE.CompLev), kMacLevelFast, kMacLevelInsane);
  return (v + 500) / 1000 * 1000;
}

const char* ApeLevelText(int level) {
  return kLevelTexts[size_t(std::clamp(level / 1000 - 1, 0, 4))];
}

std::string ApeFormatLabel(const Settings& s) {
  const int level = ApeLevelOf(s);
  // The fast level's label has two blanks after the colon, as it always had.
  return Printf("APE:%s Compression Level%s;  %d Hz;  %s;", level == kMacLevelFast ? " " : "",
                ApeLevelText(level), SampleRateOf(s), s.OUTPUT.Chan == 1 ? "Mono" : "Stereo");
}

// ---------------------------------------------------------------------------
// Writer

ApeWriter::ApeWriter(const Settings& s) : settings_(s) {}

ApeWriter::~ApeWriter() { Release(); }

void ApeWriter::Release() {
  // Without Finish the file keeps the frames written so far.
  if (handle_ && lib_) lib_->destroy(handle_);
  handle_ = nullptr;
}

std::string ApeWriter::Open(const std::string& path) {
  Release();
  path_ = path;
  error_.clear();
  failed_ = false;
  channels_ = size_t(ChannelsOf(settings_));

  lib_ = MacLibrary::Current();
  if (!lib_) {
    // Not bound for this recording yet (a writer used on its own).
    std::string first;
    const bool ok = MacLibrary::Bind([&first](const std::string& text, int level) {
      if (level >= 1 && first.empty()) first = text;
    });
    if (!ok) return error_ = first;
    lib_ = MacLibrary::Current();
  }

  int code = 0;
  handle_ = lib_->create(&code);
  if (!handle_) return error_ = Printf("Error creating encoder (error code: %d)\r\n", code);

  const uint32_t rate = uint32_t(SampleRateOf(settings_));
  const uint16_t align = uint16_t(2 * channels_);
  const MacWaveFormat format{1, uint16_t(channels_), rate, rate * align, align, 16, 0};
  const bool existed = Exists(path);
  const int rc = lib_->start(handle_, path.c_str(), &format, kMacUnknownAudioBytes,
                             ApeLevelOf(settings_), nullptr, -1);
  if (rc != 0) {
    error_ = "Error starting encoder.\n";
    Release();
    // Only a file this attempt created is removed: a file that was there
    // before is the user's, and the library touches none before it accepts.
    if (!existed && unlink(path.c_str()) == 0) Notice("File deleted: " + path, 0);
    return error_;
  }
  return {};
}

bool ApeWriter::Write(const int16_t* samples, size_t frames) {
  if (!handle_) {
    if (error_.empty()) error_ = "Error writing file " + path_ + ": the file is not open";
    return false;
  }
  if (failed_) return false;
  // A rejected block stops the clip: the file ends on its last whole frame
  // rather than going on with a hole in the sound.
  const auto* bytes = reinterpret_cast<const unsigned char*>(samples);
  size_t left = frames * channels_ * sizeof(int16_t);
  constexpr size_t kPiece = size_t(1) << 20;
  while (left > 0) {
    const size_t n = std::min(left, kPiece);
    if (const int rc = lib_->addData(handle_, bytes, int(n)); rc != 0) {
      failed_ = true;
      error_ = Printf("Encoding error (error code: %d)\r\n", rc);
      return false;
    }
    bytes += n;
    left -= n;
  }
  return true;
}

bool ApeWriter::Close() {
  if (!handle_) return true;
  const int rc = lib_->finish(handle_, nullptr, 0, 0);
  Release();
  if (rc != 0 && !failed_) {
    error_ = "Error finishing encoder.\n";
    return false;
  }
  return true;
}

}  // namespace tarvexa
