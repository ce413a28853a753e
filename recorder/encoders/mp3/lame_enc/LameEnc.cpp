// lame_enc.so: the BladeEnc-style MP3 encoder interface of LameEnc.h on top
// of libmp3lame.
//
// Streams live in a handle table, so a stale or foreign handle is refused
// instead of being dereferenced. A stream that has been flushed and writes an
// information frame is kept after beCloseStream until beWriteInfoTag or
// beWriteVBRHeader has rewritten that frame in the closed file; at most a few
// such streams are kept, the oldest are freed first.
#include "LameEnc.h"

#include <fcntl.h>
#include <lame/lame.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#define LAME_ENC_EXPORT extern "C" __attribute__((visibility("default")))

namespace tarvexa {
namespace {

struct Stream {
  lame_global_flags* gfp = nullptr;
  int channels = 2;
  uint32_t samplesPerChunk = 0;
  uint32_t bufferBytes = 0;
  bool flushed = false;
  bool writesInfoFrame = false;

  ~Stream() {
    if (gfp) lame_close(gfp);
  }
};

constexpr size_t kMaxStreamsAwaitingTag = 8;

std::mutex gMutex;
std::unordered_map<BeStream, std::unique_ptr<Stream>> gOpen;
// Closed streams whose information frame is still to be written, oldest first.
std::deque<std::pair<BeStream, std::unique_ptr<Stream>>> gAwaitingTag;
BeStream gNextHandle = 1;

Stream* FindOpen(BeStream handle) {
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = gOpen.find(handle);
  return it == gOpen.end() ? nullptr : it->second.get();
}

bool IsStandardBitrate(uint32_t kbps) {
  // MPEG-1 and MPEG-2/2.5 Layer III bitrates together.
  static constexpr uint32_t kRates[] = {8,  16,  24,  32,  40,  48,  56,  64,  80,
                                        96, 112, 128, 144, 160, 192, 224, 256, 320};
  for (uint32_t r : kRates) {
    if (r == kbps) return true;
  }
  return false;
}

int ClampToInt(uint32_t v) {
  return v > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(v);
}

struct PresetRule {
  int32_t code;
  int lamePreset;  // value for lame_set_preset
  bool mono;       // the preset encodes one channel
};

constexpr PresetRule kPresets[] = {
    {kBePresetFastMedium, MEDIUM_FAST, false},
    {kBePresetMedium, MEDIUM, false},
    {kBePresetFastStandard, STANDARD_FAST, false},
    {kBePresetStandard, STANDARD, false},
    {kBePresetFastExtreme, EXTREME_FAST, false},
    {kBePresetExtreme, EXTREME, false},
    {kBePresetInsane, INSANE, false},
    {kBePresetR3Mix, R3MIX, false},
    // Average-bitrate presets: the value is the target in kbps.
    {kBePresetPhone, 16, true},
    {kBePresetSW, 24, true},
    {kBePresetAM, 40, true},
    {kBePresetFM, 112, false},
    {kBePresetVoice, 56, true},
    {kBePresetRadio, 112, false},
    {kBePresetTape, 112, false},
    {kBePresetHifi, 160, false},
    {kBePresetCD, 192, false},
    {kBePresetStudio, 256, false},
};

const PresetRule* FindPreset(int32_t code) {
  for (const PresetRule& p : kPresets) {
    if (p.code == code) return &p;
  }
  return nullptr;
}

struct Filters {
  bool highPassOn, lowPassOn;
  uint32_t highPassHz, highPassWidthHz, lowPassHz, lowPassWidthHz;
};

// Sets up gfp from the record; returns the error for settings that are not
// valid before LAME sees them.
BeErr Configure(lame_global_flags* gfp, const BeConfig& c, const Filters& f) {
  if (c.mode < kBeModeStereo || c.mode > kBeModeMono) return kBeErrInvalidFormatParameters;
  if (c.sampleRate == 0 || c.sampleRate > 192000) return kBeErrInvalidFormatParameters;
  if (c.emphasis > 3) return kBeErrInvalidFormatParameters;

  lame_set_num_channels(gfp, c.mode == kBeModeMono ? 1 : 2);
  lame_set_in_samplerate(gfp, static_cast<int>(c.sampleRate));
  if (c.reSampleRate != 0) lame_set_out_samplerate(gfp, ClampToInt(c.reSampleRate));
  lame_set_mode(gfp, static_cast<MPEG_mode>(c.mode));

  const PresetRule* preset = nullptr;
  if (c.preset != kBePresetNone && c.preset != 0) {
    preset = FindPreset(c.preset);
    if (!preset) return kBeErrInvalidFormatParameters;
  }

  if (preset) {
    // The preset decides the bitrates and the VBR method on its own.
    lame_set_preset(gfp, preset->lamePreset);
    if (preset->mono) lame_set_mode(gfp, MONO);
  } else if (c.enableVbr) {
    if (c.bitrate > 320 || c.maxBitrate > 320) return kBeErrInvalidFormatParameters;
    if (c.bitrate != 0 && c.maxBitrate != 0 && c.bitrate > c.maxBitrate) {
      return kBeErrInvalidFormatParameters;
    }
    switch (c.vbrMethod) {
      case -1:
      case kBeVbrDefault: lame_set_VBR(gfp, vbr_default); break;
      case kBeVbrOld: lame_set_VBR(gfp, vbr_rh); break;
      case kBeVbrNew: lame_set_VBR(gfp, vbr_mt); break;
      case kBeVbrMtrh: lame_set_VBR(gfp, vbr_mtrh); break;
      case kBeVbrAbr: lame_set_VBR(gfp, vbr_abr); break;
      default: return kBeErrInvalidFormatParameters;
    }
    if (c.vbrMethod == kBeVbrAbr) {
      if (c.abrBitsPerSecond < 8000 || c.abrBitsPerSecond > 320000) {
        return kBeErrInvalidFormatParameters;
      }
      lame_set_VBR_mean_bitrate_kbps(gfp, static_cast<int>((c.abrBitsPerSecond + 500) / 1000));
    } else {
      if (!(c.vbrQuality >= 0.0f && c.vbrQuality <= 10.0f)) return kBeErrInvalidFormatParameters;
      // LAME takes qualities below 10; 10 itself is its lowest quality.
      lame_set_VBR_quality(gfp, std::fmin(c.vbrQuality, 9.999f));
    }
    if (c.bitrate != 0) lame_set_VBR_min_bitrate_kbps(gfp, static_cast<int>(c.bitrate));
    if (c.maxBitrate != 0) lame_set_VBR_max_bitrate_kbps(gfp, static_cast<int>(c.maxBitrate));
  } else {
    lame_set_VBR(gfp, vbr_off);
    if (c.bitrate != 0) {
      if (!IsStandardBitrate(c.bitrate)) return kBeErrInvalidFormatParameters;
      lame_set_brate(gfp, static_cast<int>(c.bitrate));
    }
  }

  const unsigned q = c.qualityWord & 0xFFu;
  const unsigned notQ = (c.qualityWord >> 8) & 0xFFu;
  if (notQ == (~q & 0xFFu)) {
    if (q > 9) return kBeErrInvalidFormatParameters;
    lame_set_quality(gfp, static_cast<int>(q));
  }

  lame_set_emphasis(gfp, static_cast<int>(c.emphasis));
  lame_set_extension(gfp, c.privateBit ? 1 : 0);
  lame_set_error_protection(gfp, c.crc ? 1 : 0);
  lame_set_copyright(gfp, c.copyright ? 1 : 0);
  lame_set_original(gfp, c.original ? 1 : 0);
  lame_set_strict_ISO(gfp, c.strictIso ? 1 : 0);
  lame_set_disable_reservoir(gfp, c.noReservoir ? 1 : 0);
  lame_set_bWriteVbrTag(gfp, c.writeVbrHeader ? 1 : 0);
  lame_set_write_id3tag_automatic(gfp, 0);

  if (f.highPassOn) {
    lame_set_highpassfreq(gfp, ClampToInt(f.highPassHz));
    if (f.highPassWidthHz != 0) lame_set_highpasswidth(gfp, ClampToInt(f.highPassWidthHz));
  }
  if (f.lowPassOn) {
    lame_set_lowpassfreq(gfp, ClampToInt(f.lowPassHz));
    if (f.lowPassWidthHz != 0) lame_set_lowpasswidth(gfp, ClampToInt(f.lowPassWidthHz));
  }
  return kBeErrSuccessful;
}

// Offset of the first MPEG frame: past an ID3v2 tag when the file has one.
off_t FirstFrameOffset(int fd) {
  unsigned char h[10];
  if (pread(fd, h, sizeof h, 0) != static_cast<ssize_t>(sizeof h)) return 0;
  if (h[0] != 'I' || h[1] != 'D' || h[2] != '3') return 0;
  if ((h[6] | h[7] | h[8] | h[9]) & 0x80) return 0;  // not a synchsafe size
  off_t size = (static_cast<off_t>(h[6]) << 21) | (h[7] << 14) | (h[8] << 7) | h[9];
  const bool footer = (h[5] & 0x10) != 0;
  return 10 + size + (footer ? 10 : 0);
}

// Puts the final information frame of the stream over the placeholder that
// LAME wrote at the start of the file.
BeErr WriteInfoFrame(const Stream& s, const char* path) {
  if (!s.writesInfoFrame) return kBeErrSuccessful;
  if (!path) return kBeErrFileAccess;
  unsigned char frame[4096];
  const size_t n = lame_get_lametag_frame(s.gfp, frame, sizeof frame);
  if (n == 0) return kBeErrSuccessful;
  if (n > sizeof frame) return kBeErrBufferTooSmall;

  const int fd = open(path, O_RDWR | O_CLOEXEC);
  if (fd < 0) return kBeErrFileAccess;
  BeErr rc = kBeErrSuccessful;
  const off_t at = FirstFrameOffset(fd);
  unsigned char old[4];
  // Only ever overwrite an MPEG frame: a file that does not start with one is
  // not the file this stream wrote.
  if (pread(fd, old, sizeof old, at) != static_cast<ssize_t>(sizeof old) || old[0] != 0xFF ||
      (old[1] & 0xE0) != 0xE0) {
    rc = kBeErrFileAccess;
  } else if (pwrite(fd, frame, n, at) != static_cast<ssize_t>(n)) {
    rc = kBeErrFileAccess;
  }
  if (close(fd) != 0 && rc == kBeErrSuccessful) rc = kBeErrFileAccess;
  return rc;
}

}  // namespace
}  // namespace tarvexa

using namespace tarvexa;

LAME_ENC_EXPORT BeErr beInitStream(const BeConfig* config, uint32_t* samplesPerChunk,
                                   uint32_t* outputBufferBytes, BeStream* stream, int32_t, int32_t,
                                   const char*, const char*, const char*, const char*, const char*,
                                   const char*, const char*, int32_t highPassOn, int32_t lowPassOn,
                                   uint32_t highPassHz, uint32_t highPassWidthHz,
                                   uint32_t lowPassHz, uint32_t lowPassWidthHz) {
  if (stream) *stream = 0;
  if (!config || !samplesPerChunk || !outputBufferBytes || !stream) {
    return kBeErrInvalidFormatParameters;
  }
  if (config->configKind != kBeConfigLame || config->structVersion != kBeConfigVersion ||
      config->structSize != sizeof(BeConfig)) {
    return kBeErrInvalidFormat;
  }

  auto s = std::make_unique<Stream>();
  s->gfp = lame_init();
  if (!s->gfp) return kBeErrNoMoreHandles;
  const Filters filters{highPassOn != 0, lowPassOn != 0, highPassHz,
                        highPassWidthHz, lowPassHz,      lowPassWidthHz};
  BeErr rc = Configure(s->gfp, *config, filters);
  if (rc != kBeErrSuccessful) return rc;
  if (lame_init_params(s->gfp) < 0) return kBeErrInvalidFormatParameters;

  // Input channels follow the record's mode, also when a mono preset makes
  // LAME mix two input channels down to one.
  s->channels = config->mode == kBeModeMono ? 1 : 2;
  s->writesInfoFrame = lame_get_bWriteVbrTag(s->gfp) != 0;
  const uint32_t frames = static_cast<uint32_t>(lame_get_framesize(s->gfp));
  s->samplesPerChunk = frames * static_cast<uint32_t>(s->channels);
  // LAME's own bound for one call is 1.25 bytes per output sample plus
  // 7200; output samples differ from input samples when it resamples.
  const double outRate = lame_get_out_samplerate(s->gfp);
  const double outFrames = std::ceil(frames * outRate / static_cast<double>(config->sampleRate));
  s->bufferBytes = static_cast<uint32_t>(std::ceil(1.25 * outFrames)) + 7200;

  std::lock_guard<std::mutex> lock(gMutex);
  if (gOpen.size() >= 1024) return kBeErrNoMoreHandles;
  BeStream handle = gNextHandle;
  while (handle == 0 || gOpen.count(handle)) ++handle;
  gNextHandle = handle + 1;
  *samplesPerChunk = s->samplesPerChunk;
  *outputBufferBytes = s->bufferBytes;
  *stream = handle;
  gOpen.emplace(handle, std::move(s));
  return kBeErrSuccessful;
}

LAME_ENC_EXPORT BeErr beEncodeChunk(BeStream stream, uint32_t sampleCount, int16_t* samples,
                                    uint8_t* output, uint32_t* bytesOut) {
  if (bytesOut) *bytesOut = 0;
  Stream* s = FindOpen(stream);
  if (!s) return kBeErrInvalidHandle;
  if (!output || !bytesOut || (sampleCount > 0 && !samples)) return kBeErrInvalidFormatParameters;
  if (s->flushed || sampleCount > s->samplesPerChunk ||
      sampleCount % static_cast<uint32_t>(s->channels) != 0) {
    return kBeErrInvalidFormatParameters;
  }
  if (sampleCount == 0) return kBeErrSuccessful;
  const int frames = static_cast<int>(sampleCount) / s->channels;
  const int size = static_cast<int>(s->bufferBytes);
  const int n = s->channels == 2
                    ? lame_encode_buffer_interleaved(s->gfp, samples, frames, output, size)
                    : lame_encode_buffer(s->gfp, samples, samples, frames, output, size);
  if (n < 0) return n == -1 ? kBeErrBufferTooSmall : kBeErrInvalidFormatParameters;
  *bytesOut = static_cast<uint32_t>(n);
  return kBeErrSuccessful;
}

LAME_ENC_EXPORT BeErr beDeinitStream(BeStream stream, uint8_t* output, uint32_t* bytesOut) {
  if (bytesOut) *bytesOut = 0;
  Stream* s = FindOpen(stream);
  if (!s) return kBeErrInvalidHandle;
  if (!output || !bytesOut || s->flushed) return kBeErrInvalidFormatParameters;
  const int n = lame_encode_flush(s->gfp, output, static_cast<int>(s->bufferBytes));
  s->flushed = true;
  if (n < 0) return n == -1 ? kBeErrBufferTooSmall : kBeErrInvalidFormatParameters;
  *bytesOut = static_cast<uint32_t>(n);
  return kBeErrSuccessful;
}

LAME_ENC_EXPORT BeErr beCloseStream(BeStream stream) {
  std::unique_ptr<Stream> s;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    auto it = gOpen.find(stream);
    if (it == gOpen.end()) return kBeErrInvalidHandle;
    s = std::move(it->second);
    gOpen.erase(it);
    if (s->flushed && s->writesInfoFrame) {
      gAwaitingTag.emplace_back(stream, std::move(s));
      while (gAwaitingTag.size() > kMaxStreamsAwaitingTag) gAwaitingTag.pop_front();
    }
  }
  return kBeErrSuccessful;  // a stream not kept is freed here, outside the lock
}

#ifndef LAME_ENC_WITHOUT_INFO_TAG
LAME_ENC_EXPORT BeErr beWriteInfoTag(BeStream stream, const char* path) {
  std::unique_ptr<Stream> s;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    for (auto it = gAwaitingTag.begin(); it != gAwaitingTag.end(); ++it) {
      if (it->first == stream) {
        s = std::move(it->second);
        gAwaitingTag.erase(it);
        break;
      }
    }
    if (!s) {
      // Closed without a frame to write (never flushed, or the frame is
      // off): nothing to do. A stream still open is not finished yet.
      return gOpen.count(stream) ? kBeErrInvalidHandle : kBeErrSuccessful;
    }
  }
  return WriteInfoFrame(*s, path);
}
#endif

LAME_ENC_EXPORT BeErr beWriteVBRHeader(const char* path) {
  std::unique_ptr<Stream> s;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    if (gAwaitingTag.empty()) return kBeErrSuccessful;
    s = std::move(gAwaitingTag.back().second);
    gAwaitingTag.pop_back();
  }
  return WriteInfoFrame(*s, path);
}
