#pragma once
// Shared pieces of the benchmark programs: test input, timing of the
// engine's pipeline and of outside tools, child-process resource use.

#include <functional>
#include <string>
#include <vector>

#include "config/Settings.h"

namespace tarvexa::bench {

// A 44.1 kHz stereo 16-bit WAV of music-like content (a few tones with a
// slow envelope and noise), made once and reused.
std::string MakeInput(const std::string& dir, double seconds);

// Records input into output through the engine (file input, fast mode).
// Returns the wall time in seconds, or a negative value on failure.
double TimePipeline(const Settings& s, const std::string& input, const std::string& output);

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

// The best (shortest) of several timings; negative when a run failed.
double Best(int runs, const std::function<double()>& timeOnce);

// "%.1fx" style helpers.
void PrintRow(const std::string& name, double audioSeconds, double ours, double tool,
              const std::string& toolName);

}  // namespace tarvexa::bench
