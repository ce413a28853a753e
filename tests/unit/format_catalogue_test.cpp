#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>

#include "TestSupport.h"
#include "encoders/soundfile/SoundFileWriter.h"
#include "formats/FormatCatalogue.h"
#include "formats/FormatFamily.h"

namespace tarvexa {
namespace {

Settings WithFormat(int format, int chan = 2, int freq = 7) {
  Settings s;
  s.OUTPUT.OutputFormat = static_cast<int16_t>(format);
  s.OUTPUT.Chan = static_cast<int16_t>(chan);
  s.OUTPUT.Freq = static_cast<int16_t>(freq);
  return s;
}

RateChannelMatrix DeviceWith(std::initializer_list<std::pair<int, int>> pairs) {
  RateChannelMatrix m;
  for (auto [chan, freq] : pairs) m.allowed[chan - 1][freq] = true;
  return m;
}

std::vector<int> AllowedRates(const RateChannelMatrix& m, int chan) {
  std::vector<int> v;
  for (int i = 0; i < 12; ++i) {
    if (m.allowed[chan - 1][i]) v.push_back(i);
  }
  return v;
}

std::vector<int> Range(int first, int last) {
  std::vector<int> v;
  for (int i = first; i <= last; ++i) v.push_back(i);
  return v;
}

// ---------------------------------------------------------------------------

TEST(FormatCatalogue, TagsAndListTextsCoverEveryCode) {
  EXPECT_STREQ(FormatTag(1), "WAV");
  EXPECT_STREQ(FormatTag(12), "WV");
  EXPECT_STREQ(FormatTag(30), "SD2");
  EXPECT_STREQ(FormatTag(31), "User-Customized");
  EXPECT_STREQ(FormatListText(6), " FLAC   (Free Lossless Audio Codec)");
  EXPECT_STREQ(FormatListText(18), " IRCAM  (Berkeley IRCAM)");
  EXPECT_STREQ(FormatListText(24), " XI     (Fasttracker 2 Extended Instrument)");
  EXPECT_STREQ(FormatListText(29), " WAVEX  (MS WAVE with WAVEFORMATEX)");
  EXPECT_STREQ(FormatListText(31), " User-Customized Format");
  for (int bad : {0, -1, 32, 1000}) {
    EXPECT_STREQ(FormatTag(bad), "");
    EXPECT_STREQ(FormatListText(bad), "");
  }
  // Every list text starts with a space and the tag (User-Customized aside).
  for (int f = 1; f <= 30; ++f) {
    EXPECT_EQ(std::string(FormatListText(f)).rfind(std::string(" ") + FormatTag(f) + " ", 0), 0u)
        << f;
  }
}

// A registration fault (a code claimed twice, a code nobody writes, a family
// without its label) shows here rather than as a wrong writer at recording.
TEST(FormatCatalogue, EveryCodeHasExactlyOneFamilyInTheTable) {
  std::map<int, int> claims;
  for (const FormatFamily* family : FormatFamilies()) {
    ASSERT_NE(family, nullptr);
    EXPECT_NE(family->describe, nullptr) << family->name;
    EXPECT_FALSE(family->codes.empty()) << family->name;
    for (int code : family->codes) ++claims[code];
  }
  for (int code = kFirstFormat; code <= kLastFormat; ++code) {
    EXPECT_EQ(claims[code], 1) << FormatTag(code);
    const FormatFamily* family = FamilyOf(code);
    ASSERT_NE(family, nullptr) << code;
    EXPECT_NE(std::find(family->codes.begin(), family->codes.end(), code), family->codes.end());
  }
  EXPECT_EQ(claims.size(), static_cast<size_t>(kLastFormat))
      << "a family claims a code outside 1..31";
  for (int bad : {0, -1, 32}) EXPECT_EQ(FamilyOf(bad), nullptr);
}

TEST(FormatCatalogue, SoundFileFormatsAreWavAiffAnd13To30) {
  std::vector<int> sound;
  for (int f = -1; f <= 33; ++f) {
    if (IsSoundFileFormat(f)) sound.push_back(f);
  }
  std::vector<int> expected = {1, 9};
  for (int f = 13; f <= 30; ++f) expected.push_back(f);
  EXPECT_EQ(sound, expected);
}

TEST(FormatCatalogue, SampleRateAndChannelsStayInsideTheTables) {
  Settings s;
  for (int freq = 0; freq < 12; ++freq) {
    s.OUTPUT.Freq = static_cast<int16_t>(freq);
    EXPECT_EQ(SampleRateOf(s), SampleRateTable[freq]);
  }
  for (int16_t bad : {int16_t(-1), int16_t(12), int16_t(32767), int16_t(-32768)}) {
    s.OUTPUT.Freq = bad;
    EXPECT_EQ(SampleRateOf(s), 44100) << bad;
  }
  for (auto [chan, expected] :
       std::vector<std::pair<int, int>>{{1, 1}, {2, 2}, {0, 2}, {3, 2}, {-1, 2}}) {
    s.OUTPUT.Chan = static_cast<int16_t>(chan);
    EXPECT_EQ(ChannelsOf(s), expected) << chan;
  }
}

// ---------------------------------------------------------------------------
// Extensions

TEST(FileExtension, FollowTheirSettings) {
  Settings s;
  EXPECT_EQ(FileExtensionFor(kFormatWAV, s), ".wav");
  EXPECT_EQ(FileExtensionFor(kFormatWV, s), ".wv");
  EXPECT_EQ(FileExtensionFor(kFormatUserCustomized, s), ".mp3");
  EXPECT_EQ(FileExtensionFor(0, s), "");
  EXPECT_EQ(FileExtensionFor(32, s), "");
  EXPECT_EQ(FileExtensionFor(kFormatFLAC, s), ".flac");
  s.FLAC.Native = 0;
  EXPECT_EQ(FileExtensionFor(kFormatFLAC, s), ".ogg");

  const std::vector<std::string> aiff = {".aiff", ".aifc", ".aif", ".aiff", ".aiff"};
  for (int ext = 0; ext < 5; ++ext) {
    s.AIFF.Ext = static_cast<int16_t>(ext == 4 ? -1 : ext);
    EXPECT_EQ(FileExtensionFor(kFormatAIFF, s), aiff[ext]) << ext;
  }

  const std::vector<std::string> aac = {".aac", ".m4a", ".m4b", ".mp4", ".3gp",
                                        ".m4a", ".m4b", ".mp4", ".aac"};
  for (int c = 0; c <= 8; ++c) {
    s.AAC.ContainerFormat = static_cast<int16_t>(c);
    EXPECT_EQ(FileExtensionFor(kFormatAAC, s), aac[c]) << c;
  }

  const std::vector<std::string> mpc = {".mpc", ".mp+", ".mpp"};
  for (int e = 0; e < 3; ++e) {
    s.MPC.Ext = static_cast<int16_t>(e);
    EXPECT_EQ(FileExtensionFor(kFormatMPC, s), mpc[e]);
  }

  s.CUSTOM.FileExt = "opus";
  EXPECT_EQ(FileExtensionFor(kFormatUserCustomized, s), ".opus");

  // Slots that only distinguish "1" from the rest, and AU, which tests "≠ 0".
  s.OTHER.Ext[2] = 2;
  EXPECT_EQ(FileExtensionFor(kFormatPAF, s), ".fap");
  s.OTHER.Ext[0] = 7;
  EXPECT_EQ(FileExtensionFor(kFormatAU, s), ".snd");
  s.OTHER.Ext[1] = 3;
  EXPECT_EQ(FileExtensionFor(kFormatRAW, s), ".raw");
}

// The "File Extension:" lists and FileExtensionFor must agree entry by entry:
// the stored index is a position in the list.
TEST(FileExtension, AgreesWithTheExtensionLists) {
  for (int format : {9, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30}) {
    const auto list = ExtensionListOf(format);
    ASSERT_FALSE(list.empty()) << format;
    for (size_t i = 0; i < list.size(); ++i) {
      Settings s;
      if (format == kFormatAIFF)
        s.AIFF.Ext = static_cast<int16_t>(i);
      else
        s.OTHER.Ext[format - 13] = static_cast<int16_t>(i);
      std::string entry = list[i];
      ASSERT_EQ(entry[0], ' ');
      entry = "." + entry.substr(1);
      std::transform(entry.begin(), entry.end(), entry.begin(),
                     [](unsigned char c) { return std::tolower(c); });
      EXPECT_EQ(FileExtensionFor(format, s), entry) << format << " #" << i;
    }
  }
  EXPECT_EQ(ExtensionListOf(kFormatSVX), (std::vector<std::string>{" svx", " 8svx", " iff"}));
  EXPECT_EQ(ExtensionListOf(kFormatAIFF), (std::vector<std::string>{" AIFF", " AIFC", " AIF"}));
  EXPECT_TRUE(ExtensionListOf(kFormatMP3).empty());
}

// ---------------------------------------------------------------------------
// Sub-encodings and libsndfile format words

// The stored selector is a position in these lists, so order matters.
TEST(SubEncodings, ListsPerFormat) {
  const std::map<int, std::vector<int>> lists = {
      {1, {0x05, 0x02, 0x03, 0x04, 0x06, 0x07, 0x10, 0x11, 0x12, 0x13, 0x20, 0x30}},
      {9, {0x05, 0x01, 0x02, 0x03, 0x04, 0x06, 0x07, 0x10, 0x11, 0x12, 0x20, 0x40, 0x41, 0x42}},
      {13, {0x01, 0x02, 0x03, 0x04, 0x06, 0x07, 0x10, 0x11, 0x30, 0x31, 0x32}},
      {14, {0x05, 0x01, 0x02, 0x03, 0x04, 0x06, 0x07, 0x10, 0x11, 0x20, 0x21, 0x40, 0x41, 0x42}},
      {15, {0x01, 0x02, 0x03}},
      {16, {0x01, 0x02}},
      {17, {0x01, 0x02, 0x03, 0x04, 0x10, 0x11}},
      {18, {0x02, 0x04, 0x06, 0x10, 0x11}},
      {19, {0x05, 0x02, 0x10, 0x11}},
      {20, {0x05, 0x02, 0x03, 0x04, 0x06, 0x07, 0x10, 0x11, 0x12, 0x13, 0x20}},
      {21, {0x02, 0x04, 0x06, 0x07}},
      {22, {0x05, 0x02, 0x04, 0x06, 0x07}},
      {23, {0x01, 0x02, 0x04}},
      {24, {0x50, 0x51}},
      {25, {0x02}},
      {26, {0x01, 0x02, 0x03, 0x04, 0x06, 0x07, 0x10, 0x11}},
      {27, {0x01, 0x02, 0x03}},
      {28, {0x05, 0x01, 0x02}},
      {29, {0x05, 0x02, 0x03, 0x04, 0x06, 0x07, 0x10, 0x11}},
      {30, {0x01, 0x02, 0x03}}};
  for (const auto& [format, expected] : lists) {
    std::vector<int> got;
    for (const SubEncoding& e : SubEncodingsOf(format)) got.push_back(e.subtype);
    EXPECT_EQ(got, expected) << FormatTag(format);
  }
  EXPECT_TRUE(SubEncodingsOf(kFormatMP3).empty());
  EXPECT_TRUE(SubEncodingsOf(0).empty());
}

// Names must carry the libsndfile subtype numbers that go with them.
TEST(SubEncodings, NamesMatchLibsndfileSubtypes) {
  const std::map<std::string, int> subtype = {{"Unsigned 8 bit PCM", 0x05},
                                              {"Signed 8 bit PCM", 0x01},
                                              {"Signed 16 bit PCM", 0x02},
                                              {"Signed 24 bit PCM", 0x03},
                                              {"Signed 32 bit PCM", 0x04},
                                              {"32 bit float", 0x06},
                                              {"64 bit double", 0x07},
                                              {"u-law", 0x10},
                                              {"A-law", 0x11},
                                              {"IMA ADPCM", 0x12},
                                              {"MS ADPCM", 0x13},
                                              {"GSM 6.10", 0x20},
                                              {"Dialogic ADPCM", 0x21},
                                              {"G721 ADPCM 32kbps", 0x30},
                                              {"G723 ADPCM 24kbps", 0x31},
                                              {"G723 ADPCM 40kbps", 0x32},
                                              {"12 bit DWVW", 0x40},
                                              {"16 bit DWVW", 0x41},
                                              {"24 bit DWVW", 0x42},
                                              {"8 bit DPCM", 0x50},
                                              {"16 bit DPCM", 0x51}};
  for (int f = 1; f <= 31; ++f) {
    for (const SubEncoding& e : SubEncodingsOf(f)) {
      auto it = subtype.find(e.name);
      ASSERT_NE(it, subtype.end()) << e.name;
      EXPECT_EQ(e.subtype, it->second) << FormatTag(f) << " " << e.name;
    }
  }
}

TEST(SndfileFormatCode, MajorFormatsAndSelectors) {
  const std::map<int, int> major = {{1, 0x010000},  {9, 0x020000},  {13, 0x030000}, {14, 0x040000},
                                    {15, 0x050000}, {16, 0x060000}, {17, 0x070000}, {18, 0x0A0000},
                                    {19, 0x080000}, {20, 0x0B0000}, {21, 0x0C0000}, {22, 0x0D0000},
                                    {23, 0x0E0000}, {24, 0x0F0000}, {25, 0x100000}, {26, 0x180000},
                                    {27, 0x110000}, {28, 0x120000}, {29, 0x130000}, {30, 0x160000}};
  for (const auto& [format, m] : major) {
    const auto subs = SubEncodingsOf(format);
    for (size_t i = 0; i < subs.size(); ++i) {
      Settings s = WithFormat(format);
      if (format == kFormatWAV)
        s.WAV.SubFormat = static_cast<int16_t>(i);
      else if (format == kFormatAIFF)
        s.AIFF.SubFormat = static_cast<int16_t>(i);
      else if (format != kFormatHTK)
        s.OTHER.Codec[format - 13] = static_cast<int16_t>(i);
      EXPECT_EQ(SndfileFormatCode(s) & ~SF_FORMAT_ENDMASK, m | subs[i].subtype)
          << FormatTag(format) << " #" << i;
    }
  }
  for (int f : {0, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 31, 32}) {
    EXPECT_EQ(SndfileFormatCode(WithFormat(f)), 0) << f;
  }
}

TEST(SndfileFormatCode, PafEndiannessFollowsTheExtension) {
  Settings s = WithFormat(kFormatPAF);
  s.OTHER.Codec[2] = 1;
  s.OTHER.Ext[2] = 0;  // ".fap"
  EXPECT_EQ(SndfileFormatCode(s), SF_FORMAT_PAF | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG);
  s.OTHER.Ext[2] = 1;  // ".paf"
  EXPECT_EQ(SndfileFormatCode(s), SF_FORMAT_PAF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE);
  // No other format carries an endianness.
  Settings w = WithFormat(kFormatWAV);
  EXPECT_EQ(SndfileFormatCode(w) & SF_FORMAT_ENDMASK, 0);
}

TEST(SndfileFormatCode, HtkIgnoresItsCodecSlot) {
  Settings s = WithFormat(kFormatHTK);
  for (int16_t v : {int16_t(0), int16_t(3), int16_t(-5), int16_t(99)}) {
    s.OTHER.Codec[12] = v;
    EXPECT_EQ(SndfileFormatCode(s), SF_FORMAT_HTK | SF_FORMAT_PCM_16) << v;
  }
}

TEST(SndfileFormatCode, OutOfRangeSelectorLeavesSubtypeZero) {
  Settings s = WithFormat(kFormatWAV);
  for (int16_t v : {int16_t(-1), int16_t(12), int16_t(500)}) {
    s.WAV.SubFormat = v;
    EXPECT_EQ(SndfileFormatCode(s), SF_FORMAT_WAV) << v;
  }
  Settings a = WithFormat(kFormatAIFF);
  a.AIFF.SubFormat = 14;
  EXPECT_EQ(SndfileFormatCode(a), SF_FORMAT_AIFF);
  Settings x = WithFormat(kFormatXI);
  x.OTHER.Codec[11] = 2;
  EXPECT_EQ(SndfileFormatCode(x), SF_FORMAT_XI);
}

TEST(SndfileFormatCode, AvrOffersThreeOfItsFourCodes) {
  EXPECT_EQ(SubEncodingsOf(kFormatAVR).size(), 3u);
  Settings s = WithFormat(kFormatAVR);
  s.OTHER.Codec[15] = 3;  // in the code table, not in the list
  EXPECT_EQ(SndfileFormatCode(s), SF_FORMAT_AVR | SF_FORMAT_PCM_24);
  s.OTHER.Codec[15] = 4;
  EXPECT_EQ(SndfileFormatCode(s), SF_FORMAT_AVR);
}

TEST(SndfileFormatCode, WriterRefusesAnOutOfRangeSelector) {
  const std::string dir = test::ScratchDir("catalogue_invalid_selector");
  Settings s = WithFormat(kFormatWAV);
  s.WAV.SubFormat = 12;
  SoundFileWriter writer(s);
  const std::string path = dir + "/out.wav";
  EXPECT_EQ(writer.Open(path), "Invalid format!");
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(writer.Close());
}

// ---------------------------------------------------------------------------
// Rate/channel rule: format matrices

TEST(RateChannelRule, FormatMatricesOfTheEncoderFamilies) {
  struct Row {
    int format;
    std::vector<int> rates;  // both channel counts
  };
  const std::vector<Row> rows = {{kFormatMP3, Range(0, 8)},  {kFormatWMA, Range(0, 10)},
                                 {kFormatMP2, Range(3, 8)},  {kFormatMPC, Range(6, 8)},
                                 {kFormatAAC, Range(0, 10)}, {kFormatOGG, Range(0, 11)},
                                 {kFormatAPE, Range(0, 11)}, {kFormatFLAC, Range(0, 11)},
                                 {kFormatWV, Range(0, 11)},  {kFormatUserCustomized, Range(0, 11)},
                                 {kFormatHTK, Range(0, 11)}};
  for (const Row& r : rows) {
    const RateChannelMatrix m = FormatMatrixOf(WithFormat(r.format));
    EXPECT_EQ(AllowedRates(m, 1), r.rates) << FormatTag(r.format);
    EXPECT_EQ(AllowedRates(m, 2), r.rates) << FormatTag(r.format);
  }
  Settings aac = WithFormat(kFormatAAC);
  for (int c = 0; c <= 7; ++c) {
    aac.AAC.ContainerFormat = static_cast<int16_t>(c);
    EXPECT_EQ(AllowedRates(FormatMatrixOf(aac), 2), Range(0, 10)) << c;
  }
  aac.AAC.ContainerFormat = 8;
  EXPECT_EQ(AllowedRates(FormatMatrixOf(aac), 1), Range(6, 8));
  EXPECT_EQ(AllowedRates(FormatMatrixOf(aac), 2), Range(6, 8));
  // Outside 1..31 nothing is restricted.
  EXPECT_EQ(AllowedRates(FormatMatrixOf(WithFormat(0)), 2), Range(0, 11));
}

TEST(RateChannelRule, MonoOnlySubEncodings) {
  struct Case {
    int format;
    std::vector<int> monoOnly;  // sub-encoding indices
  };
  const std::vector<Case> cases = {{kFormatWAV, {10, 11}},
                                   {kFormatAIFF, {10, 11, 12, 13}},
                                   {kFormatAU, {8, 9, 10}},
                                   {kFormatRAW, {9, 10, 11, 12, 13}},
                                   {kFormatW64, {10}}};
  for (const Case& c : cases) {
    const size_t n = SubEncodingsOf(c.format).size();
    for (size_t i = 0; i < n; ++i) {
      Settings s = WithFormat(c.format);
      if (c.format == kFormatWAV)
        s.WAV.SubFormat = static_cast<int16_t>(i);
      else if (c.format == kFormatAIFF)
        s.AIFF.SubFormat = static_cast<int16_t>(i);
      else
        s.OTHER.Codec[c.format - 13] = static_cast<int16_t>(i);
      const bool monoOnly =
          std::find(c.monoOnly.begin(), c.monoOnly.end(), static_cast<int>(i)) != c.monoOnly.end();
      const RateChannelMatrix m = FormatMatrixOf(s);
      EXPECT_EQ(AllowedRates(m, 1), Range(0, 11)) << FormatTag(c.format) << " #" << i;
      EXPECT_EQ(AllowedRates(m, 2), monoOnly ? std::vector<int>{} : Range(0, 11))
          << FormatTag(c.format) << " #" << i;
    }
  }
  for (int f : {kFormatSVX, kFormatXI, kFormatSDS}) {
    const RateChannelMatrix m = FormatMatrixOf(WithFormat(f, 1));
    EXPECT_EQ(AllowedRates(m, 1), Range(0, 11)) << FormatTag(f);
    EXPECT_TRUE(AllowedRates(m, 2).empty()) << FormatTag(f);
  }
}

TEST(RateChannelRule, ChannelFlagsFollowTheFormat) {
  Settings s = WithFormat(kFormatSVX, 1);
  RateChannelResult r = RateChannelRule(s, RateChannelMatrix::All());
  EXPECT_TRUE(r.monoAllowed);
  EXPECT_FALSE(r.stereoAllowed);

  Settings v = WithFormat(kFormatVQF);
  v.VQF.Profile = 18;
  r = RateChannelRule(v, RateChannelMatrix::All());
  EXPECT_FALSE(r.monoAllowed);
  EXPECT_TRUE(r.stereoAllowed);

  Settings m = WithFormat(kFormatMP3);
  r = RateChannelRule(m, RateChannelMatrix::All());
  EXPECT_TRUE(r.monoAllowed);
  EXPECT_TRUE(r.stereoAllowed);
}

// ---------------------------------------------------------------------------
// Rate/channel rule: corrections

TEST(RateChannelRule, MonoOnlySubEncodingKeepsTheRate) {
  Settings s = WithFormat(kFormatWAV, 2, 4);
  s.WAV.SubFormat = 10;  // GSM 6.10
  RateChannelResult r = RateChannelRule(s, RateChannelMatrix::All());
  EXPECT_TRUE(r.changed);
  EXPECT_EQ(s.OUTPUT.Chan, 1);
  EXPECT_EQ(s.OUTPUT.Freq, 4);

  // The device has no mono at that rate: the first usable mono rate wins.
  Settings d = WithFormat(kFormatWAV, 2, 4);
  d.WAV.SubFormat = 10;
  r = RateChannelRule(d, DeviceWith({{2, 4}, {2, 7}, {1, 8}, {1, 9}}));
  EXPECT_TRUE(r.changed);
  EXPECT_EQ(d.OUTPUT.Chan, 1);
  EXPECT_EQ(d.OUTPUT.Freq, 8);
}

TEST(RateChannelRule, UnusableRatePrefersStereo44100) {
  Settings s = WithFormat(kFormatMP2, 2, 0);
  EXPECT_TRUE(RateChannelRule(s, RateChannelMatrix::All()).changed);
  EXPECT_EQ(s.OUTPUT.Chan, 2);
  EXPECT_EQ(s.OUTPUT.Freq, 7);

  // Stereo 44100 beats staying mono.
  Settings mono = WithFormat(kFormatMP2, 1, 0);
  RateChannelRule(mono, RateChannelMatrix::All());
  EXPECT_EQ(mono.OUTPUT.Chan, 2);
  EXPECT_EQ(mono.OUTPUT.Freq, 7);

  // A broken rate index counts as unusable.
  Settings broken = WithFormat(kFormatMP3, 1, 40);
  RateChannelRule(broken, RateChannelMatrix::All());
  EXPECT_EQ(broken.OUTPUT.Chan, 2);
  EXPECT_EQ(broken.OUTPUT.Freq, 7);
}

TEST(RateChannelRule, WithoutStereo44100ScansMonoThenStereo) {
  Settings s = WithFormat(kFormatMP2, 2, 0);
  RateChannelRule(s, DeviceWith({{2, 3}, {1, 5}, {1, 8}, {2, 11}}));
  EXPECT_EQ(s.OUTPUT.Chan, 1);
  EXPECT_EQ(s.OUTPUT.Freq, 5);

  Settings t = WithFormat(kFormatMP2, 1, 0);
  RateChannelRule(t, DeviceWith({{2, 8}, {2, 6}, {1, 11}}));
  EXPECT_EQ(t.OUTPUT.Chan, 2);
  EXPECT_EQ(t.OUTPUT.Freq, 6);
}

TEST(RateChannelRule, UsablePairOrNoUsablePairChangesNothing) {
  Settings s = WithFormat(kFormatMP3, 1, 8);
  EXPECT_FALSE(RateChannelRule(s, RateChannelMatrix::All()).changed);
  EXPECT_EQ(s.OUTPUT.Chan, 1);
  EXPECT_EQ(s.OUTPUT.Freq, 8);

  Settings none = WithFormat(kFormatMP2, 2, 0);
  EXPECT_FALSE(RateChannelRule(none, RateChannelMatrix{}).changed);
  EXPECT_EQ(none.OUTPUT.Chan, 2);
  EXPECT_EQ(none.OUTPUT.Freq, 0);

  // The device offers only rates the format refuses.
  Settings disjoint = WithFormat(kFormatMPC, 2, 0);
  EXPECT_FALSE(RateChannelRule(disjoint, DeviceWith({{1, 0}, {2, 11}})).changed);
  EXPECT_EQ(disjoint.OUTPUT.Freq, 0);
}

TEST(RateChannelRule, TheDeviceTableHoldsForFormatsWithoutLimitsOfTheirOwn) {
  const struct {
    int format, chan, freq;
    RateChannelMatrix device;
    int wantChan, wantFreq;
  } cases[] = {
      // The device lacks 192 kHz stereo: 44.1 kHz stereo.
      {kFormatWAV, 2, 11, DeviceWith({{1, 0}, {2, 7}, {2, 8}}), 2, 7},
      // Without 44.1 kHz stereo: the first pair, mono first, rates ascending.
      {kFormatWAV, 2, 11, DeviceWith({{2, 3}, {1, 8}, {1, 9}}), 1, 8},
      {kFormatAIFF, 1, 0, DeviceWith({{2, 8}}), 2, 8},
      {kFormatW64, 2, 10, DeviceWith({{2, 10}, {2, 7}}), 2, 10},  // the device has it: kept
      {kFormatCAF, 1, 4, RateChannelMatrix{}, 1, 4},              // a device that records nothing
  };
  for (const auto& c : cases) {
    Settings s = WithFormat(c.format, c.chan, c.freq);
    const bool changed = RateChannelRule(s, c.device).changed;
    EXPECT_EQ(s.OUTPUT.Chan, c.wantChan) << FormatTag(c.format) << " " << c.chan << "/" << c.freq;
    EXPECT_EQ(s.OUTPUT.Freq, c.wantFreq) << FormatTag(c.format) << " " << c.chan << "/" << c.freq;
    EXPECT_EQ(changed, c.chan != c.wantChan || c.freq != c.wantFreq);
  }
}

TEST(RateChannelRule, VqfPresetDictatesThePair) {
  struct Case {
    int profile, chan, freq;
  };
  for (const Case& c :
       {Case{1, 1, 0}, Case{2, 2, 0}, Case{4, 1, 1}, Case{6, 2, 1}, Case{7, 1, 3}, Case{8, 2, 3},
        Case{11, 1, 4}, Case{14, 2, 4}, Case{16, 1, 7}, Case{18, 2, 7}}) {
    Settings s = WithFormat(kFormatVQF, 2, 11);
    s.VQF.Profile = static_cast<int16_t>(c.profile);
    EXPECT_TRUE(RateChannelRule(s, RateChannelMatrix::All()).changed) << c.profile;
    EXPECT_EQ(s.OUTPUT.Chan, c.chan) << c.profile;
    EXPECT_EQ(s.OUTPUT.Freq, c.freq) << c.profile;
    EXPECT_FALSE(RateChannelRule(s, RateChannelMatrix::All()).changed) << c.profile;
  }
  Settings bad = WithFormat(kFormatVQF, 2, 11);
  bad.VQF.Profile = 19;
  EXPECT_FALSE(RateChannelRule(bad, RateChannelMatrix::All()).changed);
  EXPECT_EQ(bad.OUTPUT.Freq, 11);
}

// ---------------------------------------------------------------------------
// ApplyOutputFormat

TEST(ApplyOutputFormat, SoundFileLabelsAndLogLines) {
  Settings s = WithFormat(kFormatWAV);
  FormatApplied a = ApplyOutputFormat(s, RateChannelMatrix::All());
  EXPECT_EQ(a.label, "WAV:  Signed 16 bit PCM 44100 Hz;  Stereo;");
  EXPECT_EQ(a.logLine, "Set audio format: WAV Signed 16 bit PCM");
  EXPECT_FALSE(a.rule.changed);

  Settings aiff = WithFormat(kFormatAIFF, 1, 0);
  aiff.AIFF.SubFormat = 0;
  a = ApplyOutputFormat(aiff, RateChannelMatrix::All());
  EXPECT_EQ(a.label, "AIFF:  Unsigned 8 bit PCM  8000 Hz;  Mono;");
  EXPECT_EQ(a.logLine, "Set audio format: AIFF Unsigned 8 bit PCM");

  Settings ircam = WithFormat(kFormatIRCAM, 2, 11);
  ircam.OTHER.Codec[5] = 4;
  a = ApplyOutputFormat(ircam, RateChannelMatrix::All());
  EXPECT_EQ(a.label, "IRCAM:  A-law 192000 Hz;  Stereo;");
  EXPECT_EQ(a.logLine, "Set audio format: IRCAM A-law");

  Settings htk = WithFormat(kFormatHTK, 1, 3);
  htk.OTHER.Codec[12] = 7;
  a = ApplyOutputFormat(htk, RateChannelMatrix::All());
  EXPECT_EQ(a.label, "HTK:  Signed 16 bit PCM 16000 Hz;  Mono;");
  EXPECT_EQ(a.logLine, "Set audio format: HTK Signed 16 bit PCM");
}

TEST(ApplyOutputFormat, OutOfRangeSelectorShowsOnlyRateAndChannels) {
  Settings s = WithFormat(kFormatWAV, 1, 1);
  s.WAV.SubFormat = 12;
  FormatApplied a = ApplyOutputFormat(s, RateChannelMatrix::All());
  EXPECT_EQ(a.label, " 11025 Hz;  Mono;");
  EXPECT_EQ(a.logLine, "");

  Settings o = WithFormat(kFormatCAF);
  o.OTHER.Codec[13] = -1;
  a = ApplyOutputFormat(o, RateChannelMatrix::All());
  EXPECT_EQ(a.label, " 44100 Hz;  Stereo;");
  EXPECT_EQ(a.logLine, "");
}

TEST(ApplyOutputFormat, UserCustomizedAndUnknownCodes) {
  Settings s = WithFormat(kFormatUserCustomized);
  s.CUSTOM.FileExt = "opus";
  FormatApplied a = ApplyOutputFormat(s, RateChannelMatrix::All());
  EXPECT_EQ(a.label, "User-Customized Format: opus");
  EXPECT_EQ(a.logLine, "Set audio format: User-Customized format opus.");

  for (int bad : {0, 32, -3}) {
    Settings b = WithFormat(bad, 2, 0);
    a = ApplyOutputFormat(b, RateChannelMatrix{});
    EXPECT_EQ(a.label, "") << bad;
    EXPECT_EQ(a.logLine, "") << bad;
    EXPECT_FALSE(a.rule.changed) << bad;
    EXPECT_EQ(b.OUTPUT.Freq, 0) << bad;
  }
}

TEST(ApplyOutputFormat, EveryFamilyNamesItself) {
  for (int f : {kFormatMP3, kFormatWMA, kFormatOGG, kFormatAPE, kFormatFLAC, kFormatMP2, kFormatVQF,
                kFormatAAC, kFormatMPC, kFormatWV}) {
    Settings s = WithFormat(f);
    const FormatApplied a = ApplyOutputFormat(s, RateChannelMatrix::All());
    EXPECT_EQ(a.label.rfind(std::string(FormatTag(f)) + ":", 0), 0u) << a.label;
    EXPECT_EQ(a.logLine.rfind(std::string("Set audio format: ") + FormatTag(f), 0), 0u)
        << a.logLine;
  }
}

// After a correction the label must show the corrected pair.
TEST(ApplyOutputFormat, CorrectionIsAppliedAgain) {
  Settings s = WithFormat(kFormatWAV, 2, 7);
  s.WAV.SubFormat = 10;  // GSM 6.10, mono only
  FormatApplied a = ApplyOutputFormat(s, DeviceWith({{2, 7}, {1, 4}}));
  EXPECT_TRUE(a.rule.changed);
  EXPECT_EQ(s.OUTPUT.Chan, 1);
  EXPECT_EQ(s.OUTPUT.Freq, 4);
  EXPECT_EQ(a.label, "WAV:  GSM 6.10 22050 Hz;  Mono;");
  EXPECT_EQ(a.logLine, "Set audio format: WAV GSM 6.10");
  EXPECT_FALSE(a.rule.stereoAllowed);

  Settings vqf = WithFormat(kFormatVQF, 2, 7);
  vqf.VQF.Profile = 3;
  a = ApplyOutputFormat(vqf, RateChannelMatrix::All());
  EXPECT_TRUE(a.rule.changed);
  EXPECT_EQ(vqf.OUTPUT.Chan, 1);
  EXPECT_EQ(vqf.OUTPUT.Freq, 1);
}

}  // namespace
}  // namespace tarvexa
