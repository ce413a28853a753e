// The sound server's sources and the input source over them, against the
// private PulseAudio daemon of tests/support/virtual-audio.sh; what they
// record, and sources that come and go, are checked end to end
// (sound_server_test, device_sources_test).

#include <gtest/gtest.h>
#include <pulse/def.h>

#include <chrono>
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

PulseSource::Options Named(const std::string& source) {
  PulseSource::Options o;
  o.source = source;
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

TEST(SourceWatcher, ListsTheMonitorsWithTheirDescriptionsAndTheDefault) {
  REQUIRE_SERVER();
  SourceWatcher watcher;
  std::string error;
  ASSERT_TRUE(watcher.Start(2000, &error)) << error;
  EXPECT_TRUE(watcher.Connected());
  const auto sources = watcher.Sources();
  const int at = FindSource(sources, "tarvexa_sink.monitor");
  ASSERT_GE(at, 0);
  const SoundServerSource& s = sources[static_cast<size_t>(at)];
  EXPECT_TRUE(s.monitor);
  EXPECT_EQ(s.description, "Monitor of Tarvexa_virtual_sink");
  EXPECT_EQ(s.channels, 2);
  EXPECT_EQ(s.rate, 44100);
  EXPECT_EQ(watcher.DefaultSource(), "tarvexa_sink.monitor");

  // The one-shot listing of the command line sees the same.
  std::vector<SoundServerSource> once;
  std::string def;
  ASSERT_TRUE(ListSoundServerSources(&once, &def, &error)) << error;
  EXPECT_EQ(once.size(), sources.size());
  EXPECT_EQ(def, "tarvexa_sink.monitor");
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
