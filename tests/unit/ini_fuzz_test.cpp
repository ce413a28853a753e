// Mutation fuzzing of Config.ini reading: damaged files must never crash the
// reader, and every range-checked setting must come out inside its range.
// Deterministic: fixed seeds, a fixed corpus, a bounded number of runs.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <random>

#include "TestSupport.h"
#include "config/ConfigStore.h"
#include "formats/FormatCatalogue.h"
#include "platform/IniStore.h"

namespace tarvexa {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxInput = 64 * 1024;

std::vector<std::string> Corpus() {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(fs::path(TARVEXA_SOURCE_DIR) / "tests/corpus/ini")) {
    files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());  // same order on every run
  std::vector<std::string> texts;
  for (const fs::path& f : files) texts.push_back(test::ReadFile(f));
  return texts;
}

// What the rest of the program can use, written down here on its own (not
// read from the settings' own range table, which is what is being checked):
// the lists and tables each setting indexes, and the units of the others.
struct Range {
  const char* key;
  int64_t min, max;
};
const Range kRanges[] = {
    {"OUTPUT/OutputFormat", 1, kFormatUserCustomized},  // the format menu
    {"OUTPUT/Freq", 0, static_cast<int64_t>(SampleRateTable.size()) - 1},
    {"OUTPUT/Chan", 1, 2},
    {"MISC/BlockSize", 0, 6},  // seven visualizer block sizes
    {"MISC/VisTyp", 0, 5},     // six visualizer types
    {"MISC/VisPst", 0, 7},     // eight presets
    {"MISC/SplitHour", 0, 23},
    {"MISC/SplitMin", 0, 59},
    {"MISC/SplitSec", 0, 59},
    {"MISC/StopHour", 0, 23},
    {"MISC/StopMin", 0, 59},
    {"MISC/StopSec", 0, 59},
    {"MISC/ActAftRec", 0, 7},  // nothing, message, balloon, log off ... shut down
    {"MISC/RecPro", 0, 5},     // six thread priorities
    {"MISC/EncPro", 0, 5},
    {"SIL/SilLev", -92, 0},  // dB
    {"SIL/NoiLev", -92, 0},
    {"SIL/SilTime", 5, 900},
    {"SIL/NoiTime", 5, 900},
    {"MP3/LameBits", 0, 16},  // seventeen MPEG-1 layer III bit rates
    {"MP3/LameMaxVBRBit", 0, 16},
    {"MP3/LameMinVBRBit", 0, 16},
    {"MP3/LameChannel", 0, 2},
    {"MP3/LameQuality", 0, 9},
    {"MP3/LameCodingMode", 0, 4},
    {"MP3/LamePreset", 0, 17},
    {"MP2/Bits", 0, 17},
    {"MP2/Channel", 0, 3},
    {"FLAC/CompLev", 0, 8},
    {"FLAC/BlockSize", 0, 10},
    {"WMA/Profile", 1, 125},  // the profile file numbers its 125 profiles from 1
    {"OGG/NomiBit", 0, 16},
    {"OGG/MaxBit", 0, 16},
    {"OGG/MinBit", 0, 16},
    {"AAC/ContainerFormat", 0, 8},
    {"MPC/Ext", 0, 2},
};
// Strings and the longest each may be (their buffers, less the terminator).
const std::pair<const char*, size_t> kLengths[] = {{"MISC/RenameStr", 1023},
                                                   {"CUSTOM/Encoder", 511},
                                                   {"CUSTOM/Parameter", 1023},
                                                   {"CUSTOM/FileExt", 7}};

// Empty when every setting is one the rest of the program can use.
std::string Insane(const Settings& s) {
  std::map<std::string, std::string> values;
  for (const std::string& line : test::DumpSettings(s)) {
    const size_t eq = line.find('=');
    values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  std::string why;
  for (const Range& r : kRanges) {
    const auto it = values.find(r.key);
    if (it == values.end()) {
      why += std::string(r.key) + " missing; ";
      continue;
    }
    const int64_t v = std::stoll(it->second);
    if (v < r.min || v > r.max) why += std::string(r.key) + "=" + it->second + " out of range; ";
  }
  for (const auto& [key, longest] : kLengths) {
    const auto it = values.find(key);
    if (it == values.end())
      why += std::string(key) + " missing; ";
    else if (it->second.size() > longest || it->second.find('\0') != std::string::npos)
      why += std::string(key) + " bad string; ";
  }
  return why;
}

const std::vector<std::string> kTokens = {"\n",
                                          "\r\n",
                                          "\r",
                                          "=",
                                          "[",
                                          "]",
                                          ";",
                                          "\"",
                                          "'",
                                          "-",
                                          " ",
                                          "\t",
                                          std::string(1, '\0'),
                                          "[OUTPUT]\n",
                                          "[MISC]\n",
                                          "[SIL]\n",
                                          "Freq=",
                                          "Chan=",
                                          "SilLev=",
                                          "RenameStr=",
                                          "FileExt=",
                                          "99999999999",
                                          "-2147483648",
                                          "4294967295",
                                          "40000",
                                          "65541",
                                          "-65536",
                                          "\xff\xfe",
                                          "\xef\xbb\xbf"};

std::string Mutate(std::string d, const std::vector<std::string>& corpus, std::mt19937& rng) {
  auto pick = [&](size_t n) { return n == 0 ? size_t{0} : static_cast<size_t>(rng() % n); };
  const int steps = 1 + static_cast<int>(rng() % 6);
  for (int i = 0; i < steps; ++i) {
    switch (rng() % 8) {
      case 0:  // bit flip
        if (!d.empty()) d[pick(d.size())] ^= static_cast<char>(1u << (rng() % 8));
        break;
      case 1:  // random byte
        d.insert(d.begin() + static_cast<std::ptrdiff_t>(pick(d.size() + 1)),
                 static_cast<char>(rng()));
        break;
      case 2:  // delete a run
        if (!d.empty()) {
          const size_t at = pick(d.size());
          d.erase(at, 1 + pick(32));
        }
        break;
      case 3:  // truncate
        d.resize(pick(d.size() + 1));
        break;
      case 4: {  // splice in a piece of another seed
        const std::string& other = corpus[pick(corpus.size())];
        const size_t from = pick(other.size() + 1);
        const std::string piece = other.substr(from, 1 + pick(512));
        d.insert(pick(d.size() + 1), piece);
        break;
      }
      case 5:  // repeat a chunk
        if (!d.empty()) {
          const size_t at = pick(d.size());
          const std::string chunk = d.substr(at, 1 + pick(64));
          std::string rep;
          for (size_t k = 1 + pick(64); k > 0; --k) rep += chunk;
          d.insert(at, rep);
        }
        break;
      case 6:  // an interesting token
        d.insert(pick(d.size() + 1), kTokens[pick(kTokens.size())]);
        break;
      default: {  // replace a number by another
        const size_t digit = d.find_first_of("0123456789", pick(d.size() + 1));
        if (digit != std::string::npos) {
          const size_t end = d.find_first_not_of("0123456789", digit);
          d.replace(digit, end == std::string::npos ? std::string::npos : end - digit,
                    std::to_string(static_cast<int64_t>(rng()) - 0x80000000LL));
        }
        break;
      }
    }
    if (d.size() > kMaxInput) d.resize(kMaxInput);
  }
  return d;
}

class IniFuzz : public ::testing::Test {
 protected:
  std::string dir = test::ScratchDir("ini_fuzz_test");
  std::string path = dir + "/Config.ini";
  ConfigStore store{path};
  std::vector<std::pair<std::string, int>> log;
  LogSink sink = [this](const std::string& text, int level) { log.emplace_back(text, level); };

  // Reads text both ways and checks what came out. Returns false on the
  // first fault, keeping the input for a rerun by hand.
  bool Check(const std::string& text, bool roundTrip) {
    IniStore ini;
    ini.Parse(text);
    const std::string once = ini.Text();
    IniStore again;
    again.Parse(once);
    EXPECT_EQ(again.Text(), once) << "rewriting changes what was read";

    test::WriteFile(path, text);
    log.clear();
    Settings s;
    EXPECT_TRUE(store.Load(s, sink));
    EXPECT_EQ(Insane(s), "");
    EXPECT_FALSE(log.empty());
    for (size_t i = 0; i + 1 < log.size(); ++i) {
      EXPECT_EQ(log[i].second, 1);
      EXPECT_EQ(log[i].first.rfind("Warning: Config.ini value ", 0), 0u) << log[i].first;
    }
    if (roundTrip) {
      EXPECT_TRUE(store.Save(s, sink));
      Settings back;
      EXPECT_TRUE(store.Load(back, sink));
      EXPECT_EQ(test::DumpSettings(back), test::DumpSettings(s))
          << "settings change on save and load";
    }
    if (HasFailure()) {
      test::WriteFile(dir + "/failing_input.ini", text);
      return false;
    }
    return true;
  }
};

TEST_F(IniFuzz, SeedsLoad) {
  const std::vector<std::string> corpus = Corpus();
  ASSERT_GE(corpus.size(), 10u);
  for (size_t i = 0; i < corpus.size(); ++i) {
    ASSERT_TRUE(Check(corpus[i], true)) << "seed " << i;
  }
}

TEST_F(IniFuzz, MutatedSeeds) {
  const std::vector<std::string> corpus = Corpus();
  ASSERT_FALSE(corpus.empty());
  for (unsigned seed : {1u, 2u, 3u, 4u}) {
    std::mt19937 rng(seed);
    for (int i = 0; i < 5000; ++i) {
      std::string input = corpus[rng() % corpus.size()];
      input = Mutate(std::move(input), corpus, rng);
      ASSERT_TRUE(Check(input, i % 50 == 0))
          << "seed " << seed << " run " << i << ", input kept in " << dir << "/failing_input.ini";
    }
  }
}

TEST_F(IniFuzz, HugeFileLoads) {
  // About 30 MB: one enormous value, a very large section of short keys,
  // thousands of small sections and a block of random bytes, with real
  // settings before and after.
  std::string text = "[MISC]\nRenameStr=" + std::string(12u << 20, 'x') + "\nVis1=0\n";
  text.reserve(31u << 20);
  text += "[JUNK]\n";
  for (int i = 0; text.size() < (22u << 20); ++i) text += "key" + std::to_string(i) + "=value\n";
  for (int i = 0; text.size() < (27u << 20); ++i)
    text += "[s" + std::to_string(i % 1000) + "]\na=1\n";
  std::mt19937 rng(7);
  while (text.size() < (30u << 20)) text += static_cast<char>(rng());
  text += "\n[OUTPUT]\nFreq=3\n";
  test::WriteFile(path, text);

  const auto start = std::chrono::steady_clock::now();
  Settings s;
  ASSERT_TRUE(store.Load(s, sink));
  EXPECT_EQ(s.MISC.RenameStr, std::string(1023, 'x'));
  EXPECT_EQ(s.MISC.Vis1, 0);
  EXPECT_EQ(s.OUTPUT.Freq, 3);
  EXPECT_EQ(Insane(s), "");

  // Task keys go through a read-modify-write of the whole file.
  s.OUTPUT.Chan = 1;
  ASSERT_TRUE(store.SaveTaskKeys(s, sink));
  Settings restored;
  ASSERT_TRUE(store.RestoreTaskKeys(restored, sink));
  EXPECT_EQ(restored.OUTPUT.Chan, 1);
  EXPECT_EQ(restored.OUTPUT.Freq, 3);
  // The rest of the file is kept, the random lines too.
  EXPECT_GT(fs::file_size(path), 30u << 20);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 20.0);
  fs::remove(path);
}

}  // namespace
}  // namespace tarvexa
