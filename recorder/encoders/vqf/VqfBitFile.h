#pragma once
// `VqfBitFile`: the bit writer of VQF files. Values go in most significant
// bit first, continuously across bytes, through a 1024-byte buffer.
//
// At most kMaxOpen bit files may be open in the process at once; asking for
// one more is refused with "tealloc(): File number exceeds upper limit." on
// standard error.
//
// Commit() hands everything collected so far to the file at once, the last
// partly filled byte included (it is written again when more bits follow),
// so the file always ends with the last committed frame complete. After a
// write error the file is cut back to that point and the writer takes no
// more bits.
// Thread affinity: one thread per object; the open count is process-wide.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvexa {

class VqfBitFile {
 public:
  static constexpr int kMaxOpen = 50;
  static constexpr size_t kBufferBytes = 1024;

  VqfBitFile() = default;
  ~VqfBitFile();
  VqfBitFile(const VqfBitFile&) = delete;
  VqfBitFile& operator=(const VqfBitFile&) = delete;

  // mode "wb": creates or truncates the file. False when it cannot be
  // created, the mode is not "wb", or kMaxOpen are open; Error() says why.
  bool Open(const std::string& path, const char* mode);
  bool IsOpen() const { return fd_ >= 0; }

  // The n low bits of value (n up to 32), highest first. False when value
  // does not fit in n bits; its n low bits are written all the same.
  bool PutBits(uint32_t value, int n);
  void PutBytes(const std::vector<uint8_t>& bytes);

  // Writes out all bits put so far and marks the end of a whole frame.
  // False after a write error.
  bool Commit();
  // Writes the last partly filled byte (its remaining bits 0) and closes.
  // False when a write or the close failed.
  bool Close();

  bool Failed() const { return failed_; }
  int Error() const { return error_; }  // errno of the first failure
  uint64_t Bits() const { return bits_; }

  static int OpenCount();

 private:
  bool WriteOut(bool withPartialByte);
  void Fail(int error);

  int fd_ = -1;
  bool counted_ = false;
  uint64_t bits_ = 0;       // bits put since Open
  uint64_t fileBytes_ = 0;  // whole bytes handed to the file
  std::array<uint8_t, kBufferBytes> buffer_{};
  size_t bufferBits_ = 0;
  uint64_t markBits_ = 0;  // at the last Commit
  uint8_t markByte_ = 0;   // the partly filled byte then
  bool failed_ = false;
  int error_ = 0;
};

}  // namespace tarvexa
