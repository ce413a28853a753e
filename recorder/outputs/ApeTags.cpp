#include "outputs/ApeTags.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstring>

#include "outputs/FileRewrite.h"
#include "outputs/Genres.h"
#include "platform/Text.h"

namespace tarvexa {

namespace {

constexpr int kInterfaceVersion = 3990;
constexpr int kInfoSampleRate = 1003;
constexpr int kInfoChannels = 1006;
constexpr int kDecompressLengthMs = 2003;
constexpr int kDecompressAverageBitrate = 2005;

using CompatibilityFn = int (*)(int, int, void*);
using GetId3TagFn = int (*)(const char*, ApeId3Tag*);
using TagFileSimpleFn = int (*)(const char*, const char*, const char*, const char*, const char*,
                                const char*, const char*, const char*, int, int);
using CreateFn = void* (*)(const char*, int*);
using GetInfoFn = intptr_t (*)(void*, int, intptr_t, intptr_t);
using DestroyFn = void (*)(void*);

// The library, loaded for the length of one operation.
class Library {
 public:
  explicit Library(const std::string& path)
      : handle_(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) error_ = "Fail to load MACDll.so! " + std::string(::dlerror());
  }
  ~Library() {
    if (handle_) ::dlclose(handle_);
  }
  template <class Fn>
  Fn Bind(const char* name) {
    Fn fn = handle_ ? reinterpret_cast<Fn>(::dlsym(handle_, name)) : nullptr;
    if (handle_ && !fn && error_.empty()) error_ = std::string("MACDll.so has no ") + name;
    return fn;
  }
  // Loaded and of the interface version the editor was written for.
  bool Compatible() {
    auto compatible = Bind<CompatibilityFn>("GetInterfaceCompatibility");
    if (!compatible) return false;
    if (compatible(kInterfaceVersion, 0, nullptr) != 0) {
      error_ = "MACDll.so is not compatible with interface version 3990";
      return false;
    }
    return true;
  }
  const std::string& Error() const { return error_; }

 private:
  void* handle_;
  std::string error_;
};

std::string Field(const char* p, size_t n) {
  std::string s(p, strnlen(p, n));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

class MacLibraryTags final : public ApeTagLibrary {
 public:
  explicit MacLibraryTags(std::string folder) : path_(std::move(folder) + "/MACDll.so") {}

  bool Read(const std::string& file, TagSheet* sheet,
            std::vector<std::pair<std::string, int>>* log) override {
    Library lib(path_);
    if (!lib.Compatible()) {
      log->emplace_back(lib.Error(), 1);
      return false;
    }
    auto getTag = lib.Bind<GetId3TagFn>("GetID3Tag");
    auto create = lib.Bind<CreateFn>("c_APEDecompress_Create");
    auto info = lib.Bind<GetInfoFn>("c_APEDecompress_GetInfo");
    auto destroy = lib.Bind<DestroyFn>("c_APEDecompress_Destroy");
    if (!getTag || !create || !info || !destroy) {
      log->emplace_back(lib.Error(), 1);
      return false;
    }
    ApeId3Tag tag{};
    if (getTag(file.c_str(), &tag) == 0) {
      TagFields& f = sheet->fields;
      f.title = Field(tag.title, sizeof tag.title);
      f.artist = Field(tag.artist, sizeof tag.artist);
      f.album = Field(tag.album, sizeof tag.album);
      f.year = Field(tag.year, sizeof tag.year);
      f.comment = Field(tag.comment, sizeof tag.comment);
      f.genre = GenreName(tag.genre);
      f.track = tag.track ? std::to_string(tag.track) : std::string();
    }
    int error = 0;
    void* d = create(file.c_str(), &error);
    if (!d) {
      log->emplace_back(Printf("Error opening APE file (error code: %d)\r\n", error), 1);
      return false;
    }
    const long long ms = info(d, kDecompressLengthMs, 0, 0);
    sheet->duration = "Duration: " + ClockText(ms / 1000);
    sheet->bitrate =
        Printf("Bitrate: %d kbps", static_cast<int>(info(d, kDecompressAverageBitrate, 0, 0)));
    sheet->samplerate =
        Printf("Samplerate: %d Hz", static_cast<int>(info(d, kInfoSampleRate, 0, 0)));
    sheet->channel = Printf("Channel: %d", static_cast<int>(info(d, kInfoChannels, 0, 0)));
    destroy(d);
    return true;
  }

  bool Write(const std::string& file, const TagFields& f, std::string* error) override {
    Library lib(path_);
    auto tagFile = lib.Compatible() ? lib.Bind<TagFileSimpleFn>("TagFileSimple") : nullptr;
    if (!tagFile) {
      *error = lib.Error();
      return false;
    }
    FileRewrite rewrite(file);
    if (!rewrite.Begin(error)) return false;
    const int rc =
        tagFile(rewrite.CopyPath().c_str(), f.artist.c_str(), f.album.c_str(), f.title.c_str(),
                f.comment.c_str(), f.genre.c_str(), f.year.c_str(), f.track.c_str(), 1, 0);
    if (rc != 0) {
      *error = "MACDll.so could not tag " + file + " (error code: " + std::to_string(rc) + ")";
      return false;
    }
    return rewrite.Commit(error);
  }

 private:
  std::string path_;
};

}  // namespace

std::unique_ptr<ApeTagLibrary> MakeMacLibraryTags(const std::string& folder) {
  return std::make_unique<MacLibraryTags>(folder);
}

}  // namespace tarvexa
