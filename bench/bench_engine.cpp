// Speed and memory of the recorder's command line for the sound-file
// formats, beside sox on the same input in the same run: both are timed as
// whole processes (start-up included), and both outputs are decoded by
// FFmpeg and must hold exactly the input's frames before a figure is shown.
//
//   bench_engine [WORKDIR]
//
// Targets: at least 0.9 of sox's speed; under 20 MB peak resident memory
// for a 300 s recording; under 1% of one core for a 60 s real-time one.
// Exits 1 when a target is missed, 2 when an output is wrong.
#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "formats/FormatCatalogue.h"

using namespace tarvexa;
using namespace tarvexa::bench;

namespace {

int g_wrong = 0;

// Whether `path` decodes to exactly `frames` frames; says so when not.
bool Holds(const std::string& what, const std::string& path, long long frames) {
  const long long got = DecodedFrames(path);
  if (got == frames) return true;
  std::printf("  WRONG OUTPUT: %s (%s) decodes to %lld frames, the input has %lld\n", what.c_str(),
              path.c_str(), got, frames);
  ++g_wrong;
  return false;
}

Settings WavSettings() {
  Settings s;
  s.OUTPUT.OutputFormat = kFormatWAV;
  s.OUTPUT.Freq = 7;
  s.OUTPUT.Chan = 2;
  s.WAV.SubFormat = 1;
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp/tarvexa-bench";
  PrintMachine();
  const double seconds = 300.0;
  std::printf("Preparing a %.0f s 44.1 kHz stereo input in %s ...\n", seconds, dir.c_str());
  const std::string input = MakeInput(dir, seconds);
  const long long inputFrames = input.empty() ? -1 : SoundFileFrames(input);
  if (inputFrames <= 0) {
    std::fprintf(stderr, "cannot write the input file\n");
    return 2;
  }

  std::printf(
      "\nThe command line (file input, fast mode) against sox, whole processes, best of 3:\n");
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
    Settings s = WavSettings();
    s.OUTPUT.OutputFormat = static_cast<int16_t>(c.format);
    s.AIFF.SubFormat = 2;
    s.OTHER.Codec[kFormatW64 - kFormatAU] = 1;
    s.OTHER.Codec[kFormatCAF - kFormatAU] = 1;
    const std::string ours = dir + "/ours." + c.ext;
    const std::string theirs = dir + "/sox." + c.ext;
    const double tOurs = Best(3, [&] {
      const ChildUsage u = RunRecorder(s, input, ours, dir);
      return u.status == 0 ? u.wallSeconds : -1.0;
    });
    const double tSox = Best(3, [&] {
      const ChildUsage u = RunChild({"sox", input, theirs});
      return u.status == 0 ? u.wallSeconds : -1.0;
    });
    if (tOurs < 0 || tSox < 0) {
      std::printf("%-22s FAILED: %s did not finish\n", c.name, tOurs < 0 ? "the recorder" : "sox");
      ++g_wrong;
      continue;
    }
    if (!Holds(std::string(c.name) + " by the recorder", ours, inputFrames) ||
        !Holds(std::string(c.name) + " by sox", theirs, inputFrames))
      continue;
    allMet = PrintRow(c.name, seconds, tOurs, tSox, "sox") && allMet;
  }

  std::printf("\nThe command line, peak memory of a %.0f s WAV recording (fast mode):\n", seconds);
  const ChildUsage mem = RunRecorder(WavSettings(), input, dir + "/mem.wav", dir);
  if (mem.status != 0) {
    std::printf("  FAILED: the recorder exited with %d\n", mem.status);
    ++g_wrong;
  } else if (Holds("the memory recording", dir + "/mem.wav", inputFrames)) {
    const bool met = mem.maxRssKb < 20 * 1024;
    std::printf("  peak resident memory %.1f MB (target under 20 MB) %s\n", mem.maxRssKb / 1024.0,
                met ? "met" : "MISSED");
    allMet = met && allMet;
  }

  const std::string input60 = MakeInput(dir, 60.0);
  std::printf("\nThe command line, CPU of a 60 s WAV recording paced in real time:\n");
  const ChildUsage cpu = RunRecorder(WavSettings(), input60, dir + "/cpu.wav", dir, false);
  if (cpu.status != 0) {
    std::printf("  FAILED: the recorder exited with %d\n", cpu.status);
    ++g_wrong;
  } else if (Holds("the real-time recording", dir + "/cpu.wav", SoundFileFrames(input60))) {
    const double share = cpu.cpuSeconds / 60.0 * 100.0;
    const bool met = share < 1.0;
    std::printf("  %.3f s CPU in %.1f s wall: %.2f%% of one core (target under 1%%) %s\n",
                cpu.cpuSeconds, cpu.wallSeconds, share, met ? "met" : "MISSED");
    allMet = met && allMet;
  }

  if (g_wrong > 0) {
    std::printf("\n%d output(s) wrong or missing: no figure for them.\n", g_wrong);
    return 2;
  }
  std::printf("\nAll targets %s.\n", allMet ? "met" : "NOT met");
  return allMet ? 0 : 1;
}
