// The APE page: it shows the level the recorder uses (also for a level an
// edited Config.ini put outside the five) and stores the chosen one.
#include <gtest/gtest.h>

#include <QtWidgets/QComboBox>

#include "GuiTestSupport.h"
#include "formats/ui/pages/ApePages.h"

using namespace tarvexa;

TEST(ApePage, ShowsTheLevelInUseAndStoresTheChosenOne) {
  const struct {
    int stored, shown;
  } cases[] = {{1000, 0}, {3000, 2}, {5000, 4}, {7000, 4}, {-1, 0}, {2600, 2}};
  for (const auto& c : cases) {
    Settings s;
    s.APE.CompLev = int16_t(c.stored);
    CApeOption page(s);
    page.LoadPage();
    QComboBox* list = page.CompressionLevelList();
    EXPECT_EQ(list->currentIndex(), c.shown) << c.stored;
    EXPECT_FALSE(page.IsModified());
    list->setCurrentIndex(3);
    EXPECT_TRUE(page.IsModified());
    page.Store();
    EXPECT_EQ(s.APE.CompLev, 4000);
  }
}
