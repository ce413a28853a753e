// Tarvexa Sound Recorder: the command line when asked for, else the window.
#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "app/CommandLine.h"
#include "platform/Paths.h"

int main(int argc, char** argv) {
  if (tarvexa::WantsCommandLine(argc, argv)) return tarvexa::RunCommandLine(argc, argv);
#ifdef TARVEXA_HAVE_GUI
  const std::string module = tarvexa::ProgramFolder() + "/tarvexa_window.so";
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    std::fprintf(stderr,
                 "Cannot load the main window (%s); the command line still works, see --help.\n",
                 dlerror());
    return 2;
  }
  using RunWindow = int (*)(int, char**);
  auto run = reinterpret_cast<RunWindow>(dlsym(handle, "tarvexa_run_window"));
  if (!run) {
    std::fprintf(stderr, "The main window library %s is broken: %s\n", module.c_str(), dlerror());
    return 2;
  }
  return run(argc, argv);
#else
  std::fprintf(stderr, "This build has no window (Qt 6 Widgets was not found); use --help.\n");
  return 2;
#endif
}
