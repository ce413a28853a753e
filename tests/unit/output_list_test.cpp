// The output list without a window: Output.ini byte for byte, damaged and
// fuzzed files, and the list's rules (finished recordings, lengths, sizes
// past 4 GiB, taggable extensions, sorting, moving, renaming).

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "TestSupport.h"
#include "config/Settings.h"
#include "formats/FormatCatalogue.h"
#include "outputs/DesktopTrash.h"
#include "outputs/OutputItems.h"
#include "recording/RecordingController.h"

namespace tarvexa {
namespace {

namespace fs = std::filesystem;

OutputEntry Entry(std::string name, std::string location, uint32_t taggable = 1) {
  OutputEntry e;
  e.name = std::move(name);
  e.location = std::move(location);
  e.format = "MP3";
  e.duration = "00:00:07";
  e.timestamp = "t";
  e.size = "0.001";
  e.taggable = taggable;
  return e;
}

std::vector<OutputEntry> Decoded(const std::string& bytes, bool* complete = nullptr) {
  std::vector<OutputEntry> out;
  const bool ok = DecodeOutputList(bytes, &out);
  if (complete) *complete = ok;
  return out;
}

std::string Touch(const std::string& path, const std::string& content = "x") {
  test::WriteFile(path, content);
  return path;
}

TEST(OutputStore, TwoItemsAreWrittenByteForByte) {
  OutputEntry a = Entry("a.mp3", "/m/");
  a.duration = "01:02:03";
  a.timestamp = "12/8/25 9:15 AM";
  a.size = "1.500";
  OutputEntry b = Entry(std::string(255, 'n'), "/", 0);
  b.format = "";
  const std::string bytes = EncodeOutputList({a, b});

  std::string expected("\x02\x00\x00\x00", 4);
  expected +=
      "\x05"
      "a.mp3"
      "\x03"
      "/m/"
      "\x03"
      "MP3"
      "\x08"
      "01:02:03"
      "\x0f"
      "12/8/25 9:15 AM"
      "\x05"
      "1.500";
  expected += std::string("\x01\x00\x00\x00", 4);
  expected += std::string("\xff\xff\x00", 3) + std::string(255, 'n');  // 255: 0xFF and 16 bits
  expected += std::string(
      "\x01/\x00\x08"
      "00:00:07"
      "\x01t"
      "\x05"
      "0.001",
      20);
  expected += std::string("\x00\x00\x00\x00", 4);
  EXPECT_EQ(bytes, expected);

  bool complete = false;
  EXPECT_EQ(Decoded(bytes, &complete), (std::vector<OutputEntry>{a, b}));
  EXPECT_TRUE(complete);
}

TEST(OutputStore, EveryLengthPrefixRoundTrips) {
  // Length -> bytes before the text.
  const std::vector<std::pair<size_t, size_t>> cases = {
      {0, 1}, {254, 1}, {255, 3}, {256, 3}, {0xFFFD, 3}, {0xFFFE, 7}, {0xFFFF, 7}, {70000, 7}};
  for (const auto& [length, prefix] : cases) {
    OutputEntry e = Entry(std::string(length, 'x'), "/");
    const std::string one = EncodeOutputList({e});
    const std::string none = EncodeOutputList({Entry("", "/")});
    EXPECT_EQ(one.size() - none.size(), length + prefix - 1) << length;
    EXPECT_EQ(Decoded(one), std::vector<OutputEntry>{e}) << length;
  }
}

TEST(OutputStore, ACutFileKeepsTheItemsBeforeTheCut) {
  const std::vector<OutputEntry> items = {
      Entry("a.mp3", "/x/"), Entry(std::string(300, 'b'), "/y/"), Entry("c.ogg", "/z/")};
  const std::string bytes = EncodeOutputList(items);
  const size_t firstEnd = EncodeOutputList({items[0]}).size();
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    bool complete = true;
    const auto got = Decoded(bytes.substr(0, cut), &complete);
    EXPECT_FALSE(complete) << cut;
    ASSERT_LE(got.size(), 2u);
    EXPECT_EQ(got.size() >= 1, cut >= firstEnd) << cut;
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], items[i]);
  }
  // A 4 GiB string length in a tiny file is damage, not an allocation.
  bool complete = true;
  EXPECT_TRUE(
      Decoded(std::string("\x01\x00\x00\x00\xff\xff\xff\xff\xff\xff\xff", 11), &complete).empty());
  EXPECT_FALSE(complete);
}

TEST(OutputStore, DamagedFileIsReportedKeptAsideAndItsGoodItemsStay) {
  const std::string dir = test::ScratchDir("output_list_damaged");
  const std::string path = dir + "/Output.ini";
  const std::string bytes =
      EncodeOutputList({Entry("a.mp3", dir + "/"), Entry("b.mp3", dir + "/")});
  Touch(dir + "/a.mp3");
  Touch(dir + "/b.mp3");
  test::WriteFile(path, bytes.substr(0, bytes.size() - 3));

  OutputItems items;
  const OutputItems::LoadReport r = items.Load(path);
  EXPECT_TRUE(r.damaged);
  EXPECT_FALSE(r.error.empty());
  ASSERT_EQ(items.Count(), 1);
  EXPECT_EQ(items.At(0).name, "a.mp3");
  EXPECT_EQ(test::ReadFile(r.keptAs), bytes.substr(0, bytes.size() - 3)) << r.keptAs;

  // A missing file is no damage; neither is an empty list.
  EXPECT_FALSE(items.Load(dir + "/none.ini").damaged);
  EXPECT_EQ(items.Count(), 0);
}

TEST(OutputStore, FuzzedFilesNeverCrashAndWhatIsReadWritesBackTheSame) {
  std::vector<std::string> corpus;
  for (const auto& f : fs::directory_iterator(fs::path(TARVEXA_SOURCE_DIR) / "tests/corpus/output"))
    corpus.push_back(test::ReadFile(f.path()));
  std::sort(corpus.begin(), corpus.end());
  ASSERT_GE(corpus.size(), 5u);
  std::mt19937 rng(13);
  for (int run = 0; run < 20000; ++run) {
    std::string d = corpus[rng() % corpus.size()];
    for (int step = 1 + static_cast<int>(rng() % 4); step > 0; --step) {
      const size_t at = d.empty() ? 0 : rng() % d.size();
      switch (rng() % 4) {
        case 0:
          if (!d.empty()) d[at] ^= static_cast<char>(1u << (rng() % 8));
          break;
        case 1: d.resize(at); break;
        case 2: d.insert(at, std::string(1 + rng() % 4, '\xff')); break;
        default: d.insert(at, corpus[rng() % corpus.size()].substr(0, 64)); break;
      }
    }
    bool complete = false;
    const auto got = Decoded(d, &complete);
    ASSERT_EQ(Decoded(EncodeOutputList(got)), got) << "run " << run;
  }
}

TEST(OutputList, FinishedRecordingsAndTheirColumns) {
  const std::string dir = test::ScratchDir("output_list_items") + "/";
  OutputItems items;
  // Same path twice, in another case: one item, the newer.
  items.AddRecording(Touch(dir + "Take.mp3"), 7, "first");
  items.AddRecording(Touch(dir + "take.MP3", std::string(1536 * 1024, 'a')), 3 * 3600 + 25 * 60 + 9,
                     "second");
  ASSERT_EQ(items.Count(), 1);
  const OutputEntry& e = items.At(0);
  EXPECT_EQ(e.name, "take.MP3");
  EXPECT_EQ(e.location, dir);
  EXPECT_EQ(e.format, "MP3");
  EXPECT_EQ(e.duration, "03:25:09");
  EXPECT_EQ(e.timestamp, "second");
  EXPECT_EQ(e.size, "1.500");
  EXPECT_EQ(e.taggable, 1u);

  // A recording of a day and more shows all its hours; 4 GiB and more show
  // their real size (a sparse file).
  const std::string big = dir + "day.wav";
  ASSERT_EQ(::truncate(Touch(big).c_str(), (5LL << 30) + (1 << 19)), 0);
  items.AddRecording(big, 25 * 3600, "t");
  EXPECT_EQ(items.At(1).duration, "25:00:00");
  EXPECT_EQ(items.At(1).size, "5120.500");
  EXPECT_EQ(items.At(1).taggable, 0u);

  // Ogg FLAC is not taggable; the tag editor's extensions are, in any case.
  struct Case {
    const char* ext;
    bool oggFlac;
    bool taggable;
  };
  for (const Case& c :
       {Case{"ogg", false, true}, Case{"ogg", true, false}, Case{"FLAC", false, true},
        Case{"m4b", false, true}, Case{"aac", false, false}, Case{"mp2", false, false},
        Case{"", false, false}})
    EXPECT_EQ(TaggableExtension(c.ext, c.oggFlac), c.taggable) << c.ext << " " << c.oggFlac;

  // Lengths: written frames at the file's rate.
  EXPECT_EQ(SecondsOfFrames(3 * 44100 + 22049, 44100), 3);
  EXPECT_EQ(SecondsOfFrames(3 * 44100 + 22050, 44100), 4);
}

TEST(OutputList, LoadDropsVanishedFilesAndSortsByName) {
  const std::string dir = test::ScratchDir("output_list_load") + "/";
  const std::string path = dir + "Output.ini";
  ASSERT_TRUE(WriteOutputFile(path,
                              {Entry("c.mp3", dir), Entry("gone.mp3", dir), Entry("A.mp3", dir),
                               Entry("b.mp3", dir), Entry("", dir)},
                              nullptr));
  for (const char* n : {"c.mp3", "A.mp3", "b.mp3"}) Touch(dir + n);
  OutputItems items;
  const OutputItems::LoadReport r = items.Load(path);
  EXPECT_FALSE(r.damaged);
  EXPECT_EQ(r.dropped, 2) << "a vanished file and an item naming the folder itself";
  std::vector<std::string> names;
  for (const auto& e : items.Entries()) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"A.mp3", "b.mp3", "c.mp3"}));
  EXPECT_EQ(items.SortColumn(), kColName);
  // Saved and loaded again: the same bytes.
  ASSERT_TRUE(items.Save(path, nullptr));
  OutputItems again;
  again.Load(path);
  EXPECT_EQ(again.Entries(), items.Entries());
}

// The window and the scheduler service share Output.ini: what the other
// program added since the last load, save or merge comes in (once), what
// this list removed stays removed, and a finished clip is listed with the
// length its writer wrote, or not at all when it left no file.
TEST(OutputList, MergesWhatAnotherProgramAddedAndListsClipsByWrittenLength) {
  const std::string dir = test::ScratchDir("output_list_merge") + "/";
  const std::string path = dir + "Output.ini";
  for (const char* n : {"mine.mp3", "removed.mp3", "theirs.mp3", "gone.mp3"}) Touch(dir + n);
  ASSERT_TRUE(WriteOutputFile(path, {Entry("mine.mp3", dir), Entry("removed.mp3", dir)}, nullptr));
  OutputItems items;
  items.Load(path);
  items.Remove({items.Find(dir + "removed.mp3")});
  // The other program read the file before that removal and adds two items,
  // one of whose files is gone by now.
  ASSERT_TRUE(WriteOutputFile(path,
                              {Entry("mine.mp3", dir), Entry("removed.mp3", dir),
                               Entry("theirs.mp3", dir), Entry("gone.mp3", dir)},
                              nullptr));
  fs::remove(dir + "gone.mp3");
  EXPECT_EQ(items.MergeAdded(path), 1);
  EXPECT_EQ(items.MergeAdded(path), 0) << "merged once";
  std::vector<std::string> names;
  for (const auto& e : items.Entries()) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"mine.mp3", "theirs.mp3"}));

  Settings flac;
  flac.OUTPUT.OutputFormat = kFormatFLAC;
  struct Case {
    std::string name;
    int64_t frames;
    int rate;
    int blocks;  // what the input gave; with resampling it differs from the written length
    int row;     // -1: not listed
    std::string duration;
  };
  for (const Case& c : {Case{"resampled.flac", 10 * 44100, 44100, 50, 2, "00:00:10"},
                        Case{"slowed.flac", 3 * 48000 + 24000, 48000, 70, 3, "00:00:04"},
                        Case{"empty.flac", 0, 44100, 0, -1, ""}}) {
    SCOPED_TRACE(c.name);
    if (c.frames > 0) Touch(dir + c.name);
    ClipResult clip{dir + c.name, c.blocks, c.frames, c.rate};
    ASSERT_EQ(items.AddClip(clip, flac, "now"), c.row);
    if (c.row >= 0) {
      EXPECT_EQ(items.At(c.row).duration, c.duration);
    }
  }
  EXPECT_EQ(items.Count(), 4);
}

TEST(OutputList, SortingTogglesAndComparesValues) {
  OutputItems items;
  const std::string dir = test::ScratchDir("output_list_sort") + "/";
  // Durations and sizes that sort wrongly as text.
  const std::vector<std::pair<int64_t, int>> rows = {{9 * 3600, 10}, {100 * 3600, 9}, {59, 100}};
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::string path = Touch(dir + std::to_string(i) + ".mp3",
                                   std::string(static_cast<size_t>(rows[i].second) * 10486, 'x'));
    items.AddRecording(path, rows[i].first, "t");
  }
  auto order = [&] {
    std::string s;
    for (const auto& e : items.Entries()) s += e.name[0];
    return s;
  };
  items.Sort(kColDuration);
  EXPECT_EQ(order(), "201");
  items.Sort(kColDuration);
  EXPECT_EQ(order(), "102") << "the second sort by the same column reverses";
  EXPECT_FALSE(items.SortAscending());
  items.Sort(kColSize);
  EXPECT_EQ(order(), "102");
  EXPECT_TRUE(items.SortAscending());
  // Timestamps by time when they can be read, whatever their text says.
  items.Sort(kColTimestamp, [](const std::string&) { return std::optional<int64_t>(); });
  EXPECT_EQ(order(), "102") << "equal texts keep their order";

  // Moving ends the sorted state: sorting again starts ascending.
  EXPECT_EQ(items.Move(2, MoveTo::Top), 0);
  EXPECT_EQ(order(), "210");
  EXPECT_EQ(items.Move(0, MoveTo::Up), 0);
  EXPECT_EQ(items.Move(0, MoveTo::Bottom), 2);
  EXPECT_EQ(items.Move(1, MoveTo::Down), 2);
  EXPECT_EQ(order(), "120");
  items.Sort(kColSize);
  EXPECT_EQ(order(), "102");
  EXPECT_TRUE(items.SortAscending());
  items.Remove({2, 0, 2});
  EXPECT_EQ(order(), "0");
}

TEST(OutputList, RenameNeverReplacesAnotherFile) {
  const std::string dir = test::ScratchDir("output_list_rename") + "/";
  OutputItems items;
  items.AddRecording(Touch(dir + "take.mp3", "take"), 1, "t");
  Touch(dir + "other.mp3", "other");
  std::string error;
  struct Case {
    std::string name;
    RenameResult result;
  };
  for (const Case& c :
       {Case{"other.mp3", RenameResult::Exists}, Case{"sub/x.mp3", RenameResult::BadName},
        Case{"..", RenameResult::BadName}, Case{"", RenameResult::Unchanged},
        Case{"take.mp3", RenameResult::Unchanged}}) {
    EXPECT_EQ(items.Rename(0, c.name, &error), c.result) << c.name;
    EXPECT_EQ(items.At(0).name, "take.mp3");
  }
  EXPECT_EQ(test::ReadFile(dir + "other.mp3"), "other");
  EXPECT_EQ(test::ReadFile(dir + "take.mp3"), "take");

  EXPECT_EQ(items.Rename(0, "Rock \"n\" Roll; rm -rf ~.mp3", &error), RenameResult::Renamed)
      << error;
  EXPECT_EQ(test::ReadFile(dir + "Rock \"n\" Roll; rm -rf ~.mp3"), "take");
  EXPECT_FALSE(fs::exists(dir + "take.mp3"));
  fs::remove(dir + "Rock \"n\" Roll; rm -rf ~.mp3");
  EXPECT_EQ(items.Rename(0, "again.mp3", &error), RenameResult::Failed) << "the file is gone";
}

TEST(DesktopTrash, SameNamesKeepTheirOwnPlaceAndNoTrashMovesNothing) {
  const std::string dir = test::ScratchDir("output_list_trash");
  test::ScopedEnv data("XDG_DATA_HOME", dir + "/data");
  fs::create_directories(dir + "/one");
  fs::create_directories(dir + "/two 2");
  const std::string first = Touch(dir + "/one/My Take.mp3", "1");
  const std::string second = Touch(dir + "/two 2/My Take.mp3", "2");
  std::string error, at1, at2;
  ASSERT_EQ(MoveToTrash(first, &error, &at1), TrashResult::Trashed) << error;
  ASSERT_EQ(MoveToTrash(second, &error, &at2), TrashResult::Trashed) << error;
  EXPECT_EQ(at1, dir + "/data/Trash/files/My Take.mp3");
  EXPECT_EQ(test::ReadFile(at1), "1");
  EXPECT_EQ(test::ReadFile(at2), "2");
  const std::string info =
      test::ReadFile(dir + "/data/Trash/info/" + fs::path(at2).filename().string() + ".trashinfo");
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=", 0), 0u) << info;
  EXPECT_NE(info.find("Path=" + dir + "/two%202/My%20Take.mp3\n"), std::string::npos) << info;
  EXPECT_NE(info.find("\nDeletionDate=20"), std::string::npos) << info;

  // A data folder that cannot hold a trash: nothing moves.
  test::ScopedEnv broken("XDG_DATA_HOME", Touch(dir + "/not-a-folder"));
  const std::string third = Touch(dir + "/one/third.mp3", "3");
  EXPECT_EQ(MoveToTrash(third, &error), TrashResult::NoTrash);
  EXPECT_EQ(test::ReadFile(third), "3");
}

}  // namespace
}  // namespace tarvexa
