// The pages of the outside-encoder formats: Musepack presets, the sliders
// of the AAC encoders whose ranges follow mode and profile, the CT page's
// mono/stereo rule, the container check, and the user encoder's page with
// its ".ces" Save and Load.
#include <gtest/gtest.h>

#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QRadioButton>
#include <QtWidgets/QSlider>

#include <filesystem>

#include "GuiTestSupport.h"
#include "TestSupport.h"
#include "encoders/external/CusSetting.h"
#include "formats/EncoderPrograms.h"
#include "formats/FormatCatalogue.h"
#include "formats/ui/pages/AacPages.h"
#include "formats/ui/pages/CustomPages.h"
#include "formats/ui/pages/MpcPages.h"

using namespace tarvexa;
using namespace tarvexa::test;

namespace {

TEST(ExternalPages, MusepackPresetsFixTheQualityAndCustomizedRestoresIt) {
  Settings s;
  s.MPC.Quality = 67;
  CMpcOption page(s);
  page.LoadPage();
  EXPECT_EQ(page.QualitySlider()->value(), 50) << "Standard is the default preset";
  struct Case {
    int preset, quality;
    bool enabled;
  };
  for (const Case c :
       {Case{0, 20, false}, Case{4, 60, false}, Case{6, 80, false}, Case{7, 67, true}}) {
    page.PresetList()->setCurrentIndex(c.preset);
    EXPECT_EQ(page.QualitySlider()->value(), c.quality) << c.preset;
    EXPECT_EQ(page.QualitySlider()->isEnabled(), c.enabled) << c.preset;
  }
  page.QualitySlider()->setValue(73);
  EXPECT_EQ(page.QualityCaption()->text(), "Quality: 7.30 ");
  page.ExtensionList()->setCurrentIndex(1);
  EXPECT_TRUE(page.IsModified());
  page.Store();
  EXPECT_EQ(s.MPC.Quality, 73);
  EXPECT_EQ(s.MPC.Preset, 7);
  EXPECT_EQ(FileExtensionFor(kFormatMPC, s), ".mp+");
}

TEST(ExternalPages, FaacSliderFollowsTheModeAndStoresOnlyThatMode) {
  Settings s;
  s.AAC.FAACQuality = 250;
  s.AAC.FAACAbr = 100;
  CFaacOption page(s);
  page.LoadPage();
  EXPECT_TRUE(page.Mpeg4Button()->isChecked());
  EXPECT_EQ(page.ValueCaption()->text(), "Quality: 250");
  page.ValueSlider()->setValue(300);
  page.BitrateButton()->setChecked(true);
  EXPECT_EQ(page.ValueSlider()->minimum(), 60);
  EXPECT_EQ(page.ValueSlider()->maximum(), 152);
  EXPECT_EQ(page.ValueCaption()->text(), "ABR: 100 kbps");
  page.QualityButton()->setChecked(true);
  EXPECT_EQ(page.ValueSlider()->value(), 250) << "reloaded from the stored quality";
  page.BitrateButton()->setChecked(true);
  page.ValueSlider()->setValue(140);
  page.Store();
  EXPECT_EQ(s.AAC.FAACEncMode, 1);
  EXPECT_EQ(s.AAC.FAACAbr, 140);
  EXPECT_EQ(s.AAC.FAACQuality, 250);
}

TEST(ExternalPages, NeroAndCtSlidersFollowModeAndProfile) {
  struct Case {
    int mode, profile, stored;  // stored: quality, or bit/s
    int min, max, position;
    const char* caption;
  };
  const Case nero[] = {
      {0, 0, 35, 1, 100, 35, "Quality: 0.35 "},
      {1, 0, 96000, 16, 400, 96, "ABR:  96 kbps"},
      {2, 2, 320000, 16, 128, 128, "CBR: 128 kbps"},
      {1, 3, 96000, 16, 64, 64, "ABR:  64 kbps"},
  };
  for (const Case& c : nero) {
    Settings s;
    s.AAC.NEROEncMode = static_cast<int16_t>(c.mode);
    s.AAC.NEROForPro = static_cast<int16_t>(c.profile);
    s.AAC.NEROQuality = static_cast<int16_t>(c.stored);
    s.AAC.NEROAbr = s.AAC.NEROEncCbr = c.stored;
    CNeroOption page(s);
    page.LoadPage();
    QSlider* v = page.ValueSlider();
    EXPECT_EQ(std::vector<int>({v->minimum(), v->maximum(), v->value()}),
              std::vector<int>({c.min, c.max, c.position}))
        << c.caption;
    EXPECT_EQ(page.ValueCaption()->text(), c.caption);
  }
  Settings s;
  CNeroOption nero2(s);
  nero2.LoadPage();
  nero2.ModeButton(2)->setChecked(true);
  nero2.ValueSlider()->setValue(200);
  nero2.Store();
  EXPECT_EQ(s.AAC.NEROEncCbr, 200000);
  EXPECT_EQ(s.AAC.NEROQuality, 35);

  CCtOption ct(s);
  ct.LoadPage();
  for (auto [profile, max] : {std::pair{0, 320}, {2, 128}, {3, 256}}) {
    ct.ProfileList()->setCurrentIndex(profile);
    EXPECT_EQ(ct.BitrateSlider()->maximum(), max) << profile;
  }
  // Mono and the two stereo tools exclude each other.
  ct.ParametricStereoBox()->setChecked(true);
  ct.IndependentStereoBox()->setChecked(true);
  ct.MonoBox()->setChecked(true);
  EXPECT_FALSE(ct.ParametricStereoBox()->isChecked() || ct.IndependentStereoBox()->isChecked());
  ct.IndependentStereoBox()->setChecked(true);
  EXPECT_FALSE(ct.MonoBox()->isChecked());
  ct.BitrateSlider()->setValue(300);
  EXPECT_EQ(ct.BitrateCaption()->text(), "CBR: 256 kbps") << "HEV2 tops out at 256";
  ct.Store();
  EXPECT_EQ(s.AAC.CTCbr, 256000);
  EXPECT_EQ(s.AAC.CTIs, 1);
  EXPECT_EQ(s.AAC.CTMono, 0);
}

TEST(ExternalPages, AContainerWhoseEncoderIsMissingIsRefused) {
  ASSERT_FALSE(NeroAacEncoderPresent());
  ASSERT_FALSE(CtAacEncoderPresent());
  BoxAnswers boxes;
  Settings s;
  s.AAC.ContainerFormat = 1;
  CAacOption page(s);
  page.LoadPage();
  for (auto [container, warning] : {std::pair{5, kNeroAacNotFound}, {8, kCtAacNotFound}}) {
    boxes.Clear();
    page.ContainerList()->setCurrentIndex(container);
    EXPECT_EQ(boxes.Texts(), std::vector<QString>{QString::fromUtf8(warning)});
    EXPECT_EQ(page.ContainerList()->currentIndex(), 3);
  }
  boxes.Clear();
  page.ContainerList()->setCurrentIndex(2);
  EXPECT_TRUE(boxes.Seen().empty());
  page.Store();
  EXPECT_EQ(s.AAC.ContainerFormat, 2);
}

TEST(ExternalPages, CustomEncoderSettingsSaveAndLoadAsCesFiles) {
  BoxAnswers boxes;
  const std::string dir = ScratchDir("custom-page");
  const std::string program = dir + "/my encoder";
  WriteFile(program, "#!/bin/sh\n");
  Settings s;
  s.CUSTOM = {program, "-V2 - %of%", "", 1, 0};
  CCustomOption page(s);
  page.LoadPage();

  // A setting that fails its check leaves an empty file.
  const QString ces = QString::fromStdString(dir + "/a.ces");
  page.SaveSettingsFile(ces);
  EXPECT_EQ(boxes.Texts(), std::vector<QString>{kCustomExtensionEmpty});
  EXPECT_TRUE(std::filesystem::exists(ces.toStdString()));
  EXPECT_EQ(std::filesystem::file_size(ces.toStdString()), 0u);

  boxes.Clear();
  page.ExtensionEdit()->setText("ogg");
  page.SaveSettingsFile(ces);
  EXPECT_TRUE(boxes.Seen().empty());

  // Loaded into a page with other values: every control takes the file's.
  Settings other;
  CCustomOption fresh(other);
  fresh.LoadPage();
  fresh.LoadSettingsFile(ces);
  EXPECT_TRUE(boxes.Seen().empty());
  EXPECT_TRUE(fresh.IsModified());
  fresh.Store();
  EXPECT_EQ(other.CUSTOM.Encoder, program);
  EXPECT_EQ(other.CUSTOM.Parameter, "-V2 - %of%");
  EXPECT_EQ(other.CUSTOM.FileExt, "ogg");
  EXPECT_EQ(other.CUSTOM.Input, 1);
  EXPECT_EQ(other.CUSTOM.Detail, 0);

  // A damaged file, and one whose program is gone: a message, nothing changed.
  const std::string bytes = ReadFile(ces.toStdString());
  WriteFile(dir + "/short.ces", bytes.substr(0, bytes.size() - 1));
  std::filesystem::remove(program);
  struct Case {
    std::string file;
    const char* message;
  };
  for (const Case& c :
       {Case{dir + "/short.ces", kCesLoadError}, Case{ces.toStdString(), kCustomEncoderNotFound}}) {
    boxes.Clear();
    Settings untouched;
    CCustomOption p(untouched);
    p.LoadPage();
    p.LoadSettingsFile(QString::fromStdString(c.file));
    EXPECT_EQ(boxes.Texts(), std::vector<QString>{c.message});
    EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::Critical);
    EXPECT_FALSE(p.IsModified());
    EXPECT_EQ(p.EncoderEdit()->text().toStdString(), Settings().CUSTOM.Encoder);
  }
}

}  // namespace
