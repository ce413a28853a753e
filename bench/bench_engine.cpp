// Speed and memory of the recording pipeline for the sound-file formats,
// beside sox on the same input in the same run.
//
//   bench_engine [WORKDIR]
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <cstdio>
#include <filesystem>
#include <string>

#include "BenchSupport.h"
#include "formats/FormatCatalogue.h"
#include "platform/Paths.h"

using namespace tarvexa;
using namespace tarvexa::bench;

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp/tarvexa-bench";
  const double seconds = 300.0;
  std::printf("Preparing a %.0f s 44.1 kHz stereo input in %s ...\n", seconds, dir.c_str());
  const std::string input = MakeInput(dir, seconds);
  if (input.empty()) return 1;
  const std::string rec = ProgramFolder() + "/TarvexaSoundRecorder";

  std::printf("\nPipeline (file input, fast mode) against sox, best of 3 runs each:\n");
  struct Case {
    const char* name;
    int format;
    const char* ext;
  };
  const Case cases[] = {{"WAV 16 bit", kFormatWAV, "wav"},
                        {"W64 16 bit", kFormatW64, "w64"},
                        {"AIFF 16 bit", kFormatAIFF, "aiff"},
                        {"CAF 16 bit", kFormatCAF, "caf"}};
  bool allMet = true;
  for (const auto& c : cases) {
    Settings s;
    s.OUTPUT.OutputFormat = static_cast<int16_t>(c.format);
    s.OUTPUT.Freq = 7;
    s.OUTPUT.Chan = 2;
    s.WAV.SubFormat = 1;
    s.AIFF.SubFormat = 2;
    s.OTHER.Codec[kFormatW64 - 13] = 1;
    s.OTHER.Codec[kFormatCAF - 13] = 1;
    const std::string ours = dir + "/ours." + c.ext;
    const std::string theirs = dir + "/sox." + c.ext;
    double tOurs = Best(3, [&] { return TimePipeline(s, input, ours); });
    double tSox = Best(3, [&] {
      auto u = RunChild({"sox", input, theirs});
      return u.status == 0 ? u.wallSeconds : -1.0;
    });
    PrintRow(c.name, seconds, tOurs, tSox, "sox");
    if (tOurs <= 0 || tSox <= 0 || tSox / tOurs < 0.9) allMet = false;
  }

  std::printf("\nCommand line, peak memory of a %.0f s WAV recording (fast mode):\n", seconds);
  auto mem = RunChild({rec, "--record", dir + "/mem.wav", "--input-file", input, "--fast", "--format", "1"});
  std::printf("  peak resident memory %.1f MB (target under 20 MB) %s, exit %d\n", mem.maxRssKb / 1024.0,
              mem.maxRssKb < 20 * 1024 ? "met" : "MISSED", mem.status);

  const std::string input60 = MakeInput(dir, 60.0);
  std::printf("\nCommand line, CPU of a 60 s WAV recording paced in real time:\n");
  auto cpu = RunChild({rec, "--record", dir + "/cpu.wav", "--input-file", input60, "--format", "1"});
  const double share = cpu.cpuSeconds / 60.0 * 100.0;
  std::printf("  %.3f s CPU in %.1f s wall: %.2f%% of one core (target under 1%%) %s, exit %d\n",
              cpu.cpuSeconds, cpu.wallSeconds, share, share < 1.0 ? "met" : "MISSED", cpu.status);
  std::printf("\nAll speed targets %s.\n", allMet ? "met" : "NOT met");
  return 0;
}
