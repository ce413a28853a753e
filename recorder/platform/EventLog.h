#pragma once
// The event log: every line goes to the "Last Event" field, the log file
// (when logging is on) and the log view, coloured by level.
// Levels: -1 and 0 information, 1 warning, 2 error.
// Thread affinity: the user-interface thread (the command line's main);
// worker threads log through the recording channel instead.

#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tarvexa {

class EventLog {
 public:
  // stamp is "%H:%M:%S  " (two trailing blanks).
  using Listener =
      std::function<void(const std::string& stamp, const std::string& message, int level)>;

  void SetFile(std::string path) { path_ = std::move(path); }
  const std::string& File() const { return path_; }
  void SetWriteLog(bool on) { writeLog_ = on; }
  bool WriteLog() const { return writeLog_; }
  void AddListener(Listener l);

  void Write(const std::string& message, int level);

  // The banner written at start-up when logging is on: two lines of 60
  // asterisks, the program line and "Starting Time: ...".
  void WriteBanner(std::time_t start);
  // Five empty lines at exit when logging is on.
  void WriteExitGap();

  static std::string StartTimeText(std::time_t start);  // "Starting Time: %H:%M:%S  %b %d, %Y\n"

 private:
  void AppendToFile(const std::string& text);
  std::mutex mutex_;
  std::string path_;
  bool writeLog_ = true;
  bool reportedFileError_ = false;
  std::vector<Listener> listeners_;
};

}  // namespace tarvexa
