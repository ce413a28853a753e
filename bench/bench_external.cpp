// Speed of the outside-encoder formats as whole processes: the recorder's
// command line recording a 5-minute file (--fast) into Musepack quality 5
// and AAC 128 kbit/s, beside mpcenc and `ffmpeg -c:a aac -b:a 128k` encoding
// the same file, in the same run. Each file timed is decoded afterwards and
// must hold the whole input. Target: the recorder at least 0.9 of the
// peer's speed. Exits non-zero when a run fails, a file is wrong or a target
// is missed.
//
//   bench_external [WORKDIR]
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "BenchSupport.h"

using namespace tarvexa::bench;

namespace {

constexpr double kSeconds = 300.0;
constexpr double kTarget = 0.9;

std::string ProgramFolder() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  buf[n] = '\0';
  return std::filesystem::path(buf).parent_path().string();
}

// What FFmpeg makes of a file: decoded seconds at `rate`, and the stream's
// bitrate in kbit/s (0 when it does not say).
struct Decoded {
  double seconds = -1;
  double kbps = 0;
};
Decoded Decode(const std::string& path, int rate) {
  Decoded d;
  std::string out;
  if (RunCapturing({"/bin/sh", "-c",
                    "ffmpeg -v error -i '" + path + "' -f s16le -ac 1 -ar " + std::to_string(rate) +
                        " - | wc -c"},
                   &out)) {
    d.seconds = std::atof(out.c_str()) / 2.0 / rate;
  }
  if (RunCapturing({"/usr/bin/ffprobe", "-v", "error", "-show_entries", "format=bit_rate", "-of",
                    "default=nw=1:nk=1", path},
                   &out)) {
    d.kbps = std::atof(out.c_str()) / 1000.0;
  }
  return d;
}

struct Case {
  const char* name;
  const char* config;  // Config.ini of the recorder
  int format;
  const char* ext;
  const char* peerName;
  std::vector<std::string> (*peer)(const std::string& in, const std::string& out);
  double minKbps, maxKbps;  // what the files must come out at
};

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp/tarvexa-bench";
  PrintMachine();
  std::printf("Preparing a %.0f s 44.1 kHz stereo input in %s ...\n", kSeconds, dir.c_str());
  const std::string input = MakeInput(dir, kSeconds);
  if (input.empty()) return 1;
  const std::string home = dir + "/external-home";
  std::filesystem::create_directories(home);
  setenv("TARVEXA_HOME", home.c_str(), 1);
  const std::string recorder = ProgramFolder() + "/TarvexaSoundRecorder";

  const Case cases[] = {
      {"MPC quality 5", "[MPC]\nQuality=50\nPreset=3\n", 11, "mpc", "mpcenc",
       [](const std::string& in, const std::string& out) {
         return std::vector<std::string>{"mpcenc",      "--silent", "--quality", "5.00",
                                         "--overwrite", in,         out};
       },
       100, 300},
      {"AAC 128 kbit/s (.m4a)", "[AAC]\nContainerFormat=1\nFAACEncMode=1\nFAACAbr=128\n", 10, "m4a",
       "ffmpeg",
       [](const std::string& in, const std::string& out) {
         return std::vector<std::string>{"ffmpeg", "-v",  "error", "-y",   "-i", in,
                                         "-c:a",   "aac", "-b:a",  "128k", out};
       },
       110, 145},
  };

  std::printf("\nWhole processes on the same input, best of 3 runs each:\n");
  bool ok = true, wrong = false;
  for (const Case& c : cases) {
    // The recorder's threads (and so its encoder program) at normal
    // priority, as the peers run: otherwise a busy machine favours ours.
    std::ofstream(home + "/Config.ini") << "[MISC]\nRecPro=3\nEncPro=3\n" << c.config;
    const std::string ours = dir + "/external-ours." + c.ext;
    const std::string theirs = dir + "/external-peer." + c.ext;
    // Best of three runs each, ours and the peer's taken in turns so that
    // both see the same load; the CPU time (with the processes a run waited
    // for) is that of the fastest run.
    const std::vector<std::string> ourArgs = {
        recorder, "--record", ours,       "--input-file",
        input,    "--fast",   "--format", std::to_string(c.format)};
    const std::vector<std::string> peerArgs = c.peer(input, theirs);
    double tOurs = 1e9, tPeer = 1e9, cpuOurs = 0, cpuPeer = 0;
    for (int run = 0; run < 3 && tOurs > 0 && tPeer > 0; ++run) {
      for (auto [argv, best, cpu] :
           {std::tuple{&ourArgs, &tOurs, &cpuOurs}, {&peerArgs, &tPeer, &cpuPeer}}) {
        const ChildUsage u = RunChild(*argv);
        if (u.status != 0)
          *best = -1;
        else if (u.wallSeconds < *best)
          *best = u.wallSeconds, *cpu = u.cpuSeconds;
      }
    }
    if (tOurs <= 0 || tPeer <= 0) {
      std::printf("%s: a run FAILED\n", c.name);
      wrong = true;
      continue;
    }
    // What was timed must be right before its figure is shown.
    bool right = true;
    for (const auto& [who, file] : {std::pair{"recorder", ours}, {c.peerName, theirs}}) {
      const Decoded d = Decode(file, 44100);
      const bool good =
          std::fabs(d.seconds - kSeconds) < 0.1 && d.kbps >= c.minKbps && d.kbps <= c.maxKbps;
      std::printf("%s, %s file: %.3f s decoded, %.0f kbit/s %s\n", c.name, who, d.seconds, d.kbps,
                  good ? "(checked)" : "(WRONG)");
      right = right && good;
    }
    if (!right) {
      wrong = true;
      continue;
    }
    PrintRow(c.name, kSeconds, tOurs, tPeer, c.peerName);
    std::printf("  CPU time: recorder and its encoder %.2f s, %s %.2f s\n", cpuOurs, c.peerName,
                cpuPeer);
    ok = ok && tPeer / tOurs >= kTarget;
  }
  if (wrong) {
    std::printf("\nA run failed or wrote wrong output: no figure for it.\n");
    return 2;
  }
  std::printf("\nOutside-encoder targets %s.\n", ok ? "met" : "NOT met");
  return ok ? 0 : 1;
}
