// The "Digital Signal Processing" group: amplification and normalisation
// exclude each other, the switches the user clicks are logged, the values
// are stored at once, and a recording made from the window is processed by
// the transform component with the settings of the moment.
#include <gtest/gtest.h>

#include <QtCore/QElapsedTimer>
#include <QtTest/QSignalSpy>
#include <QtTest/QTest>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QSpinBox>

#include <algorithm>
#include <cstdlib>

#include "GuiTestSupport.h"
#include "TestSupport.h"
#include "app/AdvancedPage.h"
#include "app/DspGroup.h"
#include "config/Settings.h"

using namespace tarvexa;
using namespace tarvexa::test;

namespace {

using Lines = std::vector<std::pair<std::string, int>>;
std::pair<std::string, int> Line(const std::string& text) { return {text, 0}; }

int16_t Doubled(int16_t x) { return static_cast<int16_t>(std::clamp(2 * x, -32768, 32767)); }

}  // namespace

TEST(DspGroup, AmplificationAndNormalisationExcludeEachOtherAndOnlyClicksAreLogged) {
  Settings s;
  s.DSP.Amp = 1;
  s.DSP.AmpN = 250;
  Lines lines;
  DspGroup g(s, [&](const std::string& t, int l) { lines.emplace_back(t, l); });
  QSignalSpy changed(&g, &DspGroup::dspChanged);
  g.Load();
  EXPECT_TRUE(lines.empty()) << "showing the settings logs nothing";
  EXPECT_EQ(changed.count(), 0);
  EXPECT_TRUE(g.AmplifyCheck()->isChecked());
  EXPECT_EQ(g.Coefficient()->value(), 250);
  EXPECT_TRUE(g.Coefficient()->isEnabled());
  EXPECT_FALSE(g.Percent()->isEnabled());
  EXPECT_FALSE(g.LevelingCheck()->isEnabled());
  EXPECT_TRUE(g.LevelingCheck()->isChecked()) << "levelling is on by default";

  // Normalisation on: amplification goes off, with one log line only.
  g.NormalizeCheck()->click();
  EXPECT_EQ(lines, (Lines{Line("Enable normalize DSP.")}));
  EXPECT_FALSE(g.AmplifyCheck()->isChecked());
  EXPECT_EQ(s.DSP.Amp, 0);
  EXPECT_EQ(s.DSP.Nor, 1);
  EXPECT_TRUE(g.Percent()->isEnabled());
  EXPECT_FALSE(g.Coefficient()->isEnabled());

  // And the other way round.
  g.AmplifyCheck()->click();
  EXPECT_EQ(lines.back(), Line("Enable amplify DSP."));
  EXPECT_EQ(lines.size(), 2u);
  EXPECT_FALSE(g.NormalizeCheck()->isChecked());
  EXPECT_EQ(s.DSP.Nor, 0);
  EXPECT_EQ(s.DSP.Amp, 1);

  g.AmplifyCheck()->click();
  EXPECT_EQ(lines.back(), Line("Disable amplify DSP."));
  EXPECT_EQ(s.DSP.Amp, 0);
  EXPECT_EQ(s.DSP.Nor, 0) << "switching one off does not switch the other on";

  // Resampling goes with either.
  g.NormalizeCheck()->click();
  g.ResampleCheck()->click();
  EXPECT_EQ(lines.back(), Line("Enable resample DSP."));
  EXPECT_TRUE(g.NormalizeCheck()->isChecked());
  EXPECT_EQ(s.DSP.Res, 1);
  g.ResampleCheck()->click();
  g.NormalizeCheck()->click();
  EXPECT_EQ(lines, (Lines{Line("Enable normalize DSP."), Line("Enable amplify DSP."),
                          Line("Disable amplify DSP."), Line("Enable normalize DSP."),
                          Line("Enable resample DSP."), Line("Disable resample DSP."),
                          Line("Disable normalize DSP.")}));
  EXPECT_EQ(changed.count(), 7);
}

TEST(DspGroup, ValuesKeepTheirRangesAndAreStoredAtOnce) {
  Settings s;
  DspGroup g(s, nullptr);
  g.Load();
  QSignalSpy changed(&g, &DspGroup::dspChanged);
  EXPECT_EQ(g.title(), "Digital Signal Processing");
  EXPECT_EQ(g.Coefficient()->minimum(), 20);
  EXPECT_EQ(g.Coefficient()->maximum(), 500);
  EXPECT_EQ(g.Percent()->minimum(), 0);
  EXPECT_EQ(g.Percent()->maximum(), 100);
  EXPECT_EQ(g.Rate()->minimum(), 20);
  EXPECT_EQ(g.Rate()->maximum(), 500);
  EXPECT_EQ(g.Coefficient()->value(), 100);
  EXPECT_EQ(g.Percent()->value(), 50);
  EXPECT_EQ(g.Rate()->value(), 100);

  g.Coefficient()->setValue(900);
  g.Percent()->setValue(30);
  g.Rate()->setValue(10);
  g.LevelingCheck()->setChecked(false);
  EXPECT_EQ(s.DSP.AmpN, 500);
  EXPECT_EQ(s.DSP.NorN, 30);
  EXPECT_EQ(s.DSP.ResN, 20);
  EXPECT_EQ(s.DSP.NorLev, 0);
  EXPECT_EQ(changed.count(), 4);

  EXPECT_EQ(g.AmplifyCheck()->text(), "Enable Amplification");
  EXPECT_EQ(g.NormalizeCheck()->text(), "Enable Normalization");
  EXPECT_EQ(g.ResampleCheck()->text(), "Enable Resampling");
  EXPECT_EQ(g.LevelingCheck()->text(), "Leveling");
  EXPECT_EQ(g.AmplifyCheck()->toolTip(),
            "Changes the amplitude of the audio data.\r\nIf Amplification coefficient  > 100 then "
            "Volume of audio is increased, otherwise it is decreased. ");
  EXPECT_EQ(g.NormalizeCheck()->toolTip(),
            "Normalizes the audio data.\r\nFor example, choose 30 to compute values needed to "
            "amplify the selection no more than 30 of maximum. ");
  EXPECT_EQ(g.ResampleCheck()->toolTip(),
            "Resamples the audio data. Recalculates the samples using a different rate than which "
            "it was originally created.\r\n If using percentages above 100, the tempo will slow, "
            "while at the same time the pitch will lower. For percentages of 1 to 99, the tempo "
            "will speed up and the pitch will increase. ");
}

TEST(DspGroup, TheWindowRecordsThroughTheTransformWithTheSettingsOfTheMoment) {
  // A 3-second input read in real time; amplification is switched on from
  // the page while the recording runs.
  const std::string dir = ScratchDir("dsp-window-input");
  const std::string input = MakeTestWav(dir + "/in.wav", 44100, 2, 3.0, 0.3);
  WindowFixture w("dsp-window");
  w.UseInputFile(input, true);
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  dlg.CurrentSettings().OUTPUT.OutputFormat = 1;
  DspGroup* g = dlg.GetAdvancedPage()->Dsp();
  ASSERT_NE(g, nullptr);
  g->Load();
  g->Coefficient()->setValue(200);

  QSignalSpy finished(&dlg, &CRecorderDlg::sessionFinished);
  const std::string out = w.Home() + "/live.wav";
  ASSERT_TRUE(dlg.StartRecordingTo(QString::fromStdString(out)));
  QElapsedTimer t;
  t.start();
  while (dlg.Session().Ticks() < 12 && t.elapsed() < 10000) QTest::qWait(20);
  g->AmplifyCheck()->click();
  ASSERT_TRUE(finished.count() > 0 || finished.wait(20000)) << w.Log().Dump();
  EXPECT_TRUE(w.Log().Has("Enable amplify DSP."));

  const Audio in = ReadAudio(input), got = ReadAudio(out);
  ASSERT_EQ(got.samples.size(), in.samples.size());
  size_t first = 0;
  while (first < in.samples.size() && got.samples[first] == in.samples[first]) ++first;
  ASSERT_LT(first, in.samples.size()) << "the change never reached the recording";
  const size_t block = 2 * 4410, edge = first - first % block;
  EXPECT_GE(edge, 5 * block) << "the blocks before the click stay as they were";
  EXPECT_LE(edge, in.samples.size() - 5 * block) << "the blocks after the click are amplified";
  for (size_t i = edge; i < in.samples.size(); ++i)
    ASSERT_EQ(got.samples[i], Doubled(in.samples[i])) << "sample " << i;
}
