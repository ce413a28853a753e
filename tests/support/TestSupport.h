#pragma once
// Helpers shared by the tests: scratch folders, generated WAV input, and
// reading files back through libsndfile and outside tools.

#include <cstdint>
#include <string>
#include <vector>

namespace tarvexa::test {

// A fresh, empty folder under the build's test work area.
std::string ScratchDir(const std::string& name);

// Writes a 16-bit PCM WAV of `seconds` of a deterministic signal: a sine per
// channel (440 Hz left, 660 Hz right) plus low noise, so every block differs.
std::string MakeTestWav(const std::string& path, int rate, int channels, double seconds,
                        double amplitude = 0.5);

// Writes a 16-bit PCM WAV from the given interleaved samples.
void WriteWav(const std::string& path, int rate, int channels, const std::vector<int16_t>& samples);

struct Audio {
  int rate = 0;
  int channels = 0;
  int64_t frames = 0;
  int format = 0;
  std::vector<int16_t> samples;  // interleaved
};
// Reads any file libsndfile can open; rate 0 when it cannot.
Audio ReadAudio(const std::string& path);

// Runs a shell command, returns its exit status; output in *out when given.
int Run(const std::string& command, std::string* out = nullptr);

bool HaveTool(const std::string& name);

// Quotes a string for the shell.
std::string Quote(const std::string& s);

}  // namespace tarvexa::test
