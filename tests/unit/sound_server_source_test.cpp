// Recording from the sound server's sources, against the private PulseAudio
// daemon of tests/support/virtual-audio.sh: its null sink, plus null sinks
// loaded and unloaded here as outputs and microphones come and go.

#include <gtest/gtest.h>
#include <pulse/def.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "PrivateVirtualAudio.h"
#include "TestSupport.h"
#include "soundserver/PulseSource.h"
#include "soundserver/SourceWatcher.h"

using namespace tarvexa;
namespace t = tarvexa::test;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

const auto* const gAudio =
    ::testing::AddGlobalTestEnvironment(new t::PrivateVirtualAudio("soundserver"));

#define REQUIRE_SERVER() \
  ASSERT_TRUE(t::PrivateVirtualAudio::available) << t::PrivateVirtualAudio::why

std::string Script() { return t::PrivateVirtualAudio::Script(); }

// Loads a null sink; its module index, for unloading it again.
int AddSink(const std::string& name) {
  std::string out;
  if (t::Run(Script() + " add-sink " + name + " 2>/dev/null", &out) != 0) return -1;
  return std::atoi(out.c_str());
}

bool Unload(int module) { return t::Run("pactl unload-module " + std::to_string(module)) == 0; }

bool Listed(const std::vector<SoundServerSource>& list, const std::string& name) {
  return FindSource(list, name) >= 0;
}

// Share of the signal's energy at `hz` (Goertzel), 1 for a pure tone.
double ToneShare(const int16_t* s, size_t frames, int channels, int rate, double hz) {
  const double coeff = 2.0 * std::cos(2.0 * M_PI * hz / rate);
  double s1 = 0, s2 = 0, energy = 0;
  for (size_t i = 0; i < frames; ++i) {
    const double x = s[i * static_cast<size_t>(channels)];
    energy += x * x;
    const double s0 = x + coeff * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  if (energy == 0) return 0;
  return 2.0 * (s1 * s1 + s2 * s2 - coeff * s1 * s2) / (static_cast<double>(frames) * energy);
}

struct Notices {
  std::mutex mutex;
  std::vector<std::pair<std::string, int>> lines;
  PulseSource::Notice Hook() {
    return [this](const std::string& text, int level) {
      std::lock_guard<std::mutex> lock(mutex);
      lines.emplace_back(text, level);
    };
  }
  std::vector<std::pair<std::string, int>> Take() {
    std::lock_guard<std::mutex> lock(mutex);
    return std::exchange(lines, {});
  }
};

PulseSource::Options Named(const std::string& source, const std::string& description = {}) {
  PulseSource::Options o;
  o.source = source;
  o.description = description;
  return o;
}

InputSource::OpenOptions Format(int rate, int channels) {
  InputSource::OpenOptions o;
  o.rate = rate;
  o.channels = channels;
  o.framesPerBlock = rate / 10;
  return o;
}

}  // namespace

TEST(SourceWatcher, ListsTheMonitorsAndFollowsSourcesThatComeAndGo) {
  REQUIRE_SERVER();
  std::mutex mutex;
  std::condition_variable changed;
  int changes = 0;
  SourceWatcher watcher;
  std::string error;
  ASSERT_TRUE(watcher.Start(2000, &error, [&] {
    std::lock_guard<std::mutex> lock(mutex);
    ++changes;
    changed.notify_all();
  })) << error;
  const auto first = watcher.Sources();
  const int at = FindSource(first, "tarvexa_sink.monitor");
  ASSERT_GE(at, 0);
  EXPECT_TRUE(first[static_cast<size_t>(at)].monitor);
  EXPECT_EQ(first[static_cast<size_t>(at)].description, "Monitor of Tarvexa_virtual_sink");
  EXPECT_EQ(first[static_cast<size_t>(at)].channels, 2);
  EXPECT_EQ(watcher.DefaultSource(), "tarvexa_sink.monitor");

  // The one-shot listing of the command line sees the same.
  std::vector<SoundServerSource> once;
  std::string def;
  ASSERT_TRUE(ListSoundServerSources(&once, &def, &error)) << error;
  EXPECT_EQ(once.size(), first.size());
  EXPECT_EQ(def, "tarvexa_sink.monitor");

  // A device plugged in appears, and goes when it is unplugged.
  auto waitFor = [&](bool present) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(
        lock, 5s, [&] { return Listed(watcher.Sources(), "plugged.monitor") == present; });
  };
  const int module = AddSink("plugged");
  ASSERT_GE(module, 0);
  EXPECT_TRUE(waitFor(true)) << "the new source was not reported";
  ASSERT_TRUE(Unload(module));
  EXPECT_TRUE(waitFor(false)) << "the removed source stayed in the list";
  EXPECT_GE(changes, 2);
  EXPECT_TRUE(watcher.Connected());
}

TEST(SourceWatcher, WithoutAServerListsNothingAndSaysWhy) {
  // No daemon answers on this socket, and none may be started for us.
  const std::string dir = t::ScratchDir("no_sound_server");
  t::ScopedEnv server("PULSE_SERVER", "unix:" + dir + "/none");
  const auto t0 = Clock::now();
  std::vector<SoundServerSource> sources{{"stale", "stale", false, 2, 44100}};
  std::string error;
  EXPECT_FALSE(ListSoundServerSources(&sources, nullptr, &error, 2000));
  EXPECT_LT(Clock::now() - t0, 2500ms);
  EXPECT_EQ(sources.size(), 1u) << "the list of a failed call must stay as it was";
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(t::Run("test -e " + t::Quote(dir + "/none")), 1) << "a server was started";

  PulseSource src(Named("tarvexa_sink.monitor"));
  int code = 0;
  EXPECT_FALSE(src.Open(Format(44100, 2), &code, &error));
  EXPECT_EQ(code, PA_ERR_CONNECTIONREFUSED) << error;
}

TEST(PulseSource, CapturesOnlyTheChosenMonitorAtTheRecordingsRateInRealTime) {
  REQUIRE_SERVER();
  const std::string dir = t::ScratchDir("pulse_source_tone");
  ASSERT_EQ(t::Run("sox -n -r 44100 -c 2 -b 16 " + dir + "/a.wav synth 5 sine 440 vol 0.5"), 0);
  ASSERT_EQ(t::Run("sox -n -r 44100 -c 2 -b 16 " + dir + "/b.wav synth 5 sine 660 vol 0.5"), 0);
  const int module = AddSink("second");
  ASSERT_GE(module, 0);

  // Mono at 48000 Hz from a 44100 Hz stereo sink: the server converts.
  constexpr int kRate = 48000, kBlock = kRate / 10, kBlocks = 25;
  PulseSource src(Named("second.monitor", "Monitor of second"));
  int code = -1;
  std::string error;
  ASSERT_TRUE(src.Open(Format(kRate, 1), &code, &error)) << error;
  std::thread first([&] { t::Run(Script() + " play " + dir + "/a.wav"); });
  std::thread second([&] { t::Run(Script() + " play " + dir + "/b.wav second"); });
  std::vector<int16_t> cap(static_cast<size_t>(kBlocks) * kBlock);
  const auto t0 = Clock::now();
  for (int b = 0; b < kBlocks;) {
    int got = -1;
    ASSERT_EQ(src.Read(cap.data() + static_cast<size_t>(b) * kBlock, kBlock, &got, &error),
              InputSource::ReadResult::Ok)
        << error;
    if (got == kBlock)
      ++b;
    else
      ASSERT_EQ(got, 0);
    ASSERT_LT(Clock::now() - t0, 6s) << "blocks stopped coming after " << b;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  src.Close();
  first.join();
  second.join();
  Unload(module);

  EXPECT_GT(seconds, 2.0) << "the blocks were not paced by the server";
  EXPECT_EQ(src.Overflows(), 0);
  // From 1 s on both players play; only the second sink's tone is there.
  for (int b = 10; b < kBlocks; ++b) {
    const int16_t* block = cap.data() + static_cast<size_t>(b) * kBlock;
    EXPECT_GT(ToneShare(block, kBlock, 1, kRate, 660), 0.95) << "block " << b;
    EXPECT_LT(ToneShare(block, kBlock, 1, kRate, 440), 0.01) << "block " << b;
  }
}

TEST(PulseSource, CountsOneOverflowForAReaderThatFellBehindItsBuffer) {
  REQUIRE_SERVER();
  PulseSource::Options o;  // the default source: the first sink's monitor
  o.bufferSeconds = 0.5;
  PulseSource src(o);
  std::string error;
  ASSERT_TRUE(src.Open(Format(44100, 2), nullptr, &error)) << error;
  std::vector<int16_t> block(8820);
  auto readBlocks = [&](int n) {
    for (int done = 0; done < n;) {
      int got = 0;
      ASSERT_EQ(src.Read(block.data(), 4410, &got, &error), InputSource::ReadResult::Ok);
      if (got) ++done;
    }
  };
  readBlocks(3);
  EXPECT_EQ(src.Overflows(), 0);
  std::this_thread::sleep_for(1200ms);  // more than the buffer holds
  readBlocks(1);
  EXPECT_EQ(src.Overflows(), 1);
  readBlocks(10);  // in time again: no more
  EXPECT_EQ(src.Overflows(), 1);
  // A new Open starts counting afresh.
  ASSERT_TRUE(src.Open(Format(44100, 2), nullptr, &error)) << error;
  EXPECT_EQ(src.Overflows(), 0);
}

TEST(PulseSource, WaitsForAVanishedSourceSaysSoAndGoesOnWhenItIsBack) {
  REQUIRE_SERVER();
  int module = AddSink("vanishing");
  ASSERT_GE(module, 0);
  Notices notices;
  PulseSource::Options o;
  o.source = "vanishing.monitor";
  o.description = "Monitor of vanishing";
  o.retryMs = 200;
  o.notice = notices.Hook();
  PulseSource src(o);
  std::string error;
  ASSERT_TRUE(src.Open(Format(22050, 1), nullptr, &error)) << error;
  std::vector<int16_t> block(2205);

  // Reads until `blocks` blocks came or `limit` passed; every read returns
  // within its slice, so that a stop is seen while the source is gone.
  bool silent = true;
  auto read = [&](int blocks, std::chrono::milliseconds limit) {
    int got = 0, total = 0;
    silent = true;
    const auto until = Clock::now() + limit;
    while (total < blocks && Clock::now() < until) {
      const auto t0 = Clock::now();
      EXPECT_EQ(src.Read(block.data(), 2205, &got, &error), InputSource::ReadResult::Ok) << error;
      EXPECT_LT(Clock::now() - t0, 400ms);
      if (!got) continue;
      ++total;
      for (int16_t v : block) silent = silent && v == 0;
    }
    return total;
  };
  EXPECT_EQ(read(5, 4s), 5);
  EXPECT_TRUE(notices.Take().empty());

  // Gone: silence at the pace of the clock, and one line that says so.
  ASSERT_TRUE(Unload(module));
  const int during = read(1000, 2000ms);
  EXPECT_GE(during, 16);
  EXPECT_LE(during, 20);
  EXPECT_TRUE(silent);
  EXPECT_TRUE(src.Waiting());
  auto lines = notices.Take();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].first,
            "The input source \"Monitor of vanishing\" has gone away (removed from the sound "
            "server); the recording waits for it to come back.");
  EXPECT_EQ(lines[0].second, 2);

  // Back: its own audio again.
  module = AddSink("vanishing");
  ASSERT_GE(module, 0);
  const std::string dir = t::ScratchDir("pulse_source_back");
  ASSERT_EQ(t::Run("sox -n -r 44100 -c 2 -b 16 " + dir + "/tone.wav synth 4 sine 440 vol 0.5"), 0);
  std::thread player([&] { t::Run(Script() + " play " + dir + "/tone.wav vanishing"); });
  const auto until = Clock::now() + 6s;
  while (src.Waiting() && Clock::now() < until) read(1, 300ms);
  EXPECT_FALSE(src.Waiting());
  read(20, 3s);
  EXPECT_FALSE(silent) << "the source came back but its audio did not";
  player.join();
  lines = notices.Take();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].first.rfind("The input source \"Monitor of vanishing\" is back after ", 0), 0u)
      << lines[0].first;
  EXPECT_EQ(lines[0].second, 1);
  src.Close();
  Unload(module);
}

TEST(PulseSource, UnknownSourceFailsToOpenWithTheServersErrorAndItsName) {
  REQUIRE_SERVER();
  PulseSource src(Named("no.such.source"));
  int code = 0;
  std::string error;
  EXPECT_FALSE(src.Open(Format(44100, 2), &code, &error));
  EXPECT_EQ(code, PA_ERR_NOENTITY);
  EXPECT_EQ(error, "No such entity (sound-server source \"no.such.source\")");
  int got = -1;
  std::vector<int16_t> block(8820);
  EXPECT_EQ(src.Read(block.data(), 4410, &got, &error), InputSource::ReadResult::Error);
  EXPECT_EQ(got, 0);
}
