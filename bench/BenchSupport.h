#pragma once
// Shared pieces of the benchmark programs: the machine, test input, the
// recorder's command line and outside tools run as whole processes with
// their resource use, and checks of what they wrote. A benchmark prints its
// figures only for output it has checked, and exits non-zero when a target
// is missed or an output is wrong.

#include <functional>
#include <string>
#include <vector>

#include "config/Settings.h"

namespace tarvexa::bench {

// Prints the machine the figures come from: CPU model, cores, load.
void PrintMachine();

// A 44.1 kHz stereo 16-bit WAV of music-like content (a few tones with a
// slow envelope and noise), made once and reused.
std::string MakeInput(const std::string& dir, double seconds);

struct ChildUsage {
  int status = -1;
  double wallSeconds = 0;
  double cpuSeconds = 0;  // user + system
  long maxRssKb = 0;
};
// Runs argv[0] with its arguments, standard output and error to /dev/null.
ChildUsage RunChild(const std::vector<std::string>& argv);

// Runs argv[0] with its arguments and returns what it printed on standard
// output in *out; true when it exited with status 0.
bool RunCapturing(const std::vector<std::string>& argv, std::string* out);

// Runs the recorder's command line (beside this program) as a whole process:
// records `input` into `output` as fast as the encoder takes it, with the
// settings `s` (written to a Config.ini in a data folder of its own under
// `dir`). Status non-zero when it failed.
ChildUsage RunRecorder(const Settings& s, const std::string& input, const std::string& output,
                       const std::string& dir, bool fast = true);

// Frames in a sound file as decoded by FFmpeg (a decoder nobody here
// wrote); -1 when it cannot be decoded.
long long DecodedFrames(const std::string& path);
// Frames in a sound file libsndfile reads; -1 when it cannot.
long long SoundFileFrames(const std::string& path);

// The best (shortest) of several timings; negative when a run failed.
double Best(int runs, const std::function<double()>& timeOnce);

// One row of "ours beside the tool": real-time factors and their ratio
// against the target (ours at least 0.9 of the tool's speed). True when
// the target is met.
bool PrintRow(const std::string& name, double audioSeconds, double ours, double tool,
              const std::string& toolName);

}  // namespace tarvexa::bench
