#pragma once
// Runs a helper program from an argument vector (never through a shell)
// and waits for it to end, collecting what it printed. Values reach the
// program exactly as given: blanks, quotes and shell characters included.
// Thread affinity: any thread; the call blocks until the program ends.

#include <string>
#include <utility>
#include <vector>

namespace tarvexa {

struct ProgramRun {
  bool started = false;  // false: the program could not be executed; see error
  int exitCode = -1;     // its exit status, or -1 when a signal ended it
  std::string output;    // standard output and error together (at most 64 KiB)
  std::string error;     // why it did not start or did not end normally

  bool Succeeded() const { return started && exitCode == 0; }
};

// argv[0] is the program's full path. `environment` adds or replaces
// variables of this process's environment for the child only.
ProgramRun RunProgram(const std::vector<std::string>& argv,
                      const std::vector<std::pair<std::string, std::string>>& environment = {});

}  // namespace tarvexa
