// Task.ini: the exact bytes of a task, the three string-length forms, damaged
// files that load what they can and are kept, atomic saves, and mutation
// fuzzing of the reader from a kept corpus (tests/corpus/task).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "TestSupport.h"
#include "scheduler/TaskStore.h"

namespace tarvexa {
namespace {

namespace fs = std::filesystem;

std::string Hex(std::string hex) {
  std::erase(hex, ' ');
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

// A task whose every field differs from its neighbours of the same width.
CTask Sample() {
  return CTask{.title = "Ab",
               .active = 1,
               .confirm = 0,
               .confirmSecs = 30,
               .mode = 12,
               .outputFile = "/o.mp3",
               .startYear = 2026,
               .startMonth = 12,
               .startDay = 8,
               .startHour = 7,
               .startMinute = 5,
               .startSecond = 9,
               .runApp = 1,
               .openUrl = 0,
               .appCommand = "vlc",
               .url = "",
               .override = 1,
               .format = 2,
               .freqIndex = 11,
               .channels = 1,
               .split = 1,
               .splitHour = 23,
               .splitMinute = 59,
               .splitSecond = 58,
               .stopAfter = 1,
               .stopHour = 4,
               .stopMinute = 6,
               .stopSecond = 3,
               .afterRecording = 7};
}

struct Logged {
  std::vector<std::pair<std::string, int>> lines;
  LogSink sink = [this](const std::string& t, int l) { lines.emplace_back(t, l); };
  bool Has(const std::string& text, int level) const {
    return std::find(lines.begin(), lines.end(), std::make_pair(text, level)) != lines.end();
  }
};

TEST(TaskStore, TheBytesOfOneTask) {
  const std::string bytes =
      Hex("01000000"                        // one task
          "02 4162 01000000 00000000"       // "Ab", active, not confirmed
          "1e00 0c00 06 2f6f2e6d7033"       // 30 s, mode 12, "/o.mp3"
          "ea07 0c00 0800 0700 0500 0900"   // 2026-12-08 07:05:09
          "01000000 00000000 03 766c63 00"  // run "vlc", no URL, ""
          "01000000 0200 0b00 0100"         // override: MP3, 192000 Hz, mono
          "0100 1700 3b00 3a00"             // split 23:59:58
          "01000000 0400 0600 0300 0700");  // stop after 04:06:03, shut down
  EXPECT_EQ(SerializeTasks({Sample()}), bytes);
  const TaskFileRead read = ParseTasks(bytes);
  ASSERT_TRUE(read.ok) << read.error;
  ASSERT_EQ(read.tasks.size(), 1u);
  EXPECT_EQ(read.tasks[0], Sample());
}

TEST(TaskStore, StringLengthForms) {
  struct Form {
    size_t length;
    std::string prefix;
  } forms[] = {{0, Hex("00")},
               {254, Hex("fe")},
               {255, Hex("ff ff00")},
               {0xFFFD, Hex("ff fdff")},
               {0xFFFE, Hex("ff ffff feff0000")},
               {70000, Hex("ff ffff 70110100")}};
  for (const Form& f : forms) {
    CTask t = Sample();
    t.title = std::string(f.length, 'x');
    const std::string bytes = SerializeTasks({t});
    EXPECT_EQ(bytes.substr(4, f.prefix.size()), f.prefix) << f.length;
    EXPECT_EQ(bytes.size(), SerializeTasks({Sample()}).size() - 2 + f.prefix.size() - 1 + f.length);
    const TaskFileRead read = ParseTasks(bytes);
    ASSERT_TRUE(read.ok) << f.length << ": " << read.error;
    EXPECT_EQ(read.tasks.at(0), t);
  }
}

TEST(TaskStore, SavesAtomicallyAndAnEmptyListIsFourZeroBytes) {
  const std::string dir = test::ScratchDir("task_store_save");
  const std::string path = dir + "/Task.ini";
  Logged log;
  CTask second = Sample();
  second.title = std::string(255, 'T');
  second.url = "https://example.org/" + std::string(300, 'u');
  ASSERT_TRUE(SaveTaskFile(path, {Sample(), second}, log.sink));
  TaskFileRead read = LoadTaskFile(path, log.sink);
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.tasks, (std::vector<CTask>{Sample(), second}));

  ASSERT_TRUE(SaveTaskFile(path, {}, log.sink));
  EXPECT_EQ(test::ReadFile(path), std::string(4, '\0'));
  EXPECT_TRUE(LoadTaskFile(path, log.sink).tasks.empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
      << "a temporary file was left behind";
  EXPECT_TRUE(log.lines.empty());

  // A missing file is an empty list, not a fault.
  EXPECT_TRUE(LoadTaskFile(dir + "/none.ini", log.sink).ok);
  // A save that cannot be written says so and leaves the old file alone.
  ASSERT_TRUE(SaveTaskFile(path, {Sample()}, log.sink));
  EXPECT_FALSE(SaveTaskFile(dir + "/no such folder/Task.ini", {Sample()}, log.sink));
  EXPECT_TRUE(log.Has(kTaskSaveErrorLog, 1));
  EXPECT_EQ(LoadTaskFile(path, log.sink).tasks.size(), 1u);
}

TEST(TaskStore, DamagedFilesKeepTheTasksReadBeforeTheDamage) {
  CTask second = Sample();
  second.title = "Second";
  const std::string whole = SerializeTasks({Sample(), second});
  const size_t firstEnd = SerializeTasks({Sample()}).size();
  // Cut anywhere: the first task survives exactly when it was complete.
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    const TaskFileRead read = ParseTasks(std::string_view(whole).substr(0, cut));
    EXPECT_FALSE(read.ok) << cut;
    EXPECT_FALSE(read.error.empty());
    EXPECT_EQ(read.tasks.size(), cut >= firstEnd ? 1u : 0u) << cut;
  }
  // Lengths far beyond the file, in each length form, and a count that
  // promises billions of tasks: read as damage, not as memory to allocate.
  for (const std::string& bad :
       {Hex("ff ffff ffffffff"), Hex("ff feff"), Hex("ff ffff 00000080")}) {
    std::string bytes = whole.substr(0, firstEnd) + bad + "abc";
    bytes[0] = 2;
    const TaskFileRead read = ParseTasks(bytes);
    EXPECT_FALSE(read.ok);
    ASSERT_EQ(read.tasks.size(), 1u);
    EXPECT_EQ(read.tasks[0], Sample());
  }
  std::string many = whole;
  many.replace(0, 4, Hex("ffffffff"));
  EXPECT_EQ(ParseTasks(many).tasks.size(), 2u);

  // Loading such a file logs both lines and keeps a copy before any save.
  const std::string dir = test::ScratchDir("task_store_damaged");
  test::WriteFile(dir + "/Task.ini", whole.substr(0, whole.size() - 3));
  Logged log;
  const TaskFileRead read = LoadTaskFile(dir + "/Task.ini", log.sink);
  EXPECT_FALSE(read.ok);
  EXPECT_EQ(read.tasks.size(), 1u);
  EXPECT_TRUE(log.Has(kTaskLoadErrorLog, 1));
  ASSERT_GE(log.lines.size(), 3u);
  std::vector<std::string> kept;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename() != "Task.ini") kept.push_back(e.path());
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(test::ReadFile(kept[0]), whole.substr(0, whole.size() - 3));
  EXPECT_NE(log.lines.back().first.find(kept[0]), std::string::npos);
}

// --- fuzzing ---------------------------------------------------------------

std::vector<std::string> Corpus() {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(fs::path(TARVEXA_SOURCE_DIR) / "tests/corpus/task"))
    files.push_back(e.path());
  std::sort(files.begin(), files.end());
  std::vector<std::string> out;
  for (const fs::path& f : files) out.push_back(test::ReadFile(f));
  return out;
}

const std::string kTokens[] = {
    Hex("ff"),      Hex("ffff"),         Hex("ff ffff"),  Hex("ff ffff ffffffff"),
    Hex("ff feff"), Hex("fe"),           Hex("00000000"), Hex("ffffffff"),
    Hex("2a00"),    std::string(1, '\0')};

std::string Mutate(std::string d, const std::vector<std::string>& corpus, std::mt19937& rng) {
  auto pick = [&](size_t n) { return n == 0 ? size_t{0} : static_cast<size_t>(rng() % n); };
  for (int steps = 1 + static_cast<int>(rng() % 4); steps > 0; --steps) {
    switch (rng() % 6) {
      case 0:
        if (!d.empty()) d[pick(d.size())] ^= static_cast<char>(1u << (rng() % 8));
        break;
      case 1:
        d.insert(d.begin() + static_cast<std::ptrdiff_t>(pick(d.size() + 1)),
                 static_cast<char>(rng()));
        break;
      case 2:
        if (!d.empty()) d.erase(pick(d.size()), 1 + pick(16));
        break;
      case 3: d.resize(pick(d.size() + 1)); break;
      case 4: {
        const std::string& other = corpus[pick(corpus.size())];
        d.insert(pick(d.size() + 1), other.substr(pick(other.size() + 1), 1 + pick(200)));
        break;
      }
      default: d.insert(pick(d.size() + 1), kTokens[pick(std::size(kTokens))]); break;
    }
  }
  return d;
}

TEST(TaskStoreFuzz, DamagedInputNeverCrashesAndWhatLoadsSavesTheSame) {
  const std::vector<std::string> corpus = Corpus();
  ASSERT_GE(corpus.size(), 8u);
  const std::string dir = test::ScratchDir("task_store_fuzz");
  auto check = [&](const std::string& input) {
    const TaskFileRead read = ParseTasks(input);
    EXPECT_EQ(read.ok, read.error.empty());
    // What was read is saved and read back unchanged.
    const std::string again = SerializeTasks(read.tasks);
    const TaskFileRead back = ParseTasks(again);
    EXPECT_TRUE(back.ok) << back.error;
    EXPECT_EQ(back.tasks, read.tasks);
    EXPECT_LE(again.size(), input.size() + 4 + 8 * read.tasks.size());
    if (::testing::Test::HasFailure()) test::WriteFile(dir + "/failing_input.ini", input);
  };
  for (const std::string& seed : corpus) check(seed);
  for (unsigned seed : {1u, 2u, 3u}) {
    std::mt19937 rng(seed);
    for (int i = 0; i < 4000 && !::testing::Test::HasFailure(); ++i)
      check(Mutate(corpus[rng() % corpus.size()], corpus, rng));
  }
  ASSERT_FALSE(::testing::Test::HasFailure()) << "input kept in " << dir << "/failing_input.ini";
}

}  // namespace
}  // namespace tarvexa
