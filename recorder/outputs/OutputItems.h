#pragma once
// The output list: the recordings this recorder has produced, in display
// order, with the rules for adding a finished recording, sorting, moving,
// removing and renaming, and the store in Output.ini. The window's Output
// page shows it and runs the commands; this class touches no widget.
// Thread affinity: the user-interface thread.

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "outputs/OutputStore.h"

namespace tarvexa {
struct ClipResult;
struct Settings;
}  // namespace tarvexa

namespace tarvexa {

enum OutputColumn : int {
  kColName,
  kColLocation,
  kColFormat,
  kColDuration,
  kColTimestamp,
  kColSize
};
inline constexpr int kOutputColumnCount = 6;

// "HH:MM:SS" of a span; the hours count on past 24.
std::string DurationText(int64_t seconds);
// Whole seconds of a clip: the frames the writer wrote at the file's rate,
// rounded to the nearest second.
int64_t SecondsOfFrames(int64_t frames, int rate);
// Bytes as megabytes with three decimals ("1.500").
std::string SizeText(uint64_t bytes);
// Whether the tag editor can tag a file of this extension (without the dot,
// any case); an Ogg file holding FLAC cannot be.
bool TaggableExtension(const std::string& extension, bool oggFlac = false);

enum class MoveTo { Up, Down, Top, Bottom };

enum class RenameResult {
  Renamed,
  Unchanged,  // the same or an empty name: nothing to do
  BadName,    // holds "/" or is "." or ".."
  Exists,     // another file has that name; nothing was changed
  Failed,     // the file system refused; *error says why
};

// Renames `from` to `to` without ever replacing an existing `to`.
RenameResult RenameNoReplace(const std::string& from, const std::string& to, std::string* error);

class OutputItems {
 public:
  const std::vector<OutputEntry>& Entries() const { return entries_; }
  int Count() const { return static_cast<int>(entries_.size()); }
  const OutputEntry& At(int row) const { return entries_.at(static_cast<size_t>(row)); }

  // A recording file is complete: an item for the same path (compared
  // without regard to case) goes, a new one is appended with the length,
  // `timestamp` and the file's size read now. Returns its row.
  int AddRecording(const std::string& path, int64_t seconds, const std::string& timestamp,
                   bool oggFlac = false);
  // A finished clip of a recording made with `recording`: the length its
  // writer wrote (AddRecording). A clip no audio reached left no file and
  // is not added (-1).
  int AddClip(const ClipResult& clip, const Settings& recording, const std::string& timestamp);
  // Row of the item with this full path (compared without regard to case), -1.
  int Find(const std::string& fullPath) const;

  // Removes the rows (any order, duplicates allowed); the files stay.
  void Remove(std::vector<int> rows);
  // Returns the item's new row (the same one at an end).
  int Move(int row, MoveTo where);
  void SetMissing(int row, bool missing) {
    entries_.at(static_cast<size_t>(row)).missing = missing;
  }

  // Sorts by a column, ascending; when the list is already sorted by that
  // column, reverses the direction. Adding, moving or renaming an item ends
  // the sorted state. Durations and sizes compare by value, timestamps by
  // time when `timeOf` reads both, other texts without regard to case.
  using TimeOf = std::function<std::optional<int64_t>(const std::string& timestamp)>;
  void Sort(int column, const TimeOf& timeOf = nullptr);
  int SortColumn() const { return sortColumn_; }  // -1 when not sorted
  bool SortAscending() const { return ascending_; }

  // Renames the item's file on disk to newName in the same folder, then the
  // item; the item stays as it was when the file could not be renamed.
  RenameResult Rename(int row, const std::string& newName, std::string* error);

  // Replaces the list with the items of Output.ini whose files still exist,
  // sorted by name. A damaged file keeps the items read before the damage
  // and is copied aside first (*keptAs names the copy), so that the next
  // save loses nothing of it.
  struct LoadReport {
    bool damaged = false;
    std::string error;
    std::string keptAs;
    int dropped = 0;  // items whose files are gone
  };
  LoadReport Load(const std::string& path, const TimeOf& timeOf = nullptr);
  bool Save(const std::string& path, std::string* error) const;
  // Another program of the data folder (the scheduler service) adds its
  // recordings to Output.ini: the items of the file at `path` that neither
  // this list nor the file as last loaded, saved or merged held are
  // appended (their files present). Items this list has removed since stay
  // removed. Returns how many were added.
  int MergeAdded(const std::string& path);

 private:
  void Remember(const std::vector<OutputEntry>& stored) const;

  std::vector<OutputEntry> entries_;
  // The paths (lower case) of the file's items as last seen.
  mutable std::set<std::string> stored_;
  int sortColumn_ = -1;
  bool ascending_ = true;
};

}  // namespace tarvexa
