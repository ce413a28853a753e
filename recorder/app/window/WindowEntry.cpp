// The window lives in a library of its own, loaded only when the window is
// wanted, so that the command line does not pay for Qt in memory or time.
#include "app/RecorderApp.h"

extern "C" __attribute__((visibility("default"))) int tarvexa_run_window(int argc, char** argv) {
  return tarvexa::RunRecorderWindow(argc, argv);
}
