#include "AsfWmaOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include "FfmpegLog.h"

namespace tarvexa::wma {

namespace {

// ---------------------------------------------------------------------------
// ASF layout, as far as the index needs it. GUIDs in file byte order.

using Guid = uint8_t[16];
constexpr Guid kHeaderObject = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kFilePropertiesObject = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                        0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr Guid kDataObject = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kSimpleIndexObject = {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11,
                                     0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB};

constexpr int kDataObjectHeader = 50;  // GUID, size, file id, packet count, reserved
constexpr int64_t kIndexIntervalMs = 1000;

// The data packet layout FFmpeg's muxer writes: a packet header (error
// correction 3, length type and property flags 2, send time 4, duration 2);
// with several payloads a payload-flags byte and per payload its header
// (stream, object number, offset 4, replicated length, replicated data 8,
// payload length 2); with one payload its header without the length.
constexpr int kPacketHeader = 11;
constexpr int kMultiPayloadHeader = 17;
constexpr int kSinglePayloadHeader = 15;
constexpr int kUsualPacketSize = 3200;

uint64_t Le(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

void PutLe(std::vector<uint8_t>& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

bool PreadAll(int fd, void* buf, size_t size, off_t at) {
  auto* p = static_cast<uint8_t*>(buf);
  while (size > 0) {
    const ssize_t n = pread(fd, p, size, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    at += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool PwriteAll(int fd, const void* buf, size_t size, off_t at) {
  const auto* p = static_cast<const uint8_t*>(buf);
  while (size > 0) {
    const ssize_t n = pwrite(fd, p, size, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    p += n;
    at += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

struct AsfLayout {
  int64_t fileProperties = -1;  // offset of the File Properties Object
  uint8_t fileId[16] = {};
  int64_t prerollMs = 0;
  uint32_t packetSize = 0;
  int64_t dataObject = -1;  // offset of the Data Object
  uint64_t dataSize = 0;    // its size as the header says
};

// Reads the header and the Data Object's head from the file.
bool ReadAsfLayout(int fd, AsfLayout* l) {
  uint8_t head[30];
  if (!PreadAll(fd, head, sizeof head, 0) || std::memcmp(head, kHeaderObject, 16) != 0)
    return false;
  const uint64_t headerSize = Le(head + 16, 8);
  if (headerSize < 30 || headerSize > (1u << 20)) return false;
  std::vector<uint8_t> h(headerSize);
  if (!PreadAll(fd, h.data(), h.size(), 0)) return false;
  for (uint64_t at = 30; at + 24 <= headerSize;) {
    const uint64_t size = Le(&h[at + 16], 8);
    if (size < 24 || at + size > headerSize) return false;
    if (std::memcmp(&h[at], kFilePropertiesObject, 16) == 0 && size >= 104) {
      l->fileProperties = static_cast<int64_t>(at);
      std::memcpy(l->fileId, &h[at + 24], 16);
      l->prerollMs = static_cast<int64_t>(Le(&h[at + 80], 8));
      l->packetSize = static_cast<uint32_t>(Le(&h[at + 92], 4));
    }
    at += size;
  }
  uint8_t data[24];
  if (!PreadAll(fd, data, sizeof data, static_cast<off_t>(headerSize)) ||
      std::memcmp(data, kDataObject, 16) != 0)
    return false;
  l->dataObject = static_cast<int64_t>(headerSize);
  l->dataSize = Le(data + 16, 8);
  return l->fileProperties >= 0 && l->packetSize > 0;
}

// ---------------------------------------------------------------------------
// Our own file I/O under the muxer: every byte is written or the write
// fails (short writes included), and errors keep their errno.

#if LIBAVFORMAT_VERSION_MAJOR >= 61
using WriteBuffer = const uint8_t*;
#else
using WriteBuffer = uint8_t*;
#endif

int WriteToFile(void* opaque, WriteBuffer buf, int size) {
  const int fd = *static_cast<int*>(opaque);
  int done = 0;
  while (done < size) {
    const ssize_t n = write(fd, buf + done, static_cast<size_t>(size - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0 ? AVERROR(EIO) : AVERROR(errno);
    done += static_cast<int>(n);
  }
  return done;
}

int64_t SeekInFile(void* opaque, int64_t offset, int whence) {
  const int fd = *static_cast<int*>(opaque);
  if (whence & AVSEEK_SIZE) {
    struct stat st {};
    return fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : AVERROR(errno);
  }
  const off_t at = lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
  return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
}

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace

int AsfPacketSizeFor(int frameBytes) {
  const int perFrame = frameBytes + kMultiPayloadHeader;
  const int frames = (kUsualPacketSize - kPacketHeader - 1) / perFrame;
  if (frames >= 2) return kPacketHeader + 1 + frames * perFrame;
  return kPacketHeader + kSinglePayloadHeader + frameBytes;
}

AsfWmaOutput::~AsfWmaOutput() { Release(); }

void AsfWmaOutput::Release() {
  if (format_) {
    format_->pb = nullptr;
    avformat_free_context(format_);
    format_ = nullptr;
    stream_ = nullptr;
  }
  if (io_) {
    av_freep(&io_->buffer);
    avio_context_free(&io_);
  }
  avcodec_free_context(&codec_);
  swr_free(&swr_);
  if (fifo_) av_audio_fifo_free(fifo_);
  fifo_ = nullptr;
  av_frame_free(&frame_);
  av_packet_free(&packet_);
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  planes_.clear();
  index_.clear();
}

bool AsfWmaOutput::Fail(std::string* error, const std::string& what, int code) {
  std::string text = what;
  if (code != 0) text += ": " + ErrorText(code);
  const std::string detail = LastFfmpegMessage();
  if (!detail.empty()) text += " (" + detail + ")";
  *error = text;
  failed_ = true;
  return false;
}

bool AsfWmaOutput::Open(const std::string& path, const StreamFormat& f, std::string* error) {
  Release();
  path_ = path;
  f_ = f;
  failed_ = false;
  nextPts_ = 0;
  shiftMs_ = -1;
  endMs_ = 0;
  ClearFfmpegMessage();

  // The encoder first: a format it refuses leaves no file behind.
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
  if (!codec) return Fail(error, "This FFmpeg has no WMA v2 encoder", 0);
  codec_ = avcodec_alloc_context3(codec);
  if (!codec_) return Fail(error, "Out of memory", AVERROR(ENOMEM));
  codec_->sample_fmt = AV_SAMPLE_FMT_FLTP;
  codec_->sample_rate = f.rate;
  av_channel_layout_default(&codec_->ch_layout, f.channels);
  codec_->bit_rate = f.bitrate;
  codec_->time_base = AVRational{1, f.rate};
  codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // the ASF stream header carries it
  if (int rc = avcodec_open2(codec_, codec, nullptr); rc < 0) {
    const std::string what = "The WMA encoder refused " + std::to_string(f.rate) + " Hz, " +
                             std::to_string(f.channels) + " channel(s) at " +
                             std::to_string(f.bitrate / 1000) + " kbps";
    bool ok = Fail(error, what, rc);
    Release();
    return ok;
  }

  // The resampler: 16-bit interleaved input to the file's rate, channels and
  // float planes. A mono input goes to both channels at full level, a stereo
  // one is averaged for a mono file.
  AVChannelLayout in = {};
  av_channel_layout_default(&in, f.inChannels);
  int rc = swr_alloc_set_opts2(&swr_, &codec_->ch_layout, AV_SAMPLE_FMT_FLTP, f.rate, &in,
                               AV_SAMPLE_FMT_S16, f.inRate, 0, nullptr);
  av_channel_layout_uninit(&in);
  if (rc >= 0 && f.inChannels != f.channels) {
    const double upmix[2] = {1.0, 1.0};    // out L, R from the one input
    const double downmix[2] = {0.5, 0.5};  // out mono from L and R
    rc = f.inChannels == 1 ? swr_set_matrix(swr_, upmix, 1) : swr_set_matrix(swr_, downmix, 2);
  }
  if (rc >= 0) rc = swr_init(swr_);
  if (rc < 0) {
    bool ok = Fail(error, "The resampler refused the input format", rc);
    Release();
    return ok;
  }
  fifo_ = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, f.channels, codec_->frame_size * 2);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!fifo_ || !frame_ || !packet_) {
    Release();
    *error = "Out of memory";
    return false;
  }
  frame_->format = AV_SAMPLE_FMT_FLTP;
  frame_->sample_rate = f.rate;
  frame_->nb_samples = codec_->frame_size;
  av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout);
  if ((rc = av_frame_get_buffer(frame_, 0)) < 0) {
    bool ok = Fail(error, "Out of memory", rc);
    Release();
    return ok;
  }
  planes_.assign(static_cast<size_t>(f.channels), {});

  // The file.
  fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    *error = "Error creating file " + path + ": " + std::strerror(errno);
    Release();
    return false;
  }
  if (!StartFile(error)) {
    // Nothing of use is in the file yet.
    Release();
    unlink(path.c_str());
    return false;
  }
  return true;
}

// The muxer over our own file I/O, and the header with its packet size.
bool AsfWmaOutput::StartFile(std::string* error) {
  constexpr int kIoBuffer = 1 << 16;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBuffer));
  io_ = buffer ? avio_alloc_context(buffer, kIoBuffer, 1, &fd_, nullptr, WriteToFile, SeekInFile)
               : nullptr;
  if (!io_) {
    av_free(buffer);
    *error = "Out of memory";
    return false;
  }
  int rc = avformat_alloc_output_context2(&format_, nullptr, "asf", nullptr);
  if (rc < 0 || !format_) return Fail(error, "This FFmpeg has no ASF muxer", rc);
  format_->pb = io_;
  stream_ = avformat_new_stream(format_, nullptr);
  if (!stream_ || avcodec_parameters_from_context(stream_->codecpar, codec_) < 0) {
    *error = "Out of memory";
    return false;
  }
  stream_->time_base = codec_->time_base;

  packetSize_ = AsfPacketSizeFor(codec_->block_align);
  AVDictionary* options = nullptr;
  av_dict_set_int(&options, "packet_size", packetSize_, 0);
  rc = avformat_write_header(format_, &options);
  const bool unused = av_dict_count(options) > 0;
  av_dict_free(&options);
  if (rc >= 0) {
    avio_flush(io_);
    if (io_->error < 0) rc = io_->error;
  }
  if (rc < 0) return Fail(error, "Error writing the header of " + path_, rc);
  AsfLayout layout;
  if (unused || !ReadAsfLayout(fd_, &layout) ||
      layout.packetSize != static_cast<uint32_t>(packetSize_) ||
      avio_tell(io_) != layout.dataObject + kDataObjectHeader) {
    // A muxer that wrote something else than ASF's layout with our packets.
    *error = "The ASF muxer of this FFmpeg wrote an unexpected header";
    return false;
  }
  dataStart_ = layout.dataObject + kDataObjectHeader;
  prerollMs_ = layout.prerollMs;
  return true;
}

bool AsfWmaOutput::Write(const int16_t* samples, size_t count, std::string* error) {
  if (!IsOpen()) {
    *error = "No WMA file is open";
    return false;
  }
  if (failed_) {
    *error = "Writing " + path_ + " failed before";
    return false;
  }
  ClearFfmpegMessage();
  const int frames = static_cast<int>(count / static_cast<size_t>(f_.inChannels));
  const auto* in = reinterpret_cast<const uint8_t*>(samples);
  return Convert(&in, frames, error) && EncodeFrames(false, error) && Flush(error);
}

bool AsfWmaOutput::Convert(const uint8_t** in, int frames, std::string* error) {
  for (;;) {
    const int room = swr_get_out_samples(swr_, frames);
    if (room < 0) return Fail(error, "Resampling failed", room);
    if (room == 0) return true;
    std::vector<uint8_t*> out;
    for (auto& plane : planes_) {
      if (plane.size() < static_cast<size_t>(room)) plane.resize(static_cast<size_t>(room));
      out.push_back(reinterpret_cast<uint8_t*>(plane.data()));
    }
    const int made = swr_convert(swr_, out.data(), room, in, frames);
    if (made < 0) return Fail(error, "Resampling failed", made);
    if (made > 0 && av_audio_fifo_write(fifo_, reinterpret_cast<void**>(out.data()), made) < made)
      return Fail(error, "Out of memory", AVERROR(ENOMEM));
    // A flush (no input) is repeated until the resampler is empty.
    if (in != nullptr || made == 0) return true;
  }
}

bool AsfWmaOutput::EncodeFrames(bool final, std::string* error) {
  const int size = codec_->frame_size;
  while (av_audio_fifo_size(fifo_) >= size || (final && av_audio_fifo_size(fifo_) > 0)) {
    int rc = av_frame_make_writable(frame_);
    if (rc < 0) return Fail(error, "Out of memory", rc);
    const int got = av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->data), size);
    // The encoder takes whole frames only: the last one is filled with silence.
    if (got < size) {
      av_samples_set_silence(frame_->data, std::max(got, 0), size - std::max(got, 0), f_.channels,
                             AV_SAMPLE_FMT_FLTP);
    }
    frame_->nb_samples = size;
    frame_->pts = nextPts_;
    nextPts_ += size;
    if ((rc = avcodec_send_frame(codec_, frame_)) < 0) return Fail(error, "Encoding failed", rc);
    if (!Drain(error)) return false;
  }
  return true;
}

// Hands every finished superframe to the muxer, noting for the index which
// data packet each second of presentation time starts in.
bool AsfWmaOutput::Drain(std::string* error) {
  for (;;) {
    int rc = avcodec_receive_packet(codec_, packet_);
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
    if (rc < 0) return Fail(error, "Encoding failed", rc);
    av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);  // to ms
    packet_->stream_index = stream_->index;
    const int64_t pts = packet_->pts == AV_NOPTS_VALUE ? 0 : packet_->pts;
    if (shiftMs_ < 0) shiftMs_ = std::max<int64_t>(0, -pts);
    const int64_t end = pts + shiftMs_ + prerollMs_ + packet_->duration;
    // Packets are sized to end on a whole superframe, so this one goes into
    // the packet being filled, and it holds the seconds that start before
    // its end.
    const auto packet = static_cast<uint32_t>((avio_tell(io_) - dataStart_) / packetSize_);
    while (static_cast<int64_t>(index_.size()) * kIndexIntervalMs < end) index_.push_back(packet);
    endMs_ = std::max(endMs_, end);
    rc = av_write_frame(format_, packet_);
    av_packet_unref(packet_);
    if (rc < 0) return Fail(error, "Error writing " + path_, rc);
  }
}

// Every data packet the muxer has finished goes to the file now.
bool AsfWmaOutput::Flush(std::string* error) {
  avio_flush(io_);
  if (io_->error < 0) return Fail(error, "Error writing " + path_, io_->error);
  return true;
}

bool AsfWmaOutput::Close(std::string* error) {
  if (!IsOpen()) return true;
  if (failed_) {
    // Reported already; the file keeps the packets written before the
    // failure, behind the header of an unfinished file, which readers take
    // to the end of the data.
    Release();
    return true;
  }
  ClearFfmpegMessage();
  bool ok = Convert(nullptr, 0, error) && EncodeFrames(true, error);
  if (ok) {
    const int rc = avcodec_send_frame(codec_, nullptr);
    ok = rc >= 0 ? Drain(error) : Fail(error, "Encoding failed", rc);
  }
  if (ok) {
    const int rc = av_write_trailer(format_);
    ok = rc >= 0 ? Flush(error) : Fail(error, "Error finishing " + path_, rc);
  }
  if (ok) ok = WriteIndex(error);
  if (ok) {
    const int rc = close(fd_);
    fd_ = -1;
    if (rc != 0) ok = Fail(error, "Error closing " + path_, AVERROR(errno));
  }
  Release();
  return ok;
}

// The Simple Index Object after the data, and the file size in the header
// that the muxer wrote before it.
bool AsfWmaOutput::WriteIndex(std::string* error) {
  AsfLayout l;
  if (!ReadAsfLayout(fd_, &l) || l.dataSize < kDataObjectHeader)
    return Fail(error, "The ASF muxer left an unexpected header in " + path_, 0);
  const uint64_t packets = (l.dataSize - kDataObjectHeader) / static_cast<uint64_t>(packetSize_);
  const uint32_t last = packets > 0 ? static_cast<uint32_t>(packets - 1) : 0;
  // One entry past the end, as FFmpeg's own index has.
  while (static_cast<int64_t>(index_.size()) * kIndexIntervalMs <= endMs_) index_.push_back(last);
  for (uint32_t& entry : index_) entry = std::min(entry, last);

  std::vector<uint8_t> index(kSimpleIndexObject, kSimpleIndexObject + 16);
  PutLe(index, 56 + 6 * static_cast<uint64_t>(index_.size()), 8);
  index.insert(index.end(), l.fileId, l.fileId + 16);
  PutLe(index, static_cast<uint64_t>(kIndexIntervalMs) * 10000, 8);  // in 100 ns
  PutLe(index, 1, 4);  // each entry's superframe lies in one packet
  PutLe(index, index_.size(), 4);
  for (uint32_t entry : index_) {
    PutLe(index, entry, 4);
    PutLe(index, 1, 2);
  }
  const auto at = static_cast<off_t>(l.dataObject + static_cast<int64_t>(l.dataSize));
  std::vector<uint8_t> size;
  PutLe(size, static_cast<uint64_t>(at) + index.size(), 8);
  if (!PwriteAll(fd_, index.data(), index.size(), at) ||
      !PwriteAll(fd_, size.data(), size.size(), static_cast<off_t>(l.fileProperties + 40))) {
    return Fail(error, "Error writing the index of " + path_, AVERROR(errno));
  }
  return true;
}

}  // namespace tarvexa::wma
