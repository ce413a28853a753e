// The recording component on the real ALSA mixer, and the device page on the
// real PortAudio, both with the virtual capture device (a private PulseAudio
// whose ALSA control device "default" carries a "Capture" element for its
// source). What the component sets is read back through a second instance
// of the component and through amixer, so it must have reached ALSA.
#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <QtWidgets/QLabel>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QSlider>
#include <cstdlib>
#include <regex>

#include "GuiTestSupport.h"
#include "PrivateVirtualAudio.h"
#include "TestSupport.h"
#include "app/DevicePage.h"
#include "components/Component.h"
#include "components/ComponentLoader.h"
#include "components/MixerLevels.h"

using namespace tarvexa;
using namespace tarvexa::test;

namespace {

const auto* const gAudio =
    ::testing::AddGlobalTestEnvironment(new PrivateVirtualAudio("record-component"));

#define REQUIRE_VIRTUAL_AUDIO()                                                    \
  do {                                                                             \
    if (!PrivateVirtualAudio::available) GTEST_FAIL() << PrivateVirtualAudio::why; \
  } while (0)

struct RecordComponent {
  ComponentHandle handle;
  AudioRecordRole* role = nullptr;
  std::string error;

  RecordComponent() {
    if (handle.Create("SndAudioRecord2", ComponentFolder(), &error))
      role = handle.As<AudioRecordRole>(kRoleAudioRecord);
  }

  // Selects the mixer called `mixer` and its line `line`; false when there
  // is none.
  bool Select(const std::string& mixer, const std::string& line) {
    const int last = role->MixerCount();
    for (int m = 0; m <= last; ++m) {
      if (!role->SelectMixer(m) || mixer != role->MixerName()) continue;
      for (int l = 0; l <= role->LineCount(); ++l) {
        role->SelectLine(l);
        if (line == role->LineName()) return true;
      }
    }
    return false;
  }
};

// The capture channels of the default device's "Capture" element as amixer
// reports them: raw left, raw right, switched on.
struct AmixerCapture {
  long left = -1, right = -1;
  bool on = false;
};
AmixerCapture ReadAmixer() {
  std::string out;
  Run("amixer -D default sget Capture", &out);
  AmixerCapture c;
  std::smatch m;
  static const std::regex left(R"(Front Left: Capture (\d+) \[\d+%\] \[(on|off)\])");
  static const std::regex right(R"(Front Right: Capture (\d+))");
  if (std::regex_search(out, m, left)) {
    c.left = std::stol(m[1]);
    c.on = m[2] == "on";
  }
  if (std::regex_search(out, m, right)) c.right = std::stol(m[1]);
  return c;
}

}  // namespace

TEST(AudioRecordComponent, SetsTheCaptureElementOfTheDefaultMixer) {
  REQUIRE_VIRTUAL_AUDIO();
  RecordComponent c;
  ASSERT_NE(c.role, nullptr) << c.error;
  AudioRecordRole& r = *c.role;
  ASSERT_GE(r.MixerCount(), 0) << "no ALSA control device opens, not even \"default\"";
  ASSERT_TRUE(r.SelectMixer(0));
  EXPECT_STREQ(r.MixerName(), "default") << "mixer 0 is the default device's";
  if (!c.Select("default", "Capture"))
    GTEST_FAIL() << "the default ALSA mixer has no simple-mixer element \"Capture\"";
  if (!HaveTool("amixer")) GTEST_FAIL() << "amixer (alsa-utils) is not installed";

  EXPECT_TRUE(r.MixerHasInputLines());
  EXPECT_TRUE(r.LineSelected()) << "the source records";
  EXPECT_TRUE(r.VolumePresent());
  EXPECT_TRUE(r.BalancePresent());

  // Half volume, centred: both channels at half of the element's range.
  r.SetBalance(50);
  r.SetVolume(32768);
  AmixerCapture a = ReadAmixer();
  ASSERT_GE(a.left, 0) << "amixer output not understood";
  EXPECT_NEAR(a.left, 32768, 2);
  EXPECT_NEAR(a.right, 32768, 2);
  {
    RecordComponent fresh;  // nothing remembered: all of it comes from ALSA
    ASSERT_TRUE(fresh.Select("default", "Capture"));
    EXPECT_NEAR(fresh.role->Volume(), 32768, 2);
    EXPECT_EQ(fresh.role->Balance(), 50);
  }

  // Balance 80 lowers the left channel to 40 %; the volume stays.
  r.SetBalance(80);
  a = ReadAmixer();
  EXPECT_NEAR(a.right, 32768, 2);
  EXPECT_NEAR(a.left, 32768 * 0.4, 2);
  EXPECT_EQ(r.Balance(), 80);
  EXPECT_NEAR(r.Volume(), 32768, 2);
  {
    RecordComponent fresh;
    ASSERT_TRUE(fresh.Select("default", "Capture"));
    EXPECT_EQ(fresh.role->Balance(), 80);
  }
  // A new volume keeps the balance.
  r.SetVolume(65535);
  a = ReadAmixer();
  EXPECT_NEAR(a.right, 65536, 2);
  EXPECT_NEAR(a.left, 65536 * 0.4, 2);

  // Switched off elsewhere, the line no longer records; making it the
  // recording source switches it on again.
  ASSERT_EQ(test::Run("amixer -q -D default sset Capture nocap"), 0);
  // The change reaches this mixer as an event of the sound server.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !r.LineSelected(); }, 3000));
  EXPECT_FALSE(ReadAmixer().on);
  EXPECT_TRUE(r.UseLineForRecording());
  EXPECT_TRUE(ReadAmixer().on);
  EXPECT_TRUE(r.LineSelected());
  EXPECT_EQ(r.CurrentLine(), 0);

  r.SetBalance(50);
  r.SetVolume(65535);
  a = ReadAmixer();
  EXPECT_NEAR(a.left, 65536, 2);
  EXPECT_NEAR(a.right, 65536, 2);
}

TEST(AudioRecordComponent, CallsWithoutAMixerOrLineAnswerNone) {
  REQUIRE_VIRTUAL_AUDIO();
  RecordComponent c;
  ASSERT_NE(c.role, nullptr) << c.error;
  AudioRecordRole& r = *c.role;
  const int last = r.MixerCount();
  EXPECT_FALSE(r.SelectMixer(last + 1));
  EXPECT_FALSE(r.SelectMixer(-1));
  EXPECT_STREQ(r.MixerName(), "");
  EXPECT_EQ(r.LineCount(), -1);
  EXPECT_FALSE(r.SelectLine(0));
  EXPECT_STREQ(r.LineName(), "");
  EXPECT_FALSE(r.LineSelected());
  EXPECT_FALSE(r.VolumePresent());
  EXPECT_FALSE(r.BalancePresent());
  EXPECT_EQ(r.Volume(), 0);
  EXPECT_EQ(r.Balance(), 50);
  EXPECT_FALSE(r.UseLineForRecording());
  r.SetVolume(100);  // nothing happens
  r.SetBalance(0);
  if (last >= 0) {
    ASSERT_TRUE(r.SelectMixer(0));
    EXPECT_FALSE(r.SelectLine(r.LineCount() + 1));
    EXPECT_STREQ(r.LineName(), "");
    EXPECT_FALSE(r.VolumePresent());
  }
}

TEST(AudioRecordComponent, TheDevicePageListsAndSetsTheRealDevice) {
  REQUIRE_VIRTUAL_AUDIO();
  WindowFixture w("real-devices");
  ASSERT_TRUE(w.Start(false));
  CRecorderDlg& dlg = w.Dlg();
  DevicePage* page = dlg.GetDevicePage();
  ASSERT_GT(page->DeviceList()->count(), 0) << w.Log().Dump();

  // PortAudio's default input is the virtual device, chosen at start-up
  // with the default mixer.
  ASSERT_GE(page->Position(), 0);
  EXPECT_EQ(page->DeviceList()->item(page->Position())->text(), " default");
  EXPECT_EQ(page->ItemData(page->Position()), page->InputDevice() * 100 + 0);
  EXPECT_TRUE(w.Log().Has("Set Input Device: default"));
  EXPECT_TRUE(w.Log().Has("This device is the default input device."));

  // One probe block for mono and one for stereo, each what PortAudio answers
  // (the PulseAudio device takes every rate by resampling); the server's
  // further channel counts are not probed.
  const InputDeviceInfo& info = dlg.InputDevices()[static_cast<size_t>(page->Position())];
  EXPECT_TRUE(w.Log().Has("Max inputs channels = " + std::to_string(info.maxInputChannels)));
  EXPECT_TRUE(w.Log().Has("Supported standard sample rates for half-duplex 1 channel input:"));
  EXPECT_FALSE(w.Log().Has("Supported standard sample rates for half-duplex 3 channel input:"));
  if (info.maxInputChannels > 2) {
    EXPECT_TRUE(w.Log().Has("(Rates for 3 to " + std::to_string(info.maxInputChannels) +
                            " channels not probed: the recorder records mono or stereo.)"));
  }
  const int block =
      w.Log().Find("Supported standard sample rates for half-duplex 2 channel input:");
  ASSERT_GE(block, 0);
  EXPECT_EQ(w.Log().Lines()[static_cast<size_t>(block) + 1].text,
            "006000 Hz   008000 Hz   009600 Hz   011025 Hz   012000 Hz   016000 Hz   022050 Hz");
  EXPECT_TRUE(page->DeviceMatrix().allowed[1][7]);

  RecordComponent probe;
  if (!probe.role || !probe.Select("default", "Capture"))
    GTEST_FAIL() << "the default ALSA mixer has no simple-mixer element \"Capture\"";
  ASSERT_GE(page->LineList()->findItems(" Capture", Qt::MatchExactly).size(), 1);
  EXPECT_EQ(page->LineList()->currentItem()->text(), " Capture");
  ASSERT_TRUE(page->VolumeSlider()->isEnabled());
  EXPECT_TRUE(page->BalanceSlider()->isEnabled());

  page->VolumeSlider()->setValue(30);
  EXPECT_EQ(page->VolumeLabel()->text(), "Volume: 30");
  {
    RecordComponent fresh;
    ASSERT_TRUE(fresh.Select("default", "Capture"));
    EXPECT_NEAR(fresh.role->Volume(), mixer::SliderToVolume(30), 2);
  }
  page->VolumeSlider()->setValue(100);
  {
    RecordComponent fresh;
    ASSERT_TRUE(fresh.Select("default", "Capture"));
    EXPECT_EQ(fresh.role->Volume(), 65535);
  }
}
