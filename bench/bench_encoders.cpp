// Speed of the encoders through the recorder's command line (file input,
// fast mode) beside each encoder's own command-line tool on the same input,
// in the same run, both timed as whole processes. Before a figure is shown
// both outputs are decoded by FFmpeg and must hold the input's length.
//
//   bench_encoders [WORKDIR]
//
// Target: at least 0.9 of the tool's speed. Exits 1 when a target is
// missed, 2 when an output is wrong or an encoder missing.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "encoders/ClipWriter.h"
#include "formats/FormatCatalogue.h"

using namespace tarvexa;
using namespace tarvexa::bench;

namespace {

struct Case {
  std::string name;
  std::function<void(Settings&)> configure;
  std::string ext;
  std::string toolName;
  std::function<std::vector<std::string>(const std::string& in, const std::string& out)> tool;
  // Frames the decoded output may have beyond the input: MP2 has no
  // gapless information, so a decoder gives the encoder's delay and the
  // last frame's padding as well (at most two 1152-sample frames).
  long long slack = 0;
};

// Whether `path` decodes to the input's length (up to `slack` frames more).
bool Holds(const std::string& what, const std::string& path, long long frames, long long slack) {
  const long long got = DecodedFrames(path);
  if (got >= frames && got <= frames + slack) return true;
  std::printf("  WRONG OUTPUT: %s (%s) decodes to %lld frames, the input has %lld\n", what.c_str(),
              path.c_str(), got, frames);
  return false;
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

  const std::vector<Case> cases = {
      {"MP3 128 kbps CBR",
       [](Settings& s) {
         s.OUTPUT.OutputFormat = kFormatMP3;
         s.MP3.LameTab = 1;
         s.MP3.LameBits = 11;
         s.MP3.LameQuality = 5;
       },
       "mp3", "lame",
       [](const std::string& in, const std::string& out) {
         return std::vector<std::string>{"lame", "--quiet", "-b", "128", "-q", "5", in, out};
       }},
      {"MP3 VBR 5",
       [](Settings& s) {
         s.OUTPUT.OutputFormat = kFormatMP3;
         s.MP3.LameTab = 3;
         s.MP3.LameCodingMode = 2;
         s.MP3.LameQualityVBR = 500;
       },
       "mp3", "lame",
       [](const std::string& in, const std::string& out) {
         return std::vector<std::string>{"lame", "--quiet", "-V", "5", in, out};
       }},
      {"Ogg Vorbis q 0.35",
       [](Settings& s) {
         s.OUTPUT.OutputFormat = kFormatOGG;
         s.OGG.Quality = 1;
         s.OGG.VBR = 0;
         s.OGG.QualityCompression = 35;
       },
       "ogg", "oggenc",
       [](const std::string& in, const std::string& out) {
         return std::vector<std::string>{"oggenc", "-Q", "-q", "3.5", "-o", out, in};
       }},
      {"FLAC level 5",
       [](Settings& s) {
         s.OUTPUT.OutputFormat = kFormatFLAC;
         s.FLAC.Native = 1;
         s.FLAC.CompLev = 5;
       },
       "flac", "flac",
       [](const std::string& in, const std::string& out) {
         return std::vector<std::string>{"flac", "-s", "-f", "-5", "-o", out, in};
       }},
      {"MP2 192 kbps",
       [](Settings& s) {
         s.OUTPUT.OutputFormat = kFormatMP2;
         s.MP2.Bits = 13;
       },
       "mp2", "twolame",
       [](const std::string& in, const std::string& out) {
         return std::vector<std::string>{"twolame", "--quiet", "-b", "192", in, out};
       },
       2 * 1152},
      {"WavPack normal",
       [](Settings& s) {
         s.OUTPUT.OutputFormat = kFormatWV;
         s.WV.ComLev = 1;
       },
       "wv", "wavpack",
       [](const std::string& in, const std::string& out) {
         return std::vector<std::string>{"wavpack", "-q", "-y", in, "-o", out};
       }},
  };

  std::printf(
      "\nEncoders through the command line against their own tools, whole processes, best of 3:\n");
  bool allMet = true;
  int wrong = 0;
  for (const auto& c : cases) {
    Settings s;
    s.OUTPUT.Freq = 7;
    s.OUTPUT.Chan = 2;
    c.configure(s);
    const LogSink complaints = [](const std::string& text, int level) {
      if (level >= 1) std::printf("  %s\n", text.c_str());
    };
    if (!MakeClipWriter(s) || !PrepareEncoder(s, complaints)) {
      std::printf("%-22s FAILED: not available in this build\n", c.name.c_str());
      ++wrong;
      continue;
    }
    const std::string ours = dir + "/enc-ours." + c.ext;
    const std::string theirs = dir + "/enc-tool." + c.ext;
    const double tOurs = Best(3, [&] {
      const ChildUsage u = RunRecorder(s, input, ours, dir);
      return u.status == 0 ? u.wallSeconds : -1.0;
    });
    const double tTool = Best(3, [&] {
      const ChildUsage u = RunChild(c.tool(input, theirs));
      return u.status == 0 ? u.wallSeconds : -1.0;
    });
    if (tOurs < 0 || tTool < 0) {
      std::printf("%-22s FAILED: %s did not finish\n", c.name.c_str(),
                  tOurs < 0 ? "the recorder" : c.toolName.c_str());
      ++wrong;
      continue;
    }
    if (!Holds(c.name + " by the recorder", ours, inputFrames, c.slack) ||
        !Holds(c.name + " by " + c.toolName, theirs, inputFrames, c.slack)) {
      ++wrong;
      continue;
    }
    allMet = PrintRow(c.name, seconds, tOurs, tTool, c.toolName) && allMet;
  }
  if (wrong > 0) {
    std::printf("\n%d encoder(s) failed or wrote wrong output: no figure for them.\n", wrong);
    return 2;
  }
  std::printf("\nAll encoder speed targets %s.\n", allMet ? "met" : "NOT met");
  return allMet ? 0 : 1;
}
