#include "encoders/vqf/VqfBitFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tarvexa {

namespace {
std::atomic<int> gOpenFiles{0};

// pwrite until done; false with errno set on failure.
bool WriteAll(int fd, const uint8_t* data, size_t size, uint64_t offset) {
  while (size > 0) {
    const ssize_t n = pwrite(fd, data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}
}  // namespace

int VqfBitFile::OpenCount() { return gOpenFiles.load(); }

VqfBitFile::~VqfBitFile() {
  if (fd_ >= 0) Close();
}

bool VqfBitFile::Open(const std::string& path, const char* mode) {
  if (fd_ >= 0) Close();
  bits_ = fileBytes_ = markBits_ = 0;
  bufferBits_ = 0;
  markByte_ = 0;
  failed_ = false;
  error_ = 0;
  if (!mode || std::strcmp(mode, "wb") != 0) {
    error_ = EINVAL;
    return false;
  }
  if (gOpenFiles.fetch_add(1) >= kMaxOpen) {
    gOpenFiles.fetch_sub(1);
    std::fputs("tealloc(): File number exceeds upper limit.\n", stderr);
    error_ = EMFILE;
    return false;
  }
  fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    error_ = errno;
    gOpenFiles.fetch_sub(1);
    return false;
  }
  counted_ = true;
  return true;
}

bool VqfBitFile::PutBits(uint32_t value, int n) {
  const bool fits = n >= 32 || value < (uint32_t{1} << n);
  if (fd_ < 0 || failed_) return fits;
  for (int i = n - 1; i >= 0; --i) {
    if (bufferBits_ == kBufferBytes * 8 && !WriteOut(false)) return fits;
    const size_t byte = bufferBits_ / 8;
    if (bufferBits_ % 8 == 0) buffer_[byte] = 0;
    if ((value >> i) & 1u) buffer_[byte] |= static_cast<uint8_t>(0x80u >> (bufferBits_ % 8));
    ++bufferBits_;
    ++bits_;
  }
  return fits;
}

void VqfBitFile::PutBytes(const std::vector<uint8_t>& bytes) {
  for (uint8_t b : bytes) PutBits(b, 8);
}

bool VqfBitFile::WriteOut(bool withPartialByte) {
  if (failed_) return false;
  const size_t whole = bufferBits_ / 8;
  const size_t partial = bufferBits_ % 8;
  const size_t size = whole + (withPartialByte && partial ? 1 : 0);
  if (size > 0 && !WriteAll(fd_, buffer_.data(), size, fileBytes_)) {
    Fail(errno);
    return false;
  }
  fileBytes_ += whole;
  if (partial) buffer_[0] = buffer_[whole];
  bufferBits_ = partial;
  return true;
}

void VqfBitFile::Fail(int error) {
  failed_ = true;
  error_ = error;
  // Back to the end of the last committed frame: the bytes after it go,
  // and its last byte holds only its own bits.
  const int cut = ftruncate(fd_, static_cast<off_t>((markBits_ + 7) / 8));
  (void)cut;
  if (markBits_ % 8) {
    const bool rewritten = WriteAll(fd_, &markByte_, 1, markBits_ / 8);
    (void)rewritten;
  }
}

bool VqfBitFile::Commit() {
  if (fd_ < 0 || failed_) return false;
  if (!WriteOut(true)) return false;
  markBits_ = bits_;
  markByte_ = bufferBits_ ? buffer_[0] : 0;
  return true;
}

bool VqfBitFile::Close() {
  if (fd_ < 0) return false;
  const bool written = !failed_ && WriteOut(true);
  bool ok = written;
  if (close(fd_) != 0 && ok) {
    error_ = errno;
    ok = false;
  }
  fd_ = -1;
  if (counted_) gOpenFiles.fetch_sub(1);
  counted_ = false;
  return ok;
}

}  // namespace tarvexa
