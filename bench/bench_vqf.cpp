// Speed of VQF output, whole processes: the recorder's command line writing
// a 5-minute 44.1 kHz stereo file at profile 18 (96 kbps) as fast as it
// can, beside LAME writing MP3 at the same bit rate from the same input;
// then vqfdec decoding that file beside mpg123 decoding the MP3. Nobody
// else encodes our TwinVQ, so LAME at the same rate is the reference.
// The output is checked (FFmpeg reads the header, vqfdec gives the input's
// length back at the quality the tests expect) before the figures count.
//
//   bench_vqf [WORKDIR]
//
// Targets: the recorder at least 20x real time on one core (CPU time of
// the whole process); vqfdec at least 50x.
#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "platform/Paths.h"

using namespace tarvexa;
using namespace tarvexa::bench;

namespace {

// The best of three runs (by CPU time) of a whole process.
ChildUsage BestOf3(const std::vector<std::string>& argv) {
  ChildUsage best;
  for (int i = 0; i < 3; ++i) {
    const ChildUsage u = RunChild(argv);
    if (u.status != 0) return u;
    if (i == 0 || u.cpuSeconds < best.cpuSeconds) best = u;
  }
  return best;
}

void Row(const char* name, double audio, const ChildUsage& u) {
  std::printf(
      "  %-34s %7.1fx real time on one core (%6.2f s CPU), %6.1fx by the clock (%6.2f s), %6ld "
      "kB\n",
      name, audio / u.cpuSeconds, u.cpuSeconds, audio / u.wallSeconds, u.wallSeconds, u.maxRssKb);
}

std::string Probe(const std::string& file) {
  std::string out;
  RunCapturing({"/usr/bin/ffprobe", "-v", "error", "-show_entries",
                "stream=sample_rate,channels,bit_rate", "-of", "csv=p=0", file},
               &out);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// Signal-to-noise ratio of b against a (the first `frames` frames of both).
double Snr(const std::string& a, const std::string& b, int64_t frames) {
  SF_INFO ia{}, ib{};
  SNDFILE* fa = sf_open(a.c_str(), SFM_READ, &ia);
  SNDFILE* fb = sf_open(b.c_str(), SFM_READ, &ib);
  double signal = 0, noise = 0;
  if (fa && fb && ia.channels == ib.channels) {
    std::vector<short> xa(4096 * static_cast<size_t>(ia.channels)), xb(xa.size());
    for (int64_t done = 0; done < frames;) {
      const sf_count_t n = sf_readf_short(fa, xa.data(), std::min<int64_t>(4096, frames - done));
      if (n <= 0 || sf_readf_short(fb, xb.data(), n) != n) break;
      for (size_t i = 0; i < static_cast<size_t>(n * ia.channels); ++i) {
        signal += static_cast<double>(xa[i]) * xa[i];
        noise += (static_cast<double>(xa[i]) - xb[i]) * (static_cast<double>(xa[i]) - xb[i]);
      }
      done += n;
    }
  }
  if (fa) sf_close(fa);
  if (fb) sf_close(fb);
  return noise > 0 ? 10 * std::log10(signal / noise) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp/tarvexa-bench";
  const std::string bin = ProgramFolder();
  const double seconds = 300.0;
  PrintMachine();
  std::printf("Preparing a %.0f s 44.1 kHz stereo input in %s ...\n", seconds, dir.c_str());
  const std::string input = MakeInput(dir, seconds);
  if (input.empty()) return 1;
  const std::string home = dir + "/vqf-home";  // no Config.ini: VQF profile 18, quality 16
  mkdir(home.c_str(), 0755);
  setenv("TARVEXA_HOME", home.c_str(), 1);
  unsetenv("TARVEXA_LIB_DIR");

  const std::string vqf = dir + "/bench.vqf", mp3 = dir + "/bench.mp3";
  const std::string vqfWav = dir + "/bench.vqf.wav", mp3Wav = dir + "/bench.mp3.wav";
  const ChildUsage rec = BestOf3({bin + "/TarvexaSoundRecorder", "--record", vqf, "--input-file",
                                  input, "--fast", "--format", "8"});
  const ChildUsage lame = BestOf3({"lame", "--quiet", "-b", "96", input, mp3});
  if (rec.status != 0 || lame.status != 0) {
    std::printf("  a run failed (recorder %d, lame %d)\n", rec.status, lame.status);
    return 2;
  }

  const ChildUsage dec = BestOf3({bin + "/vqfdec", vqf, vqfWav});
  const ChildUsage mpg = BestOf3({"mpg123", "-q", "-w", mp3Wav, mp3});
  if (dec.status != 0 || mpg.status != 0) {
    std::printf("  a run failed (vqfdec %d, mpg123 %d)\n", dec.status, mpg.status);
    return 2;
  }

  // What was timed must be right before a figure is shown.
  bool ok = true;
  const std::string probed = Probe(vqf);
  std::printf("\nFFmpeg reads the VQF file as: %s (want 44100,2,96000)\n", probed.c_str());
  ok = ok && probed == "44100,2,96000";
  SF_INFO info{};
  if (SNDFILE* f = sf_open(vqfWav.c_str(), SFM_READ, &info)) sf_close(f);
  const double want = seconds * 44100;
  std::printf("vqfdec gives back %lld samples per channel of %.0f\n",
              static_cast<long long>(info.frames), want);
  ok = ok && info.channels == 2 && info.frames >= want && info.frames < want + 2048;
  // The unit tests measure 12 to 19 dB on their signals at this preset.
  const double snr = Snr(input, vqfWav, static_cast<int64_t>(want));
  std::printf("SNR of the decoded file: %.1f dB (want > 10 dB)\n", snr);
  ok = ok && snr > 10;
  // The peers' outputs too: lame's MP3 as mpg123 decoded it.
  const long long mp3Frames = SoundFileFrames(mp3Wav);
  std::printf("lame and mpg123 give back %lld samples per channel\n", mp3Frames);
  ok = ok && std::abs(static_cast<double>(mp3Frames) - want) < 1152;
  if (!ok) {
    std::printf("Output WRONG: no figures\n");
    return 2;
  }
  std::printf("Output checked\n\nEncoding (best of 3 runs):\n");
  Row("recorder, VQF profile 18 (96 kbps)", seconds, rec);
  Row("lame -b 96", seconds, lame);
  std::printf("\nDecoding (best of 3 runs):\n");
  Row("vqfdec", seconds, dec);
  Row("mpg123", seconds, mpg);

  const double rtf = seconds / rec.cpuSeconds, decRtf = seconds / dec.cpuSeconds;
  const bool encMet = rtf >= 20, decMet = decRtf >= 50;
  std::printf("\nRecorder %.1fx real time on one core: target >= 20x %s\n", rtf,
              encMet ? "met" : "MISSED");
  std::printf("vqfdec %.1fx real time on one core: target >= 50x %s\n", decRtf,
              decMet ? "met" : "MISSED");
  return encMet && decMet ? 0 : 1;
}
