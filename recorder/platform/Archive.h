#pragma once
// The archive serialisation of the binary stores (Task.ini, Output.ini, the
// user encoder's .ces files): little-endian integers and length-prefixed
// single-byte strings in field order, with no tags, versions or padding.
// A string's length is one byte below 255; else 0xFF and a 16-bit length
// below 0xFFFE; else 0xFF, 0xFFFF and a 32-bit length; then the bytes, with
// no terminator. (0xFF 0xFFFE marks a wide-character string, which these
// stores never hold: the reader refuses it.)
// The reader checks every read against what is left, so a damaged file is
// an error, never a read past the end or a request for gigabytes.
// Thread affinity: any thread (one object per thread).

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvexa {

class ArchiveWriter {
 public:
  void U16(uint16_t v);
  void U32(uint32_t v);
  void Str(std::string_view s);
  std::string& Bytes() { return out_; }

 private:
  std::string out_;
};

class ArchiveReader {
 public:
  explicit ArchiveReader(std::string_view bytes) : in_(bytes) {}
  // Each returns false, and leaves the value alone, when the bytes do not
  // hold one; Error() then says why (the first failure).
  bool U16(uint16_t& v);
  bool U32(uint32_t& v);
  bool Str(std::string& s);
  size_t Left() const { return in_.size() - pos_; }
  size_t Position() const { return pos_; }
  const std::string& Error() const { return error_; }

 private:
  unsigned Byte(size_t i) const { return static_cast<unsigned char>(in_[pos_ + i]); }
  bool Fail(std::string why);

  std::string_view in_;
  size_t pos_ = 0;
  std::string error_;
};

}  // namespace tarvexa
