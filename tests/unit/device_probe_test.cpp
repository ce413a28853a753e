// The input-device listing and the sample-rate probe: the log text of a
// device, the probe lines and their break before 24000 Hz, the support table,
// the choice of the device at start-up, the pairing names of the mixers; and
// the same probe against the real PortAudio with the virtual capture device,
// whose answers must be what PortAudio says. (How the support table steers
// the rate/channel rule is tested through the window, device_page_test.)
#include <gtest/gtest.h>
#include <portaudio.h>

#include <set>
#include <tuple>

#include "PrivateVirtualAudio.h"
#include "TestSupport.h"
#include "formats/FormatCatalogue.h"
#include "platform/AudioSystem.h"
#include "recording/DeviceProbe.h"

using namespace tarvexa;
using tarvexa::test::PrivateVirtualAudio;

namespace {

const auto* const gAudio =
    ::testing::AddGlobalTestEnvironment(new PrivateVirtualAudio("device-probe"));

// Devices that answer the probe from a table: (device, channels, rate).
class TableDevices : public AudioDeviceBackend {
 public:
  bool Initialize(int*, std::string*) override { return true; }
  int DeviceCount() override { return static_cast<int>(devices.size()); }
  std::string ErrorText(int) override { return "no error"; }
  bool Describe(int index, AudioDeviceDescription* out) override {
    if (index < 0 || index >= DeviceCount()) return false;
    *out = devices[static_cast<size_t>(index)];
    return true;
  }
  int DefaultInputDevice() override { return defaultInput; }
  int DefaultOutputDevice() override { return defaultOutput; }
  bool IsFormatSupported(int device, int channels, double rate) override {
    ++probes;
    return supported.count({device, channels, static_cast<int>(rate)}) > 0;
  }

  void Support(int device, int channels, std::initializer_list<int> rates) {
    for (int r : rates) supported.insert({device, channels, r});
  }

  std::vector<AudioDeviceDescription> devices;
  std::set<std::tuple<int, int, int>> supported;
  int defaultInput = -1;
  int defaultOutput = -1;
  int probes = 0;
};

}  // namespace

TEST(DeviceListing, EachDeviceIsDescribedInTheLog) {
  AudioDeviceDescription d;
  d.index = 3;
  d.name = "HDA Intel PCH: ALC892 Analog (hw:0,0) - Input";
  d.hostApi = "ALSA";
  d.maxInputChannels = 2;
  d.maxOutputChannels = 0;
  d.defaultLowInputLatency = 0.0087;
  d.defaultLowOutputLatency = -1;
  d.defaultHighInputLatency = 0.0348;
  d.defaultHighOutputLatency = -1;
  d.defaultSampleRate = 44100;
  d.hostApiDefaultInput = true;
  d.hostApiDefaultOutput = true;

  // The default input of the whole library, and the default output of its
  // host API only.
  const std::vector<std::string> expected = {
      "-------------------Device #3--------------------",
      "This device is the default input device.",
      "This device is the default ALSA output",
      "Name                        = HDA Intel PCH: ALC892 Analog (hw:0,0)",
      "Host API                    = ALSA",
      "Max inputs channels = 2",
      "Max outputs channels= 0",
      "Default low input latency    =    0.009",
      "Default low output latency  =   -1.000",
      "Default high input latency   =    0.035",
      "Default high output latency =   -1.000",
      "Default sample rate         =  44100.0",
  };
  EXPECT_EQ(DeviceLogLines(d, 3, 7), expected);

  // Neither default: no default lines at all.
  d.hostApiDefaultInput = d.hostApiDefaultOutput = false;
  const auto plain = DeviceLogLines(d, 0, 7);
  ASSERT_EQ(plain.size(), 10u);
  EXPECT_EQ(plain[1], "Name                        = HDA Intel PCH: ALC892 Analog (hw:0,0)");

  // The default output of the library wins over its host API's.
  d.hostApiDefaultInput = true;
  d.hostApiDefaultOutput = true;
  const auto both = DeviceLogLines(d, 0, 3);
  EXPECT_EQ(both[1], "This device is the default ALSA input");
  EXPECT_EQ(both[2], "This device is the default output device.");
}

TEST(DeviceListing, NamesLoseTheirInputAndOutputTails) {
  EXPECT_EQ(PlainDeviceName("USB Mic - Input"), "USB Mic");
  EXPECT_EQ(PlainDeviceName("Speakers - Output"), "Speakers");
  EXPECT_EQ(PlainDeviceName("Line - Input - Output"), "Line");
  EXPECT_EQ(PlainDeviceName("default"), "default");
}

TEST(DeviceListing, DevicesArePairedWithTheMixerOfTheirCard) {
  EXPECT_EQ(MixerNameFor("HDA Intel PCH: ALC892 Analog (hw:0,0)"), "hw:0");
  EXPECT_EQ(MixerNameFor("USB Audio Device: - (hw:2,1)"), "hw:2");
  EXPECT_EQ(MixerNameFor("Card: x (hw:12,3)"), "hw:12");
  // Everything else belongs to the default device's mixer.
  EXPECT_EQ(MixerNameFor("default"), "default");
  EXPECT_EQ(MixerNameFor("pulse"), "default");
  EXPECT_EQ(MixerNameFor("sysdefault"), "default");
  EXPECT_EQ(MixerNameFor("(hw:1,0) renamed by someone"), "default");
  EXPECT_EQ(MixerNameFor("plug (hw:1)"), "default");
}

TEST(DeviceProbe, SupportedRatesAreListedWithABreakBefore24000) {
  TableDevices dev;
  dev.Support(0, 2, {8000, 11025, 22050, 24000, 44100, 48000, 192000});
  EXPECT_EQ(
      ProbeLogLines(dev, 0, 2),
      (std::vector<std::string>{"Supported standard sample rates for half-duplex 2 channel input:",
                                "008000 Hz   011025 Hz   022050 Hz",
                                "024000 Hz   044100 Hz   048000 Hz   192000 Hz"}));

  // Without 24000 Hz the rates stay on one line.
  dev.supported.clear();
  dev.Support(0, 1, {6000, 16000, 32000, 96000});
  EXPECT_EQ(
      ProbeLogLines(dev, 0, 1),
      (std::vector<std::string>{"Supported standard sample rates for half-duplex 1 channel input:",
                                "006000 Hz   016000 Hz   032000 Hz   096000 Hz"}));

  // 24000 Hz first: no empty line before it.
  dev.supported.clear();
  dev.Support(0, 1, {24000, 48000});
  EXPECT_EQ(
      ProbeLogLines(dev, 0, 1),
      (std::vector<std::string>{"Supported standard sample rates for half-duplex 1 channel input:",
                                "024000 Hz   048000 Hz"}));

  // Nothing supported: the heading alone; every rate of the list was asked.
  dev.supported.clear();
  dev.probes = 0;
  EXPECT_EQ(ProbeLogLines(dev, 0, 6).size(), 1u);
  EXPECT_EQ(dev.probes, 14);
}

TEST(DeviceProbe, TheSupportTableHasMonoAndStereoAtTheTwelveRecordingRates) {
  TableDevices dev;
  dev.Support(4, 1, {8000, 44100});
  dev.Support(4, 2, {48000, 192000, 6000 /* not a recording rate */});
  dev.Support(5, 2, {11025});  // another device
  const RateChannelMatrix m = ProbeDeviceMatrix(dev, 4);
  for (size_t i = 0; i < SampleRateTable.size(); ++i) {
    const int rate = SampleRateTable[i];
    EXPECT_EQ(m.allowed[0][i], rate == 8000 || rate == 44100) << rate;
    EXPECT_EQ(m.allowed[1][i], rate == 48000 || rate == 192000) << rate;
  }
}

TEST(DeviceProbe, TheSavedDeviceOrTheDefaultInputIsChosen) {
  // Input devices at PortAudio 0 and 3; the default input is 3.
  const std::vector<int> devices = {0, 3};
  EXPECT_EQ(ChooseDevicePosition(0, devices, 3), 0);
  EXPECT_EQ(ChooseDevicePosition(1, devices, 3), 1);
  EXPECT_EQ(ChooseDevicePosition(5, devices, 3), 1) << "out of range: the default input";
  EXPECT_EQ(ChooseDevicePosition(2, devices, 0), 0);
  EXPECT_EQ(ChooseDevicePosition(-1, devices, 3), 1) << "never chosen: the default input";
  EXPECT_EQ(ChooseDevicePosition(-1, devices, 7), 0) << "no default among them: the first";
  EXPECT_EQ(ChooseDevicePosition(-1, devices, -1), 0);
  EXPECT_EQ(ChooseDevicePosition(0, {}, 3), -1);
}

// ----------------------------------------------- the real PortAudio

class RealDevices : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PrivateVirtualAudio::available) GTEST_FAIL() << PrivateVirtualAudio::why;
    int code = 0;
    std::string error;
    ASSERT_TRUE(PortAudioDevices().Initialize(&code, &error)) << code << " " << error;
  }
  void TearDown() override { AudioSystem::Terminate(); }
};

TEST_F(RealDevices, TheVirtualDeviceIsListedAsTheDefaultInput) {
  AudioDeviceBackend& pa = PortAudioDevices();
  const int count = pa.DeviceCount();
  ASSERT_GT(count, 0);
  const int def = pa.DefaultInputDevice();
  ASSERT_GE(def, 0);
  ASSERT_LT(def, count);
  AudioDeviceDescription d;
  ASSERT_TRUE(pa.Describe(def, &d));
  EXPECT_EQ(d.index, def);
  EXPECT_EQ(d.name, "default");
  EXPECT_EQ(d.hostApi, "ALSA");
  EXPECT_GT(d.maxInputChannels, 0);
  EXPECT_EQ(MixerNameFor(d.name), "default");
  const auto lines = DeviceLogLines(d, def, pa.DefaultOutputDevice());
  EXPECT_EQ(lines[1], "This device is the default input device.");
  EXPECT_FALSE(pa.Describe(count, &d));
  EXPECT_FALSE(pa.IsFormatSupported(count, 2, 44100)) << "no such device";
}

TEST_F(RealDevices, TheProbeSaysWhatPortAudioSays) {
  AudioDeviceBackend& pa = PortAudioDevices();
  const int def = pa.DefaultInputDevice();
  ASSERT_GE(def, 0);
  auto direct = [&](int channels, double rate) {
    PaStreamParameters p{};
    p.device = def;
    p.channelCount = channels;
    p.sampleFormat = paInt16;
    p.suggestedLatency = 0;
    return Pa_IsFormatSupported(&p, nullptr, rate) == paFormatIsSupported;
  };
  for (int channels : {1, 2}) {
    // The log lines, rebuilt from PortAudio's own answers.
    std::vector<std::string> expected = {"Supported standard sample rates for half-duplex " +
                                         std::to_string(channels) + " channel input:"};
    std::string line;
    for (int rate : kProbeRates) {
      if (!direct(channels, rate)) continue;
      if (rate == 24000 && !line.empty()) {
        expected.push_back(line);
        line.clear();
      }
      char buf[32];
      std::snprintf(buf, sizeof buf, line.empty() ? "%06d Hz" : "   %06d Hz", rate);
      line += buf;
    }
    if (!line.empty()) expected.push_back(line);
    EXPECT_EQ(ProbeLogLines(pa, def, channels), expected);
  }
  // PulseAudio resamples: the virtual device records 44100 Hz stereo at least.
  const RateChannelMatrix m = ProbeDeviceMatrix(pa, def);
  for (int row = 0; row < 2; ++row)
    for (size_t i = 0; i < SampleRateTable.size(); ++i)
      EXPECT_EQ(m.allowed[static_cast<size_t>(row)][i], direct(row + 1, SampleRateTable[i]))
          << row + 1 << " channel(s) at " << SampleRateTable[i];
  EXPECT_TRUE(m.allowed[1][7]);
}
