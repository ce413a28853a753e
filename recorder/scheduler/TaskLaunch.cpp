#include "scheduler/TaskLaunch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "config/Settings.h"
#include "platform/Paths.h"
#include "platform/ShellOpen.h"
#include "platform/ShellWords.h"

namespace tarvexa {

namespace fs = std::filesystem;

namespace {

bool IsLink(const std::string& s) {
  const size_t colon = s.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  for (size_t i = 0; i < colon; ++i) {
    const char c = s[i];
    const bool ok = std::isalpha(static_cast<unsigned char>(c)) ||
                    (i > 0 && (std::isdigit(static_cast<unsigned char>(c)) || c == '+' ||
                               c == '-' || c == '.'));
    if (!ok) return false;
  }
  return s.compare(colon, 3, "://") == 0 || s.compare(0, colon + 1, "mailto:") == 0;
}

// An existing file or folder that is not a program: a document to open.
bool IsDocument(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) return true;
  return S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) != 0;
}

void SetError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

}  // namespace

std::string ScheduledOutputPath(const std::string& outputFile, const std::string& extension) {
  return StripExtension(outputFile) + extension;
}

bool EnsureOutputFolder(const std::string& outputFile, std::string* error) {
  const std::string folder = FolderOf(outputFile);
  if (folder.empty()) return true;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec && !fs::is_directory(folder)) {
    SetError(error, folder + ": " + ec.message());
    return false;
  }
  return true;
}

bool RunTaskApplication(const std::string& command, std::string* error) {
  const ShellWords split = SplitShellWords(command);
  if (!split.ok) {
    SetError(error, split.error);
    return false;
  }
  if (split.words.empty() || split.words[0].empty()) {
    SetError(error, "No program is named.");
    return false;
  }
  std::vector<std::string> words = split.words;
  if (words.size() == 1 && (IsLink(words[0]) || IsDocument(words[0])))
    return ShellOpen(words[0], error);
  const std::string program = FindProgram(words[0]);
  if (program.empty()) {
    SetError(error, "The program \"" + words[0] + "\" was not found or is not executable.");
    return false;
  }
  words[0] = program;
  return StartDetached(std::move(words), error);
}

bool OpenTaskUrl(const std::string& url, std::string* error) {
  // The opener would read a leading "-" as an option of its own.
  if (url.empty() || url[0] == '-' || url.find_first_not_of(" \t") == std::string::npos) {
    SetError(error, "No URL is given.");
    return false;
  }
  return ShellOpen(url, error);
}

void CopyTaskSettings(const CTask& task, Settings& s) {
  s.OUTPUT.OutputFormat = static_cast<int16_t>(task.format);
  s.OUTPUT.Freq = static_cast<int16_t>(task.freqIndex);
  s.OUTPUT.Chan = static_cast<int16_t>(task.channels);
  s.MISC.ActAftRec = static_cast<int16_t>(task.afterRecording);
  s.MISC.Split = static_cast<int16_t>(task.split);
  s.MISC.SplitHour = static_cast<int16_t>(task.splitHour);
  s.MISC.SplitMin = static_cast<int16_t>(task.splitMinute);
  s.MISC.SplitSec = static_cast<int16_t>(task.splitSecond);
  s.MISC.Stop = static_cast<int32_t>(task.stopAfter);
  s.MISC.StopHour = static_cast<int16_t>(task.stopHour);
  s.MISC.StopMin = static_cast<int16_t>(task.stopMinute);
  s.MISC.StopSec = static_cast<int16_t>(task.stopSecond);
}

void ShortenForLateStart(Settings& s, int lateSeconds) {
  if (!s.MISC.Stop || lateSeconds <= 0) return;
  const int length = s.MISC.StopHour * 3600 + s.MISC.StopMin * 60 + s.MISC.StopSec;
  const int rest = std::max(1, length - lateSeconds);
  s.MISC.StopHour = static_cast<int16_t>(rest / 3600);
  s.MISC.StopMin = static_cast<int16_t>(rest / 60 % 60);
  s.MISC.StopSec = static_cast<int16_t>(rest % 60);
}

}  // namespace tarvexa
