// Capture through PortAudio from the virtual device of
// tests/support/virtual-audio.sh: a private PulseAudio null sink whose
// monitor is ALSA's default device. A known signal is played into the sink
// and must come back out of PortAudioSource, sample for sample and at the
// pace of a real device.

#include <gtest/gtest.h>
#include <portaudio.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

#include <unistd.h>

#include "TestSupport.h"
#include "platform/AudioSystem.h"
#include "recording/PortAudioSource.h"

using namespace tarvexa;
namespace t = tarvexa::test;

namespace {

constexpr int kRate = 44100;
constexpr int kBlock = 4410;  // 100 ms

std::string Script() { return std::string(TARVEXA_SOURCE_DIR) + "/tests/support/virtual-audio.sh"; }

// Brings the virtual device up before PortAudio reads the ALSA
// configuration. A device exported by the caller (CI, a developer's shell)
// is used as it is; otherwise a private one is started for this program and
// stopped at its end.
class VirtualAudio : public ::testing::Environment {
 public:
  static bool available;
  static std::string why;

  void SetUp() override {
    if (std::getenv("PULSE_SERVER") && std::getenv("ALSA_CONFIG_PATH") &&
        std::getenv("TARVEXA_VIRTUAL_SINK") && t::Run(Script() + " status") == 0) {
      available = true;
      return;
    }
    const std::string dir = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                            "/tarvexa-audio-" + std::to_string(getuid()) + "-unit";
    setenv("TARVEXA_AUDIO_DIR", dir.c_str(), 1);
    std::string out;
    const int rc = t::Run(Script() + " start", &out);
    // Run() mixes the script's messages in; only the export lines count.
    std::istringstream lines(out);
    std::string line;
    int exported = 0;
    while (std::getline(lines, line)) {
      if (line.rfind("export ", 0) != 0) continue;
      const auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      std::string name = line.substr(7, eq - 7);
      std::string value = line.substr(eq + 1);
      if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'')
        value = value.substr(1, value.size() - 2);
      setenv(name.c_str(), value.c_str(), 1);
      ++exported;
    }
    if (rc != 0 || exported == 0) {
      why = "the virtual capture device (PulseAudio) could not start:\n" + out;
      return;
    }
    startedHere_ = true;
    available = true;
  }

  void TearDown() override {
    AudioSystem::Terminate();
    if (startedHere_) t::Run(Script() + " stop");
  }

 private:
  bool startedHere_ = false;
};
bool VirtualAudio::available = false;
std::string VirtualAudio::why;

const auto* const gVirtualAudio = ::testing::AddGlobalTestEnvironment(new VirtualAudio);

#define REQUIRE_VIRTUAL_AUDIO()                                      \
  do {                                                               \
    if (!VirtualAudio::available) GTEST_FAIL() << VirtualAudio::why; \
  } while (0)

// Share of a channel's energy that lies at `hz` (1 for a pure tone at hz).
// The block holds a whole number of periods of the test tones, so there is no
// leakage between them.
double ToneShare(const std::vector<int16_t>& s, size_t firstFrame, size_t frames, int channels,
                 int channel, double hz) {
  const double w = 2.0 * M_PI * hz / kRate;
  const double coeff = 2.0 * std::cos(w);
  double s1 = 0, s2 = 0, energy = 0;
  for (size_t i = firstFrame; i < firstFrame + frames; ++i) {
    const double x = s[i * channels + channel];
    energy += x * x;
    const double s0 = x + coeff * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  if (energy == 0) return 0;
  const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
  return 2.0 * power / (static_cast<double>(frames) * energy);
}

struct Match {
  int64_t start = -1;    // first captured frame of the file's audio
  int64_t skipped = -1;  // frames of the file's beginning that never arrived
  int64_t frames = 0;    // frames compared, from start to the end of the capture
  double correlation = 0;
  double gain = 0;
};

double Correlation(const int16_t* a, const int16_t* b, int64_t n, double* gain = nullptr) {
  double ab = 0, aa = 0, bb = 0;
  for (int64_t i = 0; i < n; ++i) {
    ab += double(a[i]) * b[i];
    aa += double(a[i]) * a[i];
    bb += double(b[i]) * b[i];
  }
  if (gain) *gain = bb > 0 ? ab / bb : 0;
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// Finds the played file in the capture. Before the player starts the null
// sink gives exact silence; the sound server may drop the first few
// milliseconds of a stream as it joins. So the file's audio starts at the
// first non-zero frame, with some frame near the file's beginning, found by
// matching a short window. From there every captured sample is compared
// with the file.
Match FindPlayedSignal(const std::vector<int16_t>& cap, const std::vector<int16_t>& ref,
                       int channels) {
  Match m;
  const int64_t capFrames = static_cast<int64_t>(cap.size()) / channels;
  const int64_t refFrames = static_cast<int64_t>(ref.size()) / channels;
  constexpr int64_t kWindow = 2048, kMaxSkip = kRate / 2;
  int64_t first = 0;
  while (first < capFrames) {
    bool silent = true;
    for (int c = 0; c < channels; ++c) silent = silent && cap[first * channels + c] == 0;
    if (!silent) break;
    ++first;
  }
  if (first + kWindow > capFrames) return m;
  double best = 0;
  for (int64_t j = 0; j < kMaxSkip && j + kWindow <= refFrames; ++j) {
    const double c = Correlation(&cap[first * channels], &ref[j * channels], kWindow * channels);
    if (c > best) {
      best = c;
      m.skipped = j;
    }
  }
  if (m.skipped < 0) return m;
  m.start = first;
  m.frames = std::min(capFrames - first, refFrames - m.skipped);
  m.correlation =
      Correlation(&cap[first * channels], &ref[m.skipped * channels], m.frames * channels, &m.gain);
  return m;
}

// Plays a file into the virtual sink on its own thread, as a sound card's
// input would hear it.
class Player {
 public:
  explicit Player(std::string file)
      : thread_([this, f = std::move(file)] {
          rc_ = t::Run(Script() + " play " + t::Quote(f), &out_);
        }) {}
  ~Player() { Join(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  int rc() const { return rc_; }
  const std::string& output() const { return out_; }

 private:
  int rc_ = -1;
  std::string out_;
  std::thread thread_;
};

}  // namespace

// --- the audio system -------------------------------------------------------

TEST(AudioSystem, ListsTheVirtualDeviceAsDefaultInput) {
  REQUIRE_VIRTUAL_AUDIO();
  int code = -1;
  std::string error;
  ASSERT_TRUE(AudioSystem::Initialize(&code, &error)) << error;
  EXPECT_EQ(code, paNoError);
  ASSERT_TRUE(AudioSystem::Initialize());  // once per process: a second call is harmless

  const auto devices = AudioSystem::ListInputDevices();
  ASSERT_FALSE(devices.empty());
  const int def = AudioSystem::DefaultInputDevice();
  ASSERT_GE(def, 0);
  const InputDeviceInfo* found = nullptr;
  for (const auto& d : devices) {
    EXPECT_FALSE(d.name.empty());
    EXPECT_FALSE(d.hostApi.empty());
    EXPECT_GT(d.maxInputChannels, 0) << d.name;
    EXPECT_GT(d.defaultSampleRate, 0) << d.name;
    EXPECT_EQ(Pa_GetDeviceInfo(d.index)->maxInputChannels, d.maxInputChannels);
    if (d.index == def) found = &d;
  }
  ASSERT_NE(found, nullptr) << "the default input is not among the input devices";
  EXPECT_EQ(found->name, "default");
  EXPECT_EQ(found->hostApi, "ALSA");
  EXPECT_GE(found->maxInputChannels, 2);
}

TEST(AudioSystem, NothingIsListedAfterTerminateAndInitializeScansAgain) {
  REQUIRE_VIRTUAL_AUDIO();
  ASSERT_TRUE(AudioSystem::Initialize());
  const size_t before = AudioSystem::ListInputDevices().size();
  AudioSystem::Terminate();
  EXPECT_FALSE(AudioSystem::IsInitialized());
  EXPECT_TRUE(AudioSystem::ListInputDevices().empty());
  EXPECT_EQ(AudioSystem::DefaultInputDevice(), -1);
  AudioSystem::Terminate();  // twice is harmless
  {
    AudioSystemScope scope;
    ASSERT_TRUE(scope.ok()) << scope.error();
    EXPECT_EQ(AudioSystem::ListInputDevices().size(), before);
    {
      AudioSystemScope inner;  // not the owner: must not terminate on exit
      EXPECT_TRUE(inner.ok());
    }
    EXPECT_TRUE(AudioSystem::IsInitialized());
  }
  EXPECT_FALSE(AudioSystem::IsInitialized());
}

// --- capture ----------------------------------------------------------------

TEST(PortAudioSource, CapturesThePlayedSignalSampleForSampleInRealTime) {
  REQUIRE_VIRTUAL_AUDIO();
  const std::string dir = t::ScratchDir("portaudio_source");
  // 440 Hz left, 660 Hz right, low noise: both channels and their order are
  // recognisable, and the noise makes every 100 ms different.
  const std::string wav = t::MakeTestWav(dir + "/tone.wav", kRate, 2, 3.5, 0.5);
  const t::Audio ref = t::ReadAudio(wav);
  ASSERT_EQ(ref.rate, kRate);

  PortAudioSource src(-1);
  EXPECT_TRUE(src.IsRealTime());
  InputSource::OpenOptions opt;
  opt.rate = kRate;
  opt.channels = 2;
  opt.framesPerBlock = kBlock;
  int code = -1;
  std::string error;
  ASSERT_TRUE(src.Open(opt, &code, &error)) << code << " " << error;
  EXPECT_EQ(code, paNoError);
  ASSERT_TRUE(src.IsOpen());

  constexpr int kBlocks = 30;  // 3 s
  std::vector<int16_t> cap(static_cast<size_t>(kBlocks) * kBlock * 2, 12345);
  Player player(wav);
  const auto t0 = std::chrono::steady_clock::now();
  for (int b = 0; b < kBlocks; ++b) {
    int got = -1;
    ASSERT_EQ(src.Read(cap.data() + static_cast<size_t>(b) * kBlock * 2, kBlock, &got, &error),
              InputSource::ReadResult::Ok)
        << "block " << b << ": " << error;
    ASSERT_EQ(got, kBlock);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  src.Close();
  EXPECT_FALSE(src.IsOpen());

  // A device hands out audio no faster than it arrives: 3 s of blocks take
  // about 3 s (the device buffer may hold a little when reading starts).
  EXPECT_GT(seconds, 2.7) << "reads were not paced by the device";
  EXPECT_LT(seconds, 3.6);
  EXPECT_EQ(src.Overflows(), 0);

  // The tones, block by block, from 1 s on (the player has started by then).
  for (int b = 10; b < kBlocks; ++b) {
    const size_t f = static_cast<size_t>(b) * kBlock;
    const double l440 = ToneShare(cap, f, kBlock, 2, 0, 440),
                 r660 = ToneShare(cap, f, kBlock, 2, 1, 660);
    const double l660 = ToneShare(cap, f, kBlock, 2, 0, 660),
                 r440 = ToneShare(cap, f, kBlock, 2, 1, 440);
    EXPECT_GT(l440, 0.95) << "block " << b;
    EXPECT_GT(r660, 0.95) << "block " << b;
    EXPECT_LT(l660, 0.01) << "block " << b;
    EXPECT_LT(r440, 0.01) << "block " << b;
  }

  // And the samples themselves: from where the file starts to the end of the
  // capture everything matches the file at unchanged level, so nothing was
  // lost, repeated, swapped or scaled on the way.
  t::WriteWav(dir + "/captured.wav", kRate, 2, cap);  // kept for a look after a failure
  const Match m = FindPlayedSignal(cap, ref.samples, 2);
  ASSERT_GE(m.start, 0) << "the capture is all silence";
  EXPECT_LT(m.start, kRate) << "the signal started " << m.start << " frames late";
  EXPECT_LT(m.skipped, kRate / 10)
      << "the first " << m.skipped << " frames of the file are missing";
  EXPECT_GT(m.frames, 2 * kRate);
  EXPECT_GT(m.correlation, 0.999) << "start " << m.start << ", skipped " << m.skipped;
  EXPECT_NEAR(m.gain, 1.0, 0.02);

  player.Join();
  EXPECT_EQ(player.rc(), 0) << player.output();
}

TEST(PortAudioSource, ReopensForEachClipAndCountsNoOverflowsWhenReadInTime) {
  REQUIRE_VIRTUAL_AUDIO();
  PortAudioSource src(AudioSystem::Initialize() ? AudioSystem::DefaultInputDevice() : -1);
  ASSERT_GE(src.Device(), 0);
  InputSource::OpenOptions opt;
  opt.channels = 1;
  opt.rate = 22050;
  opt.framesPerBlock = 2205;
  std::vector<int16_t> block(2205);
  std::string error;
  int got = 0;
  for (int clip = 0; clip < 3; ++clip) {
    int code = -1;
    ASSERT_TRUE(src.Open(opt, &code, &error)) << "clip " << clip << ": " << error;
    for (int b = 0; b < 3; ++b) {
      ASSERT_EQ(src.Read(block.data(), 2205, &got, &error), InputSource::ReadResult::Ok) << error;
      EXPECT_EQ(got, 2205);
    }
    EXPECT_EQ(src.Overflows(), 0);
    src.Close();
    src.Close();  // a second close is harmless
  }
  // Reading from a closed stream fails instead of touching a dead stream.
  got = -1;
  EXPECT_EQ(src.Read(block.data(), 2205, &got, &error), InputSource::ReadResult::Error);
  EXPECT_EQ(got, 0);
  EXPECT_FALSE(error.empty());
}

// --- failures ---------------------------------------------------------------

TEST(PortAudioSource, MissingDeviceFailsWithPortAudioErrorText) {
  PortAudioSource src(999);
  InputSource::OpenOptions opt;
  int code = 0;
  std::string error;
  EXPECT_FALSE(src.Open(opt, &code, &error));
  EXPECT_EQ(code, paInvalidDevice);
  EXPECT_EQ(error, Pa_GetErrorText(paInvalidDevice));
  EXPECT_EQ(error, "Invalid device");
  EXPECT_FALSE(src.IsOpen());
  int got = -1;
  EXPECT_EQ(src.Read(std::vector<int16_t>(8820).data(), kBlock, &got, &error),
            InputSource::ReadResult::Error);
  EXPECT_EQ(got, 0);
}

TEST(PortAudioSource, StreamTheDeviceRefusesFailsWithPortAudioErrorText) {
  REQUIRE_VIRTUAL_AUDIO();
  ASSERT_TRUE(AudioSystem::Initialize());
  const int def = AudioSystem::DefaultInputDevice();
  ASSERT_GE(def, 0);
  PortAudioSource src(def);
  InputSource::OpenOptions opt;
  opt.channels = Pa_GetDeviceInfo(def)->maxInputChannels + 1;
  int code = 0;
  std::string error;
  EXPECT_FALSE(src.Open(opt, &code, &error));
  EXPECT_EQ(code, paInvalidChannelCount);
  EXPECT_EQ(error, "Invalid number of channels");
  EXPECT_FALSE(src.IsOpen());
  // The failure leaves nothing behind: the same object opens a good stream.
  opt.channels = 2;
  EXPECT_TRUE(src.Open(opt, &code, &error)) << error;
  EXPECT_EQ(code, paNoError);
  EXPECT_TRUE(error.empty());
}
