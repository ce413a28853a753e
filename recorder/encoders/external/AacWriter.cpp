#include "encoders/external/AacWriter.h"

#include <unistd.h>

#include <algorithm>

#include "formats/EncoderPrograms.h"
#include "platform/ShellWords.h"
#include "platform/Text.h"

namespace tarvexa {

namespace {

std::string FaacSwitches(const Settings::AacSection& a, int container) {
  std::string s;
  if (a.FAACEncMode == 1)
    s += " -b " + Printf(" %d ", a.FAACAbr);
  else
    s += " -q " + Printf(" %d ", a.FAACQuality);
  if (a.FAACTns) s += " --tns ";
  if (a.FAACMidside == 0) s += " --no-midside ";
  s += a.MPEGVer == 1 ? " --mpeg-vers 4 " : " --mpeg-vers 2 ";
  if (a.FAACObjType == 1) s += " --obj-type Main ";
  if (a.FAACObjType == 2) s += " --obj-type LTP ";
  if (a.FAACBlkType == 1) s += " --shortctl 1 ";
  if (a.FAACBlkType == 2) s += " --shortctl 2 ";
  if (container != 0) s += " -w ";
  return s;
}

std::string NeroSwitches(const Settings::AacSection& a) {
  std::string s;
  switch (a.NEROEncMode) {
    case 0: s += " -q " + Printf(" %f ", a.NEROQuality * 0.01); break;
    case 1: s += " -br " + Printf(" %d ", a.NEROAbr); break;
    case 2: s += " -cbr " + Printf(" %d ", a.NEROEncCbr); break;
    default: break;
  }
  switch (a.NEROForPro) {
    case 1: s += " -lc "; break;
    case 2: s += " -he "; break;
    case 3: s += " -hev2 "; break;
    default: break;
  }
  return s + "-ignorelength";
}

std::string CtSwitches(const Settings::AacSection& a) {
  std::string s = " --br " + Printf(" %d ", a.CTCbr);
  if (a.CTPs) s += " --ps ";
  if (a.CTIs) s += " --is ";
  if (a.CTMono) s += " --mono ";
  if (a.CTSpeech) s += " --speech ";
  if (a.CTPns) s += " --pns ";
  switch (a.CTForPro) {
    case 1: s += " --lc "; break;
    case 2: s += " --he "; break;
    case 3: s += " --high"; break;
    default: break;
  }
  return s;
}

// "Quality 100; ", "ABR 128 kbps; " and the like: what the label shows of
// the encoder's own settings.
std::string ModeText(const Settings::AacSection& a, AacEncoder e) {
  switch (e) {
    case AacEncoder::Faac:
      return a.FAACEncMode == 1 ? Printf("ABR %d kbps; ", a.FAACAbr)
                                : Printf("Quality %d; ", a.FAACQuality);
    case AacEncoder::Nero:
      if (a.NEROEncMode == 1) return Printf("ABR %d kbps; ", a.NEROAbr / 1000);
      if (a.NEROEncMode == 2) return Printf("CBR %d kbps; ", a.NEROEncCbr / 1000);
      return Printf("Quality %.2f; ", a.NEROQuality * 0.01);
    case AacEncoder::Ct: return Printf("CBR %d kbps; ", a.CTCbr / 1000);
    case AacEncoder::None: break;
  }
  return {};
}

}  // namespace

AacEncoder AacEncoderOf(int container) {
  if (container >= 0 && container <= 3) return AacEncoder::Faac;
  if (container >= 4 && container <= 7) return AacEncoder::Nero;
  if (container == 8) return AacEncoder::Ct;
  return AacEncoder::None;
}

std::string AacProgramFor(int container) {
  switch (AacEncoderOf(container)) {
    case AacEncoder::Faac: return ExternalEncoderProgram("faac");
    case AacEncoder::Nero: return ExternalEncoderProgram("neroAacEnc");
    case AacEncoder::Ct: return ExternalEncoderProgram("enc_aacplus");
    case AacEncoder::None: break;
  }
  return {};
}

std::string BuildAacSwitches(const Settings& s) {
  const int container = s.AAC.ContainerFormat;
  switch (AacEncoderOf(container)) {
    case AacEncoder::Faac: return FaacSwitches(s.AAC, container);
    case AacEncoder::Nero: return NeroSwitches(s.AAC);
    case AacEncoder::Ct: return CtSwitches(s.AAC);
    case AacEncoder::None: break;
  }
  return {};
}

std::vector<std::string> AacArguments(const Settings& s, const std::string& switches,
                                      const std::string& path) {
  const int container = s.AAC.ContainerFormat;
  const std::string program = AacProgramFor(container);
  if (program.empty()) return {};
  // The switches hold no quotes: splitting them gives their words.
  const std::vector<std::string> words = SplitShellWords(switches).words;
  std::vector<std::string> argv = {program};
  switch (AacEncoderOf(container)) {
    case AacEncoder::Faac:
      argv.insert(argv.end(), words.begin(), words.end());
      argv.insert(argv.end(), {"-o", path, "-"});
      break;
    case AacEncoder::Nero:
      argv.insert(argv.end(), words.begin(), words.end());
      argv.insert(argv.end(), {"-of", path, "-if", "-"});
      break;
    case AacEncoder::Ct:
      argv.insert(argv.end(), {"-", path});
      argv.insert(argv.end(), words.begin(), words.end());
      break;
    case AacEncoder::None: break;
  }
  return argv;
}

ExternalCommand AacWriter::CommandFor(const std::string& path) const {
  ExternalCommand c;
  c.argv = AacArguments(settings(), switches_, path);
  c.dataLength = kAacHeaderDataLength;
  if (c.argv.empty()) {
    c.error = Printf("Error: unknown AAC container format %d.", settings().AAC.ContainerFormat);
  } else if (::access(c.argv[0].c_str(), X_OK) != 0) {
    c.error = "Error: the AAC encoder " + c.argv[0] + " is missing or may not be executed.";
    c.argv.clear();
  }
  return c;
}

FormatText DescribeAac(const Settings& s) {
  const int container = s.AAC.ContainerFormat;
  const AacEncoder e = AacEncoderOf(container);
  std::string what;
  if (e != AacEncoder::None) {
    what = std::string(kAacContainerTexts[container] + 1) + "; " + ModeText(s.AAC, e);
  }
  return {"AAC:  " + what + Printf("%5d Hz; ", SampleRateOf(s)) +
              (ChannelsOf(s) == 1 ? " Mono;" : " Stereo;"),
          "Set audio format: AAC."};
}

RateChannelMatrix AacRateChannels(const Settings& s) {
  RateChannelMatrix m;
  const bool ct = AacEncoderOf(s.AAC.ContainerFormat) == AacEncoder::Ct;
  for (auto& row : m.allowed)
    std::fill(row.begin() + (ct ? 6 : 0), row.begin() + (ct ? 9 : 11), true);
  return m;
}

std::string PrepareAac(const Settings& s) {
  if (AacEncoderOf(s.AAC.ContainerFormat) == AacEncoder::None) {
    return Printf("Error: unknown AAC container format %d.", s.AAC.ContainerFormat);
  }
  return {};
}

}  // namespace tarvexa
