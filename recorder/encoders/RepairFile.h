#pragma once
// A file opened for repair in place: reads and writes at given offsets and
// cutting it short. The repairs of the format families (their `recover`
// hooks) change a few header bytes and the length of a file, never add to
// it, so they also work on a full disk.
// Thread affinity: one thread per object.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tarvexa {

class RepairFile {
 public:
  explicit RepairFile(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CLOEXEC)), error_(fd_ < 0 ? errno : 0) {}
  ~RepairFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  RepairFile(const RepairFile&) = delete;
  RepairFile& operator=(const RepairFile&) = delete;

  bool ok() const { return fd_ >= 0; }
  // The system's reason for the last failure.
  std::string Error() const { return std::strerror(error_ ? error_ : EIO); }

  uint64_t Size() {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
  }

  // Up to n bytes from `at` (fewer at the end of the file).
  std::vector<unsigned char> Read(uint64_t at, size_t n) {
    std::vector<unsigned char> out(n);
    size_t done = 0;
    while (done < n) {
      const ssize_t r = ::pread(fd_, out.data() + done, n - done, static_cast<off_t>(at + done));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      done += static_cast<size_t>(r);
    }
    out.resize(done);
    return out;
  }

  bool Write(uint64_t at, const void* data, size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    size_t done = 0;
    while (done < n) {
      const ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(at + done));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        error_ = r < 0 ? errno : ENOSPC;
        return false;
      }
      done += static_cast<size_t>(r);
    }
    return true;
  }

  bool Truncate(uint64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) == 0) return true;
    error_ = errno;
    return false;
  }

  // Pushes the repair to the disk.
  bool Sync() {
    if (::fsync(fd_) == 0) return true;
    error_ = errno;
    return false;
  }

 private:
  int fd_;
  int error_;
};

// Little- and big-endian fields of a header held in memory.
inline uint32_t GetLe32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint16_t GetLe16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint64_t GetLe64(const unsigned char* p) {
  return GetLe32(p) | (static_cast<uint64_t>(GetLe32(p + 4)) << 32);
}
inline uint32_t GetBe32(const unsigned char* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}
inline uint16_t GetBe16(const unsigned char* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline uint64_t GetBe64(const unsigned char* p) {
  return (static_cast<uint64_t>(GetBe32(p)) << 32) | GetBe32(p + 4);
}
inline void PutLe32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void PutLe64(unsigned char* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void PutBe32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}
inline void PutBe64(unsigned char* p, uint64_t v) {
  PutBe32(p, static_cast<uint32_t>(v >> 32));
  PutBe32(p + 4, static_cast<uint32_t>(v));
}

}  // namespace tarvexa
