// Config.ini: the profile-string rules of IniStore and the settings store.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <utility>

#include "EngineRecording.h"
#include "TestSupport.h"
#include "config/ConfigStore.h"
#include "platform/IniStore.h"

namespace tarvexa {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Lines = std::vector<std::pair<std::string, int>>;

struct StoreFixture : ::testing::Test {
  std::string dir = test::ScratchDir("config_test");
  std::string path = dir + "/Config.ini";
  ConfigStore store{path};
  Lines log;
  LogSink sink = [this](const std::string& text, int level) { log.emplace_back(text, level); };
};

TEST(ProfileInt, LeadingDigitsWithOptionalMinusAndWrapAround) {
  const std::vector<std::pair<std::string, int32_t>> cases = {
      {"12abc", 12},
      {"abc", 0},
      {"", 0},
      {"  \t-40", -40},
      {"-", 0},
      {"+5", 0},
      {"- 5", 0},
      {"0x1F", 0},
      {"007", 7},
      {"2147483647", 2147483647},
      {"4294967295", -1},
      {"2147483648", INT32_MIN},
      {"4294967296", 0},
      {"99999999999", 1215752191},
      {"-2147483648", INT32_MIN},
      {"3.9", 3},
  };
  for (const auto& [text, want] : cases)
    EXPECT_EQ(ParseProfileInt(text), want) << '"' << text << '"';
}

TEST(IniStoreParse, ProfileRules) {
  const std::string text =
      "top=before any section\r\n"
      "[Misc]  trailing junk\r\n"
      "  Key One  =  spaced value \t\r\n"
      "; comment=1\r\n"
      "no equals sign here\n"
      "dq=\"quoted \"\n"
      "sq='single'\n"
      "odd=\"half\n"
      "mixed=\"a'\n"
      "one=\"\n"
      "dup=first\n"
      "DUP=second\n"
      "empty=\n"
      "[broken header=5\n"
      "[MISC]\n"
      "other=in the second MISC\n"
      "[Next]\n"
      "nul=a\0b\n"s;
  IniStore ini;
  ini.Parse(text);
  EXPECT_EQ(ini.Get("misc", "key one"), "spaced value");
  EXPECT_EQ(ini.Get("MISC", "dq"), "quoted ");
  EXPECT_EQ(ini.Get("MISC", "sq"), "single");
  EXPECT_EQ(ini.Get("MISC", "odd"), "\"half");
  EXPECT_EQ(ini.Get("MISC", "mixed"), "\"a'");
  EXPECT_EQ(ini.Get("MISC", "one"), "\"");
  EXPECT_EQ(ini.Get("MISC", "dup"), "first");
  EXPECT_EQ(ini.Get("MISC", "[broken header"), "5");
  EXPECT_FALSE(ini.Get("MISC", "; comment"));
  EXPECT_FALSE(ini.Get("MISC", "no equals sign here"));
  EXPECT_FALSE(ini.Get("MISC", "other")) << "a duplicate section is shadowed by the first";
  EXPECT_FALSE(ini.Get("", "top")) << "keys before the first header belong to no section";

  EXPECT_EQ(ini.GetInt("MISC", "empty", 7), 7);
  EXPECT_EQ(ini.GetInt("MISC", "sq", 7), 0);
  EXPECT_EQ(ini.GetString("MISC", "empty", "def", 10), "");
  EXPECT_EQ(ini.GetString("MISC", "missing", "default", 4), "def");
  EXPECT_EQ(ini.GetString("MISC", "dq", "", 0), "");
  EXPECT_EQ(ini.GetString("Next", "nul", "", 10), "a");

  // Unchanged, a rewrite is the text as it was, line ends and all.
  EXPECT_EQ(ini.Text(), text);
}

TEST(IniStoreParse, SetChangesOnlyItsLineAndAddsAfterTheSectionsLastKey) {
  struct Edit {
    const char* section;
    const char* key;
    const char* value;
  };
  const struct {
    const char* before;
    std::vector<Edit> edits;
    const char* after;
  } cases[] = {
      {"[A]\nx=1\nX=2\n[B]\ny=1\n",
       {{"a", "X", "9"}, {"A", "z", "-3"}, {"C", "w", "line\nbreak"}},
       "[A]\nx=9\nX=2\nz=-3\n[B]\ny=1\n\n[C]\nw=line break\n"},
      // Comments and blank lines that close a section stay before the next.
      {"; mine\n[A]\n  k = old  \nnot a key\n\n; about B\n[B]\n",
       {{"A", "k", "new"}, {"A", "n", "1"}, {"B", "m", "2"}},
       "; mine\n[A]\nk=new\nn=1\nnot a key\n\n; about B\n[B]\nm=2\n"},
      // The file's own line ends, also after a last line that had none.
      {"[A]\r\nk=1\r\njunk line",
       {{"A", "k", "2"}, {"A", "j", "3"}, {"N", "q", "4"}},
       "[A]\r\nk=2\r\nj=3\r\njunk line\r\n\r\n[N]\r\nq=4\r\n"},
      // Keys before the first header are no section's; a shadowed second
      // section is left alone.
      {"k=top\n[S]\n[S]\nk=shadowed\n", {{"S", "k", "1"}}, "k=top\n[S]\nk=1\n[S]\nk=shadowed\n"},
      {"", {{"S", "k", "1"}, {"T", "k", "2"}}, "[S]\nk=1\n\n[T]\nk=2\n"},
  };
  for (const auto& c : cases) {
    IniStore ini;
    ini.Parse(c.before);
    for (const Edit& e : c.edits) ini.Set(e.section, e.key, e.value);
    EXPECT_EQ(ini.Text(), c.after) << c.before;
    IniStore again;
    again.Parse(ini.Text());
    for (const Edit& e : c.edits) {
      std::string want = e.value;
      std::replace(want.begin(), want.end(), '\n', ' ');
      EXPECT_EQ(again.Get(e.section, e.key), want) << c.before;
    }
  }
}

TEST_F(StoreFixture, SaveIsAtomicAndReportsWhy) {
  IniStore ini;
  ini.Set("S", "k", std::string(4096, 'v'));
  std::string error;
  EXPECT_FALSE(ini.Save(dir + "/no/such/folder/x.ini", &error));
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;

  // A full disk: the write fails half-way, the old file stays as it was.
  test::WriteFile(path, "[OLD]\nk=1\n");
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 1000;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool saved = ini.Save(path, &error);
  const bool storeSaved = store.Save(Settings{}, sink);
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_FALSE(saved);
  EXPECT_NE(error.find("File too large"), std::string::npos) << error;
  EXPECT_FALSE(storeSaved);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], (std::pair<std::string, int>{"Error on saving settings!", 1}));
  EXPECT_NE(log[1].first.find("File too large"), std::string::npos) << log[1].first;
  EXPECT_EQ(test::ReadFile(path), "[OLD]\nk=1\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
      << "temp file left";
}

TEST_F(StoreFixture, ReadOnlyFolderFailsTheSaveAndKeepsTheFile) {
  test::WriteFile(path, "[OLD]\nk=1\n");
  IniStore ini;
  ini.Set("S", "k", "new");
  chmod(dir.c_str(), 0555);
  // Root writes anywhere: as root the save is tried by a child that has
  // become "nobody" (65534) first.
  const bool root = geteuid() == 0;
  int status = 0;
  const std::string report = test::InChild(
      [&] {
        if (root && (setgid(65534) != 0 || setuid(65534) != 0))
          return std::string("cannot drop privileges: ") + std::strerror(errno);
        std::string error;
        return ini.Save(path, &error) ? std::string("saved") : "refused: " + error;
      },
      &status);
  chmod(dir.c_str(), 0755);
  if (report.rfind("cannot drop privileges", 0) == 0)
    CANNOT_APPLY_HERE("running as root, which writes anywhere, and " << report);
  EXPECT_NE(report.find("refused: "), std::string::npos) << report;
  EXPECT_NE(report.find("Permission denied"), std::string::npos) << report;
  EXPECT_EQ(test::ReadFile(path), "[OLD]\nk=1\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
      << "temp file left";
}

TEST_F(StoreFixture, SaveKeepsUnknownKeysSectionsAndLinesWhereTheyStand) {
  test::WriteFile(path,
                  "; my own note\n"
                  "[MISC]\n"
                  "Vis1=0\n"
                  "FromANewerVersion=abc\n"
                  "Vis2=0\n"
                  "\n"
                  "[FUTURE]\n"
                  "Shiny=1\n"
                  "\n"
                  "[OUTPUT]\n"
                  "Freq=3\n");
  Settings s;
  ASSERT_TRUE(store.Load(s, sink));
  s.MISC.Vis1 = 1;
  ASSERT_TRUE(store.Save(s, sink));
  const std::string text = test::ReadFile(path);
  EXPECT_EQ(
      text.rfind("; my own note\n[MISC]\nVis1=1\nFromANewerVersion=abc\nVis2=0\nAmpBar=1\n", 0), 0u)
      << text;
  EXPECT_NE(
      text.find("RenameStr=%of%(Splitted Clip %sc%)\n\n[FUTURE]\nShiny=1\n\n[OUTPUT]\nFreq=3\n"
                "OutputFormat=2\nChan=2\n\n[DSP]\n"),
      std::string::npos)
      << text;

  Settings back;
  ASSERT_TRUE(store.Load(back, sink));
  EXPECT_EQ(test::DumpSettings(back), test::DumpSettings(s));
  IniStore ini;
  ASSERT_TRUE(ini.Load(path));
  EXPECT_EQ(ini.Get("FUTURE", "Shiny"), "1");
  EXPECT_EQ(ini.Get("MISC", "FromANewerVersion"), "abc");
}

TEST_F(StoreFixture, AFileThatCannotBeReadIsReportedAndNeverWrittenOver) {
  fs::create_directory(path);  // unreadable as a file, also for root
  Settings s;
  s.MISC.Vis1 = 0;
  const struct {
    const char* what;
    std::function<bool()> call;
    const char* text;
  } cases[] = {
      {"Load", [&] { return store.Load(s, sink); }, "Error on loading settings!"},
      {"Save", [&] { return store.Save(s, sink); }, "Error on saving settings!"},
      {"RestoreTaskKeys", [&] { return store.RestoreTaskKeys(s, sink); },
       "Error on loading settings!"},
      {"SaveTaskKeys", [&] { return store.SaveTaskKeys(s, sink); }, "Error on saving settings!"},
  };
  for (const auto& c : cases) {
    log.clear();
    EXPECT_FALSE(c.call()) << c.what;
    ASSERT_EQ(log.size(), 2u) << c.what;
    EXPECT_EQ(log[0], (std::pair<std::string, int>{c.text, 1})) << c.what;
    EXPECT_EQ(log[1].second, 1);
    EXPECT_NE(log[1].first.find(path), std::string::npos) << log[1].first;
  }
  EXPECT_EQ(s.MISC.Vis1, 0) << "a failed load keeps the values";
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_FALSE(store.WriteTip(0));
  EXPECT_EQ(store.ReadTip(), 1);
}

TEST_F(StoreFixture, FirstStartSavesEveryKeyWithBuiltInValuesInOrder) {
  Settings s;  // never loaded: built-in values
  ASSERT_TRUE(store.Save(s, sink));
  const std::string text = test::ReadFile(path);
  EXPECT_EQ(text.rfind("[MISC]\nVis1=1\nVis2=1\n", 0), 0u);
  EXPECT_NE(text.find("\nHotKey=0\n"), std::string::npos);
  EXPECT_NE(text.find("WriteLog=1\nRenameStr=%of%(Splitted Clip %sc%)\n\n[DSP]\nAmp=0\n"),
            std::string::npos);
  EXPECT_NE(text.find("[AIFF]\nSubFormat=2\nExt=0\n"), std::string::npos);
  EXPECT_NE(text.find("[OTHER]\nCodec0=0\nExt0=0\nCodec1=0\nExt1=0\n"), std::string::npos);
  EXPECT_NE(text.find("\nSilLev=-40\n"), std::string::npos);
  EXPECT_NE(text.find("\nInputDevice=-1\n"), std::string::npos);

  // Key order of the file is the visiting order.
  std::vector<std::string> inFile;
  std::istringstream lines(text);
  std::string line, section;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    if (line[0] == '[')
      section = line.substr(1, line.size() - 2);
    else
      inFile.push_back(section + "/" + line);
  }
  EXPECT_EQ(inFile, test::DumpSettings(s));
  EXPECT_TRUE(log.empty());
}

TEST_F(StoreFixture, MissingKeysAndFileTakeTheirDefaults) {
  test::WriteFile(path, "[misc]\nvis1 = 0\nVIS1=1\n[MISC]\nVis2=0\n");
  Settings s;
  s.OUTPUT.Freq = 3;
  ASSERT_TRUE(store.Load(s, sink));
  EXPECT_EQ(s.MISC.Vis1, 0);    // case-insensitive, first of duplicates
  EXPECT_EQ(s.MISC.Vis2, 1);    // the second MISC is shadowed
  EXPECT_EQ(s.MISC.HotKey, 1);  // missing: 1, not the built-in 0
  EXPECT_EQ(s.AIFF.SubFormat, 0);
  EXPECT_EQ(s.OUTPUT.Freq, 7);
  EXPECT_EQ(log, (Lines{{"Tarvexa Sound Recorder settings loaded.", 0}}));

  fs::remove(path);
  Settings fresh;
  ASSERT_TRUE(store.Load(fresh, sink));
  EXPECT_EQ(fresh.MISC.HotKey, 1);
  EXPECT_EQ(fresh.AIFF.SubFormat, 0);
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(StoreFixture, ValuesRoundTripIncludingNegativesAndStrings) {
  Settings s;
  s.SIL.SilLev = -92;
  s.SIL.NoiLev = -1;
  s.MISC.InputDevice = -1;
  s.MISC.HotKey = 0;
  s.AAC.CTCbr = 320000;
  s.WV.BlkSize = -7;
  s.OTHER.Codec[17] = 5;
  s.OTHER.Ext[3] = 2;
  s.MISC.RenameStr = "  %ts% take %sc% ";  // blanks and quotes survive
  s.CUSTOM.Parameter = "'quoted' -x";
  s.CUSTOM.FileExt = "'ogg'";
  ASSERT_TRUE(store.Save(s, sink));
  const std::string text = test::ReadFile(path);
  EXPECT_NE(text.find("\nRenameStr=\"  %ts% take %sc% \"\n"), std::string::npos);
  EXPECT_NE(text.find("\nParameter='quoted' -x\n"), std::string::npos);
  Settings back;
  back.MISC.Tip = 42;
  ASSERT_TRUE(store.Load(back, sink));
  EXPECT_EQ(test::DumpSettings(back), test::DumpSettings(s));
  EXPECT_EQ(back.MISC.Tip, 42) << "Tip belongs to the tip of the day";
}

TEST_F(StoreFixture, ValuesAreCutToWidthAndLimit) {
  test::WriteFile(
      path,
      "[MISC]\nRename=40000\nSplitSec=65546\nMute=4294967295\nWriteLog=abc\nVis1=12abc\n"
      "RenameStr=" +
          std::string(2000, 'r') +
          "\n"
          "[CUSTOM]\nFileExt=\"abcdefghij\"\nEncoder=" +
          std::string(600, 'e') + "\n");
  Settings s;
  ASSERT_TRUE(store.Load(s, sink));
  EXPECT_EQ(s.MISC.Rename, -25536);
  EXPECT_EQ(s.MISC.SplitSec, 10) << "low 16 bits, then the range check";
  EXPECT_EQ(s.MISC.Mute, -1);
  EXPECT_EQ(s.MISC.WriteLog, 0);
  EXPECT_EQ(s.MISC.Vis1, 12);
  EXPECT_EQ(s.MISC.RenameStr, std::string(1023, 'r'));
  EXPECT_EQ(s.CUSTOM.FileExt, "abcdefg");
  EXPECT_EQ(s.CUSTOM.Encoder.size(), 511u);
}

TEST_F(StoreFixture, OutOfRangeValuesFallBackWithAWarning) {
  test::WriteFile(path,
                  "[OUTPUT]\nFreq=99\nChan=0\nOutputFormat=65541\n[SIL]\nSilLev=-100\nNoiLev=0\n");
  Settings s;
  ASSERT_TRUE(store.Load(s, sink));
  EXPECT_EQ(s.OUTPUT.Freq, 7);
  EXPECT_EQ(s.OUTPUT.Chan, 2);
  EXPECT_EQ(s.OUTPUT.OutputFormat, 5);  // 65541 keeps 5 in 16 bits: in range
  EXPECT_EQ(s.SIL.SilLev, -40);
  EXPECT_EQ(s.SIL.NoiLev, 0);
  EXPECT_EQ(
      log, (Lines{{"Warning: Config.ini value -100 of [SIL] SilLev is out of range; using -40.", 1},
                  {"Warning: Config.ini value 99 of [OUTPUT] Freq is out of range; using 7.", 1},
                  {"Warning: Config.ini value 0 of [OUTPUT] Chan is out of range; using 2.", 1},
                  {"Tarvexa Sound Recorder settings loaded.", 0}}));
}

TEST_F(StoreFixture, ResetDeletesTheFileAndLoadsDefaults) {
  Settings s;
  s.MP3.LameTab = 3;
  s.MISC.Vis1 = 0;
  ASSERT_TRUE(store.Save(s, sink));
  ASSERT_TRUE(store.Reset(s, sink));
  EXPECT_FALSE(fs::exists(path));
  Settings defaults;
  defaults.MISC.HotKey = 1;
  defaults.AIFF.SubFormat = 0;
  EXPECT_EQ(test::DumpSettings(s), test::DumpSettings(defaults));
  EXPECT_EQ(s.MP3.LameTab, 1);
}

TEST_F(StoreFixture, TaskKeysAreSwappedThroughTheFile) {
  Settings s;
  s.OUTPUT.OutputFormat = 6;
  s.OUTPUT.Freq = 3;
  s.MISC.ActAftRec = 4;
  s.MISC.StopSec = 10;
  s.MISC.Split = 1;

  // Without a file only the twelve keys are written, in their order.
  ASSERT_TRUE(store.SaveTaskKeys(s, sink));
  EXPECT_EQ(
      test::ReadFile(path),
      "[OUTPUT]\nOutputFormat=6\nFreq=3\nChan=2\n\n[MISC]\nActAftRec=4\nSplit=1\nSplitHour=0\n"
      "SplitMin=0\nSplitSec=30\nStop=0\nStopHour=0\nStopMin=2\nStopSec=10\n");

  // With a file, the rest of it is kept.
  s.MISC.Vis1 = 0;
  ASSERT_TRUE(store.Save(s, sink));
  ASSERT_TRUE(store.WriteTip(0));
  s.OUTPUT.Freq = 5;
  ASSERT_TRUE(store.SaveTaskKeys(s, sink));
  Settings task = s;  // the task's own values
  task.OUTPUT.Freq = 9;
  task.OUTPUT.OutputFormat = 1;
  task.MISC.StopSec = 59;
  task.MISC.Vis1 = 1;
  ASSERT_TRUE(store.RestoreTaskKeys(task, sink));
  EXPECT_EQ(task.OUTPUT.Freq, 5);
  EXPECT_EQ(task.OUTPUT.OutputFormat, 6);
  EXPECT_EQ(task.MISC.StopSec, 10);
  EXPECT_EQ(task.MISC.Vis1, 1) << "not a task key";
  EXPECT_EQ(store.ReadTip(), 0);
  Settings all;
  ASSERT_TRUE(store.Load(all, sink));
  EXPECT_EQ(all.MISC.Vis1, 0);

  // Keys missing from the file come back as defaults.
  test::WriteFile(path, "[OUTPUT]\nFreq=2\n");
  ASSERT_TRUE(store.RestoreTaskKeys(task, sink));
  EXPECT_EQ(task.OUTPUT.Freq, 2);
  EXPECT_EQ(task.OUTPUT.OutputFormat, 2);
  EXPECT_EQ(task.MISC.StopSec, 30);
}

TEST_F(StoreFixture, TipIsKeptApartFromTheSettings) {
  EXPECT_EQ(store.ReadTip(), 1);
  ASSERT_TRUE(store.WriteTip(0));
  EXPECT_EQ(store.ReadTip(), 0);
  Settings s;
  s.MISC.Tip = 1;
  ASSERT_TRUE(store.Save(s, sink));
  EXPECT_EQ(store.ReadTip(), 0) << "Save keeps the Tip already in the file";
  fs::remove(path);
  ASSERT_TRUE(store.Save(s, sink));
  EXPECT_EQ(test::ReadFile(path).find("Tip="), std::string::npos);
}

}  // namespace
}  // namespace tarvexa
