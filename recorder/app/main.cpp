// Tarvexa Sound Recorder: the command line when asked for, else the window.
#include <cstdio>

#include "app/CommandLine.h"
#ifdef TARVEXA_HAVE_GUI
#include "app/RecorderApp.h"
#endif

int main(int argc, char** argv) {
  if (tarvexa::WantsCommandLine(argc, argv)) return tarvexa::RunCommandLine(argc, argv);
#ifdef TARVEXA_HAVE_GUI
  return tarvexa::RunRecorderWindow(argc, argv);
#else
  std::fprintf(stderr, "This build has no window (Qt 6 Widgets was not found); use --help.\n");
  return 2;
#endif
}
