// The "Encoder Options" sheet on its own: the tree of pages, what each page
// loads, refuses and stores, the root page's format, codec and extension
// lists with the user-customised encoder's checks, and "Reset".
#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPlainTextEdit>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QSlider>
#include <QtWidgets/QSpinBox>
#include <QtWidgets/QTreeWidget>
#include <QtWidgets/QTreeWidgetItemIterator>

#include "GuiTestSupport.h"
#include "TestSupport.h"
#include "config/ConfigStore.h"
#include "encoders/ogg/OggVorbisWriter.h"
#include "formats/FormatCatalogue.h"
#include "formats/ui/EncoderOptionsSheet.h"
#include "formats/ui/OptionPage.h"
#include "formats/ui/pages/EncoderPages.h"
#include "formats/ui/pages/FlacPages.h"
#include "formats/ui/pages/Mp2Pages.h"
#include "formats/ui/pages/Mp3Pages.h"
#include "formats/ui/pages/OggPages.h"
#include "formats/ui/pages/WvPages.h"

using namespace tarvexa;
using namespace tarvexa::test;

namespace {

// A sheet over its own settings, with the event log as a list and a reset
// that works on a Config.ini of its own.
struct Sheet {
  explicit Sheet(const std::string& name)
      : store(ScratchDir("sheet-" + name) + "/Config.ini"),
        sheet(
            settings,
            [this](const std::string& t, int l) {
              log.push_back({t, l});
            },
            [this] {
              ++resets;
              store.Reset(settings, nullptr);
            }) {}

  template <class T>
  T* Show(const char* title) {
    EXPECT_TRUE(sheet.ShowPage(QString::fromUtf8(title))) << title;
    return sheet.PageAs<T>(QString::fromUtf8(title));
  }

  Settings settings;
  ConfigStore store;
  std::vector<LogLine> log;
  int resets = 0;
  EncoderOptionsSheet sheet;
};

QStringList Items(const QComboBox* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
  return items;
}

// "Encoder/MP3/CBR" for every item of the tree, in order.
QStringList TreePaths(QTreeWidget* tree) {
  QStringList paths;
  for (QTreeWidgetItemIterator it(tree); *it; ++it) {
    QString path = (*it)->text(0);
    for (QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent()) path = p->text(0) + "/" + path;
    paths << path;
  }
  return paths;
}

}  // namespace

TEST(OptionsSheet, TheTreeHoldsEveryPageAndOpensOnTheRoot) {
  BoxAnswers boxes;
  Sheet s("tree");
  EXPECT_EQ(s.sheet.windowTitle(), "Encoder Options");
  EXPECT_EQ(TreePaths(s.sheet.Tree()), QStringList({"Encoder",
                                                    "Encoder/WAV",
                                                    "Encoder/MP3",
                                                    "Encoder/MP3/CBR",
                                                    "Encoder/MP3/Filtering",
                                                    "Encoder/MP3/VBR",
                                                    "Encoder/MP3/Expert",
                                                    "Encoder/MP3/Preset",
                                                    "Encoder/WMA",
                                                    "Encoder/OGG",
                                                    "Encoder/APE",
                                                    "Encoder/FLAC",
                                                    "Encoder/MP2",
                                                    "Encoder/VQF",
                                                    "Encoder/AIFF",
                                                    "Encoder/AAC",
                                                    "Encoder/AAC/FAAC",
                                                    "Encoder/AAC/Nero",
                                                    "Encoder/AAC/CT",
                                                    "Encoder/MPC",
                                                    "Encoder/WV",
                                                    "Encoder/WV/Hybrid",
                                                    "Encoder/Customized"}));
  for (OptionPage* p : s.sheet.Pages()) {
    EXPECT_EQ(s.sheet.Page(p->Title()), p);
    EXPECT_EQ(p->IsLoaded(), p->Title() == "Encoder") << p->Title().toStdString();
  }
  ASSERT_NE(s.sheet.CurrentPage(), nullptr);
  EXPECT_EQ(s.sheet.CurrentPage()->Title(), "Encoder");

  // Choosing a page in the tree shows it, loaded from the settings.
  s.settings.WAV.SubFormat = 4;
  QTreeWidgetItem* wav = s.sheet.Tree()->topLevelItem(0)->child(0);
  s.sheet.Tree()->setCurrentItem(wav);
  ASSERT_EQ(s.sheet.CurrentPage()->Title(), "Encoder::WAV");
  EXPECT_EQ(s.sheet.PageAs<CWavOption>("Encoder::WAV")->CodecList()->currentIndex(), 4);
  EXPECT_FALSE(s.sheet.ShowPage("Encoder::NoSuchPage"));
  EXPECT_TRUE(boxes.Seen().empty());
}

TEST(OptionsSheet, TheRootPageOffersCodecAndExtensionOnlyForTheFurtherSoundFileFormats) {
  BoxAnswers boxes;
  Sheet s("root");
  auto* root = s.sheet.PageAs<CEncoderOption>("Encoder");
  QComboBox* format = root->FormatList();
  ASSERT_EQ(format->count(), 31);
  EXPECT_EQ(format->itemText(0), " WAV    (Waveform Audio)");
  EXPECT_EQ(format->itemText(30), " User-Customized Format");
  EXPECT_EQ(format->currentIndex(), 1) << "MP3 by default";
  EXPECT_EQ(Items(root->RecordingThreadList()),
            QStringList(
                {" Default", " Lowest", " Below Normal", " Normal", " Above Normal", " Highest"}));

  // WAV to WV have pages of their own; so has User-Customized.
  for (int index : {0, 1, 8, 11}) {
    format->setCurrentIndex(index);
    EXPECT_FALSE(root->CodecList()->isEnabled()) << index;
    EXPECT_EQ(root->CodecList()->count(), 0) << index;
    EXPECT_FALSE(root->ExtensionList()->isEnabled()) << index;
    EXPECT_EQ(root->ExtensionList()->count(), 0) << index;
  }

  // AU and SVX take their slots; a choice survives a look at another format.
  s.settings.OTHER.Codec[0] = 6;
  s.settings.OTHER.Ext[3] = 2;
  root->LoadPage();
  format->setCurrentIndex(kFormatAU - 1);
  EXPECT_TRUE(root->CodecList()->isEnabled());
  EXPECT_EQ(
      Items(root->CodecList()),
      QStringList({" Signed 8 bit PCM", " Signed 16 bit PCM", " Signed 24 bit PCM",
                   " Signed 32 bit PCM", " 32 bit float", " 64 bit double", " u-law", " A-law",
                   " G721 ADPCM 32kbps", " G723 ADPCM 24kbps", " G723 ADPCM 40kbps"}));
  EXPECT_EQ(root->CodecList()->currentIndex(), 6);
  EXPECT_EQ(Items(root->ExtensionList()), QStringList({" au", " snd"}));
  root->ExtensionList()->setCurrentIndex(1);
  format->setCurrentIndex(kFormatSVX - 1);
  EXPECT_EQ(Items(root->ExtensionList()), QStringList({" svx", " 8svx", " iff"}));
  EXPECT_EQ(root->ExtensionList()->currentIndex(), 2);
  format->setCurrentIndex(kFormatAVR - 1);
  EXPECT_EQ(root->CodecList()->count(), 3) << "the fourth AVR code is not offered";
  format->setCurrentIndex(kFormatAU - 1);
  EXPECT_EQ(root->ExtensionList()->currentIndex(), 1);

  // Accepting stores the format, that format's slots and the priorities.
  root->CodecList()->setCurrentIndex(2);
  root->RecordingThreadList()->setCurrentIndex(5);
  root->EncodingThreadList()->setCurrentIndex(3);
  s.sheet.accept();
  EXPECT_EQ(s.sheet.result(), QDialog::Accepted);
  EXPECT_EQ(s.settings.OUTPUT.OutputFormat, kFormatAU);
  EXPECT_EQ(s.settings.OTHER.Codec[0], 2);
  EXPECT_EQ(s.settings.OTHER.Ext[0], 1);
  EXPECT_EQ(s.settings.OTHER.Ext[3], 2);
  EXPECT_EQ(s.settings.MISC.RecPro, 5);
  EXPECT_EQ(s.settings.MISC.EncPro, 3);
  EXPECT_EQ(FileExtensionFor(kFormatAU, s.settings), ".snd");
  EXPECT_TRUE(boxes.Seen().empty());
}

TEST(OptionsSheet, UserCustomizedIsRefusedUntilItsEncoderIsComplete) {
  BoxAnswers boxes;
  Sheet s("custom");
  auto* root = s.sheet.PageAs<CEncoderOption>("Encoder");
  const std::string dir = ScratchDir("sheet-custom-encoder");
  const std::string program = dir + "/encoder";
  WriteFile(program, "#!/bin/sh\n");

  struct Case {
    std::string encoder, parameter, ext;
    const char* refusal;
  };
  for (const Case& c :
       {Case{dir + "/missing", "-V0 - %of%", "mp3", "User-Customized External Encoder Not Found!"},
        Case{dir, "-V0 - %of%", "mp3", "User-Customized External Encoder Not Found!"},
        Case{program, "", "mp3", "Null User-Customized External Encoder Parameters!"},
        Case{program, "-V0 - %of%", "", "User-Customized Format File Extension Not Specified!"}}) {
    SCOPED_TRACE(c.refusal);
    boxes.Clear();
    s.settings.CUSTOM = {c.encoder, c.parameter, c.ext, 0, 1};
    root->FormatList()->setCurrentIndex(kFormatAU - 1);
    root->FormatList()->setCurrentIndex(30);
    ASSERT_EQ(boxes.Texts(), std::vector<QString>{c.refusal});
    EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(root->FormatList()->currentIndex(), 1) << "back to MP3";
    EXPECT_FALSE(root->CodecList()->isEnabled());
    EXPECT_FALSE(root->ExtensionList()->isEnabled());
  }

  boxes.Clear();
  s.settings.CUSTOM = {program, "-V0 - %of%", "mp3", 0, 1};
  root->FormatList()->setCurrentIndex(30);
  EXPECT_TRUE(boxes.Seen().empty());
  EXPECT_EQ(root->FormatList()->currentIndex(), 30);
  EXPECT_FALSE(root->CodecList()->isEnabled());
  s.sheet.accept();
  EXPECT_EQ(s.settings.OUTPUT.OutputFormat, kFormatUserCustomized);
}

TEST(OptionsSheet, ResetAsksThenGivesEveryOpenedPageTheDefaults) {
  BoxAnswers boxes;
  Sheet s("reset");
  s.settings.WAV.SubFormat = 7;
  s.settings.OUTPUT.OutputFormat = kFormatOGG;
  s.settings.MP3.LameBits = 3;
  auto* cbr = s.Show<CLameOptionTab1>("Encoder::MP3::CBR");
  EXPECT_EQ(cbr->BitrateList()->currentIndex(), 3);
  auto* vbr = s.Show<CLameOptionTab3>("Encoder::MP3::VBR");
  ASSERT_EQ(s.settings.MP3.LameTab, 3);
  vbr->CodingModeList()->setCurrentIndex(4);
  auto* root = s.Show<CEncoderOption>("Encoder");
  root->LoadPage();  // opened with the sheet, before the format was changed
  WriteFile(s.store.Path(), "[MP3]\nLameBits=9\n");

  boxes.Queue(QMessageBox::No);
  root->ResetButton()->click();
  ASSERT_EQ(boxes.Texts(),
            std::vector<QString>{"Reset ALL Options(including the Subpages), Are You Sure?"});
  EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::Question);
  EXPECT_EQ(boxes.Seen()[0].buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(s.resets, 0);
  EXPECT_EQ(s.settings.MP3.LameTab, 3);
  EXPECT_EQ(root->FormatList()->currentIndex(), kFormatOGG - 1);

  boxes.Queue(QMessageBox::Yes);
  root->ResetButton()->click();
  EXPECT_EQ(s.resets, 1);
  EXPECT_FALSE(std::filesystem::exists(s.store.Path()));
  EXPECT_EQ(s.settings.MP3.LameTab, 1);
  EXPECT_EQ(s.settings.MP3.LameBits, 11);
  EXPECT_EQ(s.settings.AIFF.SubFormat, 0) << "the missing-key default, not the built-in 2";
  // Opened pages show the defaults, pending changes included.
  EXPECT_EQ(root->FormatList()->currentIndex(), kFormatMP3 - 1);
  EXPECT_EQ(cbr->BitrateList()->currentIndex(), 11);
  EXPECT_EQ(vbr->CodingModeList()->currentIndex(), 2);
  EXPECT_TRUE(vbr->QualitySlider()->isEnabled()) << "stabilized after the reload";
  // A page opened later loads the defaults too.
  EXPECT_EQ(s.Show<CWavOption>("Encoder::WAV")->CodecList()->currentIndex(), 1);
}

TEST(OptionsSheet, WavAndAiffPagesLoadAndStoreTheirLists) {
  BoxAnswers boxes;
  Sheet s("wav-aiff");
  s.settings.AIFF.SubFormat = 13;
  s.settings.AIFF.Ext = 1;
  auto* wav = s.Show<CWavOption>("Encoder::WAV");
  ASSERT_EQ(wav->CodecList()->count(), 12);
  EXPECT_EQ(wav->CodecList()->itemText(0), " Unsigned 8 bit PCM");
  EXPECT_EQ(wav->CodecList()->itemText(11), " G721 ADPCM 32kbps");
  EXPECT_EQ(wav->CodecList()->currentIndex(), 1);
  auto* aiff = s.Show<CAiffOption>("Encoder::AIFF");
  ASSERT_EQ(aiff->CodecList()->count(), 14);
  EXPECT_EQ(aiff->CodecList()->itemText(13), " 24 bit DWVW");
  EXPECT_EQ(aiff->CodecList()->currentIndex(), 13);
  EXPECT_EQ(Items(aiff->ExtensionList()), QStringList({" AIFF", " AIFC", " AIF"}));
  EXPECT_EQ(aiff->ExtensionList()->currentIndex(), 1);

  wav->CodecList()->setCurrentIndex(10);
  aiff->CodecList()->setCurrentIndex(2);
  aiff->ExtensionList()->setCurrentIndex(2);
  EXPECT_TRUE(wav->IsModified());
  s.sheet.accept();
  EXPECT_EQ(s.settings.WAV.SubFormat, 10);
  EXPECT_EQ(s.settings.AIFF.SubFormat, 2);
  EXPECT_EQ(s.settings.AIFF.Ext, 2);
}

TEST(OptionsSheet, CancelStoresNothing) {
  BoxAnswers boxes;
  Sheet s("cancel");
  s.Show<CWavOption>("Encoder::WAV")->CodecList()->setCurrentIndex(9);
  s.Show<CMp2Option>("Encoder::MP2")->BitrateList()->setCurrentIndex(17);
  s.Show<CEncoderOption>("Encoder")->FormatList()->setCurrentIndex(0);
  s.sheet.CancelButton()->click();
  EXPECT_EQ(s.sheet.result(), QDialog::Rejected);
  EXPECT_EQ(s.settings.WAV.SubFormat, 1);
  EXPECT_EQ(s.settings.MP2.Bits, 11);
  EXPECT_EQ(s.settings.OUTPUT.OutputFormat, kFormatMP3);
}

TEST(Mp3Pages, ShowingAModePageChoosesTheModeAndTheCaptionsFollowTheSliders) {
  BoxAnswers boxes;
  Sheet s("mp3-modes");
  s.settings.MP3.LameTab = 5;
  s.Show<CLameOption>("Encoder::MP3");
  s.Show<CLameOptionTab2>("Encoder::MP3::Filtering");
  s.Show<CLameOptionTab4>("Encoder::MP3::Expert");
  EXPECT_EQ(s.settings.MP3.LameTab, 5) << "the parent, Filtering and Expert pages choose no mode";
  auto* cbr = s.Show<CLameOptionTab1>("Encoder::MP3::CBR");
  EXPECT_EQ(s.settings.MP3.LameTab, 1);
  auto* vbr = s.Show<CLameOptionTab3>("Encoder::MP3::VBR");
  EXPECT_EQ(s.settings.MP3.LameTab, 3);
  auto* preset = s.Show<CLameOptionTab5>("Encoder::MP3::Preset");
  EXPECT_EQ(s.settings.MP3.LameTab, 5);

  ASSERT_EQ(cbr->BitrateList()->count(), 17);
  EXPECT_EQ(cbr->BitrateList()->itemText(0), "   8 kbits per second");
  EXPECT_EQ(cbr->BitrateList()->itemText(16), " 320 kbits per second");
  EXPECT_EQ(cbr->BitrateList()->currentIndex(), 11);
  EXPECT_EQ(Items(cbr->StereoModeList()),
            QStringList({" Stereo", " Joint Stereo", " Dual Channel"}));
  EXPECT_EQ(cbr->QualitySlider()->minimum(), 0);
  EXPECT_EQ(cbr->QualitySlider()->maximum(), 9);
  EXPECT_EQ(cbr->QualityCaption()->text(), "Encoder Quality: 5");
  cbr->QualitySlider()->setValue(2);
  EXPECT_EQ(cbr->QualityCaption()->text(), "Encoder Quality: 2");

  EXPECT_EQ(vbr->QualitySlider()->maximum(), 1000);
  EXPECT_EQ(vbr->QualityCaption()->text(), "VBR Quality : 5.00");
  vbr->QualitySlider()->setValue(455);
  EXPECT_EQ(vbr->QualityCaption()->text(), "VBR Quality : 4.55");

  ASSERT_EQ(preset->PresetList()->count(), 18);
  EXPECT_EQ(preset->PresetList()->itemText(17), " Studio");
  EXPECT_EQ(preset->PresetList()->currentIndex(), 1);
  EXPECT_TRUE(preset->Description()->isReadOnly());
  EXPECT_TRUE(preset->Description()->toPlainText().startsWith("VBR quality 4, target bitrate 165"));
  preset->PresetList()->setCurrentIndex(8);
  EXPECT_EQ(preset->Description()->toPlainText(), "16kbps/Mono/ABR");

  s.sheet.accept();
  EXPECT_EQ(s.settings.MP3.LameQuality, 2);
  EXPECT_EQ(s.settings.MP3.LameQualityVBR, 455);
  EXPECT_EQ(s.settings.MP3.LamePreset, 8);
  EXPECT_EQ(s.settings.MP3.LameTab, 5);
  EXPECT_TRUE(boxes.Seen().empty());
}

TEST(Mp3Pages, AnInvertedVbrRangeKeepsTheSheetOnTheVbrPage) {
  BoxAnswers boxes;
  Sheet s("mp3-vbr");
  auto* vbr = s.Show<CLameOptionTab3>("Encoder::MP3::VBR");
  EXPECT_EQ(Items(vbr->CodingModeList()),
            QStringList({" Default", " Old", " New", " MTRH", " ABR"}));
  EXPECT_EQ(vbr->TargetBitrate()->minimum(), 8);
  EXPECT_EQ(vbr->TargetBitrate()->maximum(), 320);
  // ABR takes only its target; the other methods their range and quality.
  EXPECT_FALSE(vbr->TargetBitrate()->isEnabled());
  EXPECT_TRUE(vbr->MinimumList()->isEnabled());
  vbr->CodingModeList()->setCurrentIndex(4);
  EXPECT_TRUE(vbr->TargetBitrate()->isEnabled());
  for (QWidget* w : std::initializer_list<QWidget*>{vbr->MinimumList(), vbr->MaximumList(),
                                                    vbr->QualitySlider()})
    EXPECT_FALSE(w->isEnabled());
  EXPECT_TRUE(vbr->WriteVbrHeader()->isEnabled());
  vbr->CodingModeList()->setCurrentIndex(3);

  vbr->MinimumList()->setCurrentIndex(13);
  vbr->MaximumList()->setCurrentIndex(12);
  // Neither leaving the page nor OK gets past it.
  EXPECT_FALSE(s.sheet.ShowPage("Encoder::MP3::CBR"));
  EXPECT_EQ(s.sheet.CurrentPage(), vbr);
  EXPECT_FALSE(s.sheet.ShowPage("Encoder"));
  s.sheet.OkButton()->click();
  EXPECT_NE(s.sheet.result(), QDialog::Accepted);
  ASSERT_EQ(boxes.Texts(), std::vector<QString>(3, "Invalid VBR Bitrate!"));
  EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::Critical);
  EXPECT_EQ(s.sheet.CurrentPage(), vbr);
  EXPECT_EQ(s.settings.MP3.LameMinVBRBit, 0) << "nothing stored";
  EXPECT_EQ(s.settings.MP3.LameCodingMode, 2);

  vbr->MaximumList()->setCurrentIndex(13);  // equal is fine
  vbr->WriteVbrHeader()->setChecked(false);
  vbr->CodingModeList()->setCurrentIndex(4);
  vbr->TargetBitrate()->setValue(200);
  s.sheet.OkButton()->click();
  EXPECT_EQ(s.sheet.result(), QDialog::Accepted);
  EXPECT_EQ(s.settings.MP3.LameMinVBRBit, 13);
  EXPECT_EQ(s.settings.MP3.LameMaxVBRBit, 13);
  EXPECT_EQ(s.settings.MP3.LameCodingMode, 4);
  EXPECT_EQ(s.settings.MP3.LameTargetBit, 200);
  EXPECT_EQ(s.settings.MP3.LameWriteHead, 0);
  EXPECT_EQ(s.settings.MP3.LameTab, 3);
}

TEST(Mp3Pages, FilteringAndExpertPagesStoreTheirControls) {
  BoxAnswers boxes;
  Sheet s("mp3-filter");
  s.settings.MP3.LameLFil = 1;
  auto* filter = s.Show<CLameOptionTab2>("Encoder::MP3::Filtering");
  EXPECT_FALSE(filter->HighPass().frequency->isEnabled());
  EXPECT_FALSE(filter->HighPass().width->isEnabled());
  EXPECT_TRUE(filter->LowPass().frequency->isEnabled());
  EXPECT_EQ(filter->LowPass().frequency->value(), 15160);
  EXPECT_EQ(filter->LowPass().width->value(), 750);
  EXPECT_EQ(filter->HighPass().frequency->maximum(), 48000);
  filter->HighPass().enabled->setChecked(true);
  EXPECT_TRUE(filter->HighPass().width->isEnabled());
  filter->HighPass().frequency->setValue(80);
  filter->LowPass().enabled->setChecked(false);
  EXPECT_FALSE(filter->LowPass().width->isEnabled());

  auto* expert = s.Show<CLameOptionTab4>("Encoder::MP3::Expert");
  expert->Crc()->setChecked(true);
  expert->ComplyIso()->setChecked(true);
  s.sheet.accept();
  EXPECT_EQ(s.settings.MP3.LameHFil, 1);
  EXPECT_EQ(s.settings.MP3.LameHFilFreq, 80);
  EXPECT_EQ(s.settings.MP3.LameLFil, 0);
  EXPECT_EQ(s.settings.MP3.LameCRC, 1);
  EXPECT_EQ(s.settings.MP3.LameComplyISO, 1);
  EXPECT_EQ(s.settings.MP3.LameCopyRight, 0);
}

TEST(OggPage, TheModeBoxesEnableTheirControls) {
  BoxAnswers boxes;
  Sheet s("ogg-modes");
  auto* ogg = s.Show<COggOption>("Encoder::OGG");
  EXPECT_EQ(ogg->QualitySlider()->minimum(), -10);
  EXPECT_EQ(ogg->QualitySlider()->maximum(), 100);
  EXPECT_EQ(ogg->QualityBox()->text(), "Quality : 0.35");
  EXPECT_TRUE(ogg->QualitySlider()->isEnabled());
  EXPECT_FALSE(ogg->NominalList()->isEnabled());
  EXPECT_FALSE(ogg->VbrBox()->isEnabled());
  EXPECT_FALSE(ogg->MinimumList()->isEnabled());
  ogg->QualitySlider()->setValue(-10);
  EXPECT_EQ(ogg->QualityBox()->text(), "Quality : -0.10");

  ogg->QualityBox()->setChecked(false);
  EXPECT_FALSE(ogg->QualitySlider()->isEnabled());
  EXPECT_TRUE(ogg->NominalList()->isEnabled());
  EXPECT_TRUE(ogg->VbrBox()->isEnabled());
  EXPECT_FALSE(ogg->MaximumList()->isEnabled());
  ogg->VbrBox()->setChecked(true);
  EXPECT_TRUE(ogg->MinimumList()->isEnabled());
  EXPECT_TRUE(ogg->MaximumList()->isEnabled());
  ASSERT_EQ(ogg->NominalList()->count(), 17);

  ogg->NominalList()->setCurrentIndex(12);
  ogg->MinimumList()->setCurrentIndex(9);
  ogg->MaximumList()->setCurrentIndex(14);
  s.sheet.accept();
  EXPECT_TRUE(boxes.Seen().empty()) << "accepted by libvorbis";
  EXPECT_EQ(s.settings.OGG.Quality, 0);
  EXPECT_EQ(s.settings.OGG.VBR, 1);
  EXPECT_EQ(s.settings.OGG.NomiBit, 12);
  EXPECT_EQ(s.settings.OGG.MinBit, 9);
  EXPECT_EQ(s.settings.OGG.MaxBit, 14);
  EXPECT_EQ(s.settings.OGG.QualityCompression, -10);
}

TEST(OggPage, SettingsTheLibraryRefusesAreReportedAndReset) {
  BoxAnswers boxes;
  Sheet s("ogg-refused");
  s.settings.OUTPUT.Freq = 10;  // 96000 Hz: no 128 kbps average there
  auto* ogg = s.Show<COggOption>("Encoder::OGG");
  ogg->QualitySlider()->setValue(80);
  ogg->QualityBox()->setChecked(false);
  s.sheet.accept();
  EXPECT_EQ(s.sheet.result(), QDialog::Accepted);
  ASSERT_EQ(boxes.Texts(), std::vector<QString>{"     OGG Audio Format NOT Supported!\n"
                                                "Please Change the Parameters and Try Again!"});
  EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::Critical);
  ASSERT_EQ(s.log.size(), 1u);
  EXPECT_EQ(s.log[0].text, "OGG audio format not supported!");
  EXPECT_EQ(s.log[0].level, 1);
  EXPECT_EQ(s.settings.OGG.Quality, 1);
  EXPECT_EQ(s.settings.OGG.QualityCompression, 35);
  EXPECT_EQ(s.settings.OGG.NomiBit, 11);
  EXPECT_TRUE(ogg->QualityBox()->isChecked()) << "the page shows the defaults again";
  EXPECT_TRUE(OggVorbisSettingsAccepted(s.settings));
}

TEST(FlacPage, OggFlacIsChosenOnlyAfterYes) {
  BoxAnswers boxes;
  Sheet s("flac");
  auto* flac = s.Show<CFlacOption>("Encoder::FLAC");
  ASSERT_EQ(flac->CompressionLevelList()->count(), 9);
  EXPECT_EQ(flac->CompressionLevelList()->itemText(0), " 0 (Fastest)");
  EXPECT_EQ(flac->CompressionLevelList()->itemText(5), " 5 (Default)");
  EXPECT_EQ(flac->CompressionLevelList()->currentIndex(), 5);
  ASSERT_EQ(flac->BlockSizeList()->count(), 11);
  EXPECT_EQ(flac->BlockSizeList()->itemText(0), "  Use Default");
  EXPECT_EQ(flac->BlockSizeList()->itemText(10), " 4608 Samples");
  EXPECT_FALSE(flac->OggFlacBox()->isChecked());

  const QString question =
      "     Ogg FLAC is the Compressed FLAC Data Stored in an Ogg Container.\n It is Narrowly "
      "Supported and has Larger File Size. Do You Wish to Continue?";
  boxes.Queue(QMessageBox::No);
  flac->OggFlacBox()->click();
  ASSERT_EQ(boxes.Texts(), std::vector<QString>{question});
  EXPECT_EQ(boxes.Seen()[0].buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_FALSE(flac->OggFlacBox()->isChecked()) << "No clears the box again";

  boxes.Queue(QMessageBox::Yes);
  flac->OggFlacBox()->click();
  EXPECT_TRUE(flac->OggFlacBox()->isChecked());
  flac->OggFlacBox()->click();  // clearing it asks nothing
  EXPECT_EQ(boxes.Seen().size(), 2u);
  flac->OggFlacBox()->click();  // the question's default is No
  EXPECT_EQ(boxes.Seen().size(), 3u);
  EXPECT_EQ(boxes.Seen()[2].defaultButton, QMessageBox::No);
  EXPECT_FALSE(flac->OggFlacBox()->isChecked());
  boxes.Queue(QMessageBox::Yes);
  flac->OggFlacBox()->click();

  flac->VerifyBox()->setChecked(true);
  flac->CompressionLevelList()->setCurrentIndex(8);
  flac->BlockSizeList()->setCurrentIndex(9);
  s.sheet.accept();
  EXPECT_EQ(s.settings.FLAC.Native, 0);
  EXPECT_EQ(s.settings.FLAC.Verify, 1);
  EXPECT_EQ(s.settings.FLAC.CompLev, 8);
  EXPECT_EQ(s.settings.FLAC.BlockSize, 9);
  EXPECT_EQ(FileExtensionFor(kFormatFLAC, s.settings), ".ogg");
}

TEST(Mp2Page, OffersEighteenBitratesAndStoresTheIndices) {
  BoxAnswers boxes;
  Sheet s("mp2");
  auto* mp2 = s.Show<CMp2Option>("Encoder::MP2");
  ASSERT_EQ(mp2->BitrateList()->count(), 18);
  EXPECT_EQ(mp2->BitrateList()->itemText(0), "    8 kbits per second");
  EXPECT_EQ(mp2->BitrateList()->itemText(16), " 320 kbits per second");
  EXPECT_EQ(mp2->BitrateList()->itemText(17), " 384 kbits per second");
  EXPECT_EQ(mp2->BitrateList()->currentIndex(), 11);
  EXPECT_EQ(Items(mp2->StereoModeList()),
            QStringList({" Auto", " Stereo", " Joint Stereo", " Dual Channel"}));
  mp2->BitrateList()->setCurrentIndex(17);
  mp2->StereoModeList()->setCurrentIndex(2);
  mp2->OriginalBox()->setChecked(true);
  s.sheet.accept();
  EXPECT_EQ(s.settings.MP2.Bits, 17);
  EXPECT_EQ(s.settings.MP2.Channel, 2);
  EXPECT_EQ(s.settings.MP2.Original, 1);
  EXPECT_EQ(s.settings.MP2.CopyRight, 0);
}

TEST(WvPages, BlockSizeAndShapingControlsFollowTheirBoxes) {
  BoxAnswers boxes;
  Sheet s("wv");
  s.settings.WV.Merge = 1;
  auto* wv = s.Show<CWvOption>("Encoder::WV");
  EXPECT_EQ(Items(wv->EncodingModeList()), QStringList({" Pure Lossless Mode", " Hybrid Mode"}));
  EXPECT_EQ(wv->ExtraProcessingList()->count(), 7);
  EXPECT_EQ(wv->ExtraProcessingList()->itemText(6), " 6 (Slowest)");
  EXPECT_EQ(wv->BlockSizeSlider()->minimum(), 256);
  EXPECT_EQ(wv->BlockSizeSlider()->maximum(), 131072);
  // "Default" holds the slider and clears "Merge Blocks".
  EXPECT_TRUE(wv->DefaultBlockSizeBox()->isChecked());
  EXPECT_EQ(wv->BlockSizeCaption()->text(), "Block Size: Default");
  EXPECT_FALSE(wv->BlockSizeSlider()->isEnabled());
  EXPECT_FALSE(wv->MergeBox()->isEnabled());
  EXPECT_FALSE(wv->MergeBox()->isChecked());
  wv->DefaultBlockSizeBox()->setChecked(false);
  EXPECT_EQ(wv->BlockSizeCaption()->text(), "Block Size: 65536 Samples");
  EXPECT_TRUE(wv->MergeBox()->isEnabled());
  wv->MergeBox()->setChecked(true);
  wv->BlockSizeSlider()->setValue(4096);
  EXPECT_EQ(wv->BlockSizeCaption()->text(), "Block Size:  4096 Samples");
  wv->EncodingModeList()->setCurrentIndex(1);
  wv->CompressionLevelList()->setCurrentIndex(3);

  auto* hybrid = s.Show<CHybridOption>("Encoder::WV::Hybrid");
  EXPECT_EQ(hybrid->BitrateSlider()->minimum(), 20);
  EXPECT_EQ(hybrid->BitrateSlider()->maximum(), 9600);
  EXPECT_EQ(hybrid->BitrateCaption()->text(), "Bitrate: 320 kbps");
  hybrid->MaximumCompressionBox()->setChecked(true);
  EXPECT_FALSE(hybrid->BitrateSlider()->isEnabled());
  EXPECT_EQ(hybrid->BitrateCaption()->text(), "Bitrate: Maximum Hybrid Compression");
  EXPECT_EQ(hybrid->ShapingCaption()->text(), "Noise Shaping Override: Off");
  EXPECT_FALSE(hybrid->ShapingSlider()->isEnabled());
  hybrid->ShapingOverrideBox()->setChecked(true);
  hybrid->ShapingSlider()->setValue(-45);
  EXPECT_EQ(hybrid->ShapingCaption()->text(), "Noise Shaping Override: -0.45");
  hybrid->DynamicShapingBox()->setChecked(true);
  EXPECT_FALSE(hybrid->ShapingOverrideBox()->isChecked());
  EXPECT_FALSE(hybrid->ShapingSlider()->isEnabled());
  EXPECT_EQ(hybrid->ShapingCaption()->text(), "Dynamic Shaping");
  hybrid->ShapingOverrideBox()->setChecked(true);
  EXPECT_FALSE(hybrid->DynamicShapingBox()->isChecked());
  hybrid->CorrectionFileBox()->setChecked(true);

  s.sheet.accept();
  const auto& w = s.settings.WV;
  EXPECT_EQ(w.EncMod, 1);
  EXPECT_EQ(w.ComLev, 3);
  EXPECT_EQ(w.EnableBlkSize, 1);
  EXPECT_EQ(w.BlkSize, 4096);
  EXPECT_EQ(w.Merge, 1);
  EXPECT_EQ(w.OptWvc, 1);
  EXPECT_EQ(w.CrtWvc, 1);
  EXPECT_EQ(w.EnableShape, 1);
  EXPECT_EQ(w.Dynamic, 0);
  EXPECT_EQ(w.Shape, -45);
}
