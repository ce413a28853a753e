// CPU of the displays during a recording: the same real-time recording of a
// music-like file, once with both visualizers and the amplitude bars on and
// once with all three off, the window visible.
//
//   xvfb-run -a build/bin/bench_visualizers [SECONDS]     (default 60)
//
// Each recording runs in a fresh process (this program started again with
// --once MODE), in a scratch data folder, writing WAV so that the encoder
// costs next to nothing. Printed per mode: CPU of the whole process and of
// its user-interface thread (block handling and painting) over the
// recording, as a share of one core, what the displays did, and the X
// server's CPU over the same time when it can be found (Xvfb or Xorg of
// $DISPLAY).
// Target: the displays cost under 5% of one core. A recording counts only
// when its file holds every frame of the input; exits 1 when a target is
// missed, 2 when a recording failed.
#include <dirent.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QtCore/QElapsedTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QTimer>
#include <QtWidgets/QApplication>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "app/RecorderDlg.h"
#include "components/ui/VisualDisplays.h"
#include "components/ui/VisualizePage.h"
#include "widgets/MessageBox.h"
#include "widgets/VisualizerView.h"

using namespace tarvexa;

namespace {

struct Mode {
  const char* name;
  const char* title;
  bool on;
  int visType;    // visualizer 1
  int blockSize;  // index
  int preset;     // visualizer 2
};
constexpr Mode kModes[] = {
    {"off", "all displays off", false, 1, 2, 3},
    {"on", "both visualizers and the bars on (FFTLinear, 1024; Preset 4)", true, 1, 2, 3},
    {"busy", "both visualizers and the bars on (FFTGlass, 16384; Preset 1 oscilloscope)", true, 4,
     6, 0},
};

double Seconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

double ProcessCpu() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The X server of $DISPLAY (a process named Xvfb or Xorg with ":N" among
// its arguments), 0 when there is none to be found.
int XServerPid() {
  const char* display = getenv("DISPLAY");
  if (!display || display[0] != ':') return 0;
  std::string want(display);
  want = want.substr(0, want.find('.'));
  DIR* proc = opendir("/proc");
  if (!proc) return 0;
  int found = 0;
  while (dirent* e = readdir(proc)) {
    const int pid = std::atoi(e->d_name);
    if (pid <= 0) continue;
    std::ifstream in("/proc/" + std::string(e->d_name) + "/cmdline", std::ios::binary);
    std::string cmd((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    std::stringstream split(cmd);
    for (std::string a; std::getline(split, a, '\0');) args.push_back(a);
    if (args.empty()) continue;
    const std::string name = args[0].substr(args[0].rfind('/') + 1);
    if (name != "Xvfb" && name != "Xorg") continue;
    for (const std::string& a : args)
      if (a == want) found = pid;
  }
  closedir(proc);
  return found;
}

// CPU seconds used so far by a process (utime + stime), -1 when unknown.
double ProcessCpuOf(int pid) {
  if (pid <= 0) return -1;
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream rest(stat.substr(close + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i)
    if (i == 14 || i == 15) ticks += std::stod(field);
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// One recording: prints "wall cpu uiCpu xCpu blocks shown paints1 paints2
// frames" (xCpu negative when the X server was not found; frames those of
// the recorded file).
int Once(int argc, char** argv, const Mode& mode, const std::string& input) {
  char dir[] = "/tmp/tarvexa-bench-visual-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  setenv("TARVEXA_HOME", dir, 1);
  if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY") && !getenv("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  SetMessageBoxHook([](const MessageBoxRequest& r) {
    return r.defaultButton != QMessageBox::NoButton ? r.defaultButton : QMessageBox::Ok;
  });

  CRecorderDlg dlg;
  dlg.SetTipAtStartup(false);
  // The file in place of the sound card, in real time.
  dlg.SetInputFactory(FileInsteadOfDevice(input, false));
  if (!dlg.Initialize()) return 1;
  Settings& s = dlg.CurrentSettings();
  s.OUTPUT.OutputFormat = 1;
  s.MISC.Vis1 = s.MISC.Vis2 = s.MISC.AmpBar = mode.on ? 1 : 0;
  s.MISC.VisTyp = static_cast<int16_t>(mode.visType);
  s.MISC.BlockSize = static_cast<int16_t>(mode.blockSize);
  s.MISC.VisPst = static_cast<int16_t>(mode.preset);
  dlg.GetVisualizePage()->Initialize();
  dlg.GetVisualizePage()->ApplyPreset();
  dlg.show();
  QElapsedTimer settle;
  settle.start();
  while (settle.elapsed() < 1000) app.processEvents(QEventLoop::AllEvents, 50);

  QEventLoop loop;
  QObject::connect(&dlg, &CRecorderDlg::sessionFinished, &loop, &QEventLoop::quit);
  const double wall0 = Seconds(CLOCK_MONOTONIC);
  const double cpu0 = ProcessCpu();
  const double ui0 = Seconds(CLOCK_THREAD_CPUTIME_ID);
  const int xPid = XServerPid();
  const double x0 = ProcessCpuOf(xPid);
  if (!dlg.StartRecordingTo(QString::fromStdString(std::string(dir) + "/bench.wav"))) return 1;
  loop.exec();
  const double wall = Seconds(CLOCK_MONOTONIC) - wall0;
  const double cpu = ProcessCpu() - cpu0;
  const double ui = Seconds(CLOCK_THREAD_CPUTIME_ID) - ui0;
  const double x = x0 < 0 ? -1 : ProcessCpuOf(xPid) - x0;
  const VisualDisplays::Counters& c = dlg.Visuals()->Count();
  std::printf("%.3f %.3f %.3f %.3f %d %d %d %d %lld\n", wall, cpu, ui, x, c.blocks, c.shown,
              dlg.Visuals()->View(1)->PaintCount(), dlg.Visuals()->View(2)->PaintCount(),
              bench::SoundFileFrames(std::string(dir) + "/bench.wav"));
  std::fflush(stdout);
  dlg.hide();
  std::string cleanup = std::string("rm -rf '") + dir + "'";
  [[maybe_unused]] int rc = std::system(cleanup.c_str());
  return 0;
}

struct Result {
  double wall = 0, cpu = 0, ui = 0, x = -1;
  int blocks = 0, shown = 0, paints1 = 0, paints2 = 0;
  long long frames = -1;
};

bool RunChild(const char* self, const char* mode, const std::string& input, Result* r) {
  std::string out;
  return tarvexa::bench::RunCapturing({self, "--once", mode, input}, &out) &&
         std::sscanf(out.c_str(), "%lf %lf %lf %lf %d %d %d %d %lld", &r->wall, &r->cpu, &r->ui,
                     &r->x, &r->blocks, &r->shown, &r->paints1, &r->paints2, &r->frames) == 9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--once") == 0) {
    for (const Mode& m : kModes)
      if (std::strcmp(argv[2], m.name) == 0) return Once(argc, argv, m, argv[3]);
    return 2;
  }
  const double seconds = argc > 1 ? std::max(5.0, std::atof(argv[1])) : 60.0;
  bench::PrintMachine();
  const std::string input = bench::MakeInput("/tmp/tarvexa-bench-input", seconds);
  const long long inputFrames = input.empty() ? -1 : bench::SoundFileFrames(input);
  if (inputFrames <= 0) {
    std::fprintf(stderr, "cannot write the input file\n");
    return 2;
  }
  std::printf("A %.0f s real-time recording (44.1 kHz stereo, WAV), window %s:\n", seconds,
              getenv("DISPLAY") ? "visible" : "offscreen (no display)");
  Result off;
  bool haveOff = false;
  bool allMet = true;
  for (const Mode& m : kModes) {
    Result r;
    if (!RunChild("/proc/self/exe", m.name, input, &r)) {
      std::fprintf(stderr, "the recording with %s failed\n", m.title);
      return 2;
    }
    if (r.frames != inputFrames) {
      std::fprintf(stderr, "the recording with %s holds %lld frames, the input %lld\n", m.title,
                   r.frames, inputFrames);
      return 2;
    }
    std::printf("  %s:\n", m.title);
    std::printf(
        "    process %5.2f%% of one core, user-interface thread %5.2f%%  (%.1f s CPU in %.1f s)\n",
        100 * r.cpu / r.wall, 100 * r.ui / r.wall, r.cpu, r.wall);
    if (r.x >= 0) std::printf("    X server %5.2f%% of one core\n", 100 * r.x / r.wall);
    std::printf("    %d blocks, %d drawn; visualizer views painted %d and %d times\n", r.blocks,
                r.shown, r.paints1, r.paints2);
    if (!m.on) {
      off = r;
      haveOff = true;
    } else if (haveOff) {
      const double cost = 100 * (r.cpu / r.wall - off.cpu / off.wall);
      const double uiCost = 100 * (r.ui / r.wall - off.ui / off.wall);
      std::printf(
          "    the displays cost %.2f%% of one core (user-interface thread %.2f%%): target under "
          "5%%: %s\n",
          cost, uiCost, cost < 5 ? "met" : "MISSED");
      allMet = cost < 5 && allMet;
      if (r.x >= 0 && off.x >= 0)
        std::printf("    and the X server %.2f%% more\n", 100 * (r.x / r.wall - off.x / off.wall));
    }
  }
  std::printf("All targets %s.\n", allMet ? "met" : "NOT met");
  return allMet ? 0 : 1;
}
