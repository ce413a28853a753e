#pragma once
// The interface of MACDll.so, the Monkey's Audio library that the recorder
// loads at run time from its program folder: the wave format record, the
// ID3v1-style tag record, the error codes and the entry points. Shared by the
// library (MacDll.cpp) and the recorder, which binds the entry points by name
// (ApeWriter.h).
//
// Compressing one file:
//   c_APECompress_Create -> c_APECompress_Start -> c_APECompress_AddData ...
//   -> c_APECompress_Finish -> c_APECompress_Destroy
// The file written is Monkey's Audio file version 3990. It stays playable
// while it grows: after every frame the header, the frame count and the seek
// table describe the frames written so far, so a recording that is killed
// keeps every whole frame. Finish adds the last, shorter frame and the MD5.
//
// Every entry point that returns an int returns 0 on success or one of the
// kMacError codes. Thread affinity: a handle is used by one thread at a time;
// different handles may be used from different threads.

#include <bit>
#include <cstddef>
#include <cstdint>

namespace tarvexa {

inline constexpr const char* kMacDllFileName = "MACDll.so";
// The interface and file version this library implements.
inline constexpr int kMacInterfaceVersion = 3990;

// Compression levels (c_APECompress_Start). Only these five are valid.
inline constexpr int kMacLevelFast = 1000;
inline constexpr int kMacLevelNormal = 2000;
inline constexpr int kMacLevelHigh = 3000;
inline constexpr int kMacLevelExtraHigh = 4000;
inline constexpr int kMacLevelInsane = 5000;

// Start's maxAudioBytes when the length is not known up front: the file then
// has room for 24 hours of audio at any level and sample rate.
inline constexpr int64_t kMacUnknownAudioBytes = -1;
inline constexpr int64_t kMacUnknownLengthSeconds = 24 * 3600;

enum MacError : int {
  kMacSuccess = 0,
  kMacErrorOpenFile = 1000,         // the file could not be created or opened
  kMacErrorWrite = 1001,            // a write failed (disk full, drive removed)
  kMacErrorRead = 1002,             // a read failed or the file is truncated
  kMacErrorBadHandle = 1003,        // null or destroyed handle
  kMacErrorBadWaveFormat = 1004,    // not 8/16/24-bit PCM, mono or stereo
  kMacErrorBadLevel = 1005,         // not one of the five levels
  kMacErrorBadParameter = 1006,     // any other argument the call cannot take
  kMacErrorNotStarted = 1007,       // data or Finish before a successful Start
  kMacErrorFileFull = 1008,         // the seek table has no room for another frame
  kMacErrorNotApeFile = 1009,       // no Monkey's Audio header
  kMacErrorUnsupportedFile = 1010,  // a file version this library cannot read
  kMacErrorNoTag = 1011,            // GetID3Tag: the file has no tag
  kMacErrorTag = 1012,              // the tag could not be read or written
  kMacErrorIncompatible = 1013,     // GetInterfaceCompatibility: another version
};

#pragma pack(push, 1)
// The standard 18-byte PCM wave format record.
struct MacWaveFormat {
  uint16_t formatTag;  // 1: PCM
  uint16_t channels;   // 1 or 2
  uint32_t samplesPerSec;
  uint32_t avgBytesPerSec;  // samplesPerSec * blockAlign
  uint16_t blockAlign;      // channels * bitsPerSample / 8
  uint16_t bitsPerSample;   // 8 (unsigned), 16 or 24 (signed, little-endian)
  uint16_t extraSize;       // 0
};

// An ID3v1.1 tag as it is stored in a file (128 bytes). Text fields are
// padded with zero bytes and need not end in one.
struct MacId3Tag {
  char header[3];  // "TAG"
  char title[30];
  char artist[30];
  char album[30];
  char year[4];
  char comment[29];
  uint8_t track;  // 0: none
  uint8_t genre;  // index into the ID3v1 genre list; 255: none or unknown
};
#pragma pack(pop)

static_assert(std::endian::native == std::endian::little,
              "MacWaveFormat is little-endian and is filled field by field");
static_assert(sizeof(MacWaveFormat) == 18);
static_assert(sizeof(MacId3Tag) == 128);

// Stream properties answered by c_APEDecompress_GetInfo.
enum MacInfo : int {
  kMacInfoFileVersion = 1,
  kMacInfoCompressionLevel,
  kMacInfoFormatFlags,
  kMacInfoSampleRate,
  kMacInfoBitsPerSample,
  kMacInfoChannels,
  kMacInfoBlockAlign,
  kMacInfoBlocksPerFrame,
  kMacInfoFinalFrameBlocks,
  kMacInfoTotalFrames,
  kMacInfoTotalBlocks,  // sample frames
  kMacInfoLengthMs,
  kMacInfoAverageBitrate,  // kbps of the audio part of the file
  kMacInfoApeFileBytes,    // the file without its tags
};

using MacCompressHandle = void*;
using MacDecompressHandle = void*;

extern "C" {

// 0 when this library serves callers written for `version`; showWarnings and
// parentWindow are accepted for compatibility and ignored.
using MacGetInterfaceCompatibilityFn = int(int version, int showWarnings, void* parentWindow);

// A compressor; null on failure with the reason in *errorCode (may be null).
using MacCompressCreateFn = MacCompressHandle(int* errorCode);
// Closes the file (as it is: every whole frame stays playable) and frees.
using MacCompressDestroyFn = void(MacCompressHandle handle);
// Validates the arguments, then creates (or truncates) `path` and writes the
// header. maxAudioBytes: the PCM bytes to come, or kMacUnknownAudioBytes.
// headerData must be null; headerBytes -1 (or 0) marks the file "create a
// WAV header on decompression". Nothing is created when the arguments are
// refused.
using MacCompressStartFn = int(MacCompressHandle handle, const char* path,
                               const MacWaveFormat* format, int64_t maxAudioBytes, int level,
                               const void* headerData, int headerBytes);
// Interleaved PCM in the layout of the wave format record; any byte count.
// When the seek table is full the data that still fits is kept and
// kMacErrorFileFull returned. After a write failure the file ends on its last
// whole frame and every further call returns the error.
using MacCompressAddDataFn = int(MacCompressHandle handle, const unsigned char* data, int bytes);
// Writes the last frame (a recording without samples becomes one frame of
// one silent sample frame, so the file stays a valid one), then the header
// and the MD5. tailData must be null and both counts 0.
using MacCompressFinishFn = int(MacCompressHandle handle, const unsigned char* tailData,
                                int tailBytes, int wavTailBytes);
// Our extension, for tests and tools: the sample frames per frame instead of
// the level's own, set before Start (1 to 1179648).
using MacCompressSetFrameBlocksFn = int(MacCompressHandle handle, int blocks);

// Opens a file for its stream properties; null on failure with the reason
// in *errorCode.
using MacDecompressCreateFn = MacDecompressHandle(const char* path, int* errorCode);
// A MacInfo value; -1 for an unknown field or handle.
using MacDecompressGetInfoFn = int64_t(MacDecompressHandle handle, int field);
using MacDecompressDestroyFn = void(MacDecompressHandle handle);

// Reads the file's tag (APEv2, else ID3v1) into an ID3v1-style record;
// kMacErrorNoTag when it has none (the record is then cleared).
using MacGetId3TagFn = int(const char* path, MacId3Tag* tag);
// Writes the fields into the file's APEv2 tag (useOldId3 = 0) or its ID3v1
// tag; clearFirst removes every tag first. Null or empty fields are left
// out. The audio is not touched.
using MacTagFileSimpleFn = int(const char* path, const char* artist, const char* album,
                               const char* title, const char* comment, const char* genre,
                               const char* year, const char* track, int clearFirst, int useOldId3);

}  // extern "C"

inline constexpr const char* kMacGetInterfaceCompatibilityName = "GetInterfaceCompatibility";
inline constexpr const char* kMacCompressCreateName = "c_APECompress_Create";
inline constexpr const char* kMacCompressDestroyName = "c_APECompress_Destroy";
inline constexpr const char* kMacCompressStartName = "c_APECompress_Start";
inline constexpr const char* kMacCompressAddDataName = "c_APECompress_AddData";
inline constexpr const char* kMacCompressFinishName = "c_APECompress_Finish";
inline constexpr const char* kMacCompressSetFrameBlocksName = "c_APECompress_SetFrameBlocks";
inline constexpr const char* kMacDecompressCreateName = "c_APEDecompress_Create";
inline constexpr const char* kMacDecompressGetInfoName = "c_APEDecompress_GetInfo";
inline constexpr const char* kMacDecompressDestroyName = "c_APEDecompress_Destroy";
inline constexpr const char* kMacGetId3TagName = "GetID3Tag";
inline constexpr const char* kMacTagFileSimpleName = "TagFileSimple";

}  // namespace tarvexa
