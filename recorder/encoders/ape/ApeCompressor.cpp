#include "ApeCompressor.h"

#include <fcntl.h>
#include <nettle/md5.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tarvexa::ape {

namespace {

constexpr size_t kWordFlushBytes = 256 * 1024;
constexpr uint64_t kMaxSeekEntries = uint64_t(1) << 24;  // a 64 MB table at most

bool ValidLevel(int level) { return level >= 1000 && level <= 5000 && level % 1000 == 0; }

}  // namespace

struct Compressor::Md5 {
  md5_ctx ctx;
  Md5() { md5_init(&ctx); }
  void Add(const uint8_t* p, size_t n) { md5_update(&ctx, n, p); }
};

Compressor::Compressor() : md5_(std::make_unique<Md5>()) {}

Compressor::~Compressor() {
  if (fd_ >= 0) close(fd_);
}

int Compressor::SetFrameBlocks(int blocks) {
  if (started_) return kMacErrorBadParameter;
  if (blocks < 1 || uint32_t(blocks) > kMaxFrameBlocks) return kMacErrorBadParameter;
  frameBlocksOverride_ = uint32_t(blocks);
  return kMacSuccess;
}

int Compressor::Start(const char* path, const MacWaveFormat* format, int64_t maxAudioBytes,
                      int level, const void* headerData, int headerBytes) {
  if (started_) return kMacErrorBadParameter;
  if (!path || !*path || !format || headerData) return kMacErrorBadParameter;
  const MacWaveFormat& f = *format;
  const uint32_t bits = f.bitsPerSample;
  if (f.formatTag != 1 || (f.channels != 1 && f.channels != 2) ||
      (bits != 8 && bits != 16 && bits != 24) || f.samplesPerSec == 0 ||
      f.blockAlign != f.channels * bits / 8) {
    return kMacErrorBadWaveFormat;
  }
  if (!ValidLevel(level)) return kMacErrorBadLevel;
  if (maxAudioBytes < kMacUnknownAudioBytes) return kMacErrorBadParameter;

  align_ = f.blockAlign;
  header_ = FileHeader();
  header_.level = uint16_t(level);
  header_.formatFlags = headerBytes <= 0 ? kFlagCreateWavHeader : 0;
  if (headerBytes > 0) return kMacErrorBadParameter;  // no stored WAV header
  header_.blocksPerFrame =
      frameBlocksOverride_ ? frameBlocksOverride_ : DefaultFrameBlocks(level, f.samplesPerSec);
  header_.bitsPerSample = uint16_t(bits);
  header_.channels = f.channels;
  header_.sampleRate = f.samplesPerSec;

  const uint64_t bpf = header_.blocksPerFrame;
  const uint64_t blocks = maxAudioBytes < 0 ? uint64_t(kMacUnknownLengthSeconds) * f.samplesPerSec
                                            : uint64_t(maxAudioBytes) / align_;
  const uint64_t entries = std::max<uint64_t>(1, (blocks + bpf - 1) / bpf);
  if (entries > kMaxSeekEntries) return kMacErrorBadParameter;
  seekEntries_ = uint32_t(entries);
  header_.seekTableBytes = seekEntries_ * 4;
  firstFrame_ = kFixedHeadBytes + uint64_t(header_.seekTableBytes);

  // Everything is checked: only now is the file touched.
  fd_ = open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) return kMacErrorOpenFile;
  const auto head = header_.Bytes();
  WriteAt(head.data(), head.size(), 0);
  const std::vector<uint8_t> zeros(std::min<size_t>(header_.seekTableBytes, 64 * 1024), 0);
  for (uint64_t at = 0; at < header_.seekTableBytes && !error_; at += zeros.size()) {
    WriteAt(zeros.data(), std::min<uint64_t>(zeros.size(), header_.seekTableBytes - at),
            kFixedHeadBytes + at);
  }
  if (error_) {
    close(fd_);
    fd_ = -1;
    return error_;
  }

  encoder_ = std::make_unique<FrameEncoder>(level, f.channels, int(bits));
  frame_.assign(size_t(bpf) * align_, 0);
  seek_.reserve(std::min<uint64_t>(entries, 4096));
  started_ = true;
  return kMacSuccess;
}

int Compressor::AddData(const uint8_t* data, size_t bytes) {
  if (!started_ || finished_) return kMacErrorNotStarted;
  if (error_) return error_;
  if (!data && bytes > 0) return kMacErrorBadParameter;
  const uint64_t capacity = uint64_t(seekEntries_) * header_.blocksPerFrame * align_;
  const bool full = acceptedBytes_ + bytes > capacity;
  size_t left = full ? size_t(capacity - acceptedBytes_) : bytes;
  acceptedBytes_ += left;
  while (left > 0 && !error_) {
    const size_t take = std::min(left, frame_.size() - frameFill_);
    std::memcpy(frame_.data() + frameFill_, data, take);
    frameFill_ += take;
    data += take;
    left -= take;
    if (frameFill_ == frame_.size()) EncodeFrame(header_.blocksPerFrame);
  }
  if (error_) return error_;
  return full ? kMacErrorFileFull : kMacSuccess;
}

int Compressor::Finish() {
  if (!started_ || finished_) return kMacErrorNotStarted;
  finished_ = true;
  // After a failure AddData has reported, the file keeps the frames before it.
  int lastFrameError = kMacSuccess;
  if (!error_) {
    const uint32_t blocks = uint32_t(frameFill_ / align_);
    if (blocks > 0) {
      EncodeFrame(blocks);
    } else if (header_.totalFrames == 0) {
      // No audio at all: one frame of one silent sample frame keeps the
      // file a valid one that every decoder opens.
      std::fill_n(frame_.begin(), align_, uint8_t(header_.bitsPerSample == 8 ? 0x80 : 0));
      EncodeFrame(1);
    }
    lastFrameError = error_;  // EncodeFrame has cut the file back to the frame before
  }

  // MD5: the frame data as stored, then the header block, then the seek table.
  std::array<uint8_t, 16> digest{};
  if (md5Valid_) {
    if (carryLen_ > 0) {
      const auto last = PaddedCarry();
      md5_->Add(last.data(), 4);
    }
    AddHeaderAndSeekTable(*md5_);
    md5_digest(&md5_->ctx, 16, digest.data());
  } else {
    digest = Md5OfFile();
  }
  header_.md5 = digest;
  error_ = kMacSuccess;
  const auto head = header_.Bytes();
  WriteAt(head.data(), head.size(), 0);
  if (close(fd_) != 0) Fail(kMacErrorWrite);
  fd_ = -1;
  return error_ ? error_ : lastFrameError;
}

void Compressor::AddHeaderAndSeekTable(Md5& m) const {
  const auto block = header_.HeaderBlock();
  m.Add(block.data(), block.size());
  std::vector<uint8_t> table(size_t(seekEntries_) * 4, 0);
  for (size_t i = 0; i < seek_.size(); ++i) {
    for (int b = 0; b < 4; ++b) table[i * 4 + size_t(b)] = uint8_t(seek_[i] >> (8 * b));
  }
  m.Add(table.data(), table.size());
}

// ---------------------------------------------------------------------------

void Compressor::EncodeFrame(uint32_t blocks) {
  encoder_->Encode(frame_.data(), blocks, *this);
  frameFill_ = 0;
  if (!error_) EndFrame(blocks);
  if (error_) RollBack();
}

void Compressor::Put(const uint8_t* bytes, size_t count) {
  streamBytes_ += count;
  for (size_t i = 0; i < count; ++i) {
    carry_[carryLen_++] = bytes[i];
    if (carryLen_ == 4) {
      words_.insert(words_.end(), {carry_[3], carry_[2], carry_[1], carry_[0]});
      carryLen_ = 0;
    }
  }
  if (words_.size() >= kWordFlushBytes) FlushWords();
}

// The word being filled as it is stored for now: byte-swapped, zero-padded.
std::array<uint8_t, 4> Compressor::PaddedCarry() const {
  std::array<uint8_t, 4> word{};
  for (size_t i = 0; i < carryLen_; ++i) word[3 - i] = carry_[i];
  return word;
}

void Compressor::FlushWords() {
  if (words_.empty() || error_) return;
  WriteAt(words_.data(), words_.size(), firstFrame_ + wordsWritten_ * 4);
  if (error_) return;
  md5_->Add(words_.data(), words_.size());
  wordsWritten_ += words_.size() / 4;
  words_.clear();
}

void Compressor::EndFrame(uint32_t blocks) {
  const uint64_t frameStart = goodStreamBytes_;
  FlushWords();
  // The word the next frame goes on filling, padded for now.
  if (carryLen_ > 0) WriteAt(PaddedCarry().data(), 4, firstFrame_ + wordsWritten_ * 4);
  if (error_) return;

  const uint32_t entry = uint32_t(firstFrame_ + frameStart);  // offsets wrap past 4 GB
  uint8_t le[4];
  for (int b = 0; b < 4; ++b) le[b] = uint8_t(entry >> (8 * b));
  WriteAt(le, 4, kFixedHeadBytes + uint64_t(header_.totalFrames) * 4);
  if (error_) return;

  // The header last: until it is written it describes the frames before.
  FileHeader next = header_;
  next.totalFrames += 1;
  next.finalFrameBlocks = blocks;
  next.frameDataBytes = wordsWritten_ * 4 + (carryLen_ > 0 ? 4 : 0);
  const auto head = next.Bytes();
  WriteAt(head.data(), head.size(), 0);
  if (error_) return;
  header_ = next;
  seek_.push_back(entry);
  goodStreamBytes_ = streamBytes_;
  std::memcpy(goodCarry_, carry_, sizeof carry_);
  goodCarryLen_ = carryLen_;
}

void Compressor::WriteAt(const uint8_t* data, size_t size, uint64_t offset) {
  while (size > 0 && !error_) {
    const ssize_t n = pwrite(fd_, data, size, off_t(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Fail(kMacErrorWrite);
      return;
    }
    data += n;
    size -= size_t(n);
    offset += uint64_t(n);
  }
}

void Compressor::Fail(int code) {
  if (!error_) error_ = code;
}

// Cuts the file back to the end of the last whole frame (the part of a
// frame that reached the disk would only be trailing bytes, but a clean end
// is cheaper to reason about) and restores the stream state there.
void Compressor::RollBack() {
  words_.clear();
  streamBytes_ = goodStreamBytes_;
  std::memcpy(carry_, goodCarry_, sizeof carry_);
  carryLen_ = goodCarryLen_;
  wordsWritten_ = goodStreamBytes_ / 4;
  md5Valid_ = false;
  const uint64_t end = firstFrame_ + (goodStreamBytes_ + 3) / 4 * 4;
  if (ftruncate(fd_, off_t(end)) != 0) return;
  if (carryLen_ > 0) {
    const int saved = error_;
    error_ = kMacSuccess;
    WriteAt(PaddedCarry().data(), 4, firstFrame_ + wordsWritten_ * 4);
    error_ = saved;
  }
}

// The MD5 read back from the file, for a file whose streamed MD5 was lost
// to a roll-back.
std::array<uint8_t, 16> Compressor::Md5OfFile() {
  Md5 m;
  std::vector<uint8_t> buf(256 * 1024);
  const uint64_t end = firstFrame_ + header_.frameDataBytes;
  for (uint64_t at = firstFrame_; at < end;) {
    const ssize_t n =
        pread(fd_, buf.data(), size_t(std::min<uint64_t>(buf.size(), end - at)), off_t(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return {};  // an unreadable file keeps an empty MD5
    m.Add(buf.data(), size_t(n));
    at += uint64_t(n);
  }
  AddHeaderAndSeekTable(m);
  std::array<uint8_t, 16> digest{};
  md5_digest(&m.ctx, 16, digest.data());
  return digest;
}

}  // namespace tarvexa::ape
