#pragma once
// Output.ini, the output list between runs, in the archive serialisation
// (platform/Archive.h): a 32-bit count, then per item its six column texts
// as length-prefixed strings and a 32-bit taggable flag.
// Thread affinity: any thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvexa {

// One item of the output list: the six column texts in column order, the
// taggable flag and what this run found out about the file.
struct OutputEntry {
  std::string name;       // file name with extension
  std::string location;   // folder, ending with "/"
  std::string format;     // extension in upper case, without the dot
  std::string duration;   // "HH:MM:SS"
  std::string timestamp;  // when the recording finished, in the user's locale
  std::string size;       // megabytes with three decimals
  uint32_t taggable = 0;  // 1 when the tag editor can tag the file

  bool missing = false;  // found missing by a command (not stored)

  std::string FullPath() const { return location + name; }
  bool operator==(const OutputEntry& o) const {
    return name == o.name && location == o.location && format == o.format &&
           duration == o.duration && timestamp == o.timestamp && size == o.size &&
           taggable == o.taggable;
  }
};

std::string EncodeOutputList(const std::vector<OutputEntry>& entries);

// Appends every complete record to *entries. False when the bytes end
// inside a record or a length runs past the end (the records before it are
// kept); bytes after the last record are ignored.
bool DecodeOutputList(std::string_view bytes, std::vector<OutputEntry>* entries);

struct OutputFileRead {
  bool exists = false;   // there was a file to read
  bool damaged = false;  // unreadable or cut short; `entries` holds what came before
  std::string error;     // why, when damaged
  std::vector<OutputEntry> entries;
};
OutputFileRead ReadOutputFile(const std::string& path);

// Replaces the file atomically. False with a reason in *error.
bool WriteOutputFile(const std::string& path, const std::vector<OutputEntry>& entries,
                     std::string* error);

}  // namespace tarvexa
