#include "platform/EventLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/Version.h"

namespace tarvexa {

namespace {
std::string Stamp() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%H:%M:%S  ", &tm);
  return buf;
}
}  // namespace

void EventLog::AddListener(Listener l) {
  std::lock_guard<std::mutex> lock(mutex_);
  listeners_.push_back(std::move(l));
}

void EventLog::AppendToFile(const std::string& text) {
  if (!writeLog_ || path_.empty()) return;
  FILE* f = std::fopen(path_.c_str(), "ab");
  bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
  int err = errno;
  if (f && std::fclose(f) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok && !reportedFileError_) {
    // Told once per run; the line itself still reaches the view.
    reportedFileError_ = true;
    std::string msg = "Warning: could not write the log file " + path_ + ": " + std::strerror(err);
    for (auto& l : listeners_) l(Stamp(), msg, 1);
  }
}

void EventLog::Write(const std::string& text, int level) {
  // Some messages carry a line end of their own; the log adds its own.
  std::string message = text;
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  std::lock_guard<std::mutex> lock(mutex_);
  std::string stamp = Stamp();
  AppendToFile(stamp + " " + message + "\n");
  for (auto& l : listeners_) l(stamp, message, level);
}

std::string EventLog::StartTimeText(std::time_t start) {
  std::tm tm{};
  localtime_r(&start, &tm);
  char buf[96];
  std::strftime(buf, sizeof buf, "Starting Time: %H:%M:%S  %b %d, %Y\n", &tm);
  return buf;
}

void EventLog::WriteBanner(std::time_t start) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string stars(60, '*');
  AppendToFile(stars + "\n" + stars + "\n" + "***************" + kProgramName + " " +
               kProgramVersion + "******************\n" + StartTimeText(start));
}

void EventLog::WriteExitGap() {
  std::lock_guard<std::mutex> lock(mutex_);
  AppendToFile("\n\n\n\n\n");
}

}  // namespace tarvexa
