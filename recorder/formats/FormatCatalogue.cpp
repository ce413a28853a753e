// The output format catalogue: codes, labels, extensions, libsndfile format
// words, the rate/channel rule and the application of a newly chosen format.
#include "formats/FormatCatalogue.h"

#include <sndfile.h>

#include <cstdio>
#include <utility>

#include "encoders/FlacWriter.h"
#include "encoders/Mp2Writer.h"
#include "encoders/Mp3Writer.h"
#include "encoders/OggVorbisWriter.h"
#include "encoders/WavPackWriter.h"

namespace tarvexa {

namespace {

// ---------------------------------------------------------------------------
// Names and list texts

struct FormatInfo {
  const char* tag;
  const char* listText;
};

// Index = OutputFormat - 1.
constexpr std::array<FormatInfo, 31> kFormats = {{
    {"WAV", " WAV    (Waveform Audio)"},
    {"MP3", " MP3    (MPEG-1 Audio Layer 3)"},
    {"WMA", " WMA    (Windows Media Audio)"},
    {"OGG", " OGG    (Ogg Vorbis)"},
    {"APE", " APE    (Monkey's Audio)"},
    {"FLAC", " FLAC   (Free Lossless Audio Codec)"},
    {"MP2", " MP2    (MPEG-1 Audio Layer 2)"},
    {"VQF", " VQF    (TwinVQ)"},
    {"AIFF", " AIFF   (Audio Interchange File Format)"},
    {"AAC", " AAC    (Advanced Audio Coding)"},
    {"MPC", " MPC    (Musepack)"},
    {"WV", " WV     (WavPack)"},
    {"AU", " AU     (Sun/NeXT AU Format)"},
    {"RAW", " RAW    (Headless Raw)"},
    {"PAF", " PAF    (Ensoniq PARIS File Format)"},
    {"SVX", " SVX    (Commodore Amiga File Format)"},
    {"NIST", " NIST   (Sphere Nist WAV)"},
    {"IRCAM", " IRCAM  (Berkeley IRCAM)"},
    {"VOC", " VOC    (Creative VOC)"},
    {"W64", " W64    (Sound Forge W64)"},
    {"MAT4", " MAT4   (GNU Octave 2.0)"},
    {"MAT5", " MAT5   (GNU Octave 2.1)"},
    {"PVF", " PVF    (Portable Voice Format)"},
    {"XI", " XI     (Fasttracker 2 Extended Instrument)"},
    {"HTK", " HTK    (HMM Tool Kit Format)"},
    {"CAF", " CAF    (Core Audio File Format)"},
    {"SDS", " SDS    (Midi Sample Dump Standard)"},
    {"AVR", " AVR    (Audio Visual Research)"},
    {"WAVEX", " WAVEX  (MS WAVE with WAVEFORMATEX)"},
    {"SD2", " SD2    (Sound Designer 2)"},
    {"User-Customized", " User-Customized Format"},
}};

bool InRange(int format) { return format >= kFirstFormat && format <= kLastFormat; }

// Slot of an "other" format (13..30) in OTHER.Codec / OTHER.Ext.
int OtherSlot(int format) { return format - kFormatAU; }

// ---------------------------------------------------------------------------
// Sub-encodings

constexpr SubEncoding kU8{"Unsigned 8 bit PCM", SF_FORMAT_PCM_U8};
constexpr SubEncoding kS8{"Signed 8 bit PCM", SF_FORMAT_PCM_S8};
constexpr SubEncoding kS16{"Signed 16 bit PCM", SF_FORMAT_PCM_16};
constexpr SubEncoding kS24{"Signed 24 bit PCM", SF_FORMAT_PCM_24};
constexpr SubEncoding kS32{"Signed 32 bit PCM", SF_FORMAT_PCM_32};
constexpr SubEncoding kFloat{"32 bit float", SF_FORMAT_FLOAT};
constexpr SubEncoding kDouble{"64 bit double", SF_FORMAT_DOUBLE};
constexpr SubEncoding kUlaw{"u-law", SF_FORMAT_ULAW};
constexpr SubEncoding kAlaw{"A-law", SF_FORMAT_ALAW};
constexpr SubEncoding kImaAdpcm{"IMA ADPCM", SF_FORMAT_IMA_ADPCM};
constexpr SubEncoding kMsAdpcm{"MS ADPCM", SF_FORMAT_MS_ADPCM};
constexpr SubEncoding kGsm{"GSM 6.10", SF_FORMAT_GSM610};
constexpr SubEncoding kVox{"Dialogic ADPCM", SF_FORMAT_VOX_ADPCM};
constexpr SubEncoding kG721{"G721 ADPCM 32kbps", SF_FORMAT_G721_32};
constexpr SubEncoding kG723_24{"G723 ADPCM 24kbps", SF_FORMAT_G723_24};
constexpr SubEncoding kG723_40{"G723 ADPCM 40kbps", SF_FORMAT_G723_40};
constexpr SubEncoding kDwvw12{"12 bit DWVW", SF_FORMAT_DWVW_12};
constexpr SubEncoding kDwvw16{"16 bit DWVW", SF_FORMAT_DWVW_16};
constexpr SubEncoding kDwvw24{"24 bit DWVW", SF_FORMAT_DWVW_24};
constexpr SubEncoding kDpcm8{"8 bit DPCM", SF_FORMAT_DPCM_8};
constexpr SubEncoding kDpcm16{"16 bit DPCM", SF_FORMAT_DPCM_16};

struct SoundFileFormat {
  int major;
  std::vector<SubEncoding> codes;  // selector index -> sub-encoding
  size_t offered;                  // how many of them the options page lists
};

// The code table of a sound-file format; nullptr for the other families.
const SoundFileFormat* SoundFileFormatOf(int format) {
  static const SoundFileFormat wav{
      SF_FORMAT_WAV,
      {kU8, kS16, kS24, kS32, kFloat, kDouble, kUlaw, kAlaw, kImaAdpcm, kMsAdpcm, kGsm, kG721},
      12};
  static const SoundFileFormat aiff{SF_FORMAT_AIFF,
                                    {kU8, kS8, kS16, kS24, kS32, kFloat, kDouble, kUlaw, kAlaw,
                                     kImaAdpcm, kGsm, kDwvw12, kDwvw16, kDwvw24},
                                    14};
  static const SoundFileFormat au{
      SF_FORMAT_AU,
      {kS8, kS16, kS24, kS32, kFloat, kDouble, kUlaw, kAlaw, kG721, kG723_24, kG723_40},
      11};
  static const SoundFileFormat raw{SF_FORMAT_RAW,
                                   {kU8, kS8, kS16, kS24, kS32, kFloat, kDouble, kUlaw, kAlaw,
                                    kGsm, kVox, kDwvw12, kDwvw16, kDwvw24},
                                   14};
  static const SoundFileFormat paf{SF_FORMAT_PAF, {kS8, kS16, kS24}, 3};
  static const SoundFileFormat svx{SF_FORMAT_SVX, {kS8, kS16}, 2};
  static const SoundFileFormat nist{SF_FORMAT_NIST, {kS8, kS16, kS24, kS32, kUlaw, kAlaw}, 6};
  static const SoundFileFormat ircam{SF_FORMAT_IRCAM, {kS16, kS32, kFloat, kUlaw, kAlaw}, 5};
  static const SoundFileFormat voc{SF_FORMAT_VOC, {kU8, kS16, kUlaw, kAlaw}, 4};
  static const SoundFileFormat w64{
      SF_FORMAT_W64,
      {kU8, kS16, kS24, kS32, kFloat, kDouble, kUlaw, kAlaw, kImaAdpcm, kMsAdpcm, kGsm},
      11};
  static const SoundFileFormat mat4{SF_FORMAT_MAT4, {kS16, kS32, kFloat, kDouble}, 4};
  static const SoundFileFormat mat5{SF_FORMAT_MAT5, {kU8, kS16, kS32, kFloat, kDouble}, 5};
  static const SoundFileFormat pvf{SF_FORMAT_PVF, {kS8, kS16, kS32}, 3};
  static const SoundFileFormat xi{SF_FORMAT_XI, {kDpcm8, kDpcm16}, 2};
  static const SoundFileFormat htk{SF_FORMAT_HTK, {kS16}, 1};
  static const SoundFileFormat caf{SF_FORMAT_CAF,
                                   {kS8, kS16, kS24, kS32, kFloat, kDouble, kUlaw, kAlaw}, 8};
  static const SoundFileFormat sds{SF_FORMAT_SDS, {kS8, kS16, kS24}, 3};
  // Index 3 is in the code table but not in the options list.
  static const SoundFileFormat avr{SF_FORMAT_AVR, {kU8, kS8, kS16, kS24}, 3};
  static const SoundFileFormat wavex{SF_FORMAT_WAVEX,
                                     {kU8, kS16, kS24, kS32, kFloat, kDouble, kUlaw, kAlaw}, 8};
  static const SoundFileFormat sd2{SF_FORMAT_SD2, {kS8, kS16, kS24}, 3};

  switch (format) {
    case kFormatWAV: return &wav;
    case kFormatAIFF: return &aiff;
    case kFormatAU: return &au;
    case kFormatRAW: return &raw;
    case kFormatPAF: return &paf;
    case kFormatSVX: return &svx;
    case kFormatNIST: return &nist;
    case kFormatIRCAM: return &ircam;
    case kFormatVOC: return &voc;
    case kFormatW64: return &w64;
    case kFormatMAT4: return &mat4;
    case kFormatMAT5: return &mat5;
    case kFormatPVF: return &pvf;
    case kFormatXI: return &xi;
    case kFormatHTK: return &htk;
    case kFormatCAF: return &caf;
    case kFormatSDS: return &sds;
    case kFormatAVR: return &avr;
    case kFormatWAVEX: return &wavex;
    case kFormatSD2: return &sd2;
    default: return nullptr;
  }
}

// The selected sub-encoding of a sound-file format; nullptr when the selector
// is outside the code table.
const SubEncoding* SelectedSubEncoding(int format, const Settings& s) {
  const SoundFileFormat* f = SoundFileFormatOf(format);
  if (!f) return nullptr;
  const int index = SubEncodingIndexOf(format, s);
  if (index < 0 || static_cast<size_t>(index) >= f->codes.size()) return nullptr;
  return &f->codes[static_cast<size_t>(index)];
}

// Sub-encodings that libsndfile writes in one channel only; in every format
// that offers them they restrict the format to mono.
bool IsMonoOnlySubtype(int subtype) {
  switch (subtype) {
    case SF_FORMAT_GSM610:
    case SF_FORMAT_VOX_ADPCM:
    case SF_FORMAT_G721_32:
    case SF_FORMAT_G723_24:
    case SF_FORMAT_G723_40:
    case SF_FORMAT_DWVW_12:
    case SF_FORMAT_DWVW_16:
    case SF_FORMAT_DWVW_24:
      return true;
    default:
      return false;
  }
}

// ---------------------------------------------------------------------------
// TwinVQ presets: each fixes one rate/channel pair.

struct VqfPair {
  int chan;
  int freq;  // SampleRateTable index
};

// Index = VQF.Profile - 1.
constexpr std::array<VqfPair, 18> kVqfPresetPairs = {{
    {1, 0}, {2, 0},                          // 8000 Hz
    {1, 1}, {1, 1}, {2, 1}, {2, 1},          // 11025 Hz
    {1, 3}, {2, 3},                          // 16000 Hz
    {1, 4}, {1, 4}, {1, 4}, {2, 4}, {2, 4}, {2, 4},  // 22050 Hz
    {1, 7}, {1, 7}, {2, 7}, {2, 7},          // 44100 Hz
}};

const VqfPair* VqfPresetPair(int profile) {
  if (profile < 1 || profile > static_cast<int>(kVqfPresetPairs.size())) return nullptr;
  return &kVqfPresetPairs[static_cast<size_t>(profile - 1)];
}

void AllowRates(RateChannelMatrix& m, int first, int last) {
  for (auto& row : m.allowed) {
    for (int i = first; i <= last; ++i) row[static_cast<size_t>(i)] = true;
  }
}

bool AllAllowed(const RateChannelMatrix& m) {
  for (const auto& row : m.allowed) {
    for (bool b : row) {
      if (!b) return false;
    }
  }
  return true;
}

bool AnyAllowed(const std::array<bool, 12>& row) {
  for (bool b : row) {
    if (b) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Format label and log line, one producer per format family.

void DescribeSoundFileFormat(int format, const Settings& s, FormatApplied& a) {
  const SubEncoding* sub = SelectedSubEncoding(format, s);
  char rate[32];
  std::snprintf(rate, sizeof rate, " %5d Hz; ", SampleRateOf(s));
  const std::string rateAndChannels =
      std::string(rate) + (s.OUTPUT.Chan == 1 ? " Mono;" : " Stereo;");
  if (!sub) {
    // An unknown selector: the writer will refuse the format; nothing is logged.
    a.label = rateAndChannels;
    return;
  }
  a.label = std::string(FormatTag(format)) + ":  " + sub->name + rateAndChannels;
  a.logLine = std::string("Set audio format: ") + FormatTag(format) + " " + sub->name;
}

void DescribeUserCustomized(const Settings& s, FormatApplied& a) {
  a.label = "User-Customized Format: " + s.CUSTOM.FileExt;
  a.logLine = "Set audio format: User-Customized format " + s.CUSTOM.FileExt + ".";
}

// Stand-in for the encoder families whose label comes with their writer.
void DescribeByTagOnly(int format, FormatApplied& a) {
  a.label = std::string(FormatTag(format)) + ":";
  a.logLine = std::string("Set audio format: ") + FormatTag(format) + ".";
}

void DescribeFormat(int format, const Settings& s, FormatApplied& a) {
  switch (format) {
    case kFormatMP3:
      a.label = Mp3FormatLabel(s);
      a.logLine = kMp3LogLine;
      break;
    case kFormatWMA:
    case kFormatAPE:
    case kFormatVQF:
    case kFormatAAC:
    case kFormatMPC:
      DescribeByTagOnly(format, a);
      break;
    case kFormatOGG:
      a.label = OggVorbisLabel(s);
      a.logLine = kOggVorbisLogLine;
      break;
    case kFormatFLAC:
      a.label = FlacLabel(s);
      a.logLine = kFlacLogLine;
      break;
    case kFormatMP2:
      DescribeMp2(s, a);
      break;
    case kFormatWV:
      DescribeWavPack(s, a);
      break;
    case kFormatUserCustomized:
      DescribeUserCustomized(s, a);
      break;
    default:
      if (IsSoundFileFormat(format)) DescribeSoundFileFormat(format, s, a);
      break;
  }
}

// Settings the encoder libraries must accept before they become current
// (Ogg Vorbis, MP2); their checks add messages to a.extraLog.
void ProbeEncoderSettings(int format, Settings& s, FormatApplied& a) {
  switch (format) {
    case kFormatOGG:
      ProbeOggVorbisSettings(s, a);
      break;
    case kFormatMP2:
      ProbeMp2Settings(s, a);
      break;
    default:
      break;
  }
}

FormatApplied ApplyOnce(Settings& s, const RateChannelMatrix& device) {
  FormatApplied a;
  const int format = s.OUTPUT.OutputFormat;
  if (InRange(format)) {
    DescribeFormat(format, s, a);
    ProbeEncoderSettings(format, s, a);
  }
  a.rule = RateChannelRule(s, device);
  return a;
}

}  // namespace

// ---------------------------------------------------------------------------

int SampleRateOf(const Settings& s) {
  const int i = s.OUTPUT.Freq;
  if (i < 0 || i >= static_cast<int>(SampleRateTable.size())) return 44100;
  return SampleRateTable[static_cast<size_t>(i)];
}

int ChannelsOf(const Settings& s) { return s.OUTPUT.Chan == 1 ? 1 : 2; }

bool IsSoundFileFormat(int format) {
  return format == kFormatWAV || format == kFormatAIFF ||
         (format >= kFormatAU && format <= kFormatSD2);
}

const char* FormatTag(int format) {
  return InRange(format) ? kFormats[static_cast<size_t>(format - 1)].tag : "";
}

const char* FormatListText(int format) {
  return InRange(format) ? kFormats[static_cast<size_t>(format - 1)].listText : "";
}

std::string FileExtensionFor(int format, const Settings& s) {
  const auto& ext = s.OTHER.Ext;
  switch (format) {
    case kFormatWAV: return ".wav";
    case kFormatMP3: return ".mp3";
    case kFormatWMA: return ".wma";
    case kFormatOGG: return ".ogg";
    case kFormatAPE: return ".ape";
    case kFormatFLAC: return s.FLAC.Native ? ".flac" : ".ogg";
    case kFormatMP2: return ".mp2";
    case kFormatVQF: return ".vqf";
    case kFormatAIFF:
      switch (s.AIFF.Ext) {
        case 1: return ".aifc";
        case 2: return ".aif";
        default: return ".aiff";
      }
    case kFormatAAC:
      switch (s.AAC.ContainerFormat) {
        case 1: case 5: return ".m4a";
        case 2: case 6: return ".m4b";
        case 3: case 7: return ".mp4";
        case 4: return ".3gp";
        default: return ".aac";  // 0 and 8
      }
    case kFormatMPC:
      switch (s.MPC.Ext) {
        case 1: return ".mp+";
        case 2: return ".mpp";
        default: return ".mpc";
      }
    case kFormatWV: return ".wv";
    case kFormatAU: return ext[0] != 0 ? ".snd" : ".au";
    case kFormatRAW:
      switch (ext[1]) {
        case 1: return ".gsm";
        case 2: return ".vox";
        default: return ".raw";
      }
    case kFormatPAF: return ext[2] == 1 ? ".paf" : ".fap";
    case kFormatSVX:
      switch (ext[3]) {
        case 1: return ".8svx";
        case 2: return ".iff";
        default: return ".svx";
      }
    case kFormatNIST: return ".nist";
    case kFormatIRCAM: return ext[5] == 1 ? ".sf" : ".ircam";
    case kFormatVOC: return ".voc";
    case kFormatW64: return ".w64";
    case kFormatMAT4: return ext[8] == 1 ? ".mat" : ".mat4";
    case kFormatMAT5: return ".mat5";
    case kFormatPVF: return ".pvf";
    case kFormatXI: return ".xi";
    case kFormatHTK: return ".htk";
    case kFormatCAF: return ".caf";
    case kFormatSDS: return ".sds";
    case kFormatAVR: return ".avr";
    case kFormatWAVEX: return ".wavex";
    case kFormatSD2: return ".sd2";
    case kFormatUserCustomized: return "." + s.CUSTOM.FileExt;
    default: return "";
  }
}

std::vector<SubEncoding> SubEncodingsOf(int format) {
  const SoundFileFormat* f = SoundFileFormatOf(format);
  if (!f) return {};
  return {f->codes.begin(), f->codes.begin() + static_cast<std::ptrdiff_t>(f->offered)};
}

std::vector<std::string> ExtensionListOf(int format) {
  switch (format) {
    case kFormatAIFF: return {" AIFF", " AIFC", " AIF"};
    case kFormatAU: return {" au", " snd"};
    case kFormatRAW: return {" raw", " gsm", " vox"};
    case kFormatPAF: return {" fap", " paf"};
    case kFormatSVX: return {" svx", " 8svx", " iff"};
    case kFormatNIST: return {" nist"};
    case kFormatIRCAM: return {" ircam", " sf"};
    case kFormatVOC: return {" voc"};
    case kFormatW64: return {" w64"};
    case kFormatMAT4: return {" mat4", " mat"};
    case kFormatMAT5: return {" mat5"};
    case kFormatPVF: return {" pvf"};
    case kFormatXI: return {" xi"};
    case kFormatHTK: return {" htk"};
    case kFormatCAF: return {" caf"};
    case kFormatSDS: return {" sds"};
    case kFormatAVR: return {" avr"};
    case kFormatWAVEX: return {" wavex"};
    case kFormatSD2: return {" sd2"};
    default: return {};
  }
}

int SubEncodingIndexOf(int format, const Settings& s) {
  if (format == kFormatWAV) return s.WAV.SubFormat;
  if (format == kFormatAIFF) return s.AIFF.SubFormat;
  if (format == kFormatHTK) return 0;  // HTK has no choice: always 16-bit PCM
  if (format >= kFormatAU && format <= kFormatSD2) {
    return s.OTHER.Codec[static_cast<size_t>(OtherSlot(format))];
  }
  return -1;
}

int SndfileFormatCode(const Settings& s) {
  const int format = s.OUTPUT.OutputFormat;
  const SoundFileFormat* f = SoundFileFormatOf(format);
  if (!f) return 0;
  int code = f->major;
  if (const SubEncoding* sub = SelectedSubEncoding(format, s)) code |= sub->subtype;
  if (format == kFormatPAF) {
    code |= s.OTHER.Ext[static_cast<size_t>(OtherSlot(kFormatPAF))] == 1 ? SF_ENDIAN_LITTLE
                                                                         : SF_ENDIAN_BIG;
  }
  return code;
}

RateChannelMatrix RateChannelMatrix::All() {
  RateChannelMatrix m;
  AllowRates(m, 0, 11);
  return m;
}

RateChannelMatrix FormatMatrixOf(const Settings& s) {
  RateChannelMatrix m;
  const int format = s.OUTPUT.OutputFormat;
  switch (format) {
    case kFormatMP3: AllowRates(m, 0, 8); break;
    case kFormatWMA: AllowRates(m, 0, 10); break;
    case kFormatMP2: AllowRates(m, 3, 8); break;
    case kFormatAAC:
      if (s.AAC.ContainerFormat == 8) AllowRates(m, 6, 8);
      else AllowRates(m, 0, 10);
      break;
    case kFormatMPC: AllowRates(m, 6, 8); break;
    case kFormatVQF:
      if (const VqfPair* p = VqfPresetPair(s.VQF.Profile)) {
        m.allowed[static_cast<size_t>(p->chan - 1)][static_cast<size_t>(p->freq)] = true;
      }
      break;
    case kFormatSVX:
    case kFormatXI:
    case kFormatSDS:
      m.allowed[0].fill(true);
      break;
    case kFormatWAV:
    case kFormatAIFF:
    case kFormatAU:
    case kFormatRAW:
    case kFormatW64: {
      const SubEncoding* sub = SelectedSubEncoding(format, s);
      if (sub && IsMonoOnlySubtype(sub->subtype)) m.allowed[0].fill(true);
      else m = RateChannelMatrix::All();
      break;
    }
    default:
      m = RateChannelMatrix::All();
      break;
  }
  return m;
}

RateChannelResult RateChannelRule(Settings& s, const RateChannelMatrix& device) {
  RateChannelResult r;
  r.format = FormatMatrixOf(s);
  r.monoAllowed = AnyAllowed(r.format.allowed[0]);
  r.stereoAllowed = AnyAllowed(r.format.allowed[1]);

  // A TwinVQ preset dictates the pair outright.
  if (s.OUTPUT.OutputFormat == kFormatVQF) {
    if (const VqfPair* p = VqfPresetPair(s.VQF.Profile)) {
      if (s.OUTPUT.Chan != p->chan || s.OUTPUT.Freq != p->freq) {
        s.OUTPUT.Chan = static_cast<int16_t>(p->chan);
        s.OUTPUT.Freq = static_cast<int16_t>(p->freq);
        r.changed = true;
      }
    }
  }

  // A format without restrictions takes the pair as it is.
  if (AllAllowed(r.format)) return r;

  auto usable = [&](int row, int freq) {
    return freq >= 0 && freq < 12 &&
           r.format.allowed[static_cast<size_t>(row)][static_cast<size_t>(freq)] &&
           device.allowed[static_cast<size_t>(row)][static_cast<size_t>(freq)];
  };
  auto take = [&](int chosenRow, int chosenFreq) {
    s.OUTPUT.Chan = static_cast<int16_t>(chosenRow + 1);
    s.OUTPUT.Freq = static_cast<int16_t>(chosenFreq);
    r.changed = true;
  };

  // A channel count the format forbids altogether cannot stay selected (the
  // main window disables it): the other count is tried at the same rate
  // first, so a mono-only sub-encoding keeps the chosen rate where it can.
  const int row = ChannelsOf(s) - 1;
  const int freq = s.OUTPUT.Freq;
  const bool rowForbidden = row == 0 ? !r.monoAllowed : !r.stereoAllowed;
  if (rowForbidden && usable(1 - row, freq)) {
    take(1 - row, freq);
    return r;
  }
  if (usable(row, freq)) return r;

  if (usable(1, 7)) {
    take(1, 7);
    return r;
  }
  for (int chosenRow = 0; chosenRow < 2; ++chosenRow) {
    for (int chosenFreq = 0; chosenFreq < 12; ++chosenFreq) {
      if (usable(chosenRow, chosenFreq)) {
        take(chosenRow, chosenFreq);
        return r;
      }
    }
  }
  return r;  // no usable pair: leave the settings alone
}

FormatApplied ApplyOutputFormat(Settings& s, const RateChannelMatrix& device) {
  FormatApplied first = ApplyOnce(s, device);
  if (!first.rule.changed) return first;

  // The rule moved Chan/Freq: apply the format once more so the label shows
  // the new pair. The second pass writes the same log line as the first, so
  // only one is reported; probe messages of both passes are kept in order.
  FormatApplied second = ApplyOnce(s, device);
  second.extraLog.insert(second.extraLog.begin(), first.extraLog.begin(), first.extraLog.end());
  if (second.logLine.empty()) second.logLine = first.logLine;
  second.rule.changed = true;
  return second;
}

}  // namespace tarvexa
