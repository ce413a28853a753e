#pragma once
// The recovery journal: which output files a recording has open, so that a
// file left unfinished by a crash, a kill or a power loss is repaired at
// the next start of the program (window or command line).
//
// Each running program keeps its own journal in the data folder,
// "Journal/<pid>.journal": a line with its process id and start time, then
// one line per file when it is opened (format code and path) and one when
// it has been closed cleanly. The journal is removed when its last open
// file is closed, so after clean recordings nothing is left. At start-up,
// the journals of programs that no longer run are read, every file still
// open in them is repaired through its format family's recover hook
// (formats/FormatFamily.h), one line per file is logged at level 1, and the
// journal is removed. Journals of programs still running are left alone.
// Thread affinity: Opened/Closed from any thread (the encoder thread);
// RecoverUnfinishedRecordings on the starting thread.

#include <functional>
#include <string>

namespace tarvexa {

using RecoveryLog = std::function<void(const std::string& text, int level)>;

class RecoveryJournal {
 public:
  // A file of `format` was opened for writing.
  static void Opened(int format, const std::string& path);
  // The file was closed cleanly (or repaired after a failure): no repair
  // needed.
  static void Closed(const std::string& path);

  // The folder of the journals: DataFolder() + "/Journal".
  static std::string Folder();
};

// Repairs every file that the journals of finished programs still list as
// open and logs one line per file (level 1). Returns how many files were
// listed.
int RecoverUnfinishedRecordings(const RecoveryLog& log);

// "1:02:03.4" (hours only when there are any: "2:03.4").
std::string RecoveredLengthText(double seconds);

}  // namespace tarvexa
