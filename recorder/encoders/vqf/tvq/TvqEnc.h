#pragma once
// The interface of tvqenc.so, the TwinVQ coding layer that the recorder
// loads at run time from its program folder: the set-up record
// `VqfHeaderInfo`, the encoder-specific record, the configuration record that
// fixes the widths and counts of a frame's fields, the frame index record,
// and the entry points. Shared by the library (TvqEncLib.cpp), the VQF
// writer, which binds the entry points by name, and vqfdec.
//
// Calling sequence for one file:
//   TvqGetVersionID -> TvqEncInitialize -> TvqEncGetConfInfo,
//   TvqEncGetVectorInfo, TvqEncGetFrameSize, TvqEncGetNumChannels
//   -> TvqEncodeFrame ... (TvqEncUpdateVectorInfo for long frames)
//   -> TvqEncTerminate.
// An encoder belongs to the index record it was initialised with; the
// queries answer for the encoder initialised last.
// Thread affinity: one encoder is used by one thread at a time.

#include <cstdint>

namespace tarvexa {

inline constexpr int kTvqIdLength = 12;  // "TWIN97012000"
inline constexpr int kVqfTextMax = 512;  // characters in each text field

// The set-up record: what the header of a VQF file says. Text fields hold
// up to kVqfTextMax characters and a terminator.
struct VqfHeaderInfo {
  char id[kTvqIdLength + 1];  // filled by TvqGetVersionID
  int32_t size;
  int32_t channelMode;   // 0 mono, 1 stereo
  int32_t bitRate;       // kbit/s of all channels together
  int32_t samplingRate;  // sampling-rate code in kHz: 8, 11, 16, 22 or 44
  int32_t securityLevel;
  char name[kVqfTextMax + 1];
  char comment[kVqfTextMax + 1];
  char author[kVqfTextMax + 1];
  char copyright[kVqfTextMax + 1];
  char file[kVqfTextMax + 1];
  char extra[kVqfTextMax + 1];
  int32_t dataSize;
};

// Settings of this encoder that the header does not carry.
struct TvqEncSpecificInfo {
  // Search effort, 1 (fastest) to 32 (most thorough); 16 by default.
  int32_t quality;
  int32_t reserved[7];
};

inline constexpr int kTvqMaxChannels = 2;
inline constexpr int kTvqFrameTypes = 3;  // 0 short, 1 medium, 2 long blocks
inline constexpr int kTvqPitchTable = 3;  // the width tables after the frame types
inline constexpr int kTvqWidthTables = 4;
inline constexpr int kTvqMaxSubBlocks = 16;
inline constexpr int kTvqMaxForward = 4;
inline constexpr int kTvqMaxDivisions = 512;
inline constexpr int kTvqMaxLspSplits = 4;
inline constexpr int kTvqMaxPitchDivisions = 64;
inline constexpr int kTvqMaxPb = 8;

// What a frame of one type holds.
struct TvqConfInfoSubBlock {
  int32_t subBlocks;         // transform blocks per frame
  int32_t divisions;         // pairs of shape indices
  int32_t forwardDivisions;  // envelope indices per channel and block
  int32_t forwardWidth;      // bits of each envelope index
  int32_t powerSubBlocks;    // block gains per channel after the main gain
  int32_t pitchEnabled;      // the frame carries the pitch fields
  int32_t pbEnabled;         // the frame carries pb indices ...
  int32_t pbFirst;           // ... from this position
  int32_t pbLast;            // ... to this one
  int32_t pbWidth;
};

// The configuration of an initialised encoder: sizes and the widths of
// every frame field but the shape indices (TvqEncGetVectorInfo).
struct TvqConfInfo {
  int32_t frameSize;  // samples per channel per frame
  int32_t channels;
  int32_t sampleRate;       // Hz
  int32_t frameBits;        // bits of every frame
  int32_t latency;          // samples per channel the coder holds back
  int32_t windowTypeWidth;  // the first field of a frame
  int32_t arWidth;          // forward AR parameter
  int32_t powerWidth;       // main gain
  int32_t powerSubWidth;    // block gains
  int32_t lspWidths[3];     // the first two LSP indices, then the further ones
  int32_t lspSplits;        // further LSP indices per channel
  int32_t pitchDivisions;
  int32_t pitchWidth;
  int32_t pitchGainWidth;
  TvqConfInfoSubBlock sub[kTvqFrameTypes];
};

// The indices of one coded frame.
struct TvqIndex {
  int32_t windowType;  // written first
  int32_t frameType;   // selects sub[] and the width tables; not written
  int32_t shape0[kTvqMaxDivisions];
  int32_t shape1[kTvqMaxDivisions];
  int32_t forward[kTvqMaxChannels][kTvqMaxSubBlocks][kTvqMaxForward];
  int32_t forwardAr[kTvqMaxChannels][kTvqMaxSubBlocks];
  int32_t power[kTvqMaxChannels];
  int32_t powerSub[kTvqMaxChannels][kTvqMaxSubBlocks];
  int32_t lsp[kTvqMaxChannels][2 + kTvqMaxLspSplits];
  int32_t pitchShape0[kTvqMaxPitchDivisions];
  int32_t pitchShape1[kTvqMaxPitchDivisions];
  int32_t pitch[kTvqMaxChannels];
  int32_t pitchGain[kTvqMaxChannels];
  int32_t pb[kTvqMaxChannels][kTvqMaxSubBlocks][kTvqMaxPb];
};

// Error codes of TvqEncInitialize.
inline constexpr int kTvqErrNone = 0;
inline constexpr int kTvqErrUnsupportedMode = 1;  // no coder for this rate, bit rate, channels
inline constexpr int kTvqErrBadArgument = 2;
inline constexpr int kTvqErrInUse = 3;       // the index record already has an encoder
inline constexpr int kTvqErrNoCodebook = 4;  // the codebooks lack a vector length

extern "C" {
// Writes the identifier (kTvqIdLength characters and a terminator) into id.
using TvqGetVersionIDFn = int(int versionNumber, char* id);
using TvqEncInitializeFn = int(const VqfHeaderInfo* setup, const TvqEncSpecificInfo* specific,
                               TvqIndex* index, int showMessages);
using TvqEncGetConfInfoFn = void(TvqConfInfo* conf);
// Points bits0[t] and bits1[t] at the widths of the first and second shape
// index of every division of frame type t (t < kTvqFrameTypes) and of the
// pitch divisions (t = kTvqPitchTable). The tables stay valid until
// TvqEncTerminate.
using TvqEncGetVectorInfoFn = void(int32_t* bits0[kTvqWidthTables],
                                   int32_t* bits1[kTvqWidthTables]);
using TvqEncGetFrameSizeFn = int();
using TvqEncGetNumChannelsFn = int();
// planes: channels planes of frameSize samples (16-bit values as floats).
using TvqEncodeFrameFn = void(const float* planes, TvqIndex* index);
// Writes the shape widths of long frames (frame type 2) into the tables.
using TvqEncUpdateVectorInfoFn = void(int divisions, int32_t* bits0, int32_t* bits1);
using TvqEncTerminateFn = void(TvqIndex* index);
}

inline constexpr const char* kTvqEncFileName = "tvqenc.so";
inline constexpr const char* kTvqGetVersionIDName = "TvqGetVersionID";
inline constexpr const char* kTvqEncInitializeName = "TvqEncInitialize";
inline constexpr const char* kTvqEncGetConfInfoName = "TvqEncGetConfInfo";
inline constexpr const char* kTvqEncGetVectorInfoName = "TvqEncGetVectorInfo";
inline constexpr const char* kTvqEncGetFrameSizeName = "TvqEncGetFrameSize";
inline constexpr const char* kTvqEncGetNumChannelsName = "TvqEncGetNumChannels";
inline constexpr const char* kTvqEncodeFrameName = "TvqEncodeFrame";
inline constexpr const char* kTvqEncUpdateVectorInfoName = "TvqEncUpdateVectorInfo";
inline constexpr const char* kTvqEncTerminateName = "TvqEncTerminate";

}  // namespace tarvexa
