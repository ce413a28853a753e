// The command line as a whole process beside sox: a 5-minute 44.1 kHz
// stereo WAV converted to WAV (file input, fast mode), each tool's wall time
// the best of several runs taken in turn in the same run of this program.
// The recorder's output must hold the input's samples exactly; the target
// is the recorder at most 1.1 times sox's time. Exits non-zero when the
// output is wrong or the target is missed.
//
//   bench_cli [WORKDIR]
#include <sndfile.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "platform/Paths.h"

using namespace tarvexa;
using namespace tarvexa::bench;

namespace {

constexpr double kSeconds = 300.0;
constexpr double kTarget = 1.1;
constexpr int kRuns = 5;

struct Audio {
  SF_INFO info{};
  std::vector<short> samples;
};

bool Read(const std::string& path, Audio* a) {
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &a->info);
  if (!f) return false;
  a->samples.resize(static_cast<size_t>(a->info.frames * a->info.channels));
  const sf_count_t got = sf_readf_short(f, a->samples.data(), a->info.frames);
  sf_close(f);
  return got == a->info.frames;
}

// The output is a 16-bit PCM WAV (plain or extensible) with the input's
// rate, channels and samples.
std::string Check(const Audio& in, const std::string& path) {
  Audio out;
  if (!Read(path, &out)) return "cannot be read";
  const int type = out.info.format & SF_FORMAT_TYPEMASK;
  if ((type != SF_FORMAT_WAV && type != SF_FORMAT_WAVEX) ||
      (out.info.format & SF_FORMAT_SUBMASK) != SF_FORMAT_PCM_16)
    return "is not a 16-bit PCM WAV";
  if (out.info.samplerate != in.info.samplerate || out.info.channels != in.info.channels)
    return "has another rate or channel count";
  if (out.samples != in.samples) return "does not hold the input's samples";
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp/tarvexa-bench";
  const std::string home = dir + "/cli-home";
  std::filesystem::create_directories(home);
  setenv("TARVEXA_HOME", home.c_str(), 1);  // no Config.ini of the user's
  PrintMachine();
  std::printf("Preparing a %.0f s 44.1 kHz stereo input in %s ...\n", kSeconds, dir.c_str());
  const std::string input = MakeInput(dir, kSeconds);
  Audio in;
  if (input.empty() || !Read(input, &in)) {
    std::fprintf(stderr, "cannot make the input\n");
    return 1;
  }

  const std::string rec = ProgramFolder() + "/TarvexaSoundRecorder";
  const std::string ours = dir + "/cli-ours.wav";
  const std::string theirs = dir + "/cli-sox.wav";
  // Taken in turn, so that both see the same machine.
  double best = -1, bestSox = -1;
  for (int run = 0; run < kRuns; ++run) {
    std::filesystem::remove(ours);
    const ChildUsage u =
        RunChild({rec, "--record", ours, "--input-file", input, "--fast", "--format", "1"});
    const ChildUsage s = RunChild({"sox", input, theirs});
    if (u.status != 0 || s.status != 0) {
      std::fprintf(stderr, "run %d failed: recorder exit %d, sox exit %d\n", run + 1, u.status,
                   s.status);
      return 2;
    }
    if (best < 0 || u.wallSeconds < best) best = u.wallSeconds;
    if (bestSox < 0 || s.wallSeconds < bestSox) bestSox = s.wallSeconds;
    std::printf("  run %d: recorder %.3f s, sox %.3f s\n", run + 1, u.wallSeconds, s.wallSeconds);
  }
  const std::string wrong = Check(in, ours);
  if (!wrong.empty()) {
    std::fprintf(stderr, "The recorder's output %s %s.\n", ours.c_str(), wrong.c_str());
    return 2;
  }
  if (const std::string soxWrong = Check(in, theirs); !soxWrong.empty()) {
    std::fprintf(stderr, "sox's output %s %s.\n", theirs.c_str(), soxWrong.c_str());
    return 2;
  }

  const double ratio = best / bestSox;
  std::printf("\n%.0f s WAV to WAV, whole process, best of %d: recorder %.3f s, sox %.3f s\n",
              kSeconds, kRuns, best, bestSox);
  std::printf("ratio recorder/sox %.2fx (target at most %.1fx): %s\n", ratio, kTarget,
              ratio <= kTarget ? "met" : "MISSED");
  return ratio <= kTarget ? 0 : 1;
}
