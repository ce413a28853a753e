// A recording made from the window through the engine, and what follows its
// end: the idle look, the free-space line, and the action after an
// automatic stop (message, balloon, power actions behind the countdown
// confirmation), with logind replaced or unreachable.
#include <gtest/gtest.h>

#include <QtCore/QElapsedTimer>
#include <QtTest/QSignalSpy>
#include <QtTest/QTest>
#include <QtWidgets/QAbstractButton>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QProgressBar>
#include <QtWidgets/QPushButton>

#include <filesystem>

#include "GuiTestSupport.h"
#include "PrivateVirtualAudio.h"
#include "TestSupport.h"
#include "app/MiscPage.h"
#include "components/ui/VisualizePage.h"
#include "widgets/AmpBar.h"
#include "widgets/CountdownMessageBox.h"
#include "widgets/TimeDisplay.h"

using namespace tarvexa;
using namespace tarvexa::test;
namespace fs = std::filesystem;

namespace {

// The sound card of the recording from the card: a private virtual device.
const auto* const gAudio =
    ::testing::AddGlobalTestEnvironment(new PrivateVirtualAudio("gui-recording"));

std::string Input(double seconds) {
  const std::string dir =
      ScratchDir("recording-input-" + std::to_string(static_cast<int>(seconds)));
  return MakeTestWav(dir + "/in.wav", 44100, 2, seconds);
}

// Starts the window with a file input read as fast as the encoder takes it
// (or paced like a sound card).
void StartWithFile(WindowFixture& w, double seconds, bool realTime = false) {
  w.UseInputFile(Input(seconds), realTime);
  ASSERT_TRUE(w.Start());
  w.Dlg().CurrentSettings().OUTPUT.OutputFormat = 1;
  w.Boxes().Clear();
}

}  // namespace

TEST(Recording, AFileRecordingEndsInTheIdleLookWithTheFreeSpaceLine) {
  WindowFixture w("record-file");
  StartWithFile(w, 3.0, true);  // paced: the look while recording lasts long enough to see
  CRecorderDlg& dlg = w.Dlg();
  auto& m = dlg.CurrentSettings().MISC;
  m.ActAftRec = 1;  // a message box, but only after an automatic stop
  QSignalSpy done(&dlg, &CRecorderDlg::afterRecordingActionDone);
  QSignalSpy finished(&dlg, &CRecorderDlg::sessionFinished);
  QSignalSpy clips(&dlg, &CRecorderDlg::clipFinished);
  const std::string out = w.Home() + "/from-window.wav";

  ASSERT_TRUE(dlg.StartRecordingTo(QString::fromStdString(out)));
  EXPECT_TRUE(dlg.IsSessionActive());
  EXPECT_FALSE(dlg.RecordButton()->isEnabled());
  EXPECT_TRUE(dlg.StopButton()->isEnabled());
  EXPECT_FALSE(dlg.StartRecordingTo(QString::fromStdString(out + "2")))
      << "one recording at a time";
  ASSERT_TRUE(finished.wait(20000));

  EXPECT_FALSE(dlg.IsSessionActive());
  EXPECT_TRUE(dlg.RecordButton()->isEnabled());
  EXPECT_FALSE(dlg.PauseButton()->isEnabled());
  EXPECT_FALSE(dlg.StopButton()->isEnabled());
  EXPECT_EQ(dlg.GetTimeDisplay()->Time(), 0);
  EXPECT_EQ(dlg.LeftBar()->Level(), AmpBar::kRestLevel);
  EXPECT_EQ(dlg.RightBar()->Level(), AmpBar::kRestLevel);
  EXPECT_EQ(dlg.Progress()->value(), 1000);
  EXPECT_TRUE(dlg.StatusText(2).startsWith("Free space on ")) << dlg.StatusText(2).toStdString();
  EXPECT_TRUE(dlg.StatusText(2).endsWith(" MB"));

  EXPECT_TRUE(w.Log().Has("Start recording  " + out));
  EXPECT_TRUE(w.Log().Has("Finished recording" + out)) << w.Log().Dump();
  ASSERT_EQ(clips.count(), 1);
  EXPECT_EQ(clips[0][1].toInt(), 30) << "three seconds are thirty blocks";
  const Audio a = ReadAudio(out);
  EXPECT_EQ(a.rate, 44100);
  EXPECT_EQ(a.frames, 3 * 44100);

  // The next recording may start at once. It stops automatically, so its
  // after-recording action (a message box) runs: when it is done, the
  // first recording, which ended with its input, has shown nothing.
  m.Stop = 1;
  m.StopHour = m.StopMin = 0;
  m.StopSec = 1;
  ASSERT_TRUE(dlg.StartRecordingTo(QString::fromStdString(w.Home() + "/second.wav")));
  ASSERT_TRUE(done.wait(20000)) << w.Log().Dump();
  EXPECT_EQ(done.count(), 1);
  ASSERT_EQ(w.Boxes().Seen().size(), 1u) << "an end without auto-stop ran the action too";
  EXPECT_EQ(w.Boxes().Seen()[0].text, "Sound Recording Finished!");
  EXPECT_TRUE(w.Power().calls.empty());
}

TEST(Recording, KeepingAwakeWithoutLogindIsAWarningNotAFailure) {
  WindowFixture w("keep-awake");
  StartWithFile(w, 1.0);
  w.Dlg().CurrentSettings().MISC.PowerAlwOn = 1;
  QSignalSpy finished(&w.Dlg(), &CRecorderDlg::sessionFinished);
  ASSERT_TRUE(w.Dlg().StartRecordingTo(QString::fromStdString(w.Home() + "/awake.wav")));
  ASSERT_TRUE(finished.wait(20000));
  const int warning = w.Log().Find("Warning: the computer may go to sleep");
  ASSERT_GE(warning, 0) << w.Log().Dump();
  EXPECT_EQ(w.Log().Lines()[static_cast<size_t>(warning)].level, 1);
  EXPECT_TRUE(fs::exists(w.Home() + "/awake.wav"));
}

TEST(Recording, AnAutomaticStopShutsDownAfterTheCountdownConfirmation) {
  WindowFixture w("auto-stop-shutdown");
  StartWithFile(w, 10.0);
  CRecorderDlg& dlg = w.Dlg();
  auto& m = dlg.CurrentSettings().MISC;
  m.Stop = 1;
  m.StopHour = 0;
  m.StopMin = 0;
  m.StopSec = 5;
  m.ActAftRec = 7;
  dlg.GetMiscPage()->Load();
  QSignalSpy done(&dlg, &CRecorderDlg::afterRecordingActionDone);

  ASSERT_TRUE(dlg.StartRecordingTo(QString::fromStdString(w.Home() + "/auto.wav")));
  EXPECT_EQ(dlg.Progress()->value(), 0) << "the auto-stop progress starts at nought";
  ASSERT_TRUE(done.wait(20000)) << w.Log().Dump();
  EXPECT_EQ(done[0][0].toInt(), 7);
  EXPECT_TRUE(done[0][1].toBool());

  EXPECT_TRUE(w.Log().Has("Automatically stop recording."));
  ASSERT_EQ(w.Boxes().Seen().size(), 1u);
  const MessageBoxRequest& box = w.Boxes().Seen()[0];
  EXPECT_EQ(box.text, "Shutdown the Computer, Continue?");
  EXPECT_EQ(box.caption, "Tarvexa Sound Recorder");
  EXPECT_EQ(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
  EXPECT_EQ(box.defaultButton, QMessageBox::Ok);
  EXPECT_EQ(box.countdownSeconds, 60);
  EXPECT_EQ(w.Power().calls, std::vector<PowerAction>{PowerAction::PowerOff});
  EXPECT_EQ(ReadAudio(w.Home() + "/auto.wav").frames, 5 * 44100) << "auto-stop keeps its length";
  EXPECT_EQ(dlg.Progress()->value(), 1000);
}

TEST(Recording, EachPowerActionHasItsConfirmationAndCancelDoesNothing) {
  WindowFixture w("power-actions");
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  const struct {
    int action;
    const char* text;
    PowerAction power;
  } rows[] = {
      {3, "Logoff Current User, Continue?", PowerAction::LogOff},
      {4, "Suspend the Computer, Continue?", PowerAction::Suspend},
      {5, "Hibernate the Computer, Continue?", PowerAction::Hibernate},
      {6, "Restart the Computer, Continue?", PowerAction::Reboot},
      {7, "Shutdown the Computer, Continue?", PowerAction::PowerOff},
  };
  for (const auto& row : rows) {
    w.Boxes().Clear();
    w.Power().calls.clear();
    w.Boxes().Queue(QMessageBox::Cancel);
    EXPECT_TRUE(dlg.RunAfterRecordingAction(row.action));
    EXPECT_TRUE(w.Power().calls.empty()) << row.text;
    w.Boxes().Queue(QMessageBox::Ok);
    EXPECT_TRUE(dlg.RunAfterRecordingAction(row.action));
    ASSERT_EQ(w.Boxes().Seen().size(), 2u);
    EXPECT_EQ(w.Boxes().Seen()[1].text, row.text);
    EXPECT_EQ(w.Power().calls, std::vector<PowerAction>{row.power}) << row.text;
  }
}

TEST(Recording, MessageAndBalloonActions) {
  WindowFixture w("message-balloon");
  ASSERT_TRUE(w.Start());
  w.Boxes().Clear();
  EXPECT_TRUE(w.Dlg().RunAfterRecordingAction(1));
  ASSERT_EQ(w.Boxes().Texts(), std::vector<QString>{"Sound Recording Finished!"});
  EXPECT_EQ(w.Boxes().Seen()[0].buttons, QMessageBox::Ok);

  w.Boxes().Clear();
  EXPECT_TRUE(w.Dlg().RunAfterRecordingAction(2));
  EXPECT_TRUE(w.Boxes().Seen().empty());
  if (!w.Dlg().TrayCreated()) {
    // Without a notification area the balloon's text goes to the log.
    EXPECT_EQ(w.Log().LevelOf("Sound Recording Finished!"), 0);
  }
  EXPECT_TRUE(w.Dlg().RunAfterRecordingAction(0));
  EXPECT_TRUE(w.Power().calls.empty());
}

TEST(Recording, AFailedPowerActionIsLogged) {
  WindowFixture w("power-fails");
  ASSERT_TRUE(w.Start());
  w.Power().fail = "Interactive authentication required.";
  EXPECT_FALSE(w.Dlg().RunAfterRecordingAction(6));
  const int line = w.Log().Find("Interactive authentication required.");
  ASSERT_GE(line, 0) << w.Log().Dump();
  EXPECT_EQ(w.Log().Lines()[static_cast<size_t>(line)].level, 2);
}

TEST(Recording, WithoutLogindThePowerActionFailsQuicklyWithALogLine) {
  WindowFixture w("no-logind");
  ASSERT_TRUE(w.Start());
  ASSERT_EQ(std::string(getenv("DBUS_SYSTEM_BUS_ADDRESS")), NoSystemBus());
  w.Dlg().SetSystemPower(nullptr);  // the real logind path, on a bus that is not there
  QElapsedTimer t;
  t.start();
  EXPECT_FALSE(w.Dlg().RunAfterRecordingAction(4));
  EXPECT_LT(t.elapsed(), 10000);
  const int line = w.Log().Find("Could not suspend");
  ASSERT_GE(line, 0) << w.Log().Dump();
  EXPECT_EQ(w.Log().Lines()[static_cast<size_t>(line)].level, 2);
}

TEST(CountdownBox, CountsDownOnItsDefaultButtonAndPressesItAtNought) {
  CountdownMessageBox box(QMessageBox::Warning, "Tarvexa Sound Recorder",
                          "Shutdown the Computer, Continue?", QMessageBox::Ok | QMessageBox::Cancel,
                          QMessageBox::Ok, 2);
  EXPECT_TRUE(box.windowFlags() & Qt::WindowStaysOnTopHint);
  const QString caption = box.DefaultCaption();
  EXPECT_EQ(box.button(QMessageBox::Ok)->text(), caption + " = 2");
  QSignalSpy finished(&box, &QDialog::finished);
  box.open();
  ASSERT_TRUE(QTest::qWaitFor([&] { return box.SecondsLeft() == 1; }, 3000));
  EXPECT_EQ(box.button(QMessageBox::Ok)->text(), caption + " = 1");
  ASSERT_TRUE(finished.wait(3000));
  EXPECT_EQ(finished[0][0].toInt(), QMessageBox::Ok);

  CountdownMessageBox cancelled(QMessageBox::Warning, "c", "t",
                                QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok, 60);
  QSignalSpy cancelledFinished(&cancelled, &QDialog::finished);
  cancelled.open();
  cancelled.button(QMessageBox::Cancel)->click();
  ASSERT_EQ(cancelledFinished.count(), 1);
  EXPECT_EQ(cancelledFinished[0][0].toInt(), QMessageBox::Cancel);
}

TEST(LevelBars, LevelsComeFromEvery128thSample) {
  std::vector<int16_t> block(4410, 0);
  for (size_t i = 0; i < block.size(); i += 2) {
    block[i] = 1000;
    block[i + 1] = -100;
  }
  int l = 0, r = 0;
  AmpBar::LevelsOf(block.data(), block.size(), 2, &l, &r);
  EXPECT_EQ(l, 60);  // 20 log10(1001)
  EXPECT_EQ(r, 40);  // 20 log10(101)
  AmpBar::LevelsOf(block.data(), block.size(), 1, &l, &r);
  EXPECT_EQ(l, r);

  // Only the sampled positions count.
  std::vector<int16_t> sparse(2205, 0);
  for (size_t i = 0; i < sparse.size(); i += 128) sparse[i] = 32767;
  AmpBar::LevelsOf(sparse.data(), sparse.size(), 2, &l, &r);
  EXPECT_EQ(l, 90);
  EXPECT_EQ(r, 0);
  AmpBar::LevelsOf(sparse.data(), 0, 2, &l, &r);
  EXPECT_EQ(l, 0);
}

TEST(Recording, RecordsFromTheSoundCard) {
  ASSERT_TRUE(PrivateVirtualAudio::available) << PrivateVirtualAudio::why;
  WindowFixture w("sound-card");
  ASSERT_TRUE(w.Start());
  ASSERT_FALSE(w.Dlg().InputDevices().empty()) << "the virtual capture device is not listed";
  CRecorderDlg& dlg = w.Dlg();
  auto& s = dlg.CurrentSettings();
  s.OUTPUT.OutputFormat = 1;
  s.OUTPUT.Freq = 7;
  s.OUTPUT.Chan = 2;
  s.MISC.Stop = 1;  // one second, shorter than the page allows
  s.MISC.StopHour = s.MISC.StopMin = 0;
  s.MISC.StopSec = 1;
  s.MISC.ActAftRec = 0;
  QSignalSpy finished(&dlg, &CRecorderDlg::sessionFinished);
  const std::string out = w.Home() + "/card.wav";
  ASSERT_TRUE(dlg.StartRecordingTo(QString::fromStdString(out)));
  ASSERT_TRUE(finished.wait(20000)) << w.Log().Dump();
  EXPECT_TRUE(w.Log().Has("Automatically stop recording.")) << w.Log().Dump();
  EXPECT_FALSE(w.Log().Has("Fail to open input stream.")) << w.Log().Dump();
  EXPECT_GT(ReadAudio(out).frames, 0);
  EXPECT_TRUE(dlg.StatusText(2).startsWith("Free space on "));
}

TEST(Recording, SplitClipsAreAnnouncedAndReported) {
  WindowFixture w("split");
  StartWithFile(w, 12.0);
  CRecorderDlg& dlg = w.Dlg();
  auto& m = dlg.CurrentSettings().MISC;
  m.Split = 1;
  m.SplitHour = m.SplitMin = 0;
  m.SplitSec = 5;
  m.RenameStr = "%of%-%sc%";
  m.Rename = 2;
  dlg.GetMiscPage()->Load();
  QSignalSpy finished(&dlg, &CRecorderDlg::sessionFinished);
  QSignalSpy clips(&dlg, &CRecorderDlg::clipFinished);
  const std::string first = w.Home() + "/talk.wav";
  ASSERT_TRUE(dlg.StartRecordingTo(QString::fromStdString(first)));
  ASSERT_TRUE(finished.wait(20000));

  const std::string second = w.Home() + "/talk-01.wav";
  const std::string third = w.Home() + "/talk-02.wav";
  const int created = w.Log().Find("Creating splitted clip " + second + " ...");
  ASSERT_GE(created, 0) << w.Log().Dump();
  EXPECT_EQ(w.Log().Find("Start recording  " + second), created + 1);
  EXPECT_LT(w.Log().Find("Finished recording" + first), created);
  EXPECT_TRUE(w.Log().Has("Creating splitted clip " + third + " ..."));
  EXPECT_TRUE(w.Log().Has("Finished recording" + third));
  ASSERT_EQ(clips.count(), 3);
  EXPECT_EQ(clips[0][1].toInt(), 50);
  EXPECT_EQ(clips[1][1].toInt(), 50);
  EXPECT_EQ(clips[2][1].toInt(), 20);
  EXPECT_EQ(dlg.OutputPath(), third);
}

// Settings changed while recording reach the recording, as they are read
// live: a level bar switched on shows the input at once, and a changed
// naming rule names the next split clip.
TEST(Recording, SettingsChangedWhileRecordingReachIt) {
  WindowFixture w("live-settings");
  w.UseInputFile(Input(6.0), true);
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  auto& s = dlg.CurrentSettings();
  s.OUTPUT.OutputFormat = 1;
  s.MISC.Split = 1;
  s.MISC.SplitHour = s.MISC.SplitMin = 0;
  s.MISC.SplitSec = 5;
  s.MISC.AmpBar = s.MISC.Vis1 = s.MISC.Vis2 = 0;
  dlg.GetMiscPage()->Load();
  dlg.GetVisualizePage()->Load();
  QSignalSpy finished(&dlg, &CRecorderDlg::sessionFinished);
  const std::string first = w.Home() + "/live.wav";
  ASSERT_TRUE(dlg.StartRecordingTo(QString::fromStdString(first)));
  QTest::qWait(1000);
  EXPECT_EQ(dlg.LeftBar()->Level(), AmpBar::kRestLevel) << "the bars are off";
  dlg.GetVisualizePage()->AmpBarCheck()->setChecked(true);
  s.MISC.RenameStr = "%of%-live-%sc%";
  QTest::qWait(700);
  EXPECT_NE(dlg.LeftBar()->Level(), AmpBar::kRestLevel) << "switched on while recording";
  ASSERT_TRUE(finished.wait(20000));
  EXPECT_TRUE(fs::exists(first));
  EXPECT_TRUE(fs::exists(w.Home() + "/live-live-00001.wav")) << w.Log().Dump();
}
