#include "outputs/OutputItems.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "config/Settings.h"
#include "formats/FormatCatalogue.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "recording/RecordingController.h"

namespace tarvexa {

namespace fs = std::filesystem;

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerText(std::string s) {
  for (char& c : s) c = Lower(c);
  return s;
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && LowerText(a) == LowerText(b);
}

// <0, 0, >0 like strcmp, ASCII letters folded.
int CompareText(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(Lower(a[i]));
    const auto y = static_cast<unsigned char>(Lower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string ExtensionOf(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot + 1);
}

// Seconds of "H:MM:SS"; nullopt for anything else.
std::optional<int64_t> SecondsOfText(const std::string& text) {
  int64_t parts[3] = {0, 0, 0};
  int part = 0;
  bool digit = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      if (parts[part] > 100000000) return std::nullopt;
      parts[part] = parts[part] * 10 + (c - '0');
      digit = true;
    } else if (c == ':' && digit && part < 2) {
      ++part;
      digit = false;
    } else {
      return std::nullopt;
    }
  }
  if (part != 2 || !digit) return std::nullopt;
  return parts[0] * 3600 + parts[1] * 60 + parts[2];
}

std::optional<double> NumberOfText(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || !std::isfinite(v)) return std::nullopt;
  return v;
}

// Compares two optional keys; items with a key come before those without.
template <class T>
int CompareKeys(const std::optional<T>& a, const std::optional<T>& b) {
  if (a && b) return *a < *b ? -1 : (*b < *a ? 1 : 0);
  if (a || b) return a ? -1 : 1;
  return 0;
}

const std::string& Column(const OutputEntry& e, int column) {
  switch (column) {
    case kColName: return e.name;
    case kColLocation: return e.location;
    case kColFormat: return e.format;
    case kColDuration: return e.duration;
    case kColTimestamp: return e.timestamp;
    default: return e.size;
  }
}

uint64_t SizeOnDisk(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// A copy of a damaged list file beside it, under a name not yet taken.
std::string KeepDamagedCopy(const std::string& path) {
  std::error_code ec;
  for (int n = 1; n < 1000; ++n) {
    const std::string copy =
        path + (n == 1 ? std::string(".damaged") : ".damaged-" + std::to_string(n));
    if (fs::exists(copy, ec)) continue;
    if (fs::copy_file(path, copy, ec)) return copy;
    return {};
  }
  return {};
}

}  // namespace

std::string DurationText(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  return Printf("%02lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
}

int64_t SecondsOfFrames(int64_t frames, int rate) {
  if (rate <= 0 || frames <= 0) return 0;
  return (frames + rate / 2) / rate;
}

std::string SizeText(uint64_t bytes) {
  return Printf("%.3f", static_cast<double>(bytes) / 1048576.0);
}

bool TaggableExtension(const std::string& extension, bool oggFlac) {
  static const char* const kTaggable[] = {"mp3", "wma", "ogg", "ape", "flac", "3gp",
                                          "m4a", "m4b", "mp4", "mpc", "wv"};
  const std::string ext = LowerText(extension);
  if (ext == "ogg" && oggFlac) return false;
  return std::any_of(std::begin(kTaggable), std::end(kTaggable),
                     [&](const char* t) { return ext == t; });
}

RenameResult RenameNoReplace(const std::string& from, const std::string& to, std::string* error) {
  auto failed = [&](int err) {
    if (error) *error = std::strerror(err);
    return err == EEXIST || err == ENOTEMPTY ? RenameResult::Exists : RenameResult::Failed;
  };
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return RenameResult::Renamed;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return failed(errno);
  // A file system without the flag: a hard link fails on an existing name
  // just as atomically.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return RenameResult::Renamed;
  }
  if (errno == EEXIST || errno == ENOENT) return failed(errno);
  // Neither (FAT and the like): look first, then rename.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) return failed(EEXIST);
  if (::rename(from.c_str(), to.c_str()) != 0) return failed(errno);
  return RenameResult::Renamed;
}

int OutputItems::AddRecording(const std::string& path, int64_t seconds,
                              const std::string& timestamp, bool oggFlac) {
  if (int row = Find(path); row >= 0) entries_.erase(entries_.begin() + row);
  OutputEntry e;
  e.name = FileNameOf(path);
  e.location = FolderOf(path);
  const std::string ext = ExtensionOf(e.name);
  for (char c : ext)
    e.format.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  e.duration = DurationText(seconds);
  e.timestamp = timestamp;
  e.size = SizeText(SizeOnDisk(path));
  e.taggable = TaggableExtension(ext, oggFlac) ? 1 : 0;
  entries_.push_back(std::move(e));
  sortColumn_ = -1;
  return Count() - 1;
}

int OutputItems::Find(const std::string& fullPath) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(entries_[static_cast<size_t>(i)].FullPath(), fullPath)) return i;
  return -1;
}

void OutputItems::Remove(std::vector<int> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  for (auto it = rows.rbegin(); it != rows.rend(); ++it)
    if (*it >= 0 && *it < Count()) entries_.erase(entries_.begin() + *it);
}

int OutputItems::Move(int row, MoveTo where) {
  if (row < 0 || row >= Count()) return row;
  int to = row;
  switch (where) {
    case MoveTo::Up: to = std::max(0, row - 1); break;
    case MoveTo::Down: to = std::min(Count() - 1, row + 1); break;
    case MoveTo::Top: to = 0; break;
    case MoveTo::Bottom: to = Count() - 1; break;
  }
  if (to == row) return row;
  OutputEntry e = std::move(entries_[static_cast<size_t>(row)]);
  entries_.erase(entries_.begin() + row);
  entries_.insert(entries_.begin() + to, std::move(e));
  sortColumn_ = -1;
  return to;
}

void OutputItems::Sort(int column, const TimeOf& timeOf) {
  if (column < 0 || column >= kOutputColumnCount) return;
  ascending_ = column == sortColumn_ ? !ascending_ : true;
  sortColumn_ = column;
  auto compare = [&](const OutputEntry& a, const OutputEntry& b) {
    const std::string& x = Column(a, column);
    const std::string& y = Column(b, column);
    int c = 0;
    if (column == kColDuration) c = CompareKeys(SecondsOfText(x), SecondsOfText(y));
    if (column == kColSize) c = CompareKeys(NumberOfText(x), NumberOfText(y));
    if (column == kColTimestamp && timeOf) {
      const auto tx = timeOf(x), ty = timeOf(y);
      if (tx && ty) c = CompareKeys(tx, ty);
    }
    return c != 0 ? c : CompareText(x, y);
  };
  std::stable_sort(entries_.begin(), entries_.end(),
                   [&](const OutputEntry& a, const OutputEntry& b) {
                     return ascending_ ? compare(a, b) < 0 : compare(b, a) < 0;
                   });
}

RenameResult OutputItems::Rename(int row, const std::string& newName, std::string* error) {
  if (row < 0 || row >= Count()) return RenameResult::Unchanged;
  OutputEntry& e = entries_[static_cast<size_t>(row)];
  if (newName.empty() || newName == e.name) return RenameResult::Unchanged;
  if (newName.find('/') != std::string::npos || newName == "." || newName == "..") {
    if (error) *error = "a file name cannot hold \"/\"";
    return RenameResult::BadName;
  }
  const RenameResult r = RenameNoReplace(e.FullPath(), e.location + newName, error);
  if (r != RenameResult::Renamed) return r;
  e.name = newName;
  e.missing = false;
  if (sortColumn_ == kColName) sortColumn_ = -1;
  return r;
}

OutputItems::LoadReport OutputItems::Load(const std::string& path, const TimeOf& timeOf) {
  LoadReport report;
  OutputFileRead read = ReadOutputFile(path);
  if (read.damaged) {
    report.damaged = true;
    report.error = read.error;
    std::error_code ec;
    if (fs::file_size(path, ec) > 0 && !ec) report.keptAs = KeepDamagedCopy(path);
  }
  Remember(read.entries);
  entries_.clear();
  for (OutputEntry& e : read.entries) {
    std::error_code ec;
    const fs::file_status st = fs::status(e.FullPath(), ec);
    if (fs::exists(st) && !fs::is_directory(st))
      entries_.push_back(std::move(e));
    else
      ++report.dropped;
  }
  sortColumn_ = -1;
  Sort(kColName, timeOf);
  return report;
}

bool OutputItems::Save(const std::string& path, std::string* error) const {
  if (!WriteOutputFile(path, entries_, error)) return false;
  Remember(entries_);
  return true;
}

void OutputItems::Remember(const std::vector<OutputEntry>& stored) const {
  stored_.clear();
  for (const OutputEntry& e : stored) stored_.insert(LowerText(e.FullPath()));
}

int OutputItems::MergeAdded(const std::string& path) {
  const OutputFileRead read = ReadOutputFile(path);
  if (!read.exists) return 0;
  int added = 0;
  for (const OutputEntry& e : read.entries) {
    if (stored_.count(LowerText(e.FullPath())) || Find(e.FullPath()) >= 0) continue;
    std::error_code ec;
    if (!fs::is_regular_file(e.FullPath(), ec)) continue;
    entries_.push_back(e);
    ++added;
  }
  if (added) sortColumn_ = -1;
  Remember(read.entries);
  return added;
}

int OutputItems::AddClip(const ClipResult& clip, const Settings& recording,
                         const std::string& timestamp) {
  if (clip.frames <= 0) return -1;  // no audio reached it: it left no file
  const bool oggFlac = recording.OUTPUT.OutputFormat == kFormatFLAC && recording.FLAC.Native == 0;
  return AddRecording(clip.path, SecondsOfFrames(clip.frames, clip.rate), timestamp, oggFlac);
}

}  // namespace tarvexa
