// Start-up and exit of the main window: the order of the stages and their
// log lines, first start without Config.ini, components that cannot be
// created, the tip of the day, and what the exit sequence leaves behind.
#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <QtWidgets/QApplication>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QRadioButton>
#include <QtWidgets/QSpinBox>

#include <filesystem>
#include <fstream>

#include "GuiTestSupport.h"
#include "TestSupport.h"
#include "app/MiscPage.h"
#include "app/TipDlg.h"
#include "components/ComponentRegistry.h"
#include "platform/Paths.h"

using namespace tarvexa;
using namespace tarvexa::test;
namespace fs = std::filesystem;

namespace {

std::string ComponentsDir() { return std::string(TARVEXA_BIN_DIR) + "/components"; }

// A component folder whose registry is the build's own with some entries
// pointing elsewhere.
std::string RegistryWith(const std::string& name, const ComponentEntries& changes) {
  const std::string dir = ScratchDir("components-" + name);
  ComponentEntries entries;
  std::string why;
  EXPECT_EQ(ReadRegistry(InstalledRegistry(ComponentsDir()), &entries, &why), RegistryRead::Ok)
      << why;
  for (const auto& [component, library] : changes) entries[component] = library;
  EXPECT_TRUE(UpdateRegistry(
      InstalledRegistry(dir), [&](ComponentEntries& e) { e = entries; }, &why))
      << why;
  return dir;
}

}  // namespace

TEST(Startup, FirstStartRunsTheStagesInOrderAndCreatesAnEmptyConfig) {
  WindowFixture w("first-start");
  const std::string config = w.Home() + "/Config.ini";
  ASSERT_FALSE(fs::exists(config));
  ASSERT_TRUE(w.Start());

  const auto& log = w.Log();
  const int mainDlg = log.Find("Initializing main dialog...");
  const int components = log.Find("Initializing activeX controls...");
  const int audio = log.Find("Initializing audio devices...");
  const int finished = log.Find("Finished Initialization.");
  ASSERT_GE(mainDlg, 0) << log.Dump();
  EXPECT_LT(mainDlg, components);
  EXPECT_LT(components, audio);
  EXPECT_LT(audio, finished) << log.Dump();
  EXPECT_EQ(log.Lines()[static_cast<size_t>(mainDlg)].level, -1);

  // No device here is a warning that start-up goes past; with devices the
  // count is logged.
  const int found = log.Find("Found ");
  const int none = log.Find("Warning: No Device Found !");
  ASSERT_TRUE(found > audio || none > audio) << log.Dump();
  if (none >= 0) {
    EXPECT_EQ(log.LevelOf("Warning: No Device Found !"), 2);
    EXPECT_TRUE(w.Boxes().Saw("Warning: No Device Found !"));
    EXPECT_EQ(w.Boxes().Seen().front().icon, QMessageBox::Critical);
  }
  // The WMA profile file ships beside the recorder.
  EXPECT_FALSE(log.Has("Warning: WMA profile file")) << log.Dump();
  // The offscreen platform has no notification area: start-up goes on.
  if (!w.Dlg().TrayCreated()) {
    EXPECT_GE(log.Find("notification area"), 0);
  }
  EXPECT_FALSE(log.Has("settings loaded")) << "nothing to load on a first start";

  // An empty Config.ini; the built-in values are used.
  EXPECT_TRUE(fs::exists(config));
  EXPECT_EQ(fs::file_size(config), 0u);
  EXPECT_EQ(w.Dlg().CurrentSettings().MISC.HotKey, 0);

  // The banner opens the log file.
  const std::string file = ReadFile(w.Home() + "/Tarvexa Sound Recorder.log");
  const std::string stars(60, '*');
  EXPECT_EQ(file.rfind(stars + "\n" + stars + "\n" +
                           "***************Tarvexa Sound Recorder 2.1.1******************\n"
                           "Starting Time: ",
                       0),
            0u)
      << file;
  EXPECT_NE(file.find("   Finished Initialization.\n"), std::string::npos);

  // The status fields and their tooltips.
  EXPECT_TRUE(w.Dlg().StatusText(1).endsWith("Finished Initialization."));
  EXPECT_EQ(w.Dlg().StatusToolTip(1), "Last Event:  " + w.Dlg().StatusText(1));
  EXPECT_TRUE(w.Dlg().StatusText(2).startsWith("Free space on "))
      << w.Dlg().StatusText(2).toStdString();
  EXPECT_EQ(w.Dlg().StatusToolTip(2), "Current Status:  " + w.Dlg().StatusText(2));
  EXPECT_FALSE(w.Dlg().StatusText(3).isEmpty());
  EXPECT_EQ(w.Dlg().StatusToolTip(3), "Output Audio Format:  " + w.Dlg().StatusText(3));
  EXPECT_EQ(w.Dlg().CurrentPage(), CRecorderDlg::kLogPage);
}

TEST(Startup, LoadsAnExistingConfigAndHonoursLoggingOff) {
  WindowFixture w("load-config");
  WriteFile(w.Home() + "/Config.ini",
            "[MISC]\nWriteLog=0\nStop=1\nStopHour=1\nStopMin=2\nStopSec=3\nActAftRec=1\n");
  ASSERT_TRUE(w.Start());
  EXPECT_TRUE(w.Log().Has("Tarvexa Sound Recorder settings loaded."));
  // Logging off: the view and the status field get every line, no file is made.
  EXPECT_FALSE(fs::exists(w.Home() + "/Tarvexa Sound Recorder.log"));
  EXPECT_TRUE(w.Dlg().StatusText(1).endsWith("Finished Initialization."));

  MiscPage* misc = w.Dlg().GetMiscPage();
  EXPECT_TRUE(misc->StopAfter()->isChecked());
  EXPECT_EQ(misc->StopTime().hours->value(), 1);
  EXPECT_EQ(misc->StopTime().minutes->value(), 2);
  EXPECT_EQ(misc->StopTime().seconds->value(), 3);
  EXPECT_EQ(misc->ActionList()->currentIndex(), 1);
}

TEST(Startup, AMissingOrUnreadableWmaProfileFileIsAWarningOnly) {
  const std::string dir = ScratchDir("wma-profile-file");
  const std::string broken = dir + "/broken.prx";
  WriteFile(broken, "1|CBR|Windows Media Audio 9.2| only five|44100\n");
  const struct {
    std::string file;
    std::string warning;
  } rows[] = {
      {dir + "/missing.prx", "Warning: WMA profile file " + dir + "/missing.prx not found!"},
      {broken, "Warning: WMA profile file " + broken +
                   " could not be read (line 1: expected 7 fields separated by \"|\", found 5); "
                   "the built-in profiles are used."},
  };
  for (const auto& row : rows) {
    ScopedEnv file("TARVEXA_WMA_PROFILE", row.file);
    WindowFixture w("wma-profile-file");
    ASSERT_TRUE(w.Start());
    EXPECT_EQ(w.Log().LevelOf(row.warning), 1) << w.Log().Dump();
    EXPECT_LT(w.Log().Find(row.warning), w.Log().Find("Initializing audio devices..."));
  }
}

// A recording that an earlier run left unfinished (killed, or the power
// went) is repaired at start, with one line in the log.
TEST(Startup, AFileAnEarlierRunLeftUnfinishedIsRepaired) {
  WindowFixture w("recover");
  const std::string wav = MakeTestWav(w.Home() + "/left.wav", 44100, 2, 1.0);
  const auto whole = fs::file_size(wav);
  { std::ofstream(wav, std::ios::app | std::ios::binary) << "xyz"; }  // a torn last frame
  fs::create_directories(w.Home() + "/Journal");
  WriteFile(w.Home() + "/Journal/1.journal",
            "tarvexa-journal 1\nprocess 1 1\nopen 1 " + wav + "\n");
  ASSERT_TRUE(w.Start());
  EXPECT_EQ(w.Log().LevelOf("Recovered the unfinished recording " + wav +
                            ": the sizes in its header were set from the file's length, cut back "
                            "to its last whole sample frame; it holds 0:01.0 of audio."),
            1)
      << w.Log().Dump();
  EXPECT_EQ(fs::file_size(wav), whole);
  EXPECT_FALSE(fs::exists(w.Home() + "/Journal/1.journal"));
}

TEST(Startup, AMissingComponentEndsStartupAfterTheErrorBox) {
  WindowFixture w("missing-component");
  setenv(
      "TARVEXA_COMPONENT_DIR",
      RegistryWith("missing", {{"SndWMAFile2", ComponentsDir() + "/gone/SndWMAFile2.so"}}).c_str(),
      1);
  EXPECT_FALSE(w.Start(false));
  unsetenv("TARVEXA_COMPONENT_DIR");

  const auto& boxes = w.Boxes().Seen();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Error on CreateInstance ActiveX WMAFile2!");
  EXPECT_EQ(boxes[0].caption, "Error !");
  EXPECT_EQ(boxes[1].text, "Error !");
  EXPECT_EQ(boxes[1].caption, "Error !");
  EXPECT_EQ(boxes[1].icon, QMessageBox::Critical);
  EXPECT_EQ(w.Log().LevelOf("Error on createInstance ActiveX WMAFile2!!"), 2);
  EXPECT_EQ(w.Log().LevelOf("Error on init ActiveX controls!!"), 2);
  EXPECT_LT(w.Log().Find("Error on createInstance ActiveX WMAFile2!!"),
            w.Log().Find("Error on init ActiveX controls!!"));
  EXPECT_FALSE(w.Log().Has("Initializing audio devices...")) << w.Log().Dump();
  EXPECT_FALSE(w.Log().Has("Finished Initialization."));
}

TEST(Startup, EveryComponentIsTriedAndBrokenLibrariesFail) {
  WindowFixture w("broken-components");
  // A library without the entry point, and one that answers for another name.
  const std::string noEntry = "/lib/x86_64-linux-gnu/libm.so.6";
  ASSERT_TRUE(fs::exists(noEntry));
  setenv("TARVEXA_COMPONENT_DIR",
         RegistryWith("broken",
                      {{"SndAudioRecord2", noEntry},
                       {"SndAudioVisualization2", ComponentsDir() + "/SndAudioTransform2.so"}})
             .c_str(),
         1);
  EXPECT_FALSE(w.Start(false));
  unsetenv("TARVEXA_COMPONENT_DIR");

  ASSERT_EQ(w.Boxes().Texts(),
            (std::vector<QString>{"Error on CreateInstance ActiveX AudioRecord2!",
                                  "Can't Create SndAudioVisualisation2 Control!", "Error !"}));
  EXPECT_TRUE(w.Log().Has("Error on createInstance ActiveX AudioRecord2!!"));
  EXPECT_TRUE(w.Log().Has("Error on createInstance ActiveX AudioVisualization2!!"));
  EXPECT_TRUE(w.Log().Has("has no entry point")) << w.Log().Dump();
  EXPECT_TRUE(w.Log().Has("did not create SndAudioVisualization2"));
}

TEST(Startup, TheTipOfTheDayShowsOnceWhenItIsOn) {
  {
    WindowFixture w("tip-on", /*tipAtStartup=*/true);
    ASSERT_TRUE(w.Start());
    TipDlg* tip = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (tip = w.Dlg().findChild<TipDlg*>()) && tip->isVisible(); }, 3000));
    EXPECT_FALSE(tip->TipText().isEmpty());
    EXPECT_NE(tip->TipText(), "Tips file does not exist in the prescribed directory");
    EXPECT_TRUE(tip->ShowAtStartup()->isChecked());
    tip->ShowAtStartup()->setChecked(false);
    tip->accept();
    EXPECT_NE(ReadFile(w.Home() + "/Config.ini").find("Tip=0"), std::string::npos);
  }
  {
    WindowFixture w("tip-off", /*tipAtStartup=*/true);
    WriteFile(w.Home() + "/Config.ini", "[MISC]\nTip=0\n");
    ASSERT_TRUE(w.Start());
    QTest::qWait(1500);
    EXPECT_EQ(w.Dlg().findChild<TipDlg*>(), nullptr);
  }
}

TEST(Startup, TipsSkipCommentsWrapAroundAndTheShippedFileHasMany) {
  const std::string dir = ScratchDir("tips");
  WriteFile(dir + "/Tips.tip", "; comment\n indented\n\tindented\n\nFirst tip\nSecond tip\n");
  QFile file(QString::fromStdString(dir + "/Tips.tip"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QString problem;
  EXPECT_EQ(TipDlg::NextTip(file, &problem), "First tip");
  EXPECT_EQ(TipDlg::NextTip(file, &problem), "Second tip");
  EXPECT_EQ(TipDlg::NextTip(file, &problem), "First tip");

  WriteFile(dir + "/Empty.tip", "; only a comment\n");
  QFile empty(QString::fromStdString(dir + "/Empty.tip"));
  ASSERT_TRUE(empty.open(QIODevice::ReadOnly));
  EXPECT_TRUE(TipDlg::NextTip(empty, &problem).isEmpty());
  EXPECT_EQ(problem, "Trouble reading the tips file");

  QFile shipped(QString::fromStdString(ProgramFolder() + "/Tips.tip"));
  ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
  QStringList tips;
  for (int i = 0; i < 40; ++i) {
    const QString t = TipDlg::NextTip(shipped, &problem);
    if (!tips.contains(t)) tips << t;
  }
  EXPECT_GE(tips.size(), 12);

  ConfigStore store(dir + "/Config.ini");
  TipDlg missing(QString::fromStdString(dir + "/none.tip"), store, 3);
  EXPECT_EQ(missing.TipText(), "Tips file does not exist in the prescribed directory");
  EXPECT_FALSE(missing.NextButton()->isEnabled());
}

TEST(Startup, TheExitSequenceSavesTheSettingsAndClosesTheLog) {
  WindowFixture w("exit");
  ASSERT_TRUE(w.Start());
  w.Dlg().CurrentSettings().MISC.ActAftRec = 4;
  w.Dlg().ExitSequence();
  EXPECT_TRUE(w.Log().Has("Exiting..."));
  EXPECT_FALSE(w.Dlg().isVisible());
  EXPECT_EQ(w.Dlg().result(), 1);

  const std::string config = ReadFile(w.Home() + "/Config.ini");
  EXPECT_NE(config.find("ActAftRec=4"), std::string::npos) << config;
  // A first start writes the built-in values, not the missing-key defaults.
  EXPECT_NE(config.find("HotKey=0"), std::string::npos);
  EXPECT_NE(config.find("[CUSTOM]"), std::string::npos);
  const std::string log = ReadFile(w.Home() + "/Tarvexa Sound Recorder.log");
  ASSERT_GE(log.size(), 6u);
  // The last line, then the five empty lines of the exit.
  EXPECT_EQ(log.substr(log.size() - 16), "Exiting...\n\n\n\n\n\n") << log;
}

TEST(Startup, SettingsThatCannotBeReadOrWrittenAreReportedInABoxAndTheLog) {
  WindowFixture w("config-unreadable");
  const std::string config = w.Home() + "/Config.ini";
  fs::create_directory(config);  // a Config.ini that no one can read or replace
  ASSERT_TRUE(w.Start());
  ASSERT_TRUE(w.Boxes().Saw("Error on loading settings!"));
  EXPECT_EQ(w.Boxes().Seen().front().icon, QMessageBox::Critical);
  EXPECT_EQ(w.Log().LevelOf("Error on loading settings!"), 1);

  w.Boxes().Clear();
  w.Dlg().ExitSequence();
  EXPECT_EQ(w.Boxes().Texts(), std::vector<QString>{QStringLiteral("Error on saving settings!")});
  EXPECT_EQ(w.Log().LevelOf("Error on saving settings!"), 1);
  EXPECT_TRUE(fs::is_directory(config));
}
