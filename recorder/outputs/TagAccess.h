#pragma once
// Reading and writing one file's tag for the metadata page, by extension:
// WMA through the WMA information component, Monkey's Audio through the
// Monkey's Audio library, MP3, Ogg, FLAC, Musepack, WavPack and TTA through
// the tagreader and tagwriter programs, everything else (the MPEG-4
// family) through Mpeg4tagreader and Mpeg4tagwriter. The programs live in
// the program folder, take an argument vector and hand what they read back
// in temp.tag in the data folder.
// Thread affinity: one caller at a time, any thread (the page calls from a
// worker thread; the programs are waited for without a time limit).

#include <string>
#include <utility>
#include <vector>

#include "outputs/TempTag.h"

namespace tarvexa {

class ApeTagLibrary;
class WmaInfoRole;

enum class TagRoute { Wma, Ape, Plain, Mpeg4 };
TagRoute TagRouteFor(const std::string& path);

// The tag writer's argument vector for a file of the Plain or Mpeg4 route:
// every value one argument, as typed; an empty Year or Track is "0" for
// the MPEG-4 writer.
std::vector<std::string> TagWriterArguments(TagRoute route, const std::string& programFolder,
                                            const TagFields& fields, const std::string& path);

class TagAccess {
 public:
  // Neither is owned; either may be null (its files are then reported as
  // unreadable).
  TagAccess(WmaInfoRole* wma, ApeTagLibrary* ape, std::string programFolder,
            std::string dataFolder);

  struct Outcome {
    bool ok = false;
    TagSheet sheet;                                // Load: what to show
    std::vector<std::pair<std::string, int>> log;  // lines for the event log
    std::string error;                             // why it failed
  };
  Outcome Load(const std::string& path);
  Outcome Save(const std::string& path, const TagFields& fields);

  std::string TempTagPath() const { return dataFolder_ + "/temp.tag"; }

 private:
  Outcome LoadWma(const std::string& path);
  Outcome LoadWithProgram(TagRoute route, const std::string& path);

  WmaInfoRole* wma_;
  ApeTagLibrary* ape_;
  std::string programFolder_;
  std::string dataFolder_;
};

}  // namespace tarvexa
