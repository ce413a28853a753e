#pragma once
// Loads and saves Settings from and to Config.ini.
// Thread affinity: the user-interface thread (or the command line's main).

#include <functional>
#include <string>
#include <vector>

#include "config/Settings.h"

namespace tarvexa {

using LogSink = std::function<void(const std::string& text, int level)>;

class ConfigStore {
 public:
  explicit ConfigStore(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }

  // Reads every key into s. A missing file or key gives the key's default;
  // a value that is not a number reads 0; 16-bit keys keep the low 16 bits;
  // strings are cut to their limit. A value outside the range of a key that
  // indexes a table falls back to the key's default with a warning (level 1).
  // Logs "Tarvexa Sound Recorder settings loaded." (level 0) and returns true.
  // A file that exists but cannot be read logs "Error on loading settings!"
  // and the reason (level 1) and returns false; s keeps its values.
  bool Load(Settings& s, const LogSink& log) const;

  // Writes every key into the file as it stands, atomically: a key's value
  // is replaced where it is, a missing key goes after the last key of its
  // section (sections in table order), and every other line (keys and
  // sections of other versions, the user's own lines) stays where it was.
  // Logs "Error on saving settings!" and the reason (level 1) and returns
  // false on failure, also when the old file cannot be read: it is never
  // written over with what could not be read.
  bool Save(const Settings& s, const LogSink& log) const;

  // Deletes the file and loads again, so every key takes its missing-key
  // default; MP3 LameTab becomes 1.
  bool Reset(Settings& s, const LogSink& log) const;

  // The twelve keys a scheduled task may override, in their order; failures
  // are reported as by Save and Load.
  bool SaveTaskKeys(const Settings& s, const LogSink& log) const;
  bool RestoreTaskKeys(Settings& s, const LogSink& log) const;

  // "MISC" "Tip", read and written on its own by the tip of the day.
  int ReadTip() const;
  bool WriteTip(int value) const;

 private:
  std::string path_;
};

}  // namespace tarvexa
