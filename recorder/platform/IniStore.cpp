#include "platform/IniStore.h"

#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tarvexa {

namespace {

// Offsets into the pool are 32-bit.
constexpr size_t kMaxPool = 0xFFFFFFFFu;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Byte-wise ASCII folding: bytes above 0x7f compare as they are, so any
// binary junk in a name is harmless.
char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

// A value written over several lines would read back as other keys.
void AppendOneLine(std::string& out, std::string_view s) {
  const size_t at = out.size();
  out.append(s);
  std::replace(out.begin() + static_cast<std::ptrdiff_t>(at), out.end(), '\n', ' ');
}

std::string ErrnoText(const std::string& what, const std::string& path, int err) {
  return what + " \"" + path + "\": " + std::strerror(err);
}

}  // namespace

int32_t ParseProfileInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  // Unsigned arithmetic: an overlong number wraps modulo 2^32 instead of
  // overflowing, like the C conversion the profile functions use.
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

IniStore::Span IniStore::AddToPool(std::string_view text) {
  if (text.size() > kMaxPool - pool_.size()) throw std::length_error("INI text too large");
  Span span{static_cast<uint32_t>(pool_.size()), static_cast<uint32_t>(text.size())};
  pool_.append(text);
  return span;
}

void IniStore::Parse(const std::string& text) {
  // Spans are 32-bit; text beyond that is not read.
  pool_.assign(text, 0, std::min<size_t>(text.size(), kMaxPool));
  ParsePool();
}

void IniStore::ParsePool() {
  sections_.clear();
  lines_.clear();
  const std::string& t = pool_;
  const size_t size = t.size();
  auto span = [](size_t begin, size_t end) {
    return Span{static_cast<uint32_t>(begin), static_cast<uint32_t>(end - begin)};
  };
  auto trimmed = [&](size_t begin, size_t end) {
    while (begin < end && IsBlank(t[begin])) ++begin;
    while (end > begin && IsBlank(t[end - 1])) --end;
    return span(begin, end);
  };
  const char* firstNl = static_cast<const char*>(std::memchr(t.data(), '\n', size));
  eol_ = (firstNl && firstNl > t.data() && firstNl[-1] == '\r') ? "\r\n" : "\n";

  size_t pos = 0;
  while (pos < size) {
    const char* nl = static_cast<const char*>(std::memchr(t.data() + pos, '\n', size - pos));
    const size_t eol = nl ? static_cast<size_t>(nl - t.data()) : size;
    Line line;
    line.raw = span(pos, nl ? eol + 1 : eol);
    size_t begin = pos;
    size_t end = eol;
    pos = eol + 1;

    while (begin < end && IsBlank(t[begin])) ++begin;
    while (end > begin && IsBlank(t[end - 1])) --end;
    if (begin < end && t[begin] == '[') {
      if (const void* close = std::memchr(t.data() + begin + 1, ']', end - begin - 1)) {
        // Anything after the closing bracket is ignored.
        const size_t closePos = static_cast<size_t>(static_cast<const char*>(close) - t.data());
        line.kind = Kind::Header;
        line.key = trimmed(begin + 1, closePos);
        lines_.push_back(line);
        sections_.push_back(Section{line.key, static_cast<uint32_t>(lines_.size()), 0, true});
        continue;
      }
      // No closing bracket: not a header; read it like any other line.
    }
    if (begin < end && t[begin] != ';') {
      if (const void* eq = std::memchr(t.data() + begin, '=', end - begin)) {
        const size_t eqPos = static_cast<size_t>(static_cast<const char*>(eq) - t.data());
        line.kind = Kind::Entry;
        line.key = trimmed(begin, eqPos);
        line.value = trimmed(eqPos + 1, end);
      }
    }
    // Lines before the first header belong to no section: kept, never found.
    if (sections_.empty()) sections_.push_back(Section{Span{}, 0, 0, false});
    lines_.push_back(line);
    ++sections_.back().count;
  }
}

bool IniStore::Load(const std::string& path, std::string* error) {
  sections_.clear();
  lines_.clear();
  pool_.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = ErrnoText("cannot open", path, errno);
    return false;
  }
  struct stat st {};
  errno = 0;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int err = errno;
    if (S_ISDIR(st.st_mode))
      err = EISDIR;
    else if (err == 0)
      err = EINVAL;
    ::close(fd);
    if (error) *error = ErrnoText("cannot read", path, err);
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) > kMaxPool) {
    ::close(fd);
    if (error) *error = ErrnoText("cannot read", path, EFBIG);
    return false;
  }
  std::string text;
  text.reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      if (error) *error = ErrnoText("cannot read", path, err);
      return false;
    }
    if (static_cast<size_t>(n) > kMaxPool - text.size()) {
      ::close(fd);
      if (error) *error = ErrnoText("cannot read", path, EFBIG);
      return false;
    }
    text.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  pool_ = std::move(text);
  ParsePool();
  return true;
}

std::string IniStore::Text() const {
  std::string out;
  out.reserve(pool_.size() + 16 * sections_.size());
  // A line of the file's own last line may lack its line end; anything
  // written after it starts on a line of its own.
  auto newLine = [&] {
    if (!out.empty() && out.back() != '\n') out += eol_;
  };
  auto render = [&](const Line& line) {
    newLine();
    if (!line.edited) {
      out.append(View(line.raw));
      return;
    }
    if (line.kind == Kind::Header) {
      // A section of our own is set off from what comes before by a blank line.
      const std::string blank = eol_ + eol_;
      const bool setOff = out.empty() || out == eol_ ||
                          (out.size() >= blank.size() &&
                           out.compare(out.size() - blank.size(), blank.size(), blank) == 0);
      if (!setOff) out += eol_;
      out += '[';
      AppendOneLine(out, View(line.key));
      out += ']';
    } else {
      AppendOneLine(out, View(line.key));
      out += '=';
      AppendOneLine(out, View(line.value));
    }
    out += eol_;
  };
  for (const Line& line : lines_) render(line);
  return out;
}

bool IniStore::Save(const std::string& path, std::string* error) const {
  return WriteFileAtomically(path, Text(), error);
}

const IniStore::Section* IniStore::FindSection(const std::string& name) const {
  for (const Section& sec : sections_) {
    if (sec.hasHeader && SameName(View(sec.name), name)) return &sec;
  }
  return nullptr;
}

const IniStore::Line* IniStore::FindEntry(const Section& section, const std::string& key) const {
  for (uint32_t i = section.first; i < section.first + section.count; ++i) {
    const Line& line = lines_[i];
    if (line.kind == Kind::Entry && SameName(View(line.key), key)) return &line;
  }
  return nullptr;
}

std::optional<std::string> IniStore::Get(const std::string& section, const std::string& key) const {
  const Section* sec = FindSection(section);
  if (sec == nullptr) return std::nullopt;
  const Line* entry = FindEntry(*sec, key);
  if (entry == nullptr) return std::nullopt;
  std::string_view v = View(entry->value);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  return std::string(v);
}

int32_t IniStore::GetInt(const std::string& section, const std::string& key, int32_t def) const {
  std::optional<std::string> v = Get(section, key);
  // A key that is present but empty reads as the default, as with the
  // classic function.
  if (!v || v->empty()) return def;
  return ParseProfileInt(*v);
}

std::string IniStore::GetString(const std::string& section, const std::string& key,
                                const std::string& def, size_t size) const {
  if (size == 0) return std::string();
  std::optional<std::string> v = Get(section, key);
  std::string out = v ? *v : def;
  // The value ends up in a C string: a stray NUL ends it.
  size_t nul = out.find('\0');
  if (nul != std::string::npos) out.resize(nul);
  if (out.size() > size - 1) out.resize(size - 1);
  return out;
}

void IniStore::Set(const std::string& section, const std::string& key, const std::string& value) {
  const Section* found = FindSection(section);
  if (found == nullptr) {
    Line header;
    header.kind = Kind::Header;
    header.key = AddToPool(section);
    header.edited = true;
    lines_.push_back(header);
    sections_.push_back(Section{header.key, static_cast<uint32_t>(lines_.size()), 0, true});
    found = &sections_.back();
  }
  const size_t index = static_cast<size_t>(found - sections_.data());
  if (const Line* e = FindEntry(*found, key)) {
    Line& line = lines_[static_cast<size_t>(e - lines_.data())];
    line.value = AddToPool(value);
    line.edited = true;
    return;
  }
  Line entry;
  entry.kind = Kind::Entry;
  entry.key = AddToPool(key);
  entry.value = AddToPool(value);
  entry.edited = true;
  // After the section's last key, so that comments and blank lines that
  // close the section stay before the next header.
  Section& sec = sections_[index];
  uint32_t at = sec.first;
  for (uint32_t i = sec.first; i < sec.first + sec.count; ++i)
    if (lines_[i].kind == Kind::Entry) at = i + 1;
  lines_.insert(lines_.begin() + at, entry);
  ++sec.count;
  for (size_t i = index + 1; i < sections_.size(); ++i) ++sections_[i].first;
}

void IniStore::SetInt(const std::string& section, const std::string& key, int32_t value) {
  Set(section, key, std::to_string(value));
}

}  // namespace tarvexa
