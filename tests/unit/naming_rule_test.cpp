#include <gtest/gtest.h>

#include "platform/Paths.h"
#include "recording/NamingRule.h"

using namespace tarvexa;

TEST(NamingRule, ClipNamesFromTheDefaultRule) {
  EXPECT_EQ(ExpandNamingRule(kDefaultNamingRule, "Talk", 1, 5, 0, 0), "Talk(Splitted Clip 00001)");
  EXPECT_EQ(ExpandNamingRule(kDefaultNamingRule, "Talk", 2, 5, 0, 0), "Talk(Splitted Clip 00002)");
  // Width 1 simply grows past nine clips; widths outside 1..10 give nothing.
  EXPECT_EQ(ExpandNamingRule("%of%-%sc%", "T", 10, 1, 0, 0), "T-10");
  EXPECT_EQ(ExpandNamingRule("%of%-%sc%", "T", 3, 10, 0, 0), "T-0000000003");
  EXPECT_EQ(ExpandNamingRule("%of%-%sc%", "T", 3, 11, 0, 0), "T-");
  EXPECT_EQ(ExpandNamingRule("%of%-%sc%", "T", 3, 0, 0, 0), "T-");
}

TEST(NamingRule, TimestampTypesAndReplacementOrder) {
  std::tm tm{};
  tm.tm_year = 2026 - 1900;
  tm.tm_mon = 11;
  tm.tm_mday = 7;
  tm.tm_hour = 9;
  tm.tm_min = 5;
  tm.tm_sec = 3;
  tm.tm_isdst = -1;
  std::time_t t = std::mktime(&tm);
  EXPECT_EQ(ExpandNamingRule("%sc%%ts%", "", 1, 1, 0, t), "1");
  EXPECT_EQ(ExpandNamingRule("%sc% %ts%", "", 1, 1, 1, t), "1 05-03");
  EXPECT_EQ(ExpandNamingRule("%sc% %ts%", "", 1, 1, 2, t), "1 09-05-03");
  EXPECT_EQ(ExpandNamingRule("%sc% %ts%", "", 1, 1, 3, t), "1 Dec 07 09-05-03");
  EXPECT_EQ(ExpandNamingRule("%sc% %ts%", "", 1, 1, 4, t), "1 26 Dec 07 09-05-03");
  EXPECT_EQ(ExpandNamingRule("%sc% %ts%", "", 1, 1, 5, t), "1 2026 Dec 07 09-05-03");
  // An unknown type leaves the token.
  EXPECT_EQ(ExpandNamingRule("%sc% %ts%", "", 1, 1, 9, t), "1 %ts%");
  // A title holding a token gets it replaced by the later steps.
  EXPECT_EQ(ExpandNamingRule("%of%", "a%sc%b%ts%", 7, 2, 1, t), "a07b05-03");
}

TEST(NamingRule, DialogChecks) {
  EXPECT_EQ(CheckNamingRule("%sc%"), "");
  EXPECT_EQ(CheckNamingRule(kDefaultNamingRule), "");
  EXPECT_EQ(CheckNamingRule("%of%"), "You MUST Include %sc% in The Naming Rule");
  EXPECT_EQ(CheckNamingRule("a:b%sc%"), "Invalid Character(s) Found!");
  for (const char* bad :
       {"a\\%sc%", "a/%sc%", "\"%sc%", "<%sc%", ">%sc%", "|%sc%", "*%sc%", "?%sc%"})
    EXPECT_EQ(CheckNamingRule(bad), "Invalid Character(s) Found!") << bad;
}

TEST(NamingRule, BaseAndTitleKeepDotsInFolders) {
  // A dotted folder must not cut the path: split clips stay beside the first file.
  EXPECT_EQ(StripExtension("/home/u/My.Music/Talk.mp3"), "/home/u/My.Music/Talk");
  EXPECT_EQ(StripExtension("/home/u/.local/rec"), "/home/u/.local/rec");
  EXPECT_EQ(StripExtension("/a/b/Talk.part1.wav"), "/a/b/Talk.part1");
  EXPECT_EQ(StripExtension("/a/.hidden"), "/a/.hidden");
  EXPECT_EQ(FolderOf("/home/u/My.Music/Talk"), "/home/u/My.Music/");
  EXPECT_EQ(FileNameOf("/home/u/My.Music/Talk"), "Talk");
}
