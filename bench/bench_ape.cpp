// Monkey's Audio through the recorder at each level, as whole processes
// (the command line recording a WAV file as fast as it can), beside flac -5,
// flac -8 and wavpack -hh on the same 10-minute 44.1 kHz stereo input. Every
// APE file is decoded by FFmpeg with CRC checking and compared with the input
// before its figures are printed. Then the memory of an insane-level
// recording at 192 kHz beside a WAV recording of the same input.
//
//   bench_ape [WORKDIR]
//
// Targets: normal level at least 100x real time (in the process's CPU time,
// which other load on the machine does not inflate as it does wall time) and
// within 1.03x of flac -5's size; extra high smaller than flac -8; the
// 192 kHz insane recording within 16 MB of the WAV recording's peak memory.
#include <sndfile.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "platform/Paths.h"

using namespace tarvexa;
using namespace tarvexa::bench;
namespace fs = std::filesystem;

namespace {

// True when FFmpeg decodes the file, every CRC right, to exactly the
// samples of `wav` (compared piece by piece: this process stays small, so
// the peak memory of the children it starts is theirs alone).
bool DecodesTo(const std::string& ape, const std::string& wav) {
  const std::string raw = ape + ".raw";
  std::string said;
  const bool ran = RunCapturing({"/bin/sh", "-c",
                                 "ffmpeg -nostdin -y -v error -err_detect crccheck -i '" + ape +
                                     "' -f s16le -c:a pcm_s16le '" + raw + "' 2>&1"},
                                &said);
  bool same = ran && said.empty();
  SF_INFO info{};
  SNDFILE* in = sf_open(wav.c_str(), SFM_READ, &info);
  std::ifstream out(raw, std::ios::binary);
  std::vector<short> a(65536), b(65536);
  while (same && in) {
    const sf_count_t n = sf_read_short(in, a.data(), sf_count_t(a.size()));
    out.read(reinterpret_cast<char*>(b.data()), std::streamsize(n * 2));
    same = out.gcount() == n * 2 && std::equal(a.begin(), a.begin() + n, b.begin());
    if (n == 0) break;
  }
  same = same && in && out.peek() == EOF;
  if (in) sf_close(in);
  if (!same)
    std::printf("  %s: %s\n", ape.c_str(),
                said.empty() ? "decodes to other samples" : said.c_str());
  fs::remove(raw);
  return same;
}

// Records `input` into `output` with the command line, in a data folder
// whose Config.ini holds `config`.
ChildUsage Record(const std::string& dir, const std::string& config, const std::string& input,
                  const std::string& output, int format) {
  const std::string home = dir + "/home";
  fs::create_directories(home);
  std::ofstream(home + "/Config.ini") << config;
  setenv("TARVEXA_HOME", home.c_str(), 1);
  return RunChild({ProgramFolder() + "/TarvexaSoundRecorder", "--record", output, "--input-file",
                   input, "--fast", "--format", std::to_string(format)});
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp/tarvexa-bench";
  const double seconds = 600.0;
  PrintMachine();
  std::printf("Preparing a %.0f s 44.1 kHz stereo input in %s ...\n", seconds, dir.c_str());
  const std::string input = MakeInput(dir, seconds);
  if (input.empty()) return 1;
  const double rawBytes = seconds * 44100 * 4;

  bool met = true;
  std::printf("\n%-24s %10s %10s %12s %8s %9s\n", "", "CPU RTF", "wall RTF", "bytes", "ratio",
              "peak MB");
  auto row = [&](const std::string& name, const ChildUsage& u, uintmax_t bytes) {
    std::printf("%-24s %9.1fx %9.1fx %12ju %7.4f %9.1f\n", name.c_str(), seconds / u.cpuSeconds,
                seconds / u.wallSeconds, bytes, double(bytes) / rawBytes, u.maxRssKb / 1024.0);
  };

  const std::string tools[][3] = {{"flac -5", "flac -s -f -5 -o", "flac"},
                                  {"flac -8", "flac -s -f -8 -o", "flac"},
                                  {"wavpack -hh", "wavpack -q -y -hh -o", "wv"}};
  uintmax_t toolBytes[3] = {};
  for (int i = 0; i < 3; ++i) {
    const std::string out = dir + "/peer" + std::to_string(i) + "." + tools[i][2];
    std::vector<std::string> args;
    std::string word;
    for (char c : tools[i][1] + std::string(" ")) {
      if (c != ' ')
        word += c;
      else if (!word.empty())
        args.push_back(std::move(word)), word.clear();
    }
    args.push_back(out);
    args.push_back(input);
    const ChildUsage u = RunChild(args);
    if (u.status != 0) {
      std::printf("%-24s failed (is it installed?)\n", tools[i][0].c_str());
      return 2;
    }
    if (DecodedFrames(out) != SoundFileFrames(input)) {
      std::printf("%-24s does not decode to the input's length\n", tools[i][0].c_str());
      return 2;
    }
    toolBytes[i] = fs::file_size(out);
    row(tools[i][0], u, toolBytes[i]);
  }

  const char* names[] = {"Fast", "Normal", "High", "Extra High", "Insane"};
  for (int level = 1000; level <= 5000; level += 1000) {
    const std::string ape = dir + "/level" + std::to_string(level) + ".ape";
    const std::string config = "[APE]\nCompLev=" + std::to_string(level) + "\n";
    const ChildUsage u = Record(dir, config, input, ape, 5);
    if (u.status != 0 || !DecodesTo(ape, input)) {
      std::printf("APE %s: the recording failed or does not decode to the input\n",
                  names[level / 1000 - 1]);
      return 2;
    }
    const uintmax_t bytes = fs::file_size(ape);
    row(std::string("recorder APE ") + names[level / 1000 - 1], u, bytes);
    if (level == 2000) {
      const bool fast = seconds / u.cpuSeconds >= 100.0;
      const bool small = double(bytes) <= 1.03 * double(toolBytes[0]);
      std::printf("  normal: %s 100x real time, %.4fx flac -5's size (target <= 1.03): %s\n",
                  fast ? "at least" : "UNDER", double(bytes) / double(toolBytes[0]),
                  fast && small ? "met" : "MISSED");
      met = met && fast && small;
    }
    if (level == 4000) {
      const bool smaller = bytes < toolBytes[1];
      std::printf("  extra high: %.4fx flac -8's size (target < 1): %s\n",
                  double(bytes) / double(toolBytes[1]), smaller ? "met" : "MISSED");
      met = met && smaller;
    }
  }

  // Peak memory at 192 kHz: insane holds the most audio per frame.
  const std::string hi = dir + "/input-192k.wav";
  if (!fs::exists(hi)) {
    RunChild({"sox", input, "-r", "192000", hi, "trim", "0", "60"});
  }
  const ChildUsage wav = Record(dir, "[WAV]\nSubFormat=1\n", hi, dir + "/hi.wav", 1);
  const ChildUsage insane = Record(dir, "[APE]\nCompLev=5000\n", hi, dir + "/hi.ape", 5);
  if (wav.status != 0 || insane.status != 0 ||
      SoundFileFrames(dir + "/hi.wav") != SoundFileFrames(hi) || !DecodesTo(dir + "/hi.ape", hi)) {
    std::printf("the 192 kHz recordings failed or do not hold the input\n");
    return 2;
  }
  const double extraMb = (insane.maxRssKb - wav.maxRssKb) / 1024.0;
  std::printf(
      "\n192 kHz stereo, 60 s: WAV peak %.1f MB, APE insane peak %.1f MB (+%.1f MB, target "
      "<= 16): %s\n",
      wav.maxRssKb / 1024.0, insane.maxRssKb / 1024.0, extraMb, extraMb <= 16.0 ? "met" : "MISSED");
  met = met && extraMb <= 16.0;

  std::printf("\nAll APE targets %s.\n", met ? "met" : "NOT met");
  return met ? 0 : 1;
}
