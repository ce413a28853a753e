// The WMA page: where it opens for a profile (the group boundaries and the
// default), the linked lists, and the profiles that cannot be recorded,
// greyed with their reason and refused when chosen.
#include <gtest/gtest.h>

#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>

#include "GuiTestSupport.h"
#include "formats/ui/pages/WmaPages.h"

using namespace tarvexa;
using namespace tarvexa::test;

namespace {

QStringList Items(const QComboBox* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
  return items;
}

}  // namespace

TEST(WmaPage, OpensOnTheModeCodecAndPresetOfTheProfile) {
  BoxAnswers boxes;
  const struct {
    int profile, mode, codec, preset;
  } rows[] = {
      {4, 0, 0, 3},    {5, 0, 1, 0},   {11, 0, 1, 6},  {12, 0, 2, 0},  {55, 0, 2, 43},
      {56, 0, 3, 0},   {94, 0, 3, 38}, {95, 1, 0, 0},  {102, 1, 0, 7}, {103, 1, 1, 0},
      {120, 1, 1, 17}, {121, 2, 0, 0}, {47, 0, 2, 35},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.profile);
    Settings s;
    s.WMA.Profile = static_cast<int16_t>(r.profile);
    CWmaOption page(s);
    page.LoadPage();
    EXPECT_EQ(page.ModeList()->currentIndex(), r.mode);
    EXPECT_EQ(page.CodecList()->currentIndex(), r.codec);
    EXPECT_EQ(page.PresetList()->currentIndex(), r.preset);
    EXPECT_EQ(page.ProfileNumber(), r.profile);
    page.Store();
    EXPECT_EQ(s.WMA.Profile, r.profile);
  }
  // Opening on a profile that cannot be recorded says so, without a box.
  EXPECT_TRUE(boxes.Seen().empty());

  Settings s;
  CWmaOption page(s);
  page.LoadPage();
  EXPECT_EQ(Items(page.ModeList()),
            QStringList({" CBR", " Quality VBR (Lossy)", " Quality VBR (Lossless)"}));
  EXPECT_EQ(page.CodecList()->currentText(), " Windows Media Audio 9.2");
  EXPECT_EQ(page.PresetList()->currentText(), " WMA 9.2  128kbps; 44100 Hz; Stereo; CBR;");
  EXPECT_EQ(page.Note()->text(), "Profile 47");
}

TEST(WmaPage, ProfilesThatCannotBeRecordedAreGreyedAndRefused) {
  BoxAnswers boxes;
  Settings s;
  s.WMA.Profile = 53;
  CWmaOption page(s);
  page.LoadPage();
  QComboBox* presets = page.PresetList();

  // Windows Media Audio 9.2 CBR below 24 kbps is greyed with the reason.
  const QString reason = presets->itemData(0, Qt::ToolTipRole).toString();
  EXPECT_TRUE(reason.contains("24 kbps")) << reason.toStdString();
  EXPECT_TRUE(presets->itemData(0, Qt::ForegroundRole).isValid());
  EXPECT_TRUE(presets->itemData(35, Qt::ToolTipRole).toString().isEmpty());
  EXPECT_FALSE(presets->itemData(35, Qt::ForegroundRole).isValid());

  // Choosing one is refused with a message; the choice stays where it was.
  presets->setCurrentIndex(0);
  ASSERT_EQ(boxes.Seen().size(), 1u);
  EXPECT_EQ(boxes.Seen()[0].text, "This profile cannot be recorded.\n" + reason);
  EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::Warning);
  EXPECT_EQ(page.ProfileNumber(), 53);

  // A mode without any profile that can be recorded: nothing is chosen, the
  // note says why, and the page cannot be left until another is chosen.
  page.ModeList()->setCurrentIndex(2);
  EXPECT_EQ(Items(page.CodecList()), QStringList({" Windows Media Audio 9.2 Lossless"}));
  EXPECT_EQ(presets->count(), 5);
  EXPECT_EQ(page.ProfileNumber(), 0);
  EXPECT_TRUE(page.Note()->text().startsWith("None of these profiles can be recorded."));
  EXPECT_FALSE(page.Validate());
  EXPECT_EQ(boxes.Seen().size(), 2u);
  page.Store();
  EXPECT_EQ(s.WMA.Profile, 53);

  // Lossy VBR offers both of its codecs, the first chosen; back at CBR, Windows
  // Media Audio 9.2 is chosen with its first profile that can be recorded.
  page.ModeList()->setCurrentIndex(1);
  EXPECT_EQ(Items(page.CodecList()),
            QStringList({" Windows Media Audio 9.2", " Windows Media Audio 10 Professional"}));
  EXPECT_EQ(page.CodecList()->currentIndex(), 0);
  page.ModeList()->setCurrentIndex(0);
  EXPECT_EQ(page.CodecList()->currentIndex(), 2);
  EXPECT_EQ(presets->currentText(), " WMA 9.2   24kbps; 32000 Hz; Stereo; CBR;");
  EXPECT_TRUE(page.Validate());
  page.Store();
  EXPECT_EQ(s.WMA.Profile, 30);
  EXPECT_EQ(boxes.Seen().size(), 2u);
}
