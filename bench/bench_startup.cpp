// How long the main window takes from the start of the process to
// "Finished Initialization.", and how much memory the idle window holds.
//
//   bench_startup [RUNS]      (default 5; under a display or offscreen)
//
// Each run is a fresh process (this program started again with --once), in
// a scratch data folder, with message boxes answered by themselves.
// Targets: start-up under 1 s, resident memory under 80 MB. A run counts
// only when the window logged "Finished Initialization."; exits 1 when a
// target is missed, 2 when a run failed.
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QtCore/QElapsedTimer>
#include <QtWidgets/QApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "app/RecorderDlg.h"
#include "widgets/MessageBox.h"

using namespace tarvexa;

namespace {

// Seconds since boot at which this process started (/proc/self/stat field 22).
double ProcessStartSeconds() {
  std::ifstream in("/proc/self/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto close = stat.rfind(')');
  std::istringstream rest(stat.substr(close + 2));
  std::string field;
  for (int i = 3; i <= 22 && rest >> field; ++i) {}
  return std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double BootSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

long StatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
  return -1;
}

// One start: prints "startup_ms rss_kb".
int Once(int argc, char** argv) {
  char dir[] = "/tmp/tarvexa-bench-startup-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  setenv("TARVEXA_HOME", dir, 1);
  if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY") && !getenv("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  SetMessageBoxHook([](const MessageBoxRequest& r) {
    return r.defaultButton != QMessageBox::NoButton ? r.defaultButton : QMessageBox::Ok;
  });

  double finishedAt = -1;
  CRecorderDlg dlg;
  dlg.SetTipAtStartup(false);
  dlg.Log().AddListener([&](const std::string&, const std::string& message, int) {
    if (message == "Finished Initialization.") finishedAt = BootSeconds();
  });
  if (!dlg.Initialize()) return 1;
  dlg.show();
  QElapsedTimer idle;
  idle.start();
  while (idle.elapsed() < 1500) app.processEvents(QEventLoop::AllEvents, 50);
  if (finishedAt < 0) return 1;
  std::printf("%.1f %ld\n", (finishedAt - ProcessStartSeconds()) * 1000.0, StatusKb("VmRSS:"));
  std::string cleanup = std::string("rm -rf '") + dir + "'";
  [[maybe_unused]] int rc = std::system(cleanup.c_str());
  return 0;
}

bool RunChild(const char* self, double* ms, long* kb) {
  std::string out;
  return tarvexa::bench::RunCapturing({self, "--once"}, &out) &&
         std::sscanf(out.c_str(), "%lf %ld", ms, kb) == 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--once") == 0) return Once(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  tarvexa::bench::PrintMachine();
  std::vector<double> times;
  std::vector<long> rss;
  std::printf("Main window start-up, %d fresh processes:\n", runs);
  for (int i = 0; i < runs; ++i) {
    double ms = 0;
    long kb = 0;
    if (!RunChild("/proc/self/exe", &ms, &kb)) {
      std::fprintf(stderr, "run %d failed: no \"Finished Initialization.\"\n", i + 1);
      return 2;
    }
    std::printf("  run %d: %7.1f ms to \"Finished Initialization.\", %6.1f MB resident when idle\n",
                i + 1, ms, kb / 1024.0);
    times.push_back(ms);
    rss.push_back(kb);
  }
  std::sort(times.begin(), times.end());
  std::sort(rss.begin(), rss.end());
  const double medianMs = times[times.size() / 2];
  const double medianMb = rss[rss.size() / 2] / 1024.0;
  const bool timeMet = medianMs < 1000, memoryMet = medianMb < 80;
  std::printf(
      "median: %.1f ms start-up (target under 1000 ms: %s), %.1f MB resident (target under 80 MB: "
      "%s)\n",
      medianMs, timeMet ? "met" : "MISSED", medianMb, memoryMet ? "met" : "MISSED");
  return timeMet && memoryMet ? 0 : 1;
}
