// The sound server's sources on the Device page and in File, Device(s), with
// the private PulseAudio daemon of virtual-audio.sh and null sinks loaded and
// unloaded here: listed after the devices, chosen and recorded from, saved by
// name, and a saved one that is gone replaced by the default device with a
// line until it comes.
#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <QtWidgets/QListWidget>
#include <cmath>
#include <cstdlib>

#include "GuiTestSupport.h"
#include "PrivateVirtualAudio.h"
#include "TestSupport.h"
#include "app/DevicePage.h"

using namespace tarvexa;
using namespace tarvexa::test;

namespace {

const auto* const gAudio =
    ::testing::AddGlobalTestEnvironment(new PrivateVirtualAudio("device-sources"));

#define REQUIRE_SERVER() ASSERT_TRUE(PrivateVirtualAudio::available) << PrivateVirtualAudio::why

int AddSink(const std::string& name) {
  std::string out;
  if (tarvexa::test::Run(PrivateVirtualAudio::Script() + " add-sink " + name + " 2>/dev/null",
                         &out) != 0)
    return -1;
  return std::atoi(out.c_str());
}

bool Unload(int module) {
  return tarvexa::test::Run("pactl unload-module " + std::to_string(module)) == 0;
}

QStringList Texts(QListWidget* list) {
  QStringList t;
  for (int i = 0; i < list->count(); ++i) t << list->item(i)->text();
  return t;
}

}  // namespace

TEST(DeviceSources, ListedAfterTheDevicesChosenRecordedFromAndSavedByName) {
  REQUIRE_SERVER();
  const int second = AddSink("second");
  ASSERT_GE(second, 0);
  WindowFixture w("device-sources");
  ASSERT_TRUE(w.Start(false));
  CRecorderDlg& dlg = w.Dlg();
  DevicePage* page = dlg.GetDevicePage();
  const int devices = static_cast<int>(dlg.InputDevices().size());
  ASSERT_GT(devices, 0);

  // After the devices, by description, in the list and the menu alike.
  EXPECT_EQ(Texts(page->DeviceList()).mid(devices),
            (QStringList{" Monitor of Tarvexa_virtual_sink", " Monitor of second"}));
  const QList<QAction*> items = page->MenuActions();
  ASSERT_EQ(items.size(), devices + 2);
  EXPECT_EQ(items.last()->text(), "Monitor of second");
  EXPECT_EQ(items.last()->data().toInt(), 100 + devices + 2);
  EXPECT_TRUE(w.Log().Has("Input source: Monitor of second (second.monitor)"));

  // Chosen from the menu: the source, no device and no mixer.
  items.last()->trigger();
  EXPECT_EQ(page->SourceName(), "second.monitor");
  EXPECT_EQ(page->InputDevice(), -1);
  EXPECT_EQ(page->ItemData(page->Position()), -1);
  EXPECT_EQ(page->DeviceList()->currentRow(), devices + 1);
  EXPECT_TRUE(w.Log().Has("Set Input Device: Monitor of second"));

  // A recording takes the chosen source: the tone played into its sink.
  const std::string dir = ScratchDir("device-sources-tone");
  ASSERT_EQ(tarvexa::test::Run("sox -n -r 44100 -c 2 -b 16 " + dir +
                               "/tone.wav synth 4 sine 1500 vol 0.5"),
            0);
  dlg.CurrentSettings().OUTPUT.OutputFormat = 1;
  const std::string out = w.Home() + "/take.wav";
  ASSERT_TRUE(dlg.StartRecordingTo(QString::fromStdString(out)));
  tarvexa::test::Run(PrivateVirtualAudio::Script() + " play " + dir + "/tone.wav second");
  dlg.StopRecording();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.IsSessionActive(); }, 10000));
  std::string freq;
  tarvexa::test::Run(
      "sox " + Quote(out) + " -n trim 1 1.5 remix 1 stat 2>&1 | awk '/Rough/ { print $3 }'", &freq);
  EXPECT_NEAR(std::atof(freq.c_str()), 1500, 20) << w.Log().Dump();

  // Saved by name; the device index then stands for the default.
  dlg.ExitSequence();
  const std::string ini = ReadFile(w.Home() + "/Config.ini");
  EXPECT_NE(ini.find("\nInputDevice=-1\nInputSourceName=second.monitor\n"), std::string::npos);
  Unload(second);
}

TEST(DeviceSources, ASavedSourceThatIsGoneGivesWayToTheDefaultUntilItComesBack) {
  REQUIRE_SERVER();
  WindowFixture w("device-sources-gone");
  WriteFile(w.Home() + "/Config.ini", "[MISC]\nInputDevice=-1\nInputSourceName=later.monitor\n");
  ASSERT_TRUE(w.Start(false));
  DevicePage* page = w.Dlg().GetDevicePage();
  const std::string line =
      "The input source \"later.monitor\" is not available; the default input device is used "
      "instead.";
  ASSERT_TRUE(w.Log().Has(line)) << w.Log().Dump();
  EXPECT_EQ(w.Log().LevelOf(line), 1);
  EXPECT_TRUE(page->SourceName().empty());
  EXPECT_GE(page->InputDevice(), 0);
  const int fallback = page->Position();

  // It comes: chosen again, as saved. It goes: the default again.
  const int module = AddSink("later");
  ASSERT_GE(module, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return page->SourceName() == "later.monitor"; }, 5000));
  EXPECT_TRUE(w.Log().Has("Set Input Device: Monitor of later"));
  Unload(module);
  ASSERT_TRUE(QTest::qWaitFor([&] { return page->SourceName().empty(); }, 5000));
  EXPECT_EQ(page->Position(), fallback);
  EXPECT_TRUE(
      w.Log().Has("The input source \"Monitor of later\" is not available; the default "
                  "input device is used instead."));

  // The name is kept for the next start.
  w.Dlg().ExitSequence();
  EXPECT_NE(ReadFile(w.Home() + "/Config.ini").find("\nInputSourceName=later.monitor\n"),
            std::string::npos);
}
