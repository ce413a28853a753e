// The pages' own rules: the five-second minimum of auto-stop and split, the
// question before a power action is chosen, the naming-rule dialog's
// refusals, silence detection switched on and off, and the log view.
#include <gtest/gtest.h>

#include <QtGui/QTextBlock>
#include <QtGui/QTextCursor>
#include <QtTest/QTest>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QPlainTextEdit>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QRadioButton>
#include <QtWidgets/QSpinBox>

#include "GuiTestSupport.h"
#include "TestSupport.h"
#include "app/AdvancedPage.h"
#include "app/LogPage.h"
#include "app/MiscPage.h"
#include "app/NamingRuleDlg.h"
#include "config/Settings.h"

using namespace tarvexa;
using namespace tarvexa::test;

namespace {
void SetTime(const MiscPage::TimeFields& f, int h, int m, int s) {
  f.hours->setValue(h);
  f.minutes->setValue(m);
  f.seconds->setValue(s);
}
}  // namespace

TEST(MiscPage, AutoStopAndSplitRefuseLessThanFiveSeconds) {
  BoxAnswers boxes;
  Settings s;
  MiscPage page(s);
  page.Load();
  page.StopAfter()->click();
  page.SplitByTime()->click();
  EXPECT_EQ(s.MISC.Stop, 1);
  EXPECT_EQ(s.MISC.Split, 1);

  SetTime(page.StopTime(), 0, 0, 4);
  EXPECT_FALSE(page.TakeValues());
  ASSERT_EQ(boxes.Texts(), std::vector<QString>{"Minimum Auto Stop Time is 5 Secs!"});
  EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::Critical);
  EXPECT_EQ(page.StopTime().seconds->value(), 5);
  EXPECT_EQ(s.MISC.StopSec, 5);

  boxes.Clear();
  SetTime(page.SplitTime(), 0, 0, 0);
  EXPECT_FALSE(page.TakeValues());
  ASSERT_EQ(boxes.Texts(), std::vector<QString>{"Minimum Split Time is 5 Secs!"});
  EXPECT_EQ(s.MISC.SplitHour, 0);
  EXPECT_EQ(s.MISC.SplitMin, 0);
  EXPECT_EQ(s.MISC.SplitSec, 5);

  // Four seconds are too short only with no minutes and hours.
  boxes.Clear();
  SetTime(page.StopTime(), 0, 1, 4);
  SetTime(page.SplitTime(), 2, 0, 0);
  EXPECT_TRUE(page.TakeValues());
  EXPECT_TRUE(boxes.Seen().empty());
  EXPECT_EQ(s.MISC.StopMin, 1);
  EXPECT_EQ(s.MISC.StopSec, 4);
  EXPECT_EQ(s.MISC.SplitHour, 2);

  // Leaving a field takes the values too.
  SetTime(page.StopTime(), 0, 0, 2);
  emit page.StopTime().seconds->editingFinished();
  EXPECT_TRUE(boxes.Saw("Minimum Auto Stop Time is 5 Secs!"));
  EXPECT_EQ(s.MISC.StopSec, 5);
}

TEST(MiscPage, TimeFieldsFollowTheChoiceAndLockWhileRecording) {
  BoxAnswers boxes;
  Settings s;
  MiscPage page(s);
  page.Load();
  EXPECT_TRUE(page.StopManually()->isChecked());
  EXPECT_FALSE(page.StopTime().minutes->isEnabled());
  page.StopAfter()->click();
  EXPECT_TRUE(page.StopTime().minutes->isEnabled());
  EXPECT_FALSE(page.SplitTime().seconds->isEnabled());
  page.Stabilize(true);
  EXPECT_FALSE(page.StopTime().minutes->isEnabled());
  EXPECT_FALSE(page.StopAfter()->isEnabled());
  EXPECT_FALSE(page.SplitByTime()->isEnabled());
  page.Stabilize(false);
  EXPECT_TRUE(page.StopAfter()->isEnabled());
}

TEST(MiscPage, APowerActionIsChosenOnlyAfterYes) {
  BoxAnswers boxes;
  Settings s;
  MiscPage page(s);
  page.Load();
  QComboBox* list = page.ActionList();
  ASSERT_EQ(list->count(), 8);
  EXPECT_EQ(list->itemText(0), " Do Nothing");
  EXPECT_EQ(list->itemText(7), " Shutdown");
  EXPECT_EQ(list->currentIndex(), 2) << "the default is the balloon";

  boxes.Queue(QMessageBox::No);
  list->setCurrentIndex(6);
  emit list->activated(6);
  ASSERT_EQ(boxes.Seen().size(), 1u);
  EXPECT_EQ(boxes.Seen()[0].text,
            " After Automatically Stop Recording then Restart the System, Are You Sure? ");
  EXPECT_EQ(boxes.Seen()[0].buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::Warning);
  EXPECT_EQ(list->currentIndex(), 0);
  EXPECT_EQ(s.MISC.ActAftRec, 0);

  boxes.Queue(QMessageBox::Yes);
  list->setCurrentIndex(7);
  emit list->activated(7);
  EXPECT_EQ(boxes.Seen().back().text,
            " After Automatically Stop Recording then Shutdown the System, Are You Sure? ");
  EXPECT_EQ(s.MISC.ActAftRec, 7);

  // The message and the balloon need no question.
  boxes.Clear();
  list->setCurrentIndex(1);
  emit list->activated(1);
  EXPECT_TRUE(boxes.Seen().empty());
  EXPECT_EQ(s.MISC.ActAftRec, 1);
}

TEST(NamingRuleDialog, RefusesARuleWithoutTheClipCountOrWithBadCharacters) {
  BoxAnswers boxes;
  Settings s;
  s.MISC.RenameStr = "%of% take %sc%";
  NamingRuleDlg dlg(s);
  EXPECT_EQ(dlg.RuleEdit()->text(), "%of% take %sc%");
  EXPECT_EQ(dlg.WidthSpin()->minimum(), 1);
  EXPECT_EQ(dlg.WidthSpin()->maximum(), 10);
  EXPECT_EQ(dlg.WidthSpin()->value(), 5);
  EXPECT_EQ(dlg.TimestampList()->count(), 6);
  EXPECT_EQ(dlg.TimestampList()->currentIndex(), 2);
  EXPECT_EQ(NamingRuleDlg::OriginalFileName(), "/home/user/So Far So Good.mp3");

  dlg.open();
  dlg.RuleEdit()->setText("%of%");
  dlg.accept();
  ASSERT_EQ(boxes.Texts(), std::vector<QString>{"You MUST Include %sc% in The Naming Rule"});
  EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(dlg.isVisible()) << "the dialog stays open";
  EXPECT_EQ(dlg.RuleEdit()->text(), "%of%(Splitted Clip %sc%)");
  EXPECT_EQ(s.MISC.RenameStr, "%of% take %sc%");

  for (const char* bad :
       {"a:b%sc%", "a/b%sc%", "a\\b%sc%", "%sc%?", "%sc%*", "<%sc%>", "%sc%|x", "\"%sc%\""}) {
    boxes.Clear();
    dlg.RuleEdit()->setText(bad);
    dlg.accept();
    EXPECT_EQ(boxes.Texts(), std::vector<QString>{"Invalid Character(s) Found!"}) << bad;
    EXPECT_EQ(dlg.RuleEdit()->text(), "%of%(Splitted Clip %sc%)");
    EXPECT_TRUE(dlg.isVisible());
  }

  boxes.Clear();
  dlg.RuleEdit()->setText("%sc%");
  dlg.WidthSpin()->setValue(3);
  dlg.TimestampList()->setCurrentIndex(0);
  dlg.accept();
  EXPECT_TRUE(boxes.Seen().empty());
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(s.MISC.RenameStr, "%sc%");
  EXPECT_EQ(s.MISC.Rename, 3);
  EXPECT_EQ(s.MISC.timestamp, 0);
}

TEST(NamingRuleDialog, TheSampleFollowsRuleWidthAndTimestampAndCancelKeepsTheSettings) {
  BoxAnswers boxes;
  Settings s;
  NamingRuleDlg dlg(s);
  dlg.TimestampList()->setCurrentIndex(0);
  EXPECT_EQ(dlg.SampleText(), "So Far So Good(Splitted Clip 00001).mp3");
  dlg.WidthSpin()->setValue(2);
  dlg.RuleEdit()->setText("%sc% - %of%%ts%");
  EXPECT_EQ(dlg.SampleText(), "01 - So Far So Good.mp3");
  dlg.TimestampList()->setCurrentIndex(1);  // mm-ss
  EXPECT_TRUE(QRegularExpression("^01 - So Far So Good\\d\\d-\\d\\d\\.mp3$")
                  .match(dlg.SampleText())
                  .hasMatch())
      << dlg.SampleText().toStdString();
  dlg.reject();
  EXPECT_EQ(s.MISC.RenameStr, "%of%(Splitted Clip %sc%)");
  EXPECT_EQ(s.MISC.Rename, 5);
  EXPECT_EQ(s.MISC.timestamp, 2);
}

TEST(AdvancedPage, SilenceDetectionIsLoggedAndStoredAtOnce) {
  Settings s;
  std::vector<std::pair<std::string, int>> lines;
  AdvancedPage page(s, [&](const std::string& t, int l) { lines.emplace_back(t, l); });
  page.Load();
  int changes = 0;
  QObject::connect(&page, &AdvancedPage::silenceChanged, [&] { ++changes; });
  EXPECT_FALSE(page.SilenceLevel()->isEnabled());
  EXPECT_EQ(page.SilenceLevel()->minimum(), -92);
  EXPECT_EQ(page.SilenceTime()->maximum(), 900);

  page.DetectCheck()->setChecked(true);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], (std::pair<std::string, int>{"Enable silence detection.", 0}));
  EXPECT_EQ(s.SIL.Det, 1);
  EXPECT_TRUE(page.SilenceLevel()->isEnabled());

  page.SilenceLevel()->setValue(-60);
  page.NoiseTime()->setValue(12);
  page.SplitCheck()->setChecked(true);
  EXPECT_EQ(s.SIL.SilLev, -60);
  EXPECT_EQ(s.SIL.NoiTime, 12);
  EXPECT_EQ(s.SIL.Split, 1);
  EXPECT_EQ(changes, 4);

  page.DetectCheck()->setChecked(false);
  EXPECT_EQ(lines.back(), (std::pair<std::string, int>{"Disable silence detection.", 0}));
  EXPECT_EQ(s.SIL.Det, 0);
}

TEST(LogPage, LinesAreColouredByLevelAndClearEmptiesViewAndField) {
  WindowFixture w("log-page");
  ASSERT_TRUE(w.Start());
  LogPage* page = w.Dlg().GetLogPage();
  page->Clear();
  EXPECT_FALSE(page->ClearButton()->isEnabled());
  EXPECT_TRUE(w.Dlg().StatusText(1).isEmpty());

  w.Dlg().Log().Write("a note", -1);
  w.Dlg().Log().Write("another note", 0);
  w.Dlg().Log().Write("a warning", 1);
  w.Dlg().Log().Write("an error", 2);
  w.Dlg().Log().Write("not for the view", 7);
  EXPECT_TRUE(page->ClearButton()->isEnabled());
  QTextDocument* doc = page->View()->document();
  ASSERT_EQ(doc->blockCount(), 4);
  const QColor expected[4] = {QColor(0, 0, 255), QColor(0, 0, 255), QColor(153, 0, 0),
                              QColor(255, 0, 0)};
  const char* texts[4] = {"a note", "another note", "a warning", "an error"};
  for (int i = 0; i < 4; ++i) {
    QTextBlock b = doc->findBlockByNumber(i);
    EXPECT_TRUE(b.text().endsWith(QString("   ") + texts[i])) << b.text().toStdString();
    QTextCursor c(b);
    c.movePosition(QTextCursor::EndOfBlock);
    EXPECT_EQ(c.charFormat().foreground().color(), expected[i]) << texts[i];
  }
  // The status field shows every line, also the one the view leaves out.
  EXPECT_TRUE(w.Dlg().StatusText(1).endsWith("not for the view"));

  page->ClearButton()->click();
  EXPECT_TRUE(doc->isEmpty());
  EXPECT_TRUE(w.Dlg().StatusText(1).isEmpty());

  page->WriteLogCheck()->setChecked(false);
  EXPECT_EQ(w.Dlg().CurrentSettings().MISC.WriteLog, 0);
  EXPECT_FALSE(w.Dlg().Log().WriteLog());
}
