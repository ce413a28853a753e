// What the tag editor reads from temp.tag (line orders, missing lines, the
// comment's lines), the genre names of numeric genres, and the tag programs
// as a user would run them by hand.

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "outputs/Genres.h"
#include "outputs/TempTag.h"

namespace tarvexa {
namespace {

TEST(TempTag, LinesFillTheirFieldsAndMissingLinesLeaveTheDefaults) {
  const TagSheet plain = ParseTempTag(TagFamily::Plain,
                                      "00:01:"
                                      "02\r\n128\r\n44100\r\n2\r\n1999\r\n7\r\nTitle\r\nArtist\r\nA"
                                      "lbum\r\nGenre\r\nc1\r\n\r\nc3\r\n");
  EXPECT_EQ(plain.duration, "Duration: 00:01:02");
  EXPECT_EQ(plain.bitrate, "Bitrate: 128 kbps");
  EXPECT_EQ(plain.samplerate, "Samplerate: 44100 Hz");
  EXPECT_EQ(plain.channel, "Channel: 2");
  EXPECT_EQ(plain.fields,
            (TagFields{"Title", "Artist", "Album", "Genre", "7", "1999", "c1\n\nc3"}));

  const TagSheet mp4 =
      ParseTempTag(TagFamily::Mpeg4, "00:00:05\n 96 kbps\n 48000 Hz\nT\nA\n2001\nAl\n3\nG\n");
  EXPECT_EQ(mp4.bitrate, "Bitrate: 96 kbps");
  EXPECT_EQ(mp4.samplerate, "Samplerate: 48000 Hz");
  EXPECT_EQ(mp4.channel, "Channel:");
  EXPECT_EQ(mp4.fields, (TagFields{"T", "A", "Al", "G", "3", "2001", ""}));

  const TagSheet cut = ParseTempTag(TagFamily::Plain, "00:00:01\n320\n");
  EXPECT_EQ(cut.samplerate, "Samplerate:");
  EXPECT_EQ(cut.fields, TagFields{});

  // What a reader writes comes back the same, line breaks in single-line
  // fields excepted.
  const TagFields f{"a\nb", "x", "", "", "", "", "one\ntwo"};
  for (TagFamily family : {TagFamily::Plain, TagFamily::Mpeg4}) {
    const TagSheet back = ParseTempTag(family, FormatTempTag(family, {3725, 128, 44100, 2}, f));
    EXPECT_EQ(back.fields.title, "a b");
    EXPECT_EQ(back.fields.artist, "x");
    EXPECT_EQ(back.fields.comment, "one\ntwo");
    EXPECT_EQ(back.duration, "Duration: 01:02:05");
  }
}

TEST(Genres, NumericGenresBecomeNames) {
  EXPECT_EQ(GenreName(0), "Blues");
  EXPECT_EQ(GenreName(79), "Hard Rock");
  EXPECT_EQ(GenreName(81), "Folk/Rock");
  EXPECT_EQ(GenreName(84), "Fusion");
  EXPECT_EQ(GenreName(123), "A Cappella");
  EXPECT_EQ(GenreName(146), "Jpop");
  EXPECT_EQ(GenreName(147), "Synthpop");
  for (int outside : {-1, 148, 200, 255}) EXPECT_EQ(GenreName(outside), "Other") << outside;
}

TEST(TagPrograms, WrongArgumentsAndUnreadableFilesFailWithoutTouchingAnything) {
  const std::string dir = test::ScratchDir("tag_programs_args");
  const std::string bin = TARVEXA_BIN_DIR;
  const std::string text = dir + "/notes.mp3";
  test::WriteFile(text, "not audio");
  test::ScopedEnv home("TARVEXA_HOME", dir);
  struct Case {
    std::string command;
    int status;
  };
  for (const Case& c :
       {Case{bin + "/tagreader", 2}, Case{bin + "/tagreader " + test::Quote(text), 3},
        Case{bin + "/tagwriter -t x", 2}, Case{bin + "/tagwriter -x a " + test::Quote(text), 2},
        Case{bin + "/tagwriter -t x " + test::Quote(text), 3},
        Case{bin + "/Mpeg4tagwriter -s x -y 0 " + test::Quote(text), 3}}) {
    EXPECT_EQ(test::Run(c.command), c.status) << c.command;
  }
  EXPECT_EQ(test::ReadFile(text), "not audio");
  EXPECT_EQ(test::ReadFile(dir + "/temp.tag"), "");
}

}  // namespace
}  // namespace tarvexa
