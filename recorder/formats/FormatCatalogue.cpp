// The output format catalogue: codes, tags, extensions, libsndfile format
// words, the rate/channel rule and the application of a newly chosen format
// through the format's family.
#include "formats/FormatCatalogue.h"

#include <sndfile.h>

#include <utility>

#include "formats/FormatFamily.h"

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
                                   {kU8, kS8, kS16, kS24, kS32, kFloat, kDouble, kUlaw, kAlaw, kGsm,
                                    kVox, kDwvw12, kDwvw16, kDwvw24},
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
  static const SoundFileFormat caf{
      SF_FORMAT_CAF, {kS8, kS16, kS24, kS32, kFloat, kDouble, kUlaw, kAlaw}, 8};
  static const SoundFileFormat sds{SF_FORMAT_SDS, {kS8, kS16, kS24}, 3};
  // Index 3 is in the code table but not in the options list.
  static const SoundFileFormat avr{SF_FORMAT_AVR, {kU8, kS8, kS16, kS24}, 3};
  static const SoundFileFormat wavex{
      SF_FORMAT_WAVEX, {kU8, kS16, kS24, kS32, kFloat, kDouble, kUlaw, kAlaw}, 8};
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

void AllowRates(RateChannelMatrix& m, int first, int last) {
  for (auto& row : m.allowed) {
    for (int i = first; i <= last; ++i) row[static_cast<size_t>(i)] = true;
  }
}

bool AnyAllowed(const std::array<bool, 12>& row) {
  for (bool b : row) {
    if (b) return true;
  }
  return false;
}

// The number of allowed pairs, and the last of them.
int CountAllowed(const RateChannelMatrix& m, int* row, int* freq) {
  int n = 0;
  for (size_t r = 0; r < m.allowed.size(); ++r) {
    for (size_t f = 0; f < m.allowed[r].size(); ++f) {
      if (!m.allowed[r][f]) continue;
      ++n;
      *row = static_cast<int>(r);
      *freq = static_cast<int>(f);
    }
  }
  return n;
}

void Describe(const FormatFamily& family, int format, const Settings& s, FormatApplied& a) {
  if (!family.describe) return;
  FormatText text = family.describe(format, s);
  a.label = std::move(text.label);
  a.logLine = std::move(text.logLine);
}

FormatApplied ApplyOnce(Settings& s, const RateChannelMatrix& device) {
  FormatApplied a;
  const int format = s.OUTPUT.OutputFormat;
  if (const FormatFamily* family = FamilyOf(format)) {
    Describe(*family, format, s, a);
    // Settings the encoder refuses are put back before they are recorded
    // with; the label then shows what will be recorded.
    if (family->settingsRefused) {
      const std::string refused = family->settingsRefused(s);
      if (!refused.empty()) {
        if (family->resetSettings) family->resetSettings(s);
        a.extraLog.emplace_back(refused, 1);
        if (family->refusedBoxText) a.refusedBox = family->refusedBoxText;
        Describe(*family, format, s, a);
      }
    }
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

int RateIndexOf(int rate) {
  for (size_t i = 0; i < SampleRateTable.size(); ++i)
    if (SampleRateTable[i] == rate) return static_cast<int>(i);
  return -1;
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
        case 1:
        case 5: return ".m4a";
        case 2:
        case 6: return ".m4b";
        case 3:
        case 7: return ".mp4";
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

const SubEncoding* SelectedSubEncoding(int format, const Settings& s) {
  const SoundFileFormat* f = SoundFileFormatOf(format);
  if (!f) return nullptr;
  const int index = SubEncodingIndexOf(format, s);
  if (index < 0 || static_cast<size_t>(index) >= f->codes.size()) return nullptr;
  return &f->codes[static_cast<size_t>(index)];
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

RateChannelMatrix RateChannelMatrix::Rates(int first, int last) {
  RateChannelMatrix m;
  AllowRates(m, first, last);
  return m;
}

RateChannelMatrix RateChannelMatrix::MonoOnly() {
  RateChannelMatrix m;
  m.allowed[0].fill(true);
  return m;
}

RateChannelMatrix FormatMatrixOf(const Settings& s) {
  const int format = s.OUTPUT.OutputFormat;
  const FormatFamily* family = FamilyOf(format);
  if (!family || !family->allowedPairs) return RateChannelMatrix::All();
  return family->allowedPairs(format, s);
}

RateChannelResult RateChannelRule(Settings& s, const RateChannelMatrix& device) {
  RateChannelResult r;
  r.format = FormatMatrixOf(s);
  r.monoAllowed = AnyAllowed(r.format.allowed[0]);
  r.stereoAllowed = AnyAllowed(r.format.allowed[1]);

  // A format that allows a single pair (a TwinVQ preset) dictates it
  // outright, whatever the device.
  int onlyRow = 0, onlyFreq = 0;
  if (CountAllowed(r.format, &onlyRow, &onlyFreq) == 1 &&
      (s.OUTPUT.Chan != onlyRow + 1 || s.OUTPUT.Freq != onlyFreq)) {
    s.OUTPUT.Chan = static_cast<int16_t>(onlyRow + 1);
    s.OUTPUT.Freq = static_cast<int16_t>(onlyFreq);
    r.changed = true;
  }

  // Every format, also one without restrictions of its own, takes only a
  // pair the device records.
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
  if (second.refusedBox.empty()) second.refusedBox = first.refusedBox;
  second.rule.changed = true;
  return second;
}

}  // namespace tarvexa
