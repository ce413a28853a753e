// The WavPack writer: the library packs 16-bit samples into blocks and hands
// each finished block to BlockOutput, which writes it to the ".wv" file (and
// its correction part to the ".wvc" file).
//
// Blocks are written the moment the library finishes them, so a recording
// that is killed leaves files that decode up to their last block; the first
// block then says "length unknown", which decoders accept. At a normal end
// the first block of each file is read back and rewritten with the real
// sample count. A block that cannot be written (disk full) is cut off again,
// so the file ends on a whole block, and the failure is reported.
#include "encoders/wavpack/WavPackWriter.h"

#include <fcntl.h>
#include <unistd.h>
#include <wavpack/wavpack.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "formats/FormatCatalogue.h"

namespace tarvexa {

namespace {

// Samples (not frames) widened and packed per library call.
constexpr size_t kPackSamples = 4096;

constexpr int kChannelMaskStereo = 0x3;  // front left, front right
constexpr int kChannelMaskMono = 0x4;    // front centre

WavpackConfig ConfigurationOf(const Settings& s) {
  const auto& wv = s.WV;
  WavpackConfig c;
  std::memset(&c, 0, sizeof c);
  c.bits_per_sample = 16;
  c.bytes_per_sample = 2;
  c.num_channels = ChannelsOf(s);
  c.sample_rate = SampleRateOf(s);
  c.channel_mask = c.num_channels == 2 ? kChannelMaskStereo : kChannelMaskMono;

  switch (wv.ComLev) {
    case 0: c.flags |= CONFIG_FAST_FLAG; break;
    case 2: c.flags |= CONFIG_HIGH_FLAG; break;
    case 3: c.flags |= CONFIG_VERY_HIGH_FLAG; break;
    default: break;  // normal
  }
  if (wv.SteMod == 1) {
    c.flags |= CONFIG_JOINT_OVERRIDE;
    c.flags &= ~CONFIG_JOINT_STEREO;
  } else if (wv.SteMod == 2) {
    c.flags |= CONFIG_JOINT_OVERRIDE | CONFIG_JOINT_STEREO;
  }
  if (wv.ExtMod != 0) {
    c.flags |= CONFIG_EXTRA_MODE;
    c.xmode = std::clamp<int>(wv.ExtMod, 1, 6);  // the levels the library knows
  }
  if (wv.EnableBlkSize) c.block_samples = wv.BlkSize;

  if (wv.EncMod) {
    c.flags |= CONFIG_HYBRID_FLAG | CONFIG_BITRATE_KBPS;
    if (wv.OptWvc) {
      c.flags |= CONFIG_OPTIMIZE_WVC;  // bitrate stays 0: the library's lowest
    } else {
      c.bitrate = static_cast<float>(wv.Kbps);
    }
    if (wv.CrtWvc) c.flags |= CONFIG_CREATE_WVC;
    if (wv.CalNos) c.flags |= CONFIG_CALC_NOISE;
    if (wv.EnableShape) {
      // The slider gives -100..100; a hand-edited value is held to the range.
      const float weight = std::clamp(static_cast<float>(wv.Shape) * 0.01f, -1.0f, 1.0f);
      c.shaping_weight = weight;
      c.flags |= CONFIG_SHAPE_OVERRIDE;
      if (weight == 0.0f)
        c.flags &= ~CONFIG_HYBRID_SHAPE;
      else
        c.flags |= CONFIG_HYBRID_SHAPE;
    } else {
      c.flags |= CONFIG_DYNAMIC_SHAPING;
    }
  } else if (wv.EnableBlkSize && wv.Merge) {
    // "Merge Blocks" is offered only with an own block size.
    c.flags |= CONFIG_MERGE_BLOCKS;
  }
  return c;
}

int CreateFile(const std::string& path) {
  return ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

}  // namespace

WavPackWriter::WavPackWriter(const Settings& s) : settings_(s) {}

// A writer dropped without Close still finishes its file.
WavPackWriter::~WavPackWriter() { Close(); }

std::string WavPackWriter::CorrectionPathFor(const std::string& path) {
  const std::string ext = ".wv";
  if (path.size() >= ext.size() && path.compare(path.size() - ext.size(), ext.size(), ext) == 0) {
    return path + "c";
  }
  return path + ".wvc";
}

void WavPackWriter::RemoveFiles(const std::string& path) const {
  ::unlink(path.c_str());
  if (withCorrection_) ::unlink(CorrectionPathFor(path).c_str());
}

void WavPackWriter::Release() {
  if (context_) context_ = WavpackCloseFile(context_);
  context_ = nullptr;
  for (Stream* s : {&wv_, &wvc_}) {
    if (s->fd >= 0) ::close(s->fd);
    s->fd = -1;
  }
}

int WavPackWriter::BlockOutput(void* id, void* data, int32_t bcount) {
  auto* stream = static_cast<Stream*>(id);
  if (!stream) return 1;
  if (stream->error) return 0;
  if (stream->fd < 0 || !data || bcount <= 0) return 1;

  const auto* bytes = static_cast<const unsigned char*>(data);
  const size_t size = static_cast<size_t>(bcount);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(stream->fd, bytes + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // No progress: cut the partial block off so the file ends on a whole
    // block, and stop writing this stream.
    stream->errorCause = n < 0 ? errno : ENOSPC;
    if (ftruncate(stream->fd, static_cast<off_t>(stream->bytesWritten)) != 0) {
      // The file keeps its partial block; decoders skip it.
    }
    ::close(stream->fd);
    stream->fd = -1;
    stream->error = true;
    return 0;
  }
  stream->bytesWritten += size;
  if (stream->firstBlockSize == 0) stream->firstBlockSize = static_cast<uint32_t>(size);
  return 1;
}

std::string WavPackWriter::Open(const std::string& path) {
  Close();  // a clip still open is finished, not thrown away
  path_ = path;
  error_.clear();
  writeFailed_ = false;
  channels_ = ChannelsOf(settings_);
  wv_ = Stream{};
  wvc_ = Stream{};
  withCorrection_ = settings_.WV.EncMod && settings_.WV.CrtWvc;

  context_ = WavpackOpenFileOutput(BlockOutput, &wv_, withCorrection_ ? &wvc_ : nullptr);
  if (!context_) {
    error_ = "Error: the WavPack encoder could not be started.";
    return error_;
  }

  wv_.path = path;
  wv_.fd = CreateFile(path);
  if (wv_.fd < 0) {
    Release();
    error_ = "Can't create file " + path + "!\n";
    return error_;
  }

  WavpackConfig config = ConfigurationOf(settings_);
  if (withCorrection_) {
    wvc_.path = CorrectionPathFor(path);
    wvc_.fd = CreateFile(wvc_.path);
    if (wvc_.fd < 0) {
      Release();
      ::unlink(path.c_str());
      error_ = "Can't create correction file " + wvc_.path + "!\n";
      return error_;
    }
  }

  // Total samples unknown (-1): the count is written into the first block
  // at the end.
  if (!WavpackSetConfiguration64(context_, &config, -1, nullptr) || !WavpackPackInit(context_)) {
    error_ = std::string("Error: configuring WavPack encoder failed: ") +
             WavpackGetErrorMessage(context_);
    Release();
    ::unlink(path.c_str());
    if (withCorrection_) ::unlink(wvc_.path.c_str());
    return error_;
  }
  converted_.resize(kPackSamples);
  return {};
}

bool WavPackWriter::FailedStream() {
  writeFailed_ = true;
  const Stream* failed = wv_.error ? &wv_ : wvc_.error ? &wvc_ : nullptr;
  if (failed) {
    error_ = "Error writing file " + failed->path + ": " + std::strerror(failed->errorCause);
  } else {
    error_ = "Error writing file " + path_ + ": " + WavpackGetErrorMessage(context_);
  }
  return false;
}

bool WavPackWriter::PackConverted(size_t samples) {
  const auto frames = static_cast<uint32_t>(samples / static_cast<size_t>(channels_));
  if (!WavpackPackSamples(context_, converted_.data(), frames)) return FailedStream();
  return true;
}

bool WavPackWriter::Write(const int16_t* samples, size_t frames) {
  if (!context_ || wv_.fd < 0) {
    if (error_.empty()) error_ = "Error writing file " + path_ + ": the file is not open";
    return false;
  }
  if (writeFailed_) return false;

  const size_t total = frames * static_cast<size_t>(channels_);
  for (size_t at = 0; at < total; at += kPackSamples) {
    const size_t n = std::min(kPackSamples, total - at);
    const int16_t* in = samples + at;
    int32_t* out = converted_.data();
    for (size_t i = 0; i < n; ++i) out[i] = in[i];
    if (!PackConverted(n)) return false;
  }
  return true;
}

void WavPackWriter::RewriteSampleCount(Stream& stream) {
  if (stream.fd < 0 || stream.error || stream.firstBlockSize == 0) return;
  std::vector<unsigned char> block(stream.firstBlockSize);
  if (::pread(stream.fd, block.data(), block.size(), 0) != static_cast<ssize_t>(block.size())) {
    return;  // the count stays "unknown", which decoders accept
  }
  WavpackUpdateNumSamples(context_, block.data());
  if (::pwrite(stream.fd, block.data(), block.size(), 0) != static_cast<ssize_t>(block.size())) {
    if (error_.empty()) {
      error_ = "Error writing file " + stream.path + ": " + std::strerror(errno);
    }
  }
}

bool WavPackWriter::Close() {
  if (!context_) {
    Release();
    return true;
  }
  bool ok = true;
  if (!writeFailed_) {
    if (!WavpackFlushSamples(context_)) {
      FailedStream();
      ok = false;
    } else {
      const std::string before = error_;
      RewriteSampleCount(wv_);
      if (withCorrection_) RewriteSampleCount(wvc_);
      if (error_ != before) ok = false;
    }
  }
  for (Stream* s : {&wv_, &wvc_}) {
    if (s->fd >= 0 && ::close(s->fd) != 0 && ok) {
      error_ = "Error closing file " + s->path + ": " + std::strerror(errno);
      ok = false;
    }
    s->fd = -1;
  }
  Release();
  return ok;
}

// ---------------------------------------------------------------------------

std::string WavPackLabel(const Settings& s) {
  const auto& wv = s.WV;
  std::string label = "WV:   ";
  if (wv.EncMod) {
    label += wv.CrtWvc ? "WavPack Hybrid Lossless Mode; " : "WavPack Hybrid Lossy Mode; ";
  } else {
    label += "WavPack Pure Lossless Mode; ";
  }
  switch (wv.ComLev) {
    case 0: label += "Compression Level Fast; "; break;
    case 2: label += "Compression Level High; "; break;
    case 3: label += "Compression Level Very High; "; break;
    default: label += "Compression Level Normal; "; break;
  }
  char rate[32];
  std::snprintf(rate, sizeof rate, " %d Hz; ", SampleRateOf(s));
  label += rate;
  label += s.OUTPUT.Chan == 1 ? " Mono;" : " Stereo;";
  return label;
}

}  // namespace tarvexa
