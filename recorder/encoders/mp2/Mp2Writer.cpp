// The MP2 writer: libtwolame in constant bitrate, fed in fixed chunks of
// 8192 samples from a small queue, frames written to the file as soon as
// the encoder hands them out.
//
// The file is written with plain write(2) calls, so every frame the encoder
// has produced is in the file at once: a recording that is killed leaves a
// stream that decodes up to its last chunk (about 0.1 s). A failed write
// (disk full, file size limit) cuts the file back to its last whole frame
// and is reported; the file then plays up to the failure.
#include "encoders/mp2/Mp2Writer.h"

#include <fcntl.h>
#include <twolame.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "formats/FormatCatalogue.h"

namespace tarvexa {

namespace {

constexpr int kBits384 = 17;
constexpr size_t kOutputBufferBytes = 16384;
// The Layer II analysis filter bank delays the signal by 481 samples
// (a 512-tap window less 31): the encoder holds back that much of the input.
constexpr size_t kEncoderDelayFrames = 481;

TWOLAME_MPEG_mode ModeOf(const Settings& s) {
  if (ChannelsOf(s) == 1) return TWOLAME_MONO;
  switch (s.MP2.Channel) {
    case 1: return TWOLAME_STEREO;
    case 2: return TWOLAME_JOINT_STEREO;
    case 3: return TWOLAME_DUAL_CHANNEL;
    default: return TWOLAME_AUTO_MODE;
  }
}

// A configured encoder, or nullptr when libtwolame refuses the settings.
twolame_options* OpenEncoder(const Settings& s) {
  twolame_options* options = twolame_init();
  if (!options) return nullptr;
  // No progress chatter on standard error; refusals reach our own log (the
  // library still prints the reason for a refusal there).
  twolame_set_verbosity(options, 0);
  const int rate = SampleRateOf(s);
  twolame_set_mode(options, ModeOf(s));
  twolame_set_out_samplerate(options, rate);
  twolame_set_bitrate(options, Mp2Kbps(s.MP2.Bits));
  twolame_set_VBR(options, 0);
  twolame_set_copyright(options, s.MP2.CopyRight != 0);
  twolame_set_original(options, s.MP2.Original != 0);
  twolame_set_num_channels(options, ChannelsOf(s));
  twolame_set_in_samplerate(options, rate);
  if (twolame_init_params(options) != 0) {
    twolame_close(&options);
    return nullptr;
  }
  return options;
}

// Room for the frames that one chunk can complete: a Layer II frame holds
// 1152 samples per channel and up to 144 × bitrate ÷ rate bytes (+1 padding).
size_t OutputBufferFor(const Settings& s, size_t channels) {
  const size_t frames = Mp2Writer::kChunkSamples / channels;
  const size_t mpegFrames = (frames + 1151) / 1152 + 1;
  const size_t frameBytes = 144u * 1000u * static_cast<size_t>(Mp2Kbps(s.MP2.Bits)) /
                                static_cast<size_t>(SampleRateOf(s)) +
                            1;
  return std::max(kOutputBufferBytes, mpegFrames * frameBytes);
}

const char* StereoModeText(const Settings& s) {
  if (ChannelsOf(s) == 1) return " Mono;";
  switch (s.MP2.Channel) {
    case 1: return " Stereo;";
    case 2: return " Joint Stereo;";
    case 3: return " Dual Channel;";
    default: return " Auto;";
  }
}

}  // namespace

int Mp2Kbps(int bits) {
  if (bits >= 0 && bits < static_cast<int>(BitrateTable.size())) {
    return BitrateTable[static_cast<size_t>(bits)];
  }
  return bits == kBits384 ? 384 : 0;
}

Mp2Writer::Mp2Writer(const Settings& s) : settings_(s) {}

// A writer dropped without Close still finishes its file.
Mp2Writer::~Mp2Writer() { Close(); }

void Mp2Writer::Release() {
  if (encoder_) twolame_close(&encoder_);
  encoder_ = nullptr;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  pending_.clear();
}

std::string Mp2Writer::CheckSettings(const Settings& s) {
  twolame_options* options = OpenEncoder(s);
  if (!options) return "Error: configuring libtwolame encoder failed.";
  twolame_close(&options);
  return {};
}

std::string Mp2Writer::Open(const std::string& path) {
  Close();  // a clip still open is finished, not thrown away
  path_ = path;
  error_.clear();
  writeFailed_ = false;
  fileBytes_ = 0;
  samplesIn_ = 0;
  channels_ = static_cast<size_t>(ChannelsOf(settings_));

  encoder_ = OpenEncoder(settings_);
  if (!encoder_) {
    error_ = "Error: configuring libtwolame encoder failed.";
    return error_;
  }
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    Release();
    error_ = "Error creating file " + path;
    return error_;
  }
  pending_.reserve(kChunkSamples);
  out_.resize(OutputBufferFor(settings_, channels_));
  return {};
}

bool Mp2Writer::WriteBytes(const unsigned char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd_, data + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    const int cause = n < 0 ? errno : ENOSPC;
    // Drop the partial frame so the file ends on a frame boundary.
    if (ftruncate(fd_, fileBytes_) == 0) lseek(fd_, fileBytes_, SEEK_SET);
    writeFailed_ = true;
    error_ = "Error writing file " + path_ + ": " + std::strerror(cause);
    return false;
  }
  fileBytes_ += static_cast<off_t>(size);
  return true;
}

bool Mp2Writer::EncodeChunk(const int16_t* pcm, size_t samples) {
  samplesIn_ += samples;
  const int frames = static_cast<int>(samples / channels_);
  const int bytes = twolame_encode_buffer_interleaved(encoder_, pcm, frames, out_.data(),
                                                      static_cast<int>(out_.size()));
  if (bytes < 0) {
    writeFailed_ = true;
    error_ = "Error writing file " + path_ + ": libtwolame could not encode the audio";
    return false;
  }
  return WriteBytes(out_.data(), static_cast<size_t>(bytes));
}

bool Mp2Writer::Write(const int16_t* samples, size_t frames) {
  if (fd_ < 0 || !encoder_) {
    if (error_.empty()) error_ = "Error writing file " + path_ + ": the file is not open";
    return false;
  }
  if (writeFailed_) return false;

  size_t left = frames * channels_;
  const int16_t* p = samples;
  if (!pending_.empty()) {
    const size_t take = std::min(left, kChunkSamples - pending_.size());
    pending_.insert(pending_.end(), p, p + take);
    p += take;
    left -= take;
    if (pending_.size() < kChunkSamples) return true;
    const bool ok = EncodeChunk(pending_.data(), kChunkSamples);
    pending_.clear();
    if (!ok) return false;
  }
  for (; left >= kChunkSamples; p += kChunkSamples, left -= kChunkSamples) {
    if (!EncodeChunk(p, kChunkSamples)) return false;
  }
  pending_.insert(pending_.end(), p, p + left);
  return true;
}

bool Mp2Writer::Flush() {
  if (!pending_.empty()) {
    const bool ok = EncodeChunk(pending_.data(), pending_.size());
    pending_.clear();
    if (!ok) return false;
  }
  // Push the held-back tail of the clip out with silence; without it every
  // clip would lose its last 11 ms (at 44.1 kHz), the flush below only
  // completes the frame the encoder has started.
  if (samplesIn_ > 0) {
    const std::vector<int16_t> silence(kEncoderDelayFrames * channels_, 0);
    if (!EncodeChunk(silence.data(), silence.size())) return false;
  }
  const int bytes = twolame_encode_flush(encoder_, out_.data(), static_cast<int>(out_.size()));
  if (bytes < 0) {
    error_ = "Error writing file " + path_ + ": libtwolame could not finish the stream";
    return false;
  }
  return WriteBytes(out_.data(), static_cast<size_t>(bytes));
}

bool Mp2Writer::Close() {
  if (fd_ < 0) {
    Release();
    return true;
  }
  bool ok = writeFailed_ || Flush();
  if (::close(fd_) != 0 && ok) {
    error_ = "Error closing file " + path_ + ": " + std::strerror(errno);
    ok = false;
  }
  fd_ = -1;
  Release();
  return ok;
}

// ---------------------------------------------------------------------------

std::string Mp2Label(const Settings& s) {
  char text[64];
  std::snprintf(text, sizeof text, "%3d kbps; %5d Hz; ", Mp2Kbps(s.MP2.Bits), SampleRateOf(s));
  return std::string("MP2:  ") + text + StereoModeText(s);
}

}  // namespace tarvexa
