// Choosing the output format in the main window: the Format button's menu
// with its questions and checks, the question while recording, and the
// options sheet as the window opens it: applied on OK and on Cancel, its
// "Reset", and its values reaching Config.ini at exit.
#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QRadioButton>
#include <QtWidgets/QTreeWidget>

#include <filesystem>

#include "GuiTestSupport.h"
#include "TestSupport.h"
#include "app/MiscPage.h"
#include "config/ConfigStore.h"
#include "formats/FormatCatalogue.h"
#include "formats/ui/EncoderOptionsSheet.h"
#include "formats/ui/FormatMenu.h"
#include "formats/ui/pages/EncoderPages.h"
#include "formats/ui/pages/Mp2Pages.h"
#include "formats/ui/pages/Mp3Pages.h"
#include "platform/Paths.h"

using namespace tarvexa;
using namespace tarvexa::test;
namespace fs = std::filesystem;

namespace {

std::string LongInput() {
  static const std::string path =
      MakeTestWav(ScratchDir("format-choice-input") + "/long.wav", 44100, 2, 60.0);
  return path;
}

// All command texts of a menu and its submenus, in order.
QStringList CommandTexts(const FormatMenu& menu) {
  QStringList texts;
  for (int i = 0; i < menu.CommandCount(); ++i)
    texts << menu.Command(FormatMenu::kFirstCommand + i)->text();
  return texts;
}

EncoderOptionsSheet* OpenSheet(CRecorderDlg& dlg) {
  if (!dlg.OptionsSheet()) dlg.OpenOptions();
  EncoderOptionsSheet* sheet = dlg.OptionsSheet();
  if (sheet) {
    EXPECT_TRUE(QTest::qWaitForWindowExposed(sheet));
  }
  return sheet;
}

}  // namespace

TEST(FormatMenu, EachCommandSetsItsFormatAndTheWindowShowsTheLabel) {
  WindowFixture w("format-menu");
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  FormatMenu* menu = dlg.GetFormatMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(dlg.FormatButton()->menu(), menu);
  EXPECT_EQ(dlg.StatusText(3).toStdString().rfind("MP3:  CBR 128 kbps; 44100 Hz;", 0), 0u)
      << dlg.StatusText(3).toStdString();

  const QStringList texts = CommandTexts(*menu);
  ASSERT_EQ(texts.size(), 40);
  EXPECT_EQ(texts[0], "Set Format: WAV");
  EXPECT_TRUE(texts.contains("Set Format: Ogg FLAC"));
  EXPECT_TRUE(texts.contains("Set Format: WAVEX"));
  EXPECT_EQ(texts.last(), "Set Format: User-Customized");
  EXPECT_LE(FormatMenu::kFirstCommand + texts.size() - 1, 32879);

  w.Boxes().Clear();
  ASSERT_TRUE(menu->Run(menu->CommandFor(kFormatWAV)));
  EXPECT_EQ(dlg.CurrentSettings().OUTPUT.OutputFormat, kFormatWAV);
  EXPECT_EQ(dlg.StatusText(3), "WAV:  Signed 16 bit PCM 44100 Hz;  Stereo;");
  EXPECT_TRUE(w.Log().Has("Set audio format: WAV Signed 16 bit PCM")) << w.Log().Dump();
  EXPECT_EQ(dlg.FormatButton()->text(), "Format: WAV");

  // Triggering the menu entry does the same, and the menu marks the format.
  menu->Command(menu->CommandFor(kFormatCAF))->trigger();
  EXPECT_EQ(dlg.CurrentSettings().OUTPUT.OutputFormat, kFormatCAF);
  EXPECT_TRUE(dlg.StatusText(3).startsWith("CAF:  Signed 8 bit PCM"));
  EXPECT_TRUE(menu->Command(menu->CommandFor(kFormatCAF))->isChecked());
  EXPECT_FALSE(menu->Command(menu->CommandFor(kFormatWAV))->isChecked());

  // MP2 keeps its rates: 8000 Hz stereo becomes 44100 Hz.
  dlg.CurrentSettings().OUTPUT.Freq = 0;
  ASSERT_TRUE(menu->Run(menu->CommandFor(kFormatMP2)));
  EXPECT_EQ(dlg.CurrentSettings().OUTPUT.Freq, 7);
  EXPECT_EQ(dlg.StatusText(3), "MP2:  128 kbps; 44100 Hz;  Auto;");
  EXPECT_TRUE(w.Boxes().Seen().empty());
}

TEST(FormatMenu, OggFlacAacAndUserCustomizedAskOrCheckFirst) {
  WindowFixture w("format-menu-checks");
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  FormatMenu* menu = dlg.GetFormatMenu();
  Settings& s = dlg.CurrentSettings();
  const int oggFlac = menu->CommandFor(kFormatFLAC) + 1;
  ASSERT_EQ(menu->Command(oggFlac)->text(), "Set Format: Ogg FLAC");

  w.Boxes().Clear();
  w.Boxes().Queue(QMessageBox::No);
  EXPECT_FALSE(menu->Run(oggFlac));
  ASSERT_EQ(w.Boxes().Seen().size(), 1u);
  EXPECT_TRUE(w.Boxes().Seen()[0].text.startsWith("     Ogg FLAC is the Compressed FLAC Data"));
  EXPECT_EQ(s.OUTPUT.OutputFormat, kFormatMP3);
  EXPECT_EQ(s.FLAC.Native, 1);

  w.Boxes().Queue(QMessageBox::Yes);
  EXPECT_TRUE(menu->Run(oggFlac));
  EXPECT_EQ(s.OUTPUT.OutputFormat, kFormatFLAC);
  EXPECT_EQ(s.FLAC.Native, 0);
  EXPECT_TRUE(dlg.StatusText(3).contains("Ogg Flac")) << dlg.StatusText(3).toStdString();
  EXPECT_TRUE(menu->Run(menu->CommandFor(kFormatFLAC)));
  EXPECT_EQ(s.FLAC.Native, 1) << "the native entry asks nothing";
  EXPECT_EQ(w.Boxes().Seen().size(), 2u);

  // AAC: plain containers directly; raw AAC after the question; the Nero and
  // CT containers only with their encoders in the External folder.
  w.Boxes().Clear();
  EXPECT_TRUE(menu->Run(menu->CommandFor(kFormatAAC, 2)));
  EXPECT_EQ(s.AAC.ContainerFormat, 2);
  EXPECT_EQ(s.OUTPUT.OutputFormat, kFormatAAC);
  EXPECT_TRUE(w.Boxes().Seen().empty());
  w.Boxes().Queue(QMessageBox::No);
  EXPECT_FALSE(menu->Run(menu->CommandFor(kFormatAAC, 0)));
  EXPECT_EQ(w.Boxes().Seen().back().text,
            "Raw AAC Format is NOT Recommended since it is NOT Seekable and Taggable.\n"
            "                        Do You Wish to Continue?");
  EXPECT_EQ(s.AAC.ContainerFormat, 2);
  ASSERT_FALSE(fs::exists(ProgramFolder() + "/External/neroAacEnc"));
  w.Boxes().Clear();
  EXPECT_FALSE(menu->Run(menu->CommandFor(kFormatAAC, 5)));
  ASSERT_EQ(w.Boxes().Seen().size(), 1u);
  EXPECT_TRUE(w.Boxes().Seen()[0].text.startsWith("Warning: Nero AAC Encoder NOT Found!"));
  EXPECT_EQ(w.Boxes().Seen()[0].icon, QMessageBox::Warning);
  EXPECT_FALSE(menu->Run(menu->CommandFor(kFormatAAC, 8)));
  EXPECT_TRUE(w.Boxes().Seen().back().text.startsWith("Warning: CT AAC+ Encoder NOT Found!"));
  EXPECT_EQ(w.Boxes().Seen().size(), 2u) << "no raw-AAC question without the encoder";
  EXPECT_EQ(s.AAC.ContainerFormat, 2);

  // User-Customized: the encoder's checks; a refusal changes nothing.
  w.Boxes().Clear();
  s.CUSTOM.Encoder = w.Home() + "/no-encoder";
  EXPECT_FALSE(menu->Run(menu->CommandFor(kFormatUserCustomized)));
  EXPECT_EQ(w.Boxes().Texts(), std::vector<QString>{"User-Customized External Encoder Not Found!"});
  EXPECT_EQ(w.Boxes().Seen()[0].icon, QMessageBox::Critical);
  EXPECT_EQ(s.OUTPUT.OutputFormat, kFormatAAC);
  WriteFile(s.CUSTOM.Encoder, "#!/bin/sh\n");
  s.CUSTOM.FileExt = "opus";
  EXPECT_TRUE(menu->Run(menu->CommandFor(kFormatUserCustomized)));
  EXPECT_EQ(dlg.StatusText(3), "User-Customized Format: opus");
  EXPECT_TRUE(w.Log().Has("Set audio format: User-Customized format opus."));
}

TEST(FormatMenu, WhileRecordingTheCommandAsksToStopFirst) {
  WindowFixture w("format-menu-recording");
  w.UseInputFile(LongInput(), true);
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  dlg.CurrentSettings().OUTPUT.OutputFormat = kFormatWAV;
  FormatMenu* menu = dlg.GetFormatMenu();
  ASSERT_TRUE(dlg.StartRecordingTo(QString::fromStdString(w.Home() + "/busy.wav")));
  w.Boxes().Clear();

  w.Boxes().Queue(QMessageBox::No);
  EXPECT_FALSE(menu->Run(menu->CommandFor(kFormatOGG)));
  ASSERT_EQ(
      w.Boxes().Texts(),
      std::vector<QString>{"You MUST Stop Recording to Do the Job! Do You Wish to Continue?"});
  EXPECT_TRUE(dlg.IsRecording());
  EXPECT_EQ(dlg.CurrentSettings().OUTPUT.OutputFormat, kFormatWAV);

  // The options sheet asks the same before it opens.
  w.Boxes().Queue(QMessageBox::No);
  dlg.OpenOptions();
  EXPECT_EQ(dlg.OptionsSheet(), nullptr);
  EXPECT_EQ(w.Boxes().Seen().size(), 2u);

  w.Boxes().Queue(QMessageBox::Yes);
  EXPECT_TRUE(menu->Run(menu->CommandFor(kFormatOGG)));
  EXPECT_FALSE(dlg.IsRecording());
  EXPECT_EQ(dlg.CurrentSettings().OUTPUT.OutputFormat, kFormatOGG);
  EXPECT_EQ(dlg.StatusText(3), "OGG:  Ogg Vorbis Quality : 0.35; Stereo; 44100 Hz;");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.IsSessionActive(); }, 10000));
}

TEST(FormatMenu, OggSettingsRefusedWhenAppliedAreShownAndReset) {
  WindowFixture w("format-menu-ogg");
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  Settings& s = dlg.CurrentSettings();
  s.OUTPUT.Freq = 10;
  s.OGG.Quality = 0;  // 128 kbps average at 96000 Hz
  w.Boxes().Clear();
  FormatMenu* menu = dlg.GetFormatMenu();
  ASSERT_TRUE(menu->Run(menu->CommandFor(kFormatOGG)));
  ASSERT_EQ(w.Boxes().Texts(), std::vector<QString>{"     OGG Audio Format NOT Supported!\n"
                                                    "Please Change the Parameters and Try Again!"});
  EXPECT_EQ(w.Boxes().Seen()[0].icon, QMessageBox::Critical);
  EXPECT_EQ(w.Log().LevelOf("OGG audio format not supported!"), 1);
  EXPECT_EQ(s.OGG.Quality, 1);
  EXPECT_EQ(dlg.StatusText(3), "OGG:  Ogg Vorbis Quality : 0.35; Stereo; 96000 Hz;");
}

TEST(OptionsDialog, TheOptionsButtonOpensTheSheetAndCancelStillAppliesTheFormat) {
  WindowFixture w("options-cancel");
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  QPushButton* options = nullptr;
  for (QPushButton* b : dlg.findChildren<QPushButton*>())
    if (b->text() == "Options") options = b;
  ASSERT_NE(options, nullptr);
  options->click();
  EncoderOptionsSheet* sheet = dlg.OptionsSheet();
  ASSERT_NE(sheet, nullptr);
  EXPECT_TRUE(QTest::qWaitForWindowExposed(sheet));
  EXPECT_TRUE(sheet->isModal());

  // Showing the VBR page chooses VBR; the WAV choice is dropped by Cancel.
  ASSERT_TRUE(sheet->ShowPage("Encoder::MP3::VBR"));
  ASSERT_TRUE(sheet->ShowPage("Encoder::WAV"));
  sheet->PageAs<CWavOption>("Encoder::WAV")->CodecList()->setCurrentIndex(4);
  const int before = static_cast<int>(w.Log().Lines().size());
  sheet->CancelButton()->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.OptionsSheet() == nullptr; }, 2000));
  EXPECT_EQ(dlg.CurrentSettings().MP3.LameTab, 3);
  EXPECT_EQ(dlg.CurrentSettings().WAV.SubFormat, 1);
  EXPECT_EQ(dlg.StatusText(3), "MP3:  VBR   8 ~ 320 kbps;  44100 Hz; Quality 5.00; Joint Stereo;");
  EXPECT_GE(w.Log().Find("Set audio format: MP3.", before), before);
}

TEST(OptionsDialog, ValuesStoredOnOkReachConfigIniAtExit) {
  WindowFixture w("options-ok");
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  EncoderOptionsSheet* sheet = OpenSheet(dlg);
  ASSERT_NE(sheet, nullptr);
  auto* root = sheet->PageAs<CEncoderOption>("Encoder");
  root->FormatList()->setCurrentIndex(kFormatIRCAM - 1);
  root->CodecList()->setCurrentIndex(2);
  root->ExtensionList()->setCurrentIndex(1);
  sheet->ShowPage("Encoder::MP2");
  sheet->PageAs<CMp2Option>("Encoder::MP2")->BitrateList()->setCurrentIndex(14);
  sheet->ShowPage("Encoder::MP3::CBR");
  sheet->PageAs<CLameOptionTab1>("Encoder::MP3::CBR")->BitrateList()->setCurrentIndex(13);
  sheet->ShowPage("Encoder::MP3::Preset");  // preset mode from now on
  sheet->PageAs<CLameOptionTab5>("Encoder::MP3::Preset")->PresetList()->setCurrentIndex(16);
  sheet->OkButton()->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.OptionsSheet() == nullptr; }, 2000));
  EXPECT_EQ(dlg.StatusText(3), "IRCAM:  32 bit float 44100 Hz;  Stereo;");
  EXPECT_TRUE(w.Log().Has("Set audio format: IRCAM 32 bit float"));
  EXPECT_EQ(FileExtensionFor(kFormatIRCAM, dlg.CurrentSettings()), ".sf");

  dlg.ExitSequence();
  const std::string ini = ReadFile(w.Home() + "/Config.ini");
  for (const char* line :
       {"OutputFormat=18", "LameBits=13", "LameTab=5", "LamePreset=16", "Codec5=2", "Ext5=1"})
    EXPECT_NE(ini.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << ini;
  EXPECT_NE(ini.find("[MP2]\nBits=14\n"), std::string::npos) << ini;

  // And they come back at the next start, preset mode included.
  Settings again;
  ASSERT_TRUE(ConfigStore(w.Home() + "/Config.ini").Load(again, nullptr));
  EXPECT_EQ(again.MP3.LameTab, 5);
  EXPECT_EQ(again.MP3.LamePreset, 16);
  EXPECT_EQ(again.OUTPUT.OutputFormat, kFormatIRCAM);
}

TEST(OptionsDialog, ResetDeletesConfigIniAndShowsTheDefaultsEverywhere) {
  WindowFixture w("options-reset");
  WriteFile(w.Home() + "/Config.ini",
            "[OUTPUT]\nOutputFormat=4\n[MP3]\nLameTab=5\nLameBits=3\n[MISC]\nStop=1\n");
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  ASSERT_EQ(dlg.CurrentSettings().MISC.Stop, 1);
  ASSERT_TRUE(dlg.GetMiscPage()->StopAfter()->isChecked());
  EncoderOptionsSheet* sheet = OpenSheet(dlg);
  ASSERT_NE(sheet, nullptr);
  sheet->ShowPage("Encoder::MP3::CBR");
  auto* root = sheet->PageAs<CEncoderOption>("Encoder");
  sheet->ShowPage("Encoder");
  EXPECT_EQ(root->FormatList()->currentIndex(), kFormatOGG - 1);

  w.Boxes().Clear();
  w.Boxes().Queue(QMessageBox::Yes);
  root->ResetButton()->click();
  ASSERT_FALSE(w.Boxes().Seen().empty());
  // (Further boxes may come from the pages taking their defaults, such as
  // the global hotkeys, which are on by default.)
  EXPECT_EQ(w.Boxes().Seen()[0].text, "Reset ALL Options(including the Subpages), Are You Sure?");
  EXPECT_FALSE(fs::exists(w.Home() + "/Config.ini"));
  const Settings& s = dlg.CurrentSettings();
  EXPECT_EQ(s.MP3.LameTab, 1);
  EXPECT_EQ(s.MP3.LameBits, 11);
  EXPECT_EQ(s.OUTPUT.OutputFormat, kFormatMP3);
  EXPECT_EQ(s.MISC.Stop, 0);
  EXPECT_TRUE(dlg.GetMiscPage()->StopManually()->isChecked()) << "the Misc page shows the default";
  EXPECT_EQ(root->FormatList()->currentIndex(), kFormatMP3 - 1);
  EXPECT_EQ(sheet->PageAs<CLameOptionTab1>("Encoder::MP3::CBR")->BitrateList()->currentIndex(), 11);

  sheet->OkButton()->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.OptionsSheet() == nullptr; }, 2000));
  EXPECT_TRUE(dlg.StatusText(3).startsWith("MP3:  CBR 128 kbps;"));
}
