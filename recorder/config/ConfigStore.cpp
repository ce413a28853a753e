#include "config/ConfigStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <type_traits>

#include "platform/IniStore.h"

namespace tarvexa {

namespace {

constexpr const char* kLoaded = "Tarvexa Sound Recorder settings loaded.";
constexpr const char* kLoadError = "Error on loading settings!";
constexpr const char* kSaveError = "Error on saving settings!";

struct KeyName {
  const char* section;
  const char* key;
};

// What a scheduled task may override, in the order it is written.
constexpr std::array<KeyName, 12> kTaskKeys = {{
    {"OUTPUT", "OutputFormat"},
    {"OUTPUT", "Freq"},
    {"OUTPUT", "Chan"},
    {"MISC", "ActAftRec"},
    {"MISC", "Split"},
    {"MISC", "SplitHour"},
    {"MISC", "SplitMin"},
    {"MISC", "SplitSec"},
    {"MISC", "Stop"},
    {"MISC", "StopHour"},
    {"MISC", "StopMin"},
    {"MISC", "StopSec"},
}};

void Log(const LogSink& log, const std::string& text, int level) {
  if (log) log(text, level);
}

// Reads keys into their fields: the 32-bit profile integer, cut to the
// field's width, then range-checked where the key has a range.
struct KeyReader {
  const IniStore& ini;
  const LogSink& log;

  template <class T>
  void operator()(const char* section, const std::string& key, T& field, int def, int min,
                  int max) const {
    static_assert(std::is_same_v<T, int16_t> || std::is_same_v<T, int32_t>);
    T value = static_cast<T>(ini.GetInt(section, key, def));
    if (min <= max && (value < min || value > max)) {
      char text[256];
      std::snprintf(text, sizeof text,
                    "Warning: Config.ini value %d of [%s] %s is out of range; using %d.",
                    static_cast<int>(value), section, key.c_str(), def);
      Log(log, text, 1);
      value = static_cast<T>(def);
    }
    field = value;
  }

  void operator()(const char* section, const std::string& key, std::string& field,
                  const std::string& def, int limit) const {
    field = ini.GetString(section, key, def, static_cast<size_t>(limit));
  }
};

struct KeyWriter {
  IniStore& ini;

  template <class T>
  void operator()(const char* section, const std::string& key, const T& field, int, int,
                  int) const {
    ini.SetInt(section, key, static_cast<int32_t>(field));
  }

  void operator()(const char* section, const std::string& key, const std::string& field,
                  const std::string&, int) const {
    ini.Set(section, key, NeedsQuotes(field) ? '"' + field + '"' : field);
  }

  // Strings are written as they are, unless reading would change them: the
  // reader trims blanks and strips one pair of matching quotes, so such a
  // value gets one pair of quotes of its own.
  static bool NeedsQuotes(const std::string& v) {
    if (v.empty()) return false;
    auto blank = [](char c) {
      return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
    };
    if (blank(v.front()) || blank(v.back())) return true;
    return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
  }
};

// Passes only the numeric key section/key on to f.
template <class F>
struct OneKey {
  const KeyName& name;
  F& f;

  template <class T>
  void operator()(const char* section, const std::string& key, T& field, int def, int min,
                  int max) const {
    if (key == name.key && std::string(section) == name.section)
      f(section, key, field, def, min, max);
  }
  template <class T>
  void operator()(const char*, const std::string&, T&, const std::string&, int) const {}
};

template <class S, class F>
void VisitTaskKeys(S& s, F&& f) {
  for (const KeyName& name : kTaskKeys) VisitSettings(s, OneKey<F>{name, f});
}

// The file as it stands: none yet is an empty store; a file that exists but
// cannot be read is an error, and nothing may be written over it.
bool ReadFile(const std::string& path, IniStore& ini, std::string* error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return true;
  return ini.Load(path, error);
}

void LogFailure(const LogSink& log, const char* text, const std::string& why) {
  Log(log, text, 1);
  if (!why.empty()) Log(log, why, 1);
}

// Reads the file, sets the keys fill sets, and writes it whole; every other
// line of the file stays as it was.
template <class Fill>
bool SaveWith(const std::string& path, const LogSink& log, Fill fill) {
  std::string why;
  try {
    IniStore ini;
    if (ReadFile(path, ini, &why)) {
      fill(ini);
      if (ini.Save(path, &why)) return true;
    }
  } catch (const std::exception& e) {
    why = e.what();
  }
  LogFailure(log, kSaveError, why);
  return false;
}

template <class Read>
bool LoadWith(const std::string& path, const LogSink& log, Read read) {
  std::string why;
  try {
    IniStore ini;
    if (ReadFile(path, ini, &why)) {
      read(ini);
      return true;
    }
  } catch (const std::exception& e) {
    why = e.what();
  }
  LogFailure(log, kLoadError, why);
  return false;
}

}  // namespace

bool ConfigStore::Load(Settings& s, const LogSink& log) const {
  if (!LoadWith(path_, log, [&](const IniStore& ini) { VisitSettings(s, KeyReader{ini, log}); }))
    return false;
  Log(log, kLoaded, 0);
  return true;
}

bool ConfigStore::Save(const Settings& s, const LogSink& log) const {
  return SaveWith(path_, log, [&](IniStore& ini) { VisitSettings(s, KeyWriter{ini}); });
}

bool ConfigStore::Reset(Settings& s, const LogSink& log) const {
  ::unlink(path_.c_str());
  bool ok = Load(s, log);
  s.MP3.LameTab = 1;
  return ok;
}

bool ConfigStore::SaveTaskKeys(const Settings& s, const LogSink& log) const {
  return SaveWith(path_, log, [&](IniStore& ini) { VisitTaskKeys(s, KeyWriter{ini}); });
}

bool ConfigStore::RestoreTaskKeys(Settings& s, const LogSink& log) const {
  return LoadWith(path_, log, [&](const IniStore& ini) { VisitTaskKeys(s, KeyReader{ini, log}); });
}

int ConfigStore::ReadTip() const {
  int tip = 1;
  LoadWith(path_, nullptr, [&](const IniStore& ini) { tip = ini.GetInt("MISC", "Tip", 1); });
  return tip;
}

bool ConfigStore::WriteTip(int value) const {
  return SaveWith(path_, nullptr, [&](IniStore& ini) { ini.SetInt("MISC", "Tip", value); });
}

}  // namespace tarvexa
