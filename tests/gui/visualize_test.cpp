// The "Visualize" page and the displays it drives: its controls and their
// texts, what each switch and choice stores, passes on and logs, the page's
// start with the saved settings, visualizer 2's hold and timer 5, and the
// display blocks of a recording: drawn while the window shows them, only
// dropped while it is minimised.
#include <gtest/gtest.h>

#include <QtCore/QElapsedTimer>
#include <QtTest/QSignalSpy>
#include <QtTest/QTest>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QRadioButton>
#include <algorithm>
#include <cmath>

#include "GuiTestSupport.h"
#include "TestSupport.h"
#include "components/ComponentLoader.h"
#include "components/ui/VisualDisplays.h"
#include "components/ui/VisualizePage.h"
#include "config/Settings.h"
#include "widgets/AmpBar.h"
#include "widgets/VisualizerView.h"

using namespace tarvexa;
using namespace tarvexa::test;

namespace {

struct Parts {
  CRecorderDlg& dlg;
  VisualizePage& page;
  VisualDisplays& displays;
  VisualTypeRole& vis1;
  VisualPresetRole& vis2;
  Settings::MiscSection& misc;
};

Parts Get(WindowFixture& w) {
  CRecorderDlg& dlg = w.Dlg();
  VisualDisplays& d = *dlg.Visuals();
  return {dlg,
          *dlg.GetVisualizePage(),
          d,
          *d.Visualizer1(),
          *d.Visualizer2(),
          dlg.CurrentSettings().MISC};
}

std::vector<int32_t> Properties(VisualPresetRole& v) {
  std::vector<int32_t> p;
  for (int n = 1; n <= 16; ++n) p.push_back(v.Property(n));
  return p;
}

// Visualizer 2's sixteen properties of each preset, written out here so
// that a slip in the program's own table shows.
const std::vector<int32_t> kPresetRows[8] = {
    {0, 1, 1, 0, 0, 55, 1, 2, 1, 200, 10, 80, 60, 0x00FF00, 0xFFFF00, 0xFF0000},
    {1, 0, 0, 3, 1, 435, 0, 1, 0, 200, 10, 60, 0, 0x00FF00, 0xFFFF00, 0xFF0000},
    {1, 1, 1, 3, 1, 220, 1, 2, 1, 2000, 10, 70, 20, 0x00FF00, 0xFFFF00, 0xFF0000},
    {3, 1, 1, 3, 1, 220, 1, 2, 1, 2000, 10, 70, 20, 0x00FF00, 0xFFFF00, 0xFF0000},
    {4, 1, 1, 3, 0, 300, 1, 2, 1, 200, 100, 70, 20, 0x00FF00, 0xFFFF00, 0xFF0000},
    {6, 1, 1, 3, 0, 300, 1, 2, 1, 200, 100, 70, 20, 0x00FF00, 0xFFFF00, 0xFF0000},
    {6, 0, 0, 3, 0, 300, 1, 2, 1, 200, 100, 70, 20, 0x00FF00, 0xFFFF00, 0xFF0000},
    {1, 0, 0, 3, 0, 435, 0, 1, 0, 200, 10, 60, 20, 0xFF8000, 0xFFFF00, 0xFFFFFF},
};

std::vector<int32_t> Row(int preset) { return kPresetRows[preset]; }

void Choose(QComboBox* box, int index) {
  box->setCurrentIndex(index);
  emit box->activated(index);
}

std::string Input(double seconds) {
  const std::string dir =
      ScratchDir("visualize-input-" + std::to_string(static_cast<int>(seconds)));
  return MakeTestWav(dir + "/in.wav", 44100, 2, seconds);
}

}  // namespace

TEST(VisualizePage, ControlsCarryTheirTextsAndTheSavedChoices) {
  WindowFixture w("visualize-controls");
  ASSERT_TRUE(w.Start());
  Parts p = Get(w);
  EXPECT_EQ(p.dlg.Tabs()->widget(CRecorderDlg::kVisualizePage), &p.page);

  std::vector<QString> titles;
  for (QGroupBox* g : p.page.findChildren<QGroupBox*>()) titles.push_back(g->title());
  for (const char* t : {"Visualizer 1", "Visualizer 2", "Amplitude Bar ", "Visual Type"})
    EXPECT_NE(std::find(titles.begin(), titles.end(), QString(t)), titles.end()) << t;
  for (QCheckBox* b : {p.page.Vis1Check(), p.page.Vis2Check(), p.page.AmpBarCheck()})
    EXPECT_EQ(b->text(), "Enable");
  const char* types[] = {"Analog",  "FFTLinear", "FFTNormal",
                         "FFTFire", "FFTGlass",  "FFTKryptonite"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(p.page.TypeButton(i)->text(), types[i]);
  const char* sizes[] = {" 64", " 256", " 1024", " 2048", " 4096", " 8192", "16384"};
  ASSERT_EQ(p.page.BlockSizeList()->count(), 7);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(p.page.BlockSizeList()->itemText(i), sizes[i]);
  ASSERT_EQ(p.page.PresetList()->count(), 8);
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(p.page.PresetList()->itemText(i), QString("Preset %1").arg(i + 1));
  bool blockLabel = false;
  for (QLabel* l : p.page.findChildren<QLabel*>()) blockLabel |= l->text() == "Block Size:";
  EXPECT_TRUE(blockLabel);

  // The built-in values: everything on, FFTLinear, 1024, preset 4.
  EXPECT_TRUE(p.page.Vis1Check()->isChecked());
  EXPECT_TRUE(p.page.Vis2Check()->isChecked());
  EXPECT_TRUE(p.page.AmpBarCheck()->isChecked());
  EXPECT_TRUE(p.page.TypeButton(1)->isChecked());
  EXPECT_EQ(p.page.BlockSizeList()->currentIndex(), 2);
  EXPECT_EQ(p.page.PresetList()->currentIndex(), 3);
  EXPECT_EQ(p.vis1.VisualType(), 1);
  EXPECT_EQ(p.vis1.BlockSize(), 1024);
  EXPECT_EQ(Properties(p.vis2), Row(3));
  EXPECT_FALSE(p.vis2.Hold());

  // The page's start is logged before the end of the start-up.
  const LogLines& log = w.Log();
  const int one = log.Find("Enable audio visualizer 1.");
  const int two = log.Find("Enable audio visualizer 2.");
  const int preset = log.Find("Set Visualization Preset 4");
  const int finished = log.Find("Finished Initialization.");
  ASSERT_GE(one, 0) << log.Dump();
  EXPECT_LT(one, two);
  EXPECT_LT(two, preset);
  EXPECT_LT(preset, finished);
  for (int i : {one, two, preset}) EXPECT_EQ(log.Lines()[static_cast<size_t>(i)].level, 0);
  EXPECT_FALSE(log.Has("amplitude bars")) << "the bars' switch is only set at start";
}

TEST(VisualizePage, StartsFromSavedSettingsWithTheVisualizersOff) {
  WindowFixture w("visualize-saved");
  WriteFile(w.Home() + "/Config.ini",
            "[MISC]\nVis1=0\nVis2=0\nAmpBar=0\nVisTyp=4\nBlockSize=6\nVisPst=7\n");
  ASSERT_TRUE(w.Start());
  Parts p = Get(w);
  EXPECT_FALSE(p.page.Vis1Check()->isChecked());
  EXPECT_FALSE(p.page.Vis2Check()->isChecked());
  EXPECT_FALSE(p.page.AmpBarCheck()->isChecked());
  EXPECT_TRUE(p.page.TypeButton(4)->isChecked());
  for (int i = 0; i < 6; ++i) EXPECT_FALSE(p.page.TypeButton(i)->isEnabled());
  EXPECT_FALSE(p.page.BlockSizeList()->isEnabled());
  EXPECT_FALSE(p.page.PresetList()->isEnabled());
  EXPECT_EQ(p.page.BlockSizeList()->currentIndex(), 6);
  EXPECT_EQ(p.page.PresetList()->currentIndex(), 7);
  // Visualizer 1 takes the saved type and size although it is off.
  EXPECT_EQ(p.vis1.VisualType(), 4);
  EXPECT_EQ(p.vis1.BlockSize(), 16384);
  EXPECT_EQ(Properties(p.vis2), Row(7));
  EXPECT_TRUE(w.Log().Has("Disable audio visualizer 1."));
  EXPECT_TRUE(w.Log().Has("Disable audio visualizer 2."));
  EXPECT_TRUE(w.Log().Has("Set Visualization Preset 8"));
  // Switched off at start: held and timer 5 runs; the preset then released the hold.
  EXPECT_TRUE(p.displays.HoldTimer().isActive());
  EXPECT_FALSE(p.vis2.Hold());
  EXPECT_EQ(p.dlg.LeftBar()->Level(), AmpBar::kRestLevel);
}

TEST(VisualizePage, SwitchesStoreEnableAndLog) {
  WindowFixture w("visualize-switches");
  ASSERT_TRUE(w.Start());
  Parts p = Get(w);
  LogLines& log = w.Log();

  p.page.Vis1Check()->click();
  EXPECT_EQ(p.misc.Vis1, 0);
  EXPECT_EQ(log.LevelOf("Disable audio visualizer 1."), 0);
  for (int i = 0; i < 6; ++i) EXPECT_FALSE(p.page.TypeButton(i)->isEnabled());
  EXPECT_FALSE(p.page.BlockSizeList()->isEnabled());
  EXPECT_TRUE(p.page.PresetList()->isEnabled()) << "visualizer 2 keeps its list";
  p.page.Vis1Check()->click();
  EXPECT_EQ(p.misc.Vis1, 1);
  EXPECT_TRUE(log.Has("Enable audio visualizer 1."));
  EXPECT_TRUE(p.page.TypeButton(5)->isEnabled());
  EXPECT_TRUE(p.page.BlockSizeList()->isEnabled());

  // Visualizer 2 off: held, cleared, and timer 5 lets go of the hold.
  p.displays.HoldTimer().stop();
  p.page.Vis2Check()->click();
  EXPECT_EQ(p.misc.Vis2, 0);
  EXPECT_EQ(log.LevelOf("Disable audio visualizer 2."), 0);
  EXPECT_FALSE(p.page.PresetList()->isEnabled());
  EXPECT_TRUE(p.page.TypeButton(0)->isEnabled());
  EXPECT_TRUE(p.vis2.Hold());
  EXPECT_EQ(p.displays.Visualizer(2)->Frame().points, 0);
  ASSERT_TRUE(p.displays.HoldTimer().isActive());
  EXPECT_EQ(p.displays.HoldTimer().interval(), 8000);
  EXPECT_TRUE(p.displays.HoldTimer().isSingleShot());
  p.displays.HoldTimer().start(10);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !p.vis2.Hold(); }, 2000));
  p.page.Vis2Check()->click();
  EXPECT_EQ(p.misc.Vis2, 1);
  EXPECT_TRUE(log.Has("Enable audio visualizer 2."));
  EXPECT_TRUE(p.page.PresetList()->isEnabled());

  // The bars: off puts both at rest.
  p.dlg.LeftBar()->SetLevel(60);
  p.dlg.RightBar()->SetLevel(40);
  p.page.AmpBarCheck()->click();
  EXPECT_EQ(p.misc.AmpBar, 0);
  EXPECT_EQ(log.LevelOf("Disable amplitude bars."), 0);
  EXPECT_EQ(p.dlg.LeftBar()->Level(), AmpBar::kRestLevel);
  EXPECT_EQ(p.dlg.RightBar()->Level(), AmpBar::kRestLevel);
  p.page.AmpBarCheck()->click();
  EXPECT_EQ(p.misc.AmpBar, 1);
  EXPECT_TRUE(log.Has("Enable amplitude bars."));
}

TEST(VisualizePage, ChoicesReachTheVisualizers) {
  WindowFixture w("visualize-choices");
  ASSERT_TRUE(w.Start());
  Parts p = Get(w);

  for (int type : {0, 5, 3, 2, 4, 1}) {
    p.page.TypeButton(type)->click();
    EXPECT_EQ(p.misc.VisTyp, type);
    EXPECT_EQ(p.vis1.VisualType(), type);
    EXPECT_TRUE(p.page.TypeButton(type)->isChecked());
  }

  const int sizes[] = {64, 256, 1024, 2048, 4096, 8192, 16384};
  for (int i : {6, 0, 3, 1, 5, 2, 4}) {
    Choose(p.page.BlockSizeList(), i);
    EXPECT_EQ(p.misc.BlockSize, i);
    EXPECT_EQ(p.vis1.BlockSize(), sizes[i]);
    EXPECT_EQ(VisualizePage::BlockSizeOf(i), sizes[i]);
  }
  EXPECT_EQ(VisualizePage::BlockSizeOf(7), 0);

  // Every preset sets all sixteen properties and releases the hold.
  for (int preset : {0, 7, 1, 6, 2, 5, 3, 4}) {
    p.vis2.SetHold(true);
    Choose(p.page.PresetList(), preset);
    EXPECT_EQ(p.misc.VisPst, preset);
    EXPECT_EQ(Properties(p.vis2), Row(preset)) << "preset " << preset + 1;
    EXPECT_FALSE(p.vis2.Hold());
    const std::string line = "Set Visualization Preset " + std::to_string(preset + 1);
    EXPECT_EQ(w.Log().Lines().back().text, line);
    EXPECT_EQ(w.Log().Lines().back().level, 0);
  }
  EXPECT_EQ(VisualizePage::Preset(8), nullptr);

  // An index outside the table sets no property but is still logged.
  const std::vector<int32_t> before = Properties(p.vis2);
  p.misc.VisPst = 9;
  p.vis2.SetHold(true);
  p.page.ApplyPreset();
  EXPECT_EQ(Properties(p.vis2), before);
  EXPECT_FALSE(p.vis2.Hold());
  EXPECT_EQ(w.Log().Lines().back().text, "Set Visualization Preset 10");
}

TEST(VisualDisplays, ARecordingIsDrawnAndEndsHeldAndAtRest) {
  WindowFixture w("visualize-recording");
  w.UseInputFile(Input(2.0), true);
  ASSERT_TRUE(w.Start());
  Parts p = Get(w);
  p.page.TypeButton(2)->click();
  p.dlg.CurrentSettings().OUTPUT.OutputFormat = 1;
  QSignalSpy finished(&p.dlg, &CRecorderDlg::sessionFinished);
  const int paints1 = p.displays.View(1)->PaintCount();
  const int paints2 = p.displays.View(2)->PaintCount();

  ASSERT_TRUE(p.dlg.StartRecordingTo(QString::fromStdString(w.Home() + "/shown.wav")));
  int liveLevel = 0;
  int livePoints = 0;
  QElapsedTimer t;
  t.start();
  while (finished.isEmpty() && t.elapsed() < 20000) {
    QTest::qWait(50);
    if (p.dlg.LeftBar()->Level() != AmpBar::kRestLevel) liveLevel = p.dlg.LeftBar()->Level();
    livePoints = std::max(livePoints, p.displays.Visualizer(1)->Frame().points);
  }
  ASSERT_FALSE(finished.isEmpty());
  const VisualDisplays::Counters& c = p.displays.Count();
  EXPECT_EQ(c.blocks, 20);
  EXPECT_GE(c.shown, 18) << "real time: the window draws nearly every block";
  EXPECT_EQ(c.levels, c.shown);
  EXPECT_EQ(c.fed1, c.shown);
  EXPECT_EQ(c.fed2, c.shown);
  EXPECT_GT(p.displays.View(1)->PaintCount(), paints1 + 5);
  EXPECT_GT(p.displays.View(2)->PaintCount(), paints2 + 5);
  // A half-scale tone: 20 log10 of its mean size, in the seventies.
  EXPECT_GE(liveLevel, 70);
  EXPECT_LE(liveLevel, 85);
  EXPECT_GT(livePoints, 0);

  // The end: visualizer 1 empty, visualizer 2 held, timer 5, bars at rest.
  EXPECT_EQ(p.displays.Visualizer(1)->Frame().points, 0);
  EXPECT_TRUE(p.vis2.Hold());
  EXPECT_TRUE(p.displays.HoldTimer().isActive());
  EXPECT_EQ(p.dlg.LeftBar()->Level(), AmpBar::kRestLevel);
  EXPECT_EQ(p.dlg.RightBar()->Level(), AmpBar::kRestLevel);
}

TEST(VisualDisplays, AMinimisedWindowDrawsNothingButTakesEveryBlock) {
  WindowFixture w("visualize-minimised");
  w.UseInputFile(Input(3.0), false);
  ASSERT_TRUE(w.Start());
  Parts p = Get(w);
  p.dlg.CurrentSettings().OUTPUT.OutputFormat = 1;
  p.dlg.showMinimized();
  ASSERT_TRUE(p.dlg.isMinimized());
  QTest::qWait(50);
  const int paints1 = p.displays.View(1)->PaintCount();
  const int paints2 = p.displays.View(2)->PaintCount();
  QSignalSpy finished(&p.dlg, &CRecorderDlg::sessionFinished);
  // What the views had painted when the recording's last block had been
  // taken (the end of a recording resets them, and that may paint).
  int atEnd1 = -1, atEnd2 = -1;
  QObject::connect(&p.dlg, &CRecorderDlg::sessionFinished, [&] {
    atEnd1 = p.displays.View(1)->PaintCount();
    atEnd2 = p.displays.View(2)->PaintCount();
  });

  ASSERT_TRUE(p.dlg.StartRecordingTo(QString::fromStdString(w.Home() + "/minimised.wav")));
  ASSERT_TRUE(finished.wait(20000));
  const VisualDisplays::Counters& c = p.displays.Count();
  EXPECT_EQ(c.blocks, 30) << "every block of three seconds was taken";
  EXPECT_EQ(c.shown, 0);
  EXPECT_EQ(c.levels, 0);
  EXPECT_EQ(c.fed1, 0);
  EXPECT_EQ(c.fed2, 0);
  EXPECT_EQ(atEnd1, paints1);
  EXPECT_EQ(atEnd2, paints2);
  EXPECT_EQ(p.dlg.LeftBar()->Level(), AmpBar::kRestLevel);
  const Audio a = ReadAudio(w.Home() + "/minimised.wav");
  EXPECT_EQ(a.frames, 3 * 44100) << "the recording itself is whole";
}

TEST(VisualDisplays, SwitchingOffDuringARecordingStopsAtTheNextBlock) {
  WindowFixture w("visualize-switch-off");
  w.UseInputFile(Input(3.0), true);
  ASSERT_TRUE(w.Start());
  Parts p = Get(w);
  p.dlg.CurrentSettings().OUTPUT.OutputFormat = 1;
  QSignalSpy finished(&p.dlg, &CRecorderDlg::sessionFinished);
  const VisualDisplays::Counters& c = p.displays.Count();

  ASSERT_TRUE(p.dlg.StartRecordingTo(QString::fromStdString(w.Home() + "/switch.wav")));
  ASSERT_TRUE(QTest::qWaitFor([&] { return c.fed2 >= 5; }, 10000));
  p.page.Vis2Check()->click();
  p.page.AmpBarCheck()->click();
  const int fed2 = c.fed2, levels = c.levels, fed1 = c.fed1;
  ASSERT_TRUE(QTest::qWaitFor([&] { return c.fed1 >= fed1 + 5; }, 10000));
  EXPECT_EQ(c.fed2, fed2);
  EXPECT_EQ(c.levels, levels);
  EXPECT_EQ(p.dlg.LeftBar()->Level(), AmpBar::kRestLevel);
  // Cleared when switched off: no bars, only the held peak marks.
  const VisualFrame& f = p.displays.Visualizer(2)->Frame();
  EXPECT_TRUE(p.vis2.Hold());
  ASSERT_GT(f.points, 0);
  EXPECT_EQ(*std::max_element(f.values, f.values + f.rows * f.points), 0.0f);
  ASSERT_NE(f.peaks, nullptr);
  EXPECT_GT(*std::max_element(f.peaks, f.peaks + f.rows * f.points), 0.0f);
  p.dlg.StopRecording();
  ASSERT_TRUE(finished.wait(10000));
}

// Every visual type and every preset draws something for a tone, and an
// empty display again once cleared.
TEST(VisualizerView, EveryTypeAndPresetDrawsABlockAndClearsAgain) {
  ComponentHandle one, two;
  std::string error;
  ASSERT_TRUE(one.Create("SndAudioVisualization2", ComponentFolder(), &error)) << error;
  ASSERT_TRUE(two.Create("SndAudioVisualizationEx2", ComponentFolder(), &error)) << error;
  auto* vis1 = one.As<VisualizationRole>(kRoleVisualization);
  auto* types = one.As<VisualTypeRole>(kRoleVisualType);
  auto* vis2 = two.As<VisualizationRole>(kRoleVisualization);
  auto* presets = two.As<VisualPresetRole>(kRoleVisualPreset);
  ASSERT_TRUE(vis1 && types && vis2 && presets);
  EXPECT_EQ(two.As<VisualTypeRole>(kRoleVisualType), nullptr);
  EXPECT_EQ(one.As<VisualPresetRole>(kRoleVisualPreset), nullptr);

  // A chord of three tones, as a display block of 44.1 kHz stereo.
  std::vector<int16_t> block(2205);
  for (size_t i = 0; i < block.size(); ++i) {
    const double t = static_cast<double>(i / 2) / 44100;
    block[i] =
        static_cast<int16_t>(6000 * (std::sin(2 * M_PI * 220 * t) + std::sin(2 * M_PI * 1500 * t) +
                                     std::sin(2 * M_PI * 6000 * t)));
  }
  auto check = [&](VisualizationRole* v, const std::string& what) {
    VisualizerView view;
    view.resize(240, 96);
    view.SetVisualization(v);
    v->SetFormat(44100, 2);
    v->Clear();
    const QImage empty = view.grab().toImage();
    for (int n = 0; n < 3; ++n) {
      v->Feed(block.data(), static_cast<int>(block.size()));
      view.grab();  // the waterfall adds a column per block it paints
    }
    const QImage drawn = view.grab().toImage();
    EXPECT_NE(drawn, empty) << what << " drew nothing";
    v->Clear();
    if (presets->Hold()) presets->SetHold(false);
    EXPECT_EQ(view.grab().toImage(), empty) << what << " is not empty after a clear";
  };
  for (int type = 0; type < 6; ++type) {
    types->SetVisualType(type);
    check(vis1, "type " + std::to_string(type));
  }
  for (int preset = 0; preset < 8; ++preset) {
    for (int n = 1; n <= 16; ++n) presets->SetProperty(n, Row(preset)[static_cast<size_t>(n - 1)]);
    check(vis2, "preset " + std::to_string(preset + 1));
  }
}
