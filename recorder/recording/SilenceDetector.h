#pragma once
// Decides, block by block, whether the input is quiet enough to pause the
// recording and loud enough to resume it. A pause is declared after SilTime
// seconds of quiet blocks within a window of 1.25 x SilTime seconds; the
// quiet stretch itself is written before the pause. While paused nothing is
// written, including the NoiTime seconds of sound that lead to the resume.
// Thread affinity: the encoder thread.

#include <cstddef>
#include <cstdint>

#include "config/Settings.h"

namespace tarvexa {

class SilenceDetector {
 public:
  enum class Verdict { Write, Drop, EndClip };
  struct Outcome {
    Verdict verdict = Verdict::Write;
    bool stopRecording = false;  // "Stop When Silence Detected" fired
    const char* log = nullptr;   // line to log, or nullptr
    int logLevel = 0;
  };

  // Runs the detector on one block of interleaved samples.
  Outcome Process(const int16_t* block, size_t samples, const Settings::SilSection& sil);

  // Back to listening with all counters 0 ("Record", manual pause/resume).
  void Reset();

  bool PausedBySilence() const { return pausedBySilence_ != 0; }

  // Mean absolute value of every 64th sample of the first half of the block.
  static int BlockLevel(const int16_t* block, size_t samples);
  // 20 log10(level + 1): 0 for silence, about 90.3 for full scale.
  static double Loudness(int level);

  // Exposed for tests.
  int Analysed() const { return analysed_; }
  int QuietRun() const { return quietRun_; }
  int LoudRun() const { return loudRun_; }

 private:
  void ResetCounters();
  int32_t pausedBySilence_ = 0;
  int32_t analysed_ = 0;
  int32_t quietRun_ = 0;
  int32_t loudRun_ = 0;
  int32_t mark_ = 0;
};

}  // namespace tarvexa
