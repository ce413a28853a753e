// Formats by name and by the extension of the output file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/FormatCatalogue.h"
#include "formats/FormatNames.h"

namespace tarvexa {
namespace {

TEST(FormatNames, ByTagInAnyCaseOrByCode) {
  const struct {
    const char* name;
    int format;
  } cases[] = {
      {"wav", kFormatWAV},
      {"WAV", kFormatWAV},
      {"Flac", kFormatFLAC},
      {"w64", kFormatW64},
      {"CAF", kFormatCAF},
      {"wavex", kFormatWAVEX},
      {"user-customized", kFormatUserCustomized},
      {"9", kFormatAIFF},
      {"31", 31},
      {"0", 0},
      {"32", 0},
      {"", 0},
      {"mp4", 0},
      {"wav ", 0},
      {"-1", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatByName(c.name), c.format) << '"' << c.name << '"';
}

TEST(FormatNames, AnExtensionNamesTheFormatsThatWriteIt) {
  const struct {
    const char* path;
    std::vector<int> formats;
  } cases[] = {
      {"/a/take.wav", {kFormatWAV}},
      {"/a.b/take.FLAC", {kFormatFLAC}},
      {"take.ogg", {kFormatOGG, kFormatFLAC}},  // Vorbis, and FLAC in Ogg
      {"take.aif", {kFormatAIFF}},
      {"take.snd", {kFormatAU}},
      {"take.mp3", {kFormatMP3}},  // the user-customised format's extension does not count
      {"take.w64", {kFormatW64}},
      {"take", {}},
      {"take.xyz", {}},
      {"/a/dir.w64/take", {}},
      {".wav", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatsForExtension(c.path), c.formats) << c.path;
}

TEST(FormatNames, ChoosingAnExtensionMakesItTheFormatsOwn) {
  for (int f = kFirstFormat; f < kFormatUserCustomized; ++f) {
    const std::vector<std::string> extensions = ExtensionsOf(f);
    ASSERT_FALSE(extensions.empty()) << FormatTag(f);
    for (const std::string& ext : extensions) {
      Settings s;
      const std::string upper = "/out/Take" + ext;
      EXPECT_TRUE(ChooseExtension(f, upper, s)) << FormatTag(f) << ext;
      EXPECT_EQ(FileExtensionFor(f, s), ext) << FormatTag(f);
      EXPECT_EQ(FormatsForExtension(upper).empty(), false);
    }
  }
  Settings s;
  EXPECT_FALSE(ChooseExtension(kFormatWAV, "take.flac", s));
  EXPECT_EQ(FileExtensionFor(kFormatFLAC, s), ".flac");
}

}  // namespace
}  // namespace tarvexa
