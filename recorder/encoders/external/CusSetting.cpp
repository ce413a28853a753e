#include "encoders/external/CusSetting.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace tarvexa {

namespace {

// The longest text each field may hold: its Config.ini key's width less the
// terminator.
constexpr size_t kMaxEncoder = 511;
constexpr size_t kMaxParameter = 1023;
constexpr size_t kMaxFileExt = 7;

void PutLe(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutString(std::vector<uint8_t>& out, const std::string& s) {
  const size_t n = s.size();
  if (n < 0xFF) {
    PutLe(out, static_cast<uint32_t>(n), 1);
  } else if (n < 0xFFFE) {
    PutLe(out, 0xFF, 1);
    PutLe(out, static_cast<uint32_t>(n), 2);
  } else {
    PutLe(out, 0xFF, 1);
    PutLe(out, 0xFFFF, 2);
    PutLe(out, static_cast<uint32_t>(n), 4);
  }
  out.insert(out.end(), s.begin(), s.end());
}

class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& b) : b_(b) {}
  bool Le(int bytes, uint32_t* v) {
    if (b_.size() - at_ < static_cast<size_t>(bytes)) return false;
    *v = 0;
    for (int i = 0; i < bytes; ++i) *v |= static_cast<uint32_t>(b_[at_++]) << (8 * i);
    return true;
  }
  bool String(size_t max, std::string* s) {
    uint32_t n = 0;
    if (!Le(1, &n)) return false;
    if (n == 0xFF) {
      if (!Le(2, &n)) return false;
      if (n == 0xFFFE) return false;  // a wide-character string: not ours
      if (n == 0xFFFF && !Le(4, &n)) return false;
    }
    if (n > max || b_.size() - at_ < n) return false;
    s->assign(b_.begin() + static_cast<std::ptrdiff_t>(at_),
              b_.begin() + static_cast<std::ptrdiff_t>(at_ + n));
    at_ += n;
    return true;
  }
  bool AtEnd() const { return at_ == b_.size(); }

 private:
  const std::vector<uint8_t>& b_;
  size_t at_ = 0;
};

}  // namespace

CCusSetting CCusSetting::From(const Settings::CustomSection& c) {
  CCusSetting s;
  s.encoder = c.Encoder;
  s.parameter = c.Parameter;
  s.fileExt = c.FileExt;
  s.input = c.Input;
  s.detail = c.Detail;
  return s;
}

void CCusSetting::ApplyTo(Settings::CustomSection& c) const {
  c.Encoder = encoder;
  c.Parameter = parameter;
  c.FileExt = fileExt;
  c.Input = input;
  c.Detail = detail;
}

std::vector<uint8_t> CCusSetting::Serialize() const {
  std::vector<uint8_t> out;
  PutString(out, encoder);
  PutString(out, parameter);
  PutString(out, fileExt);
  PutLe(out, static_cast<uint16_t>(input), 2);
  PutLe(out, static_cast<uint32_t>(detail), 4);
  return out;
}

bool CCusSetting::Deserialize(const std::vector<uint8_t>& bytes, CCusSetting* out) {
  Reader r(bytes);
  CCusSetting s;
  uint32_t input = 0, detail = 0;
  if (!r.String(kMaxEncoder, &s.encoder) || !r.String(kMaxParameter, &s.parameter) ||
      !r.String(kMaxFileExt, &s.fileExt) || !r.Le(2, &input) || !r.Le(4, &detail) || !r.AtEnd()) {
    return false;
  }
  if (input > 1) return false;
  s.input = static_cast<int16_t>(input);
  s.detail = static_cast<int32_t>(detail);
  *out = std::move(s);
  return true;
}

bool LoadCesFile(const std::string& path, CCusSetting* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  // Far more than any setting needs: anything larger is not one.
  constexpr std::streamsize kMaxBytes = 4096;
  std::vector<uint8_t> bytes(kMaxBytes + 1);
  in.read(reinterpret_cast<char*>(bytes.data()), kMaxBytes + 1);
  if (in.bad() || in.gcount() > kMaxBytes) return false;
  bytes.resize(static_cast<size_t>(in.gcount()));
  return CCusSetting::Deserialize(bytes, out);
}

bool SaveCesFile(const std::string& path, const CCusSetting& setting, std::string* error) {
  const std::vector<uint8_t> bytes = setting.Serialize();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out)
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  if (out) out.close();
  if (!out) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace tarvexa
