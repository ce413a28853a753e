#include "outputs/OutputStore.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/AtomicFile.h"

namespace tarvexa {

namespace {

void PutLE(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutString(std::string& out, const std::string& s) {
  const uint64_t n = s.size();
  if (n < 0xFF) {
    PutLE(out, n, 1);
  } else if (n < 0xFFFE) {
    PutLE(out, 0xFF, 1);
    PutLE(out, n, 2);
  } else {
    PutLE(out, 0xFF, 1);
    PutLE(out, 0xFFFF, 2);
    PutLE(out, n, 4);
  }
  out += s;
}

// Reads from a byte span; every read checks what is left.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool Int(int bytes, uint64_t* value) {
    if (bytes_.size() - pos_ < static_cast<size_t>(bytes)) return false;
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(static_cast<uint8_t>(bytes_[pos_ + i])) << (8 * i);
    pos_ += static_cast<size_t>(bytes);
    *value = v;
    return true;
  }
  bool String(std::string* s) {
    uint64_t n = 0;
    if (!Int(1, &n)) return false;
    if (n == 0xFF) {
      if (!Int(2, &n)) return false;
      if (n == 0xFFFF && !Int(4, &n)) return false;
    }
    // A length beyond the end is damage, never an allocation.
    if (n > bytes_.size() - pos_) return false;
    s->assign(bytes_.substr(pos_, static_cast<size_t>(n)));
    pos_ += static_cast<size_t>(n);
    return true;
  }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
};

}  // namespace

std::string EncodeOutputList(const std::vector<OutputEntry>& entries) {
  std::string out;
  PutLE(out, entries.size(), 4);
  for (const OutputEntry& e : entries) {
    for (const std::string* s : {&e.name, &e.location, &e.format, &e.duration, &e.timestamp, &e.size})
      PutString(out, *s);
    PutLE(out, e.taggable, 4);
  }
  return out;
}

bool DecodeOutputList(std::string_view bytes, std::vector<OutputEntry>* entries) {
  Reader in(bytes);
  uint64_t count = 0;
  if (!in.Int(4, &count)) return false;
  for (uint64_t i = 0; i < count; ++i) {
    OutputEntry e;
    uint64_t taggable = 0;
    for (std::string* s : {&e.name, &e.location, &e.format, &e.duration, &e.timestamp, &e.size})
      if (!in.String(s)) return false;
    if (!in.Int(4, &taggable)) return false;
    e.taggable = static_cast<uint32_t>(taggable);
    entries->push_back(std::move(e));
  }
  return true;
}

OutputFileRead ReadOutputFile(const std::string& path) {
  OutputFileRead r;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    r.exists = errno != ENOENT;
    if (r.exists) {
      r.damaged = true;
      r.error = "cannot open \"" + path + "\": " + std::strerror(errno);
    }
    return r;
  }
  r.exists = true;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) {
    r.damaged = true;
    r.error = "cannot read \"" + path + "\"";
    return r;
  }
  if (!DecodeOutputList(bytes.view(), &r.entries)) {
    r.damaged = true;
    r.error = "\"" + path + "\" ends inside item " + std::to_string(r.entries.size() + 1);
  }
  return r;
}

bool WriteOutputFile(const std::string& path, const std::vector<OutputEntry>& entries,
                     std::string* error) {
  return WriteFileAtomically(path, EncodeOutputList(entries), error);
}

}  // namespace tarvexa
