#include "platform/Archive.h"

#include <utility>

namespace tarvexa {

void ArchiveWriter::U16(uint16_t v) {
  out_ += static_cast<char>(v & 0xFF);
  out_ += static_cast<char>(v >> 8);
}

void ArchiveWriter::U32(uint32_t v) {
  U16(static_cast<uint16_t>(v & 0xFFFF));
  U16(static_cast<uint16_t>(v >> 16));
}

void ArchiveWriter::Str(std::string_view s) {
  if (s.size() < 0xFF) {
    out_ += static_cast<char>(s.size());
  } else if (s.size() < 0xFFFE) {
    out_ += '\xFF';
    U16(static_cast<uint16_t>(s.size()));
  } else {
    out_ += '\xFF';
    U16(0xFFFF);
    U32(static_cast<uint32_t>(s.size()));
  }
  out_ += s;
}

bool ArchiveReader::Fail(std::string why) {
  if (error_.empty()) error_ = std::move(why);
  return false;
}

bool ArchiveReader::U16(uint16_t& v) {
  if (Left() < 2) return Fail("the file ends inside a number");
  v = static_cast<uint16_t>(Byte(0) | Byte(1) << 8);
  pos_ += 2;
  return true;
}

bool ArchiveReader::U32(uint32_t& v) {
  if (Left() < 4) return Fail("the file ends inside a number");
  v = static_cast<uint32_t>(Byte(0)) | static_cast<uint32_t>(Byte(1)) << 8 |
      static_cast<uint32_t>(Byte(2)) << 16 | static_cast<uint32_t>(Byte(3)) << 24;
  pos_ += 4;
  return true;
}

bool ArchiveReader::Str(std::string& s) {
  const size_t at = pos_;
  if (Left() < 1) return Fail("the file ends before a text");
  uint64_t length = Byte(0);
  ++pos_;
  if (length == 0xFF) {
    uint16_t w = 0;
    if (!U16(w)) return false;
    length = w;
    if (w == 0xFFFE)
      return Fail("a text at byte " + std::to_string(at) + " has an unknown length form");
    if (w == 0xFFFF) {
      uint32_t d = 0;
      if (!U32(d)) return false;
      length = d;
    }
  }
  // A length beyond the end of the file is damage, not a request for memory.
  if (length > Left())
    return Fail("a text at byte " + std::to_string(at) + " claims " + std::to_string(length) +
                " bytes where " + std::to_string(Left()) + " are left");
  s.assign(in_.substr(pos_, static_cast<size_t>(length)));
  pos_ += static_cast<size_t>(length);
  return true;
}

}  // namespace tarvexa
