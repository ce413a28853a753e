// Speed of the encoders through the recording pipeline (file input, fast
// mode) beside each encoder's own command-line tool on the same input, in
// the same run.
//
//   bench_encoders [WORKDIR]
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
};


}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp/tarvexa-bench";
  const double seconds = 300.0;
  std::printf("Preparing a %.0f s 44.1 kHz stereo input in %s ...\n", seconds, dir.c_str());
  const std::string input = MakeInput(dir, seconds);
  if (input.empty()) return 1;

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
       }},
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

  std::printf("\nEncoders through the pipeline against their own tools, best of 3 runs each:\n");
  bool allMet = true;
  for (const auto& c : cases) {
    Settings s;
    s.OUTPUT.Freq = 7;
    s.OUTPUT.Chan = 2;
    c.configure(s);
    const LogSink complaints = [](const std::string& text, int level) {
      if (level >= 1) std::printf("  %s\n", text.c_str());
    };
    if (!MakeClipWriter(s) || !PrepareEncoder(s, complaints)) {
      std::printf("%-22s not available in this build\n", c.name.c_str());
      allMet = false;
      continue;
    }
    const std::string ours = dir + "/enc-ours." + c.ext;
    const std::string theirs = dir + "/enc-tool." + c.ext;
    const double tOurs = Best(3, [&] { return TimePipeline(s, input, ours); });
    const double tTool = Best(3, [&] {
      auto u = RunChild(c.tool(input, theirs));
      return u.status == 0 ? u.wallSeconds : -1.0;
    });
    PrintRow(c.name, seconds, tOurs, tTool, c.toolName);
    if (tOurs <= 0 || tTool <= 0 || tTool / tOurs < 0.9) allMet = false;
  }
  std::printf("\nAll encoder speed targets %s.\n", allMet ? "met" : "NOT met");
  return 0;
}
