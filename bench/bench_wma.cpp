// WMA speed: the recorder's command line writing WMA profile 47 (128 kbps,
// 44.1 kHz stereo) from a 5-minute file, beside `ffmpeg -c:a wmav2 -b:a 128k`
// on the same input in the same run, as whole processes. Both outputs are
// checked (wmav2, rate, channels, bit rate, length) and their sizes shown.
// Exits non-zero when the recorder is slower than 0.9 of FFmpeg's speed or
// an output is wrong.
//
//   bench_wma [WORKDIR]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "platform/Paths.h"

using namespace tarvexa;
using namespace tarvexa::bench;

namespace {

// ffprobe's value of a field of the first audio stream (or of the format).
// (RunCapturing takes a path; env finds the tools.)
std::string Probe(const std::string& file, const std::string& entry) {
  std::string out;
  const std::string select = entry.rfind("format=", 0) == 0 ? "" : "-select_streams";
  std::vector<std::string> argv = {"/usr/bin/env", "ffprobe", "-v", "error"};
  if (!select.empty()) argv.insert(argv.end(), {select, "a:0"});
  argv.insert(argv.end(), {"-show_entries", entry, "-of", "default=nw=1:nk=1", file});
  RunCapturing(argv, &out);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// What FFmpeg decodes the file to, in seconds.
double DecodedSeconds(const std::string& file) {
  std::string pcm;
  if (!RunCapturing({"/usr/bin/env", "ffmpeg", "-v", "error", "-i", file, "-f", "s16le", "-ac", "1",
                     "-ar", "8000", "-"},
                    &pcm))
    return -1;
  return static_cast<double>(pcm.size()) / 2 / 8000;
}

// True when the file is what profile 47 promises for `seconds` of input.
bool CheckOutput(const char* who, const std::string& file, double seconds) {
  const std::string codec = Probe(file, "stream=codec_name");
  const std::string rate = Probe(file, "stream=sample_rate");
  const std::string channels = Probe(file, "stream=channels");
  const std::string bitrate = Probe(file, "stream=bit_rate");
  const double decoded = DecodedSeconds(file);
  const double kbps = std::atof(bitrate.c_str()) / 1000;
  const bool ok = codec == "wmav2" && rate == "44100" && channels == "2" &&
                  std::fabs(kbps - 128) <= 128 * 0.05 && std::fabs(decoded - seconds) < 0.2;
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  std::printf(
      "  %-9s %s %s Hz %s ch %.1f kbps, %.2f s decoded, %.2f MB (%.1f%% above the bit rate) %s\n",
      who, codec.c_str(), rate.c_str(), channels.c_str(), kbps, decoded, size / 1e6,
      (static_cast<double>(size) / (128000.0 / 8 * seconds) - 1) * 100, ok ? "ok" : "WRONG");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp/tarvexa-bench";
  const double seconds = 300.0;
  PrintMachine();
  std::printf("Preparing a %.0f s 44.1 kHz stereo input in %s ...\n", seconds, dir.c_str());
  const std::string input = MakeInput(dir, seconds);
  if (input.empty()) return 1;

  // A data folder without Config.ini: the recorder uses profile 47.
  const std::string home = dir + "/wma-home";
  std::filesystem::remove_all(home);
  std::filesystem::create_directories(home);
  setenv("TARVEXA_HOME", home.c_str(), 1);
  const std::string rec = ProgramFolder() + "/TarvexaSoundRecorder";
  const std::string ours = dir + "/wma-ours.wma";
  const std::string theirs = dir + "/wma-ffmpeg.wma";

  // Runs alternate, so that other load on the machine falls on both alike.
  const int runs = 5;
  ChildUsage bestOurs, bestTool;
  bestOurs.wallSeconds = bestTool.wallSeconds = 1e9;
  bool ran = true;
  for (int i = 0; i < runs; ++i) {
    const ChildUsage o =
        RunChild({rec, "--record", ours, "--input-file", input, "--fast", "--format", "3"});
    const ChildUsage t = RunChild(
        {"ffmpeg", "-v", "error", "-y", "-i", input, "-c:a", "wmav2", "-b:a", "128k", theirs});
    ran = ran && o.status == 0 && t.status == 0;
    if (o.wallSeconds < bestOurs.wallSeconds) bestOurs = o;
    if (t.wallSeconds < bestTool.wallSeconds) bestTool = t;
  }
  if (!ran) {
    std::printf("A run failed.\n");
    return 2;
  }
  // What was timed must be right before its figure is shown.
  std::printf("\nThe outputs timed:\n");
  if (!(CheckOutput("recorder", ours, seconds) & CheckOutput("ffmpeg", theirs, seconds))) {
    std::printf("\nWMA benchmark FAILED: wrong output, no figures.\n");
    return 2;
  }

  std::printf("\nWMA 128 kbps (profile 47) of %.0f s, whole processes, best of %d runs each:\n",
              seconds, runs);
  std::printf("  recorder  %.2f s wall, %.2f s CPU, %.0fx real time, peak %.1f MB\n",
              bestOurs.wallSeconds, bestOurs.cpuSeconds, seconds / bestOurs.wallSeconds,
              bestOurs.maxRssKb / 1024.0);
  std::printf("  ffmpeg    %.2f s wall, %.2f s CPU, %.0fx real time, peak %.1f MB\n",
              bestTool.wallSeconds, bestTool.cpuSeconds, seconds / bestTool.wallSeconds,
              bestTool.maxRssKb / 1024.0);
  const double ratio = bestTool.wallSeconds / bestOurs.wallSeconds;
  const bool fast = ratio >= 0.9;
  std::printf("  speed ratio (ffmpeg time / recorder time) %.2f, target at least 0.90: %s\n", ratio,
              fast ? "met" : "MISSED");
  std::printf("\nWMA benchmark %s.\n", fast ? "passed" : "FAILED");
  return fast ? 0 : 1;
}
