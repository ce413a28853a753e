#include "encoders/soundfile/WavWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "formats/FormatCatalogue.h"

namespace tarvexa {

namespace {

constexpr uint64_t kJunkAt = 12;    // "JUNK" / "ds64"
constexpr uint64_t kDs64Body = 28;  // riff size, data size, frames (64 bit), table length
constexpr uint64_t kFmtAt = kJunkAt + 8 + kDs64Body;

void Put16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
void Put32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void Put64(unsigned char* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

WavWriter::Layout WavWriter::LayoutOf(int subtype, int channels) {
  Layout l;
  switch (subtype) {
    case SF_FORMAT_PCM_U8: l.bitsPerSample = 8; break;
    case SF_FORMAT_PCM_16: l.bitsPerSample = 16; break;
    case SF_FORMAT_PCM_24: l.bitsPerSample = 24; break;
    case SF_FORMAT_PCM_32: l.bitsPerSample = 32; break;
    case SF_FORMAT_FLOAT:
      l.formatTag = 3;
      l.bitsPerSample = 32;
      l.fact = true;
      break;
    case SF_FORMAT_DOUBLE:
      l.formatTag = 3;
      l.bitsPerSample = 64;
      l.fact = true;
      break;
    case SF_FORMAT_ULAW:
      l.formatTag = 7, l.bitsPerSample = 8, l.fact = true, l.extensionSize = true;
      break;
    case SF_FORMAT_ALAW:
      l.formatTag = 6, l.bitsPerSample = 8, l.fact = true, l.extensionSize = true;
      break;
    default: l.formatTag = 0; break;
  }
  l.blockAlign = static_cast<uint16_t>(channels * (l.bitsPerSample / 8));
  return l;
}

bool WavWriter::Writes(const Settings& s) {
  const int word = SndfileFormatCode(s);
  if (s.OUTPUT.OutputFormat != kFormatWAV || (word & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAV)
    return false;
  return LayoutOf(word & SF_FORMAT_SUBMASK, 1).formatTag != 0;
}

WavWriter::WavWriter(const Settings& s) : settings_(s) {}

WavWriter::~WavWriter() { Close(); }

// The sub-encoder writes into encoded_; positions only ever move forward.
sf_count_t WavWriter::VirtualLength(void* self) {
  return static_cast<WavWriter*>(self)->encodedTotal_;
}
sf_count_t WavWriter::VirtualSeek(sf_count_t, int, void* self) {
  return static_cast<WavWriter*>(self)->encodedTotal_;
}
sf_count_t WavWriter::VirtualRead(void*, sf_count_t, void*) { return 0; }
sf_count_t WavWriter::VirtualWrite(const void* ptr, sf_count_t count, void* self) {
  auto* w = static_cast<WavWriter*>(self);
  const auto* bytes = static_cast<const unsigned char*>(ptr);
  w->encoded_.insert(w->encoded_.end(), bytes, bytes + count);
  w->encodedTotal_ += count;
  return count;
}
sf_count_t WavWriter::VirtualTell(void* self) {
  return static_cast<WavWriter*>(self)->encodedTotal_;
}

void WavWriter::Release() {
  if (encoder_) sf_close(encoder_);
  encoder_ = nullptr;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void WavWriter::Fail(const std::string& cause) {
  if (!failed_) error_ = "Error writing file " + path_ + ": " + cause;
  failed_ = true;
}

std::string WavWriter::Open(const std::string& path) {
  Close();
  path_ = path;
  error_.clear();
  failed_ = false;
  rf64_ = false;
  padded_ = false;
  dataBytes_ = 0;
  encoded_.clear();
  encodedTotal_ = 0;
  channels_ = ChannelsOf(settings_);
  rate_ = SampleRateOf(settings_);
  const int subtype = SndfileFormatCode(settings_) & SF_FORMAT_SUBMASK;
  layout_ = LayoutOf(subtype, channels_);

  SF_INFO info{};
  info.samplerate = rate_;
  info.channels = channels_;
  info.format = SF_FORMAT_RAW | subtype | SF_ENDIAN_LITTLE;
  SF_VIRTUAL_IO io{VirtualLength, VirtualSeek, VirtualRead, VirtualWrite, VirtualTell};
  if (layout_.formatTag == 0 || !sf_format_check(&info) ||
      !(encoder_ = sf_open_virtual(&io, SFM_WRITE, &info, this))) {
    error_ = "Invalid format!";
    return error_;
  }
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    Release();
    error_ = "Error : could not open file : " + path;
    return error_;
  }
  if (!WriteHeader()) {
    const std::string error = error_;
    Release();
    ::unlink(path.c_str());
    error_ = error;
    return error_;
  }
  return {};
}

bool WavWriter::WriteHeader() {
  // The whole header is sized first and filled in place (no growing while
  // it is built).
  const uint32_t fmtSize = layout_.extensionSize ? 18 : 16;
  std::vector<unsigned char> h(kFmtAt + 8 + fmtSize + (layout_.fact ? 12 : 0) + 8, 0);
  std::memcpy(&h[0], "RIFF", 4);
  std::memcpy(&h[8], "WAVE", 4);
  std::memcpy(&h[kJunkAt], "JUNK", 4);
  Put32(&h[kJunkAt + 4], static_cast<uint32_t>(kDs64Body));
  unsigned char fmt[8 + 18] = {};
  std::memcpy(fmt, "fmt ", 4);
  Put32(fmt + 4, fmtSize);
  Put16(fmt + 8, layout_.formatTag);
  Put16(fmt + 10, static_cast<uint16_t>(channels_));
  Put32(fmt + 12, static_cast<uint32_t>(rate_));
  Put32(fmt + 16, static_cast<uint32_t>(rate_) * layout_.blockAlign);
  Put16(fmt + 20, layout_.blockAlign);
  Put16(fmt + 22, layout_.bitsPerSample);
  size_t at = kFmtAt;
  std::memcpy(&h[at], fmt, 8 + fmtSize);
  at += 8 + fmtSize;
  if (layout_.fact) {
    const unsigned char fact[12] = {'f', 'a', 'c', 't', 4, 0, 0, 0, 0, 0, 0, 0};
    std::memcpy(&h[at], fact, sizeof fact);
    at += sizeof fact;
  }
  const unsigned char data[8] = {'d', 'a', 't', 'a', 0, 0, 0, 0};
  std::memcpy(&h[at], data, sizeof data);
  dataStart_ = h.size();
  Put32(&h[4], static_cast<uint32_t>(dataStart_ - 8));
  if (!WriteAll(h.data(), h.size(), 0)) {
    Fail(std::strerror(errno));
    return false;
  }
  return true;
}

bool WavWriter::WriteAll(const void* data, size_t size, uint64_t at) {
  const auto* p = static_cast<const unsigned char*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd_, p + done, size - done, static_cast<off_t>(at + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// The sizes in the header for the audio in the file now. Past the RIFF
// limit the file becomes RF64: the sizes move into the ds64 chunk (the
// former JUNK chunk) and the 32-bit fields say 0xFFFFFFFF. The ds64 values
// are written first, so that a kill at any point leaves a readable header.
bool WavWriter::UpdateSizes() {
  const uint64_t frames = layout_.blockAlign ? dataBytes_ / layout_.blockAlign : 0;
  const uint64_t riffSize = dataStart_ - 8 + dataBytes_ + (padded_ ? 1 : 0);
  const uint64_t factAt = dataStart_ - 8 - 12 + 8;  // the count in "fact"
  unsigned char v[kDs64Body] = {};
  if (!rf64_ && (riffSize > riffLimit_ || dataBytes_ > riffLimit_)) {
    rf64_ = true;
    Put64(v, riffSize);
    Put64(v + 8, dataBytes_);
    Put64(v + 16, frames);
    if (!WriteAll(v, kDs64Body, kJunkAt + 8) || !WriteAll("ds64", 4, kJunkAt)) return false;
    unsigned char unknown[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    if (!WriteAll(unknown, 4, dataStart_ - 4) || (layout_.fact && !WriteAll(unknown, 4, factAt))) {
      return false;
    }
    const unsigned char head[8] = {'R', 'F', '6', '4', 0xFF, 0xFF, 0xFF, 0xFF};
    return WriteAll(head, 8, 0);
  }
  if (rf64_) {
    Put64(v, riffSize);
    Put64(v + 8, dataBytes_);
    Put64(v + 16, frames);
    return WriteAll(v, 24, kJunkAt + 8);
  }
  Put32(v, static_cast<uint32_t>(riffSize));
  Put32(v + 4, static_cast<uint32_t>(dataBytes_));
  Put32(v + 8, static_cast<uint32_t>(frames));
  return WriteAll(v, 4, 4) && WriteAll(v + 4, 4, dataStart_ - 4) &&
         (!layout_.fact || WriteAll(v + 8, 4, factAt));
}

bool WavWriter::Write(const int16_t* samples, size_t frames) {
  if (fd_ < 0) {
    if (error_.empty()) error_ = "Error writing file " + path_ + ": the file is not open";
    return false;
  }
  if (failed_) return false;
  if (frames == 0) return true;

  encoded_.clear();
  const sf_count_t wanted = static_cast<sf_count_t>(frames);
  if (sf_writef_short(encoder_, samples, wanted) != wanted) {
    Fail(sf_strerror(encoder_));
    return false;
  }
  const size_t size = encoded_.size();
  size_t done = 0;
  int cause = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd_, encoded_.data() + done, size - done,
                               static_cast<off_t>(dataStart_ + dataBytes_ + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      cause = n < 0 ? errno : ENOSPC;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (cause != 0) {
    // Keep the whole frames that made it; cut off the partial one.
    const uint64_t whole = done / layout_.blockAlign * layout_.blockAlign;
    dataBytes_ += whole;
    if (::ftruncate(fd_, static_cast<off_t>(dataStart_ + dataBytes_)) != 0) {
      // The header below still covers only whole frames.
    }
    UpdateSizes();
    Fail(std::strerror(cause));
    return false;
  }
  dataBytes_ += size;
  if (!UpdateSizes()) {
    Fail(std::strerror(errno));
    return false;
  }
  return true;
}

bool WavWriter::Close() {
  if (fd_ < 0) {
    Release();
    return true;
  }
  bool ok = true;
  if (!failed_) {
    // RIFF chunks have an even length: an odd data chunk gets a pad byte.
    if (dataBytes_ & 1) {
      const unsigned char pad = 0;
      if (!WriteAll(&pad, 1, dataStart_ + dataBytes_)) {
        Fail(std::strerror(errno));
        ok = false;
      } else {
        padded_ = true;
      }
    }
    if (ok && !UpdateSizes()) {
      Fail(std::strerror(errno));
      ok = false;
    }
  }
  sf_close(encoder_);
  encoder_ = nullptr;
  if (::close(fd_) != 0 && ok && !failed_) {
    Fail(std::strerror(errno));
    ok = false;
  }
  fd_ = -1;
  // A failure already reported by Write is not reported again.
  return ok;
}

}  // namespace tarvexa
