// The MP3 writer: lame_enc.so, bound at run time, fed in chunks of exactly
// the size the library asks for from a small sample queue.
//
// Encoded frames go to the file with plain write(2) calls after every block,
// so a recording that is killed leaves a stream that decodes up to its last
// block. A failed write (disk full, file size limit) cuts the file back to
// the end of the last whole write, which ends on a frame, and is reported.
// When the file is complete the library rewrites its first frame, the
// information frame (Xing/Info with the LAME tag), with the real frame
// count, so players know the exact length and the encoder delay.
#include "encoders/mp3/Mp3Writer.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/Paths.h"

namespace tarvexa {

namespace {

std::mutex gLibraryMutex;
std::shared_ptr<const LameEncLibrary> gCurrentLibrary;

std::string WithCode(const char* format, BeErr code) {
  char text[128];
  std::snprintf(text, sizeof text, format, static_cast<unsigned long>(code));
  return text;
}

constexpr std::array<LamePreset, 18> kPresets = {{
    {"Fast Medium", kBePresetFastMedium,
     "VBR quality 4, target bitrate 165 kbps, bitrate range 145 - 185 kbps. This preset should "
     "provide near transparency to most people on most music."},
    {"Medium", kBePresetMedium,
     "VBR quality 4, target bitrate 165 kbps, bitrate range 145 - 185 kbps. This preset should "
     "provide near transparency to most people on most music."},
    {"Fast Standard", kBePresetFastStandard,
     "VBR quality 2, target bitrate 190 kbps, bitrate range 170 - 210 kbps. This preset should "
     "generally be transparent to most people on most music and is already quite high in "
     "quality."},
    {"Standard", kBePresetStandard,
     "VBR quality 2, target bitrate 190 kbps, bitrate range 170 - 210 kbps. This preset should "
     "generally be transparent to most people on most music and is already quite high in "
     "quality."},
    {"Fast Extreme", kBePresetFastExtreme,
     "VBR quality 0, target bitrate 245 kbps, bitrate range 220 - 260 kbps. If you have "
     "extremely good hearing and similar equipment, this preset will generally provide slightly "
     "higher quality than the \"Standard\" mode."},
    {"Extreme", kBePresetExtreme,
     "VBR quality 0, target bitrate 245 kbps, bitrate range 220 - 260 kbps. If you have "
     "extremely good hearing and similar equipment, this preset will generally provide slightly "
     "higher quality than the \"Standard\" mode."},
    {"Insane", kBePresetInsane,
     "CBR 320 kbps. This preset will usually be overkill for most people and most situations, "
     "but if you must have the absolute highest quality with no regard to filesize, this is the "
     "way to go."},
    {"R3Mix", kBePresetR3Mix, "VBR quality 3"},
    {"Phone", kBePresetPhone, "16kbps/Mono/ABR"},
    {"SW", kBePresetSW, "24kbps/Mono/ABR"},
    {"AM", kBePresetAM, "40kbps/Mono/ABR"},
    {"FM", kBePresetFM, "112kbps/Stereo/ABR"},
    {"Voice", kBePresetVoice, "56kbps/Mono/ABR"},
    {"Radio", kBePresetRadio, "112kbps/Stereo/ABR"},
    {"Tape", kBePresetTape, "112kbps/Stereo/ABR"},
    {"Hifi", kBePresetHifi, "160kbps/Stereo/ABR"},
    {"CD", kBePresetCD, "192kbps/Stereo/ABR"},
    {"Studio", kBePresetStudio, "256kbps/Stereo/ABR"},
}};

constexpr int kTabCbr = 1;
constexpr int kTabVbr = 3;
constexpr int kTabPreset = 5;

}  // namespace

// ---------------------------------------------------------------------------
// Binding

LameEncLibrary::~LameEncLibrary() {
  if (handle_) dlclose(handle_);
}

std::string LameEncLibrary::LoadFolder() {
  if (const char* dir = std::getenv("TARVEXA_LIB_DIR"); dir && *dir) return dir;
  return ProgramFolder();
}

std::string LameEncLibrary::Bind() {
  const std::string path = LoadFolder() + "/" + kLameEncFileName;
  std::shared_ptr<LameEncLibrary> lib(new LameEncLibrary);
  lib->handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  std::string error;
  if (!lib->handle_) {
    error = std::string("Error loading ") + kLameEncFileName + ".";
  } else {
    auto find = [&](const char* name) { return dlsym(lib->handle_, name); };
    lib->initStream = reinterpret_cast<BeInitStreamFn*>(find(kBeInitStreamName));
    lib->encodeChunk = reinterpret_cast<BeEncodeChunkFn*>(find(kBeEncodeChunkName));
    lib->deinitStream = reinterpret_cast<BeDeinitStreamFn*>(find(kBeDeinitStreamName));
    lib->closeStream = reinterpret_cast<BeCloseStreamFn*>(find(kBeCloseStreamName));
    lib->writeVbrHeader = reinterpret_cast<BeWriteVBRHeaderFn*>(find(kBeWriteVBRHeaderName));
    lib->writeInfoTag = reinterpret_cast<BeWriteInfoTagFn*>(find(kBeWriteInfoTagName));
    if (!lib->initStream || !lib->encodeChunk || !lib->deinitStream || !lib->closeStream ||
        !lib->writeVbrHeader) {
      error = "Unable to get LAME interfaces.";
    }
  }
  std::lock_guard<std::mutex> lock(gLibraryMutex);
  gCurrentLibrary = error.empty() ? std::move(lib) : nullptr;
  return error;
}

std::shared_ptr<const LameEncLibrary> LameEncLibrary::Current() {
  std::lock_guard<std::mutex> lock(gLibraryMutex);
  return gCurrentLibrary;
}

// ---------------------------------------------------------------------------
// Settings

const std::array<LamePreset, 18>& LamePresets() { return kPresets; }

int Mp3Kbps(int index) {
  if (index < 0 || index >= static_cast<int>(BitrateTable.size())) return 0;
  return BitrateTable[static_cast<size_t>(index)];
}

BeConfig MakeBeConfig(const Settings& s) {
  const auto& m = s.MP3;
  BeConfig c;
  std::memset(&c, 0, sizeof c);
  c.configKind = kBeConfigLame;
  c.structVersion = kBeConfigVersion;
  c.structSize = sizeof(BeConfig);
  c.sampleRate = static_cast<uint32_t>(SampleRateOf(s));
  c.reSampleRate = 0;
  c.mode = s.OUTPUT.Chan == 1 ? kBeModeMono : m.LameChannel;
  c.mpegVersion = 1;
  c.psyModel = 0;
  c.emphasis = 0;
  c.privateBit = m.LamePrivate != 0;
  c.crc = m.LameCRC != 0;
  c.copyright = m.LameCopyRight != 0;
  c.original = m.LameOriginal != 0;
  c.writeVbrHeader = m.LameWriteHead != 0;
  // The "Bit Reservoir" box says whether the reservoir is used; the record
  // carries the opposite, a flag that turns it off.
  c.noReservoir = m.LameBitsRes == 0;
  c.strictIso = m.LameComplyISO != 0;

  switch (m.LameTab) {
    case kTabCbr: {
      c.bitrate = static_cast<uint32_t>(Mp3Kbps(m.LameBits));
      c.preset = kBePresetNone;
      const unsigned q = static_cast<unsigned>(m.LameQuality) & 0xFFu;
      c.qualityWord = static_cast<uint16_t>(q | ((~q & 0xFFu) << 8));
      break;
    }
    case kTabVbr:
      c.enableVbr = 1;
      c.vbrMethod = m.LameCodingMode;
      c.preset = kBePresetNone;
      if (m.LameCodingMode == kBeVbrAbr) {
        c.abrBitsPerSecond = static_cast<uint32_t>(m.LameTargetBit) * 1000u;
      } else {
        c.bitrate = static_cast<uint32_t>(Mp3Kbps(m.LameMinVBRBit));
        c.maxBitrate = static_cast<uint32_t>(Mp3Kbps(m.LameMaxVBRBit));
        c.vbrQuality = static_cast<float>(m.LameQualityVBR * 0.01);
      }
      break;
    case kTabPreset:
      if (m.LamePreset >= 0 && m.LamePreset < static_cast<int>(kPresets.size())) {
        c.preset = kPresets[static_cast<size_t>(m.LamePreset)].code;
      }
      break;
    default: break;  // only the fields above
  }
  return c;
}

std::string Mp3FormatLabel(const Settings& s) {
  const auto& m = s.MP3;
  const int rate = SampleRateOf(s);
  char text[160] = "";
  switch (m.LameTab) {
    case kTabCbr:
      std::snprintf(text, sizeof text, "CBR %3d kbps; %5d Hz; Quality %2d;", Mp3Kbps(m.LameBits),
                    rate, static_cast<int>(m.LameQuality));
      break;
    case kTabVbr:
      if (m.LameCodingMode == kBeVbrAbr) {
        std::snprintf(text, sizeof text, "ABR %3d kbps; %5d Hz;", static_cast<int>(m.LameTargetBit),
                      rate);
      } else {
        std::snprintf(text, sizeof text, "VBR %3d ~ %3d kbps;  %5d Hz; Quality %.2f;",
                      Mp3Kbps(m.LameMinVBRBit), Mp3Kbps(m.LameMaxVBRBit), rate,
                      m.LameQualityVBR * 0.01);
      }
      break;
    case kTabPreset:
      if (m.LamePreset >= 0 && m.LamePreset < static_cast<int>(kPresets.size())) {
        std::snprintf(text, sizeof text, "Preset %s;",
                      kPresets[static_cast<size_t>(m.LamePreset)].name);
      }
      break;
    default: break;
  }
  std::string label = std::string("MP3:  ") + text;
  if (s.OUTPUT.Chan == 1) {
    label += " Mono;";
  } else {
    switch (m.LameChannel) {
      case kBeModeStereo: label += " Stereo;"; break;
      case kBeModeJointStereo: label += " Joint Stereo;"; break;
      case kBeModeDualChannel: label += " Dual Channel;"; break;
      default: break;
    }
  }
  return label;
}

// ---------------------------------------------------------------------------
// Writer

Mp3Writer::Mp3Writer(const Settings& s) : settings_(s) {}

Mp3Writer::~Mp3Writer() { Release(); }

void Mp3Writer::Release() {
  if (stream_ != 0 && lib_) lib_->closeStream(stream_);
  stream_ = 0;
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void Mp3Writer::Fail(std::string text) {
  if (!failed_) error_ = std::move(text);
  failed_ = true;
}

std::string Mp3Writer::Open(const std::string& path) {
  Release();
  path_ = path;
  error_.clear();
  failed_ = false;
  queued_ = 0;
  pending_.clear();
  fileBytes_ = 0;
  channels_ = static_cast<size_t>(ChannelsOf(settings_));

  lib_ = LameEncLibrary::Current();
  if (!lib_) {
    // Not bound for this recording yet (a writer used on its own).
    error_ = LameEncLibrary::Bind();
    if (!error_.empty()) return error_;
    lib_ = LameEncLibrary::Current();
  }

  // The encoder first: settings it refuses leave no empty file behind and
  // do not truncate a file that is already there.
  const BeConfig config = MakeBeConfig(settings_);
  const auto& m = settings_.MP3;
  uint32_t chunk = 0;
  uint32_t bytes = 0;
  BeStream stream = 0;
  const BeErr rc = lib_->initStream(
      &config, &chunk, &bytes, &stream, 0, 0, "", "", "", "", "", "", "", m.LameHFil != 0,
      m.LameLFil != 0, static_cast<uint32_t>(m.LameHFilFreq), static_cast<uint32_t>(m.LameHFilWid),
      static_cast<uint32_t>(m.LameLFilFreq), static_cast<uint32_t>(m.LameLFilWid));
  stream_ = stream;
  if (rc != kBeErrSuccessful) {
    error_ = WithCode("Error opening encoding stream (%lu)", rc);
  } else if (chunk == 0 || chunk % channels_ != 0 || bytes == 0) {
    error_ = "The MP3 encoder library asked for an unusable chunk size.";
  } else {
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) error_ = "Error creating file " + path;
  }
  if (!error_.empty()) {
    Release();
    return error_;
  }

  chunkSamples_ = chunk;
  outputBytes_ = bytes;
  chunk_.assign(chunkSamples_, 0);
  pending_.reserve(outputBytes_ * 4);
  return {};
}

// Encodes the first `samples` samples of the queue, adding the frames to
// pending_.
bool Mp3Writer::EncodeChunk(uint32_t samples) {
  const size_t at = pending_.size();
  pending_.resize(at + outputBytes_);
  uint32_t produced = 0;
  const BeErr rc =
      lib_->encodeChunk(stream_, samples, chunk_.data(), pending_.data() + at, &produced);
  pending_.resize(at + (rc == kBeErrSuccessful ? std::min(produced, outputBytes_) : 0));
  if (rc != kBeErrSuccessful) {
    Fail(WithCode("beEncodeChunk() failed (%lu)", rc));
    return false;
  }
  return true;
}

bool Mp3Writer::WritePending() {
  size_t done = 0;
  while (done < pending_.size()) {
    const ssize_t n = write(fd_, pending_.data() + done, pending_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // Keep the file on a frame boundary: drop the part of this write that
      // made it to disk. Should even that fail, the file ends in a partial
      // frame, which decoders skip.
      const int truncated = ftruncate(fd_, fileBytes_);
      (void)truncated;
      pending_.clear();
      Fail("Output file write error");
      return false;
    }
    done += static_cast<size_t>(n);
  }
  fileBytes_ += static_cast<off_t>(done);
  pending_.clear();
  return true;
}

bool Mp3Writer::Write(const int16_t* samples, size_t frames) {
  if (stream_ == 0 || fd_ < 0) {
    if (error_.empty()) error_ = "Error writing file " + path_ + ": the file is not open";
    return false;
  }
  if (failed_) return false;

  size_t left = frames * channels_;
  bool ok = true;
  while (left > 0) {
    const size_t take = std::min(left, static_cast<size_t>(chunkSamples_) - queued_);
    std::memcpy(chunk_.data() + queued_, samples, take * sizeof(int16_t));
    queued_ += take;
    samples += take;
    left -= take;
    if (queued_ == chunkSamples_) {
      queued_ = 0;
      if (!EncodeChunk(chunkSamples_)) {
        ok = false;
        break;
      }
    }
  }
  // Whatever was encoded before a failure still goes to the file.
  if (!WritePending()) return false;
  return ok;
}

bool Mp3Writer::Close() {
  if (stream_ == 0) {
    Release();
    return true;
  }
  if (failed_) {
    // The failure has been reported; the file keeps what was written.
    Release();
    return true;
  }

  // The rest of the queue is the last, shorter chunk; then the encoder's
  // final frames.
  bool ok = true;
  if (queued_ > 0) {
    ok = EncodeChunk(static_cast<uint32_t>(queued_));
    queued_ = 0;
  }
  if (ok) {
    const size_t at = pending_.size();
    pending_.resize(at + outputBytes_);
    uint32_t produced = 0;
    const BeErr rc = lib_->deinitStream(stream_, pending_.data() + at, &produced);
    pending_.resize(at + (rc == kBeErrSuccessful ? std::min(produced, outputBytes_) : 0));
    if (rc != kBeErrSuccessful) {
      Fail(WithCode("beExitStream failed (%lu)", rc));
      ok = false;
    }
  }
  if (!WritePending()) ok = false;

  const BeStream closed = stream_;
  lib_->closeStream(stream_);
  stream_ = 0;
  if (close(fd_) != 0 && ok) {
    Fail("Output file write error");
    ok = false;
  }
  fd_ = -1;
  if (!ok) return false;

  const BeErr rc = lib_->writeInfoTag ? lib_->writeInfoTag(closed, path_.c_str())
                                      : lib_->writeVbrHeader(path_.c_str());
  if (rc != kBeErrSuccessful) {
    error_ =
        "Error writing the MP3 information frame of " + path_ + " (" + std::to_string(rc) + ")";
    return false;
  }
  return true;
}

}  // namespace tarvexa
