#pragma once
// The interface of lame_enc.so, the MP3 encoder library that the recorder
// loads at run time from its program folder: the configuration record
// `BeConfig` and the six BladeEnc-style entry points. Shared by the library
// (LameEnc.cpp) and the MP3 writer, which binds the entry points by name.
//
// Calling sequence for one file:
//   beInitStream -> beEncodeChunk ... -> beDeinitStream -> beCloseStream
//   -> beWriteInfoTag (or beWriteVBRHeader) once the file is closed.
// Every entry point returns a BeErr; 0 is success.
// Thread affinity: a stream is used by one thread at a time; different
// streams may be used from different threads.

#include <bit>
#include <cstddef>
#include <cstdint>

namespace tarvexa {

using BeErr = uint32_t;
using BeStream = uint32_t;  // 0 is never a valid stream

constexpr BeErr kBeErrSuccessful = 0;
constexpr BeErr kBeErrInvalidFormat = 1;            // not a record this library reads
constexpr BeErr kBeErrInvalidFormatParameters = 2;  // settings the encoder refuses
constexpr BeErr kBeErrNoMoreHandles = 3;
constexpr BeErr kBeErrInvalidHandle = 4;
constexpr BeErr kBeErrBufferTooSmall = 5;
constexpr BeErr kBeErrFileAccess = 0x100;  // the file could not be read or rewritten

constexpr uint32_t kBeConfigLame = 256;
constexpr uint32_t kBeConfigVersion = 1;

// Channel modes (BeConfig::mode). Mono also means one input channel; every
// other mode takes two interleaved input channels.
constexpr int32_t kBeModeStereo = 0;
constexpr int32_t kBeModeJointStereo = 1;
constexpr int32_t kBeModeDualChannel = 2;
constexpr int32_t kBeModeMono = 3;

// VBR methods (BeConfig::vbrMethod).
constexpr int32_t kBeVbrDefault = 0;
constexpr int32_t kBeVbrOld = 1;
constexpr int32_t kBeVbrNew = 2;
constexpr int32_t kBeVbrMtrh = 3;
constexpr int32_t kBeVbrAbr = 4;

// Preset codes (BeConfig::preset). -1 and 0 mean no preset.
constexpr int32_t kBePresetNone = -1;
constexpr int32_t kBePresetR3Mix = 4;
constexpr int32_t kBePresetStandard = 6;
constexpr int32_t kBePresetFastStandard = 7;
constexpr int32_t kBePresetExtreme = 8;
constexpr int32_t kBePresetFastExtreme = 9;
constexpr int32_t kBePresetInsane = 10;
constexpr int32_t kBePresetMedium = 13;
constexpr int32_t kBePresetFastMedium = 14;
constexpr int32_t kBePresetPhone = 1000;
constexpr int32_t kBePresetSW = 2000;
constexpr int32_t kBePresetAM = 3000;
constexpr int32_t kBePresetFM = 4000;
constexpr int32_t kBePresetVoice = 5000;
constexpr int32_t kBePresetRadio = 6000;
constexpr int32_t kBePresetTape = 7000;
constexpr int32_t kBePresetHifi = 8000;
constexpr int32_t kBePresetCD = 9000;
constexpr int32_t kBePresetStudio = 10000;

// The configuration record: 331 bytes, byte-packed, little-endian. Fields
// that a mode does not use are zero.
#pragma pack(push, 1)
struct BeConfig {
  uint32_t configKind;     // kBeConfigLame
  uint32_t structVersion;  // kBeConfigVersion
  uint32_t structSize;     // sizeof(BeConfig)
  uint32_t sampleRate;     // input rate, Hz
  uint32_t reSampleRate;   // output rate, Hz; 0 lets the encoder choose
  int32_t mode;            // kBeMode...
  uint32_t bitrate;        // CBR bitrate, or VBR minimum, kbps (0: encoder's choice)
  uint32_t maxBitrate;     // VBR maximum, kbps (0: encoder's choice)
  int32_t preset;          // kBePreset...
  uint32_t mpegVersion;    // 1; the output rate decides the version actually written
  uint32_t psyModel;       // 0; not used
  uint32_t emphasis;       // 0 none, 1 50/15 ms, 3 CCITT J.17
  int32_t privateBit;      // header bits, 0 or 1
  int32_t crc;
  int32_t copyright;
  int32_t original;
  int32_t writeVbrHeader;     // write the information frame (Xing/Info, LAME tag)
  int32_t enableVbr;          // 1: VBR or ABR by vbrMethod
  float vbrQuality;           // 0 (best) to 10
  uint32_t abrBitsPerSecond;  // ABR target, bits per second
  int32_t vbrMethod;          // kBeVbr...
  int32_t noReservoir;        // 1 turns the bit reservoir off
  int32_t strictIso;          // 1: comply as much as possible with ISO MPEG
  uint16_t qualityWord;       // q | (~q << 8) with q 0 (best) to 9; else the default
  uint8_t reserved[237];
};
#pragma pack(pop)

static_assert(std::endian::native == std::endian::little,
              "BeConfig is little-endian and is filled field by field");
static_assert(sizeof(BeConfig) == 331);
static_assert(offsetof(BeConfig, configKind) == 0);
static_assert(offsetof(BeConfig, structVersion) == 4);
static_assert(offsetof(BeConfig, structSize) == 8);
static_assert(offsetof(BeConfig, sampleRate) == 12);
static_assert(offsetof(BeConfig, reSampleRate) == 16);
static_assert(offsetof(BeConfig, mode) == 20);
static_assert(offsetof(BeConfig, bitrate) == 24);
static_assert(offsetof(BeConfig, maxBitrate) == 28);
static_assert(offsetof(BeConfig, preset) == 32);
static_assert(offsetof(BeConfig, mpegVersion) == 36);
static_assert(offsetof(BeConfig, psyModel) == 40);
static_assert(offsetof(BeConfig, emphasis) == 44);
static_assert(offsetof(BeConfig, privateBit) == 48);
static_assert(offsetof(BeConfig, crc) == 52);
static_assert(offsetof(BeConfig, copyright) == 56);
static_assert(offsetof(BeConfig, original) == 60);
static_assert(offsetof(BeConfig, writeVbrHeader) == 64);
static_assert(offsetof(BeConfig, enableVbr) == 68);
static_assert(offsetof(BeConfig, vbrQuality) == 72);
static_assert(offsetof(BeConfig, abrBitsPerSecond) == 76);
static_assert(offsetof(BeConfig, vbrMethod) == 80);
static_assert(offsetof(BeConfig, noReservoir) == 84);
static_assert(offsetof(BeConfig, strictIso) == 88);
static_assert(offsetof(BeConfig, qualityWord) == 92);
static_assert(offsetof(BeConfig, reserved) == 94);

// Entry points. Sample counts are 16-bit samples (all channels together),
// not frames.
extern "C" {

// Opens a stream. Outputs: the number of samples beEncodeChunk takes at a
// time (whole frames), the output buffer size every call needs, and the
// stream. The two integers and seven strings after the stream are reserved
// (callers pass 0 and ""); the last six arguments set the optional high-pass
// and low-pass filters (enabled flags, then frequencies and transition widths
// in Hz).
using BeInitStreamFn = BeErr(const BeConfig* config, uint32_t* samplesPerChunk,
                             uint32_t* outputBufferBytes, BeStream* stream, int32_t reserved1,
                             int32_t reserved2, const char* reserved3, const char* reserved4,
                             const char* reserved5, const char* reserved6, const char* reserved7,
                             const char* reserved8, const char* reserved9, int32_t highPassOn,
                             int32_t lowPassOn, uint32_t highPassHz, uint32_t highPassWidthHz,
                             uint32_t lowPassHz, uint32_t lowPassWidthHz);

// Encodes up to samplesPerChunk samples; the last chunk of a file may be
// shorter. *bytesOut never exceeds outputBufferBytes.
using BeEncodeChunkFn = BeErr(BeStream stream, uint32_t sampleCount, int16_t* samples,
                              uint8_t* output, uint32_t* bytesOut);

// Flushes the encoder: the last frames of the file.
using BeDeinitStreamFn = BeErr(BeStream stream, uint8_t* output, uint32_t* bytesOut);

// Ends the stream. A flushed stream that writes an information frame stays
// available to beWriteInfoTag / beWriteVBRHeader until they have run.
using BeCloseStreamFn = BeErr(BeStream stream);

// Rewrites the information frame at the start of the closed file of the
// stream, then frees the stream. Nothing to do when the frame is off.
using BeWriteInfoTagFn = BeErr(BeStream stream, const char* path);

// As beWriteInfoTag, for the stream closed last.
using BeWriteVBRHeaderFn = BeErr(const char* path);

}  // extern "C"

inline constexpr const char* kLameEncFileName = "lame_enc.so";
inline constexpr const char* kBeInitStreamName = "beInitStream";
inline constexpr const char* kBeEncodeChunkName = "beEncodeChunk";
inline constexpr const char* kBeDeinitStreamName = "beDeinitStream";
inline constexpr const char* kBeCloseStreamName = "beCloseStream";
inline constexpr const char* kBeWriteVBRHeaderName = "beWriteVBRHeader";
inline constexpr const char* kBeWriteInfoTagName = "beWriteInfoTag";

}  // namespace tarvexa
