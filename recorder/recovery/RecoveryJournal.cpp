#include "recovery/RecoveryJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "formats/FormatCatalogue.h"
#include "formats/FormatFamily.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace tarvexa {

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[] = "tarvexa-journal 1";

// A path on one line: "%" and line breaks are written as %25, %0A, %0D.
std::string Escape(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '%')
      out += "%25";
    else if (c == '\n')
      out += "%0A";
    else if (c == '\r')
      out += "%0D";
    else
      out += c;
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const std::string code = text.substr(i + 1, 2);
      if (code == "25") {
        out += '%';
        i += 2;
        continue;
      }
      if (code == "0A") {
        out += '\n';
        i += 2;
        continue;
      }
      if (code == "0D") {
        out += '\r';
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

// Start time of a process in clock ticks since boot (field 22 of its stat
// line); "" when it does not run (a zombie does not count).
std::string StartTimeOf(long pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return {};
  const size_t close = line.rfind(')');
  if (close == std::string::npos) return {};
  std::istringstream fields(line.substr(close + 2));
  std::string field;
  std::vector<std::string> f;
  while (fields >> field) f.push_back(field);
  // f[0] is field 3 (the state); field 22 is f[19].
  if (f.size() < 20 || f[0] == "Z" || f[0] == "X") return {};
  return f[19];
}

bool AppendLine(const std::string& path, const std::string& line, bool sync) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const std::string text = line + "\n";
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (sync && ::fdatasync(fd) != 0) ok = false;
  ::close(fd);
  return ok;
}

struct ThisProcess {
  std::mutex mutex;
  std::string journal;              // while files are open
  std::multiset<std::string> open;  // their paths
};

ThisProcess& Self() {
  static ThisProcess self;
  return self;
}

}  // namespace

std::string RecoveryJournal::Folder() { return DataFolder() + "/Journal"; }

void RecoveryJournal::Opened(int format, const std::string& path) {
  ThisProcess& self = Self();
  std::lock_guard<std::mutex> lock(self.mutex);
  if (self.open.empty()) {
    std::error_code ec;
    fs::create_directories(Folder(), ec);
    self.journal = Folder() + "/" + std::to_string(getpid()) + ".journal";
    std::error_code sizeError;
    if (!fs::exists(self.journal, sizeError)) {
      AppendLine(self.journal,
                 std::string(kMagic) + "\nprocess " + std::to_string(getpid()) + " " +
                     StartTimeOf(getpid()),
                 false);
    }
  }
  self.open.insert(path);
  // On disk before the first audio, so that a power loss finds it; with the
  // full path, as the next start may be in another folder.
  std::error_code ec;
  const fs::path full = fs::absolute(path, ec);
  AppendLine(self.journal,
             "open " + std::to_string(format) + " " + Escape(ec ? path : full.string()), true);
}

void RecoveryJournal::Closed(const std::string& path) {
  ThisProcess& self = Self();
  std::lock_guard<std::mutex> lock(self.mutex);
  std::error_code ec;
  const fs::path full = fs::absolute(path, ec);
  auto it = self.open.find(path);
  if (it == self.open.end()) return;
  self.open.erase(it);
  if (self.open.empty()) {
    ::unlink(self.journal.c_str());
    self.journal.clear();
  } else {
    AppendLine(self.journal, "closed " + Escape(ec ? path : full.string()), false);
  }
}

std::string RecoveredLengthText(double seconds) {
  if (seconds < 0) return "an unknown length";
  const long tenths = std::lround(seconds * 10.0);
  const long h = tenths / 36000, m = (tenths / 600) % 60, s = (tenths / 10) % 60, t = tenths % 10;
  return h > 0 ? Printf("%ld:%02ld:%02ld.%ld", h, m, s, t) : Printf("%ld:%02ld.%ld", m, s, t);
}

namespace {

void RecoverOne(int format, const std::string& path, const RecoveryLog& log) {
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    log("The unfinished recording " + path + " is gone; nothing to recover.", 1);
    return;
  }
  const FormatFamily* family = FamilyOf(format);
  if (!family || !family->recover) {
    log("The unfinished recording " + path + " was left as it is (no repair for the " +
            FormatTag(format) + " format).",
        1);
    return;
  }
  RecoveredFile r;
  try {
    r = family->recover(format, path);
  } catch (const std::exception& e) {
    r.ok = false;
    r.error = e.what();
  }
  if (!r.ok) {
    log("Could not recover the unfinished recording " + path + ": " + r.error + ".", 1);
    return;
  }
  log("Recovered the unfinished recording " + path + ": " + r.done + "; it holds " +
          RecoveredLengthText(r.seconds) + " of audio.",
      1);
}

}  // namespace

int RecoverUnfinishedRecordings(const RecoveryLog& log) {
  std::error_code ec;
  const std::string folder = RecoveryJournal::Folder();
  if (!fs::is_directory(folder, ec)) return 0;
  std::vector<std::string> journals;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (entry.path().extension() == ".journal") journals.push_back(entry.path().string());
  }
  int listed = 0;
  for (const std::string& journal : journals) {
    const int fd = ::open(journal.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    // Another program starting at the same moment takes it, or we do.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      continue;
    }
    std::ifstream in(journal);
    std::string line;
    std::getline(in, line);
    const bool ours = line == kMagic;
    long pid = 0;
    std::string started;
    if (ours && std::getline(in, line)) {
      std::istringstream words(line);
      std::string tag;
      words >> tag >> pid >> started;
      if (tag != "process") pid = 0;
    }
    if (!ours || pid <= 0) {
      ::close(fd);
      continue;  // not a journal this program wrote
    }
    // The program that wrote it still runs (a recording in progress).
    const std::string now = StartTimeOf(pid);
    if (!now.empty() && now == started) {
      ::close(fd);
      continue;
    }
    std::vector<std::pair<int, std::string>> open;
    while (std::getline(in, line)) {
      if (line.rfind("open ", 0) == 0) {
        const size_t space = line.find(' ', 5);
        if (space == std::string::npos) continue;
        int format = 0;
        try {
          format = std::stoi(line.substr(5, space - 5));
        } catch (...) {
          continue;
        }
        open.emplace_back(format, Unescape(line.substr(space + 1)));
      } else if (line.rfind("closed ", 0) == 0) {
        const std::string path = Unescape(line.substr(7));
        for (auto it = open.begin(); it != open.end(); ++it) {
          if (it->second == path) {
            open.erase(it);
            break;
          }
        }
      }
    }
    for (const auto& [format, path] : open) {
      RecoverOne(format, path, log);
      ++listed;
    }
    ::unlink(journal.c_str());
    ::close(fd);
  }
  return listed;
}

}  // namespace tarvexa
