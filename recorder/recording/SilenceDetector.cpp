#include "recording/SilenceDetector.h"

#include <cmath>
#include <cstdlib>

namespace tarvexa {

int SilenceDetector::BlockLevel(const int16_t* block, size_t samples) {
  const size_t half = samples / 2;
  int64_t sum = 0;
  int64_t count = 0;
  for (size_t pos = 0; pos < half; pos += 64) {
    sum += std::abs(static_cast<int>(block[pos]));
    ++count;
  }
  return count ? static_cast<int>(sum / count) : 0;
}

double SilenceDetector::Loudness(int level) { return 20.0 * std::log10(level + 1.0); }

void SilenceDetector::ResetCounters() {
  analysed_ = 0;
  quietRun_ = 0;
  loudRun_ = 0;
  mark_ = 0;
}

void SilenceDetector::Reset() {
  pausedBySilence_ = 0;
  ResetCounters();
}

namespace {
// run / (analysed - mark) > 0.8; a window of no blocks counts as passing.
bool DenseEnough(int run, int analysed, int mark) {
  const int window = analysed - mark;
  if (window <= 0) return true;
  return static_cast<double>(run) / window > 0.8;
}
}  // namespace

SilenceDetector::Outcome SilenceDetector::Process(const int16_t* block, size_t samples,
                                                  const Settings::SilSection& sil) {
  Outcome out;
  const double loudness = Loudness(BlockLevel(block, samples));
  ++analysed_;

  if (pausedBySilence_ == 0) {
    if (loudness < sil.SilLev + 92) {
      ++quietRun_;
      if (quietRun_ <= sil.SilTime) mark_ = analysed_;
      if (quietRun_ == sil.SilTime * 10) {
        if (DenseEnough(quietRun_, analysed_, mark_)) {
          pausedBySilence_ = 1;
          out.log = "Silence detected, pause recording.";
          out.logLevel = 1;
          out.stopRecording = sil.StopSilence != 0;
        }
        ResetCounters();
      }
    }
    if (static_cast<double>(analysed_) == sil.SilTime * 12.5) ResetCounters();
    if (pausedBySilence_ && sil.Split) out.verdict = Verdict::EndClip;
    return out;
  }

  out.verdict = Verdict::Drop;
  if (loudness > sil.NoiLev + 92) {
    ++loudRun_;
    if (loudRun_ <= sil.NoiTime) mark_ = analysed_;
    if (loudRun_ == sil.NoiTime * 10) {
      if (DenseEnough(loudRun_, analysed_, mark_)) {
        pausedBySilence_ = 0;
        out.log = "Sound signal detected, resume recording.";
        out.logLevel = 0;
      }
      ResetCounters();
    }
  }
  if (static_cast<double>(analysed_) == sil.NoiTime * 12.5) ResetCounters();
  return out;
}

}  // namespace tarvexa
