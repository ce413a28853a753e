// Tarvexa Sound Recorder: the command line when asked for, else the window.
#include <cstdio>

#include "app/CommandLine.h"

int main(int argc, char** argv) {
  if (tarvexa::WantsCommandLine(argc, argv)) return tarvexa::RunCommandLine(argc, argv);
  std::fprintf(stderr, "The main window is not part of this build yet; use --help.\n");
  return 2;
}
