#pragma once
// An INI file held in memory with the rules of the classic profile-string
// functions: section and key names compare without regard to case, the first
// of duplicate sections or keys wins, values are trimmed and lose one pair of
// surrounding quotes, integers read leading digits with an optional minus
// sign (anything else reads 0), strings are cut to the buffer size minus one.
// Saving writes a temporary file beside the target and renames it over the
// target, so a crash while saving never leaves a half-written file.
// Thread affinity: one thread at a time.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvexa {

class IniStore {
 public:
  // Parses text; never fails (unreadable lines are kept but never read).
  void Parse(const std::string& text);
  // Reads and parses a file. Returns false (and leaves the store empty) when
  // the file cannot be read; *error says why.
  bool Load(const std::string& path, std::string* error = nullptr);
  // Writes the whole store atomically. Returns false with *error on failure.
  bool Save(const std::string& path, std::string* error = nullptr) const;
  std::string Text() const;

  std::optional<std::string> Get(const std::string& section, const std::string& key) const;
  // GetPrivateProfileInt rules, 32-bit result (wraps like the C conversion).
  int32_t GetInt(const std::string& section, const std::string& key, int32_t def) const;
  // GetPrivateProfileString rules: size includes the terminator.
  std::string GetString(const std::string& section, const std::string& key, const std::string& def,
                        size_t size) const;

  // Replaces the value of the first matching key, or adds the key (and the
  // section) when missing.
  void Set(const std::string& section, const std::string& key, const std::string& value);
  void SetInt(const std::string& section, const std::string& key, int32_t value);

  bool Empty() const { return lines_.empty(); }

 private:
  // The whole text lives in one pool and names and values are spans of it,
  // so a file of tens of megabytes costs little more than its own size.
  // Lines are kept in file order; each section owns a run of them.
  struct Span {
    uint32_t off = 0;
    uint32_t len = 0;
  };
  enum class Kind : uint8_t { Other, Header, Entry };
  struct Line {
    Span raw;  // the line as read, with its line end; empty for a new line
    Span key;  // Entry: the trimmed key; Header: the trimmed section name
    Span value;
    Kind kind = Kind::Other;
    bool edited = false;  // written as key=value instead of raw
  };
  struct Section {
    Span name;
    uint32_t first = 0;     // index of its first line after the header
    uint32_t count = 0;     // lines up to the next header
    bool hasHeader = true;  // false only for the lines before the first header
  };
  std::string_view View(Span s) const { return std::string_view(pool_).substr(s.off, s.len); }
  Span AddToPool(std::string_view text);
  void ParsePool();
  const Section* FindSection(const std::string& name) const;
  const Line* FindEntry(const Section& section, const std::string& key) const;

  std::vector<Section> sections_;
  std::vector<Line> lines_;
  std::string pool_;
  std::string eol_ = "\n";  // the file's own line end, for lines written here
};

// Parses a profile integer: optional leading blanks, optional "-", digits.
int32_t ParseProfileInt(const std::string& text);

}  // namespace tarvexa
