// The "Encoder::VQF" page: the preset list follows VQF.Profile, the slider
// shows the stored quality (a value off the slider shows as 16) and both are
// stored; the page says that other players cannot decode the audio.
#include <gtest/gtest.h>

#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QSlider>

#include "GuiTestSupport.h"
#include "config/Settings.h"
#include "formats/ui/pages/VqfPages.h"

using namespace tarvexa;

TEST(VqfPage, LoadsAndStoresThePresetAndTheQuality) {
  struct Case {
    int profile, quality;  // stored before
    int position;          // slider position shown
    const char* caption;
    int choose, move;  // preset index and slider position chosen
    int profileAfter, qualityAfter;
  };
  for (const Case& c :
       {Case{18, 16, 4, "Quality: 16", 0, 5, 1, 32}, Case{3, 1, 0, "Quality:  1", 17, 2, 18, 4},
        Case{9, 3, 4, "Quality: 16", 8, 0, 9, 1}}) {
    SCOPED_TRACE(c.profile);
    Settings s;
    s.VQF.Profile = static_cast<int16_t>(c.profile);
    s.VQF.Quality = static_cast<int16_t>(c.quality);
    CVqfOption page(s);
    page.LoadPage();
    ASSERT_EQ(page.PresetList()->count(), 18);
    EXPECT_EQ(page.PresetList()->itemText(0), "  8,000 Hz;    Mono;   8 kbps;");
    EXPECT_EQ(page.PresetList()->itemText(17), " 44,100 Hz;  Stereo;  96 kbps;");
    EXPECT_EQ(page.PresetList()->currentIndex(), c.profile - 1);
    EXPECT_EQ(page.QualitySlider()->value(), c.position);
    EXPECT_EQ(page.QualityCaption()->text(), c.caption);
    EXPECT_FALSE(page.IsModified());

    page.PresetList()->setCurrentIndex(c.choose);
    page.QualitySlider()->setValue(c.move);
    EXPECT_TRUE(page.IsModified());
    EXPECT_EQ(page.QualityCaption()->text(), QString::asprintf("Quality: %2d", c.qualityAfter));
    page.Store();
    EXPECT_EQ(s.VQF.Profile, c.profileAfter);
    EXPECT_EQ(s.VQF.Quality, c.qualityAfter);
  }
  Settings s;
  CVqfOption page(s);
  page.LoadPage();
  auto* note = page.findChild<QLabel*>("vqfNote");
  ASSERT_NE(note, nullptr);
  EXPECT_TRUE(note->text().contains("other players")) << note->text().toStdString();
  EXPECT_TRUE(note->text().contains("vqfdec"));
}
