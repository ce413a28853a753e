#pragma once
// Tags and stream properties of Monkey's Audio files, read and written
// through the Monkey's Audio library (MACDll.so beside the executable),
// loaded for each use and bound by entry-point name, so that a missing
// library is reported rather than fatal.
//
// The entry points the tag editor binds (C linkage, besides the compressor
// ones of the APE writer):
//   int GetInterfaceCompatibility(int version, int showWarnings, void* parent);  // 0 = compatible
//   with 3990 int GetID3Tag(const char* file, ApeId3Tag* tag);                              // 0 =
//   a tag was read int TagFileSimple(const char* file, const char* artist, const char* album,
//                     const char* title, const char* comment, const char* genre,
//                     const char* year, const char* track, int clearFirst,
//                     int useOldId3);                                             // 0 = written
//   void* c_APEDecompress_Create(const char* file, int* error);                  // null on failure
//   intptr_t c_APEDecompress_GetInfo(void* decompressor, int field, intptr_t, intptr_t);
//   void c_APEDecompress_Destroy(void* decompressor);
// GetInfo fields used: 1003 sample rate, 1006 channels, 2003 length in
// milliseconds, 2005 average bitrate in kbps.
// Thread affinity: one caller at a time, any thread.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "outputs/TempTag.h"

namespace tarvexa {

// The ID3v1-style record GetID3Tag fills (128 bytes, ID3v1.1 layout).
struct ApeId3Tag {
  char header[3];  // "TAG"
  char title[30];
  char artist[30];
  char album[30];
  char year[4];
  char comment[29];
  unsigned char track;
  unsigned char genre;
};
static_assert(sizeof(ApeId3Tag) == 128);

class ApeTagLibrary {
 public:
  virtual ~ApeTagLibrary() = default;
  // Fills the sheet; log lines (text, level) say what could not be read.
  virtual bool Read(const std::string& path, TagSheet* sheet,
                    std::vector<std::pair<std::string, int>>* log) = 0;
  virtual bool Write(const std::string& path, const TagFields& fields, std::string* error) = 0;
};

// The binding to MACDll.so in `folder`.
std::unique_ptr<ApeTagLibrary> MakeMacLibraryTags(const std::string& folder);

}  // namespace tarvexa
