// The Scheduler page and the task editor, offscreen: the editor's refusals in
// their order, its controls and length checks, the browsers' filters; the
// page's columns, order, enabled states, log lines and the store written
// after every change; the page in the main window with the announcement.
#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QDateEdit>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QRadioButton>
#include <QtWidgets/QSpinBox>
#include <QtWidgets/QTabWidget>
#include <QtWidgets/QTimeEdit>
#include <QtWidgets/QTreeWidget>

#include <time.h>

#include "GuiTestSupport.h"
#include "TestSupport.h"
#include "config/Settings.h"
#include "scheduler/TaskStore.h"
#include "scheduler/ui/TaskEditorSheet.h"
#include "scheduler/ui/TaskGeneralPage.h"
#include "scheduler/ui/TaskListPage.h"
#include "scheduler/ui/TaskOverridePage.h"

using namespace tarvexa;
using namespace tarvexa::test;

namespace {

struct Zone {
  Zone() { tzset(); }
  ~Zone() { tzset(); }
  ScopedEnv tz{"TZ", "Europe/Berlin"};
};

// 2026-06-01 06:00:00 CEST, a Monday.
constexpr std::time_t kNow = 1780286400;

CTask Daily(const std::string& title, int hour) {
  Settings global;
  CTask t = NewTask(global, ToLocal(kNow));
  t.title = title;
  t.mode = kModeDaily;
  t.startHour = static_cast<uint16_t>(hour);
  t.startMinute = t.startSecond = 0;
  t.outputFile = "/music/" + title + ".mp3";
  return t;
}

void Commit(QSpinBox* box, const QString& text) {
  auto* edit = box->findChild<QLineEdit*>();
  edit->selectAll();
  QTest::keyClicks(edit, text);
  box->interpretText();
}

}  // namespace

TEST(TaskEditor, RefusesInOrderAndStoresEveryField) {
  Zone zone;
  BoxAnswers boxes;
  Settings global;
  bool busy = false;
  TaskEditorSheet editor(NewTask(global, ToLocal(kNow)), true, {"Morning Show"}, global,
                         [&] { return busy; });
  TaskGeneralPage* g = editor.General();
  EXPECT_EQ(editor.windowTitle(), "Scheduled Task Properties");
  EXPECT_EQ(editor.Tabs()->tabText(0), "  General ");
  EXPECT_EQ(editor.Tabs()->tabText(1), " Override ");
  EXPECT_EQ(g->Title()->text(), "Untitled Task");

  struct Step {
    std::function<void()> change;
    const char* box;  // the refusal, if any
    int tab;          // the tab shown afterwards
    bool accepted = false;
  } steps[] = {
      {[&] {
         g->Title()->clear();
         g->ConfirmSecs()->setValue(4);
         editor.Tabs()->setCurrentIndex(1);
       },
       "Task Title is Required!", 0},
      {[&] {
         g->Title()->setText("MORNING show");
         editor.Tabs()->setCurrentIndex(1);
       },
       "The Task MORNING show Already Exists, Please Specify Another Title!", 0},
      {[&] {
         g->Title()->setText("Evening");
         editor.Tabs()->setCurrentIndex(1);
       },
       "Output Filename is Required!", 0},
      {[&] {
         g->OutputFile()->setText("/music/evening.mp3");
         g->Confirm()->setChecked(false);
         editor.Tabs()->setCurrentIndex(1);
       },
       "The Time Length of Showing Confirmation Dialog Must Be between 5 and 180 Secs!", 1},
      {[&] { g->ConfirmSecs()->setValue(181); },
       "The Time Length of Showing Confirmation Dialog Must Be between 5 and 180 Secs!", 1},
      {[&] {
         g->ConfirmSecs()->setValue(180);
         busy = true;
       },
       nullptr, 1},  // busy: OK does nothing
      {[&] { busy = false; }, nullptr, 1, true},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    boxes.Clear();
    steps[i].change();
    editor.setResult(0);
    editor.accept();
    if (steps[i].box) {
      ASSERT_EQ(boxes.Texts(), std::vector<QString>{steps[i].box}) << "step " << i;
      EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::NoIcon);
    } else {
      EXPECT_TRUE(boxes.Seen().empty()) << "step " << i;
    }
    EXPECT_EQ(editor.result() == QDialog::Accepted, steps[i].accepted) << "step " << i;
    EXPECT_EQ(editor.Tabs()->currentIndex(), steps[i].tab) << "step " << i;
  }
  EXPECT_EQ(editor.result(), QDialog::Accepted);
  EXPECT_EQ(editor.Task().title, "Evening");
  EXPECT_EQ(editor.Task().confirm, 0u);
  EXPECT_EQ(editor.Task().confirmSecs, 180);

  // Every control round-trips an existing task, and renaming it to the
  // title of another task is accepted.
  CTask t = Daily("Lecture", 9);
  t.active = 0;
  t.confirm = 1;
  t.confirmSecs = 7;
  t.mode = 33;
  t.startYear = 2027, t.startMonth = 2, t.startDay = 28, t.startMinute = 58, t.startSecond = 59;
  t.runApp = 1, t.appCommand = "vlc --intf dummy";
  t.openUrl = 1, t.url = "https://example.org/live";
  t.override = 1, t.format = 12, t.freqIndex = 11, t.channels = 1, t.afterRecording = 7;
  t.split = 1, t.splitHour = 23, t.splitMinute = 1, t.splitSecond = 2;
  t.stopAfter = 1, t.stopHour = 1, t.stopMinute = 59, t.stopSecond = 3;
  TaskEditorSheet edit(t, false, {"Morning Show"}, global, {});
  edit.accept();
  EXPECT_EQ(edit.result(), QDialog::Accepted);
  EXPECT_EQ(edit.Task(), t);
  edit.General()->Title()->setText("Morning Show");
  edit.setResult(0);
  edit.accept();
  EXPECT_EQ(edit.result(), QDialog::Accepted);
}

TEST(TaskEditor, EnabledStatesLengthChecksAndBrowsers) {
  Zone zone;
  BoxAnswers boxes;
  Settings global;
  global.OUTPUT.OutputFormat = 2;  // MP3
  TaskEditorSheet editor(NewTask(global, ToLocal(kNow)), true, {}, global, {});
  TaskGeneralPage* g = editor.General();
  TaskOverridePage* o = editor.OverridePage();

  EXPECT_TRUE(g->StartDate()->isEnabled());
  g->Mode()->setCurrentIndex(kModeWeekdays);
  EXPECT_FALSE(g->StartDate()->isEnabled()) << "the date matters only once";
  EXPECT_FALSE(g->AppCommand()->isEnabled());
  EXPECT_FALSE(g->AppBrowse()->isEnabled());
  g->RunApp()->setChecked(true);
  EXPECT_TRUE(g->AppCommand()->isEnabled());
  EXPECT_FALSE(g->Url()->isEnabled());
  g->Confirm()->setChecked(false);
  EXPECT_FALSE(g->ConfirmSecs()->isEnabled());

  EXPECT_FALSE(o->Format()->isEnabled());
  EXPECT_FALSE(o->StopLength().seconds->isEnabled());
  o->Override()->setChecked(true);
  EXPECT_TRUE(o->Format()->isEnabled());
  EXPECT_FALSE(o->StopLength().seconds->isEnabled()) << "stopped by hand";
  o->StopAfter()->setChecked(true);
  o->SplitByTime()->setChecked(true);
  ASSERT_TRUE(o->StopLength().seconds->isEnabled());

  // Under five seconds is refused as it is entered and becomes 0:0:5.
  for (auto [length, message] : {std::pair{o->StopLength(), "Minimum Auto Stop Time is 5 Secs!"},
                                 std::pair{o->SplitLength(), "Minimum Split Time is 5 Secs!"}}) {
    boxes.Clear();
    length.hours->setValue(0);
    length.minutes->setValue(1);
    Commit(length.seconds, "3");
    EXPECT_TRUE(boxes.Seen().empty()) << "1:03 is long enough";
    length.minutes->setValue(0);
    ASSERT_EQ(boxes.Texts(), std::vector<QString>{message});
    EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(length.seconds->value(), 5);
    EXPECT_EQ(length.minutes->value(), 0);
  }

  // The output browser offers the extension of the format the task will use.
  std::vector<std::pair<QString, QString>> asked;
  g->SetFileAsker([&](bool save, const QString& filter, const QString& suffix) {
    asked.emplace_back(filter, suffix);
    return save ? QStringLiteral("/music/out.wav") : QStringLiteral("/opt/my player/run");
  });
  o->Format()->setCurrentIndex(0);  // WAV
  g->BrowseOutput();
  o->Override()->setChecked(false);
  g->BrowseOutput();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0], std::pair(QStringLiteral("(*.wav)"), QStringLiteral("wav")));
  EXPECT_EQ(asked[1], std::pair(QStringLiteral("(*.mp3)"), QStringLiteral("mp3")));
  EXPECT_EQ(g->OutputFile()->text(), "/music/out.wav");
  g->AppCommand()->setText("old --params");
  g->BrowseApp();
  EXPECT_EQ(g->AppCommand()->text(), "'/opt/my player/run'") << "one word for the launcher";
}

class SchedulerPage : public ::testing::Test {
 protected:
  TaskListPage::Hooks Hooks() {
    return {[this](const std::string& t, int l) {
              log.push_back({t, l});
            },
            [this] { return locked; }, [] { return false; }, [this] { ++refreshes; },
            [] { return kNow; }};
  }
  Zone zone;
  BoxAnswers boxes;
  Settings settings;
  std::string dir = ScratchDir("scheduler_page");
  std::string path = dir + "/Task.ini";
  std::vector<LogLine> log;
  bool locked = false;
  int refreshes = 0;
};

TEST_F(SchedulerPage, ColumnsOrderStatesLogLinesAndTheStore) {
  CTask dormant = Daily("Dormant", 5);
  dormant.active = 0;
  CTask wav = Daily("Wav at seven", 7);
  wav.override = 1, wav.format = 1, wav.stopAfter = 1, wav.stopHour = 0, wav.stopMinute = 0,
  wav.stopSecond = 4;
  CTask monthly = Daily("Monthly", 8);
  monthly.mode = 12;
  ASSERT_TRUE(SaveTaskFile(path, {dormant, monthly, wav}, nullptr));

  TaskListPage page(settings, Hooks());
  page.Load(path);
  QTreeWidget* list = page.List();
  ASSERT_EQ(list->topLevelItemCount(), 3);
  auto row = [&](int i) {
    QStringList cells;
    for (int c = 0; c < TaskListPage::kColumnCount; ++c) cells << list->topLevelItem(i)->text(c);
    return cells.join('|');
  };
  QStringList headers;
  for (int c = 0; c < TaskListPage::kColumnCount; ++c) headers << list->headerItem()->text(c);
  EXPECT_EQ(headers.join('|'), "Title|Mode|Next Starting Time|Status|Override|Format|Length");
  // Sorted by the next start; a task that never starts last.
  EXPECT_EQ(row(0), "Wav at seven|Daily|Jun 01, 2026  07:00:00|Active|Yes|WAV|00:00:04");
  EXPECT_EQ(row(1), "Monthly|Monthly,  2ed|Jun 02, 2026  08:00:00|Active|No|Default|Default");
  EXPECT_EQ(row(2), "Dormant|Daily|Never|Dormant|No|Default|Default");
  EXPECT_TRUE(boxes.Seen().empty());

  // Enabled states.
  auto states = [&] {
    return std::vector<bool>{page.AddButton()->isEnabled(), page.EditButton()->isEnabled(),
                             page.DeleteButton()->isEnabled(), page.RefreshButton()->isEnabled()};
  };
  EXPECT_EQ(states(), (std::vector<bool>{true, false, false, true}));
  list->topLevelItem(0)->setSelected(true);
  EXPECT_EQ(states(), (std::vector<bool>{true, true, true, true}));
  list->topLevelItem(2)->setSelected(true);
  EXPECT_EQ(states(), (std::vector<bool>{true, false, true, true}));
  locked = true;
  page.Stabilize();
  EXPECT_EQ(states(), (std::vector<bool>{false, false, false, false}));
  page.Delete();
  EXPECT_EQ(list->topLevelItemCount(), 3) << "no command while locked";
  locked = false;

  // Delete the first and the last row: one line each, in row order.
  boxes.Queue(QMessageBox::Yes);
  page.Delete();
  ASSERT_EQ(boxes.Texts(), std::vector<QString>{"Delete the Task(s), Are You Sure?"});
  EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::Warning);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].text, "Deleted task: Wav at seven.");
  EXPECT_EQ(log[1].text, "Deleted task: Dormant.");
  EXPECT_EQ(log[1].level, 0);
  EXPECT_EQ(refreshes, 1);
  EXPECT_EQ(LoadTaskFile(path, nullptr).tasks, std::vector<CTask>{monthly}) << "saved at once";

  // Add through the editor: the row, the line, the store, the refresh.
  log.clear();
  page.SetEditorRunner([](TaskEditorSheet& e) {
    e.General()->Title()->setText("News");
    e.General()->OutputFile()->setText("/music/news.ogg");
    e.General()->Mode()->setCurrentIndex(kModeDaily);
    e.General()->StartTime()->setTime(QTime(6, 30, 0));
    e.accept();
    return e.result();
  });
  page.Add();
  ASSERT_EQ(page.Count(), 2);
  EXPECT_EQ(row(0), "News|Daily|Jun 01, 2026  06:30:00|Active|No|Default|Default");
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].text, "Added new task: News");
  EXPECT_EQ(log[0].level, -1);
  EXPECT_EQ(refreshes, 2);
  EXPECT_EQ(LoadTaskFile(path, nullptr).tasks.size(), 2u);
  // The same title again, in other letters: refused, nothing added.
  page.SetEditorRunner([](TaskEditorSheet& e) {
    e.General()->Title()->setText("NEWS");
    e.General()->OutputFile()->setText("/music/x.ogg");
    e.accept();
    return e.result();
  });
  page.Add();
  EXPECT_EQ(page.Count(), 2);
  EXPECT_TRUE(boxes.Saw("The Task NEWS Already Exists, Please Specify Another Title!"));
}

TEST_F(SchedulerPage, ADamagedStoreShowsWhatItCouldRead) {
  std::string bytes = SerializeTasks({Daily("Kept", 7), Daily("Lost", 8)});
  test::WriteFile(path, bytes.substr(0, bytes.size() - 5));
  TaskListPage page(settings, Hooks());
  page.Load(path);
  ASSERT_EQ(page.Count(), 1);
  EXPECT_EQ(page.List()->topLevelItem(0)->text(0), "Kept");
  ASSERT_EQ(boxes.Texts(),
            std::vector<QString>{"An Error Occurred While Loading the Scheduled Tasks."});
  EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::Critical);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0].text, "An error occurred while loading the scheduled tasks.");
  EXPECT_EQ(log[0].level, 1);
}

TEST(SchedulerInWindow, LoadsAnnouncesAndSavesAtExit) {
  WindowFixture w("scheduler");
  CTask task = Daily("Evening news", 0);
  task.mode = kModeOnce;
  const LocalDateTime later = ToLocal(std::time(nullptr) + 3 * 86400);
  task.startYear = static_cast<uint16_t>(later.year);
  task.startMonth = static_cast<uint16_t>(later.month);
  task.startDay = static_cast<uint16_t>(later.day);
  task.startHour = 20;
  ASSERT_TRUE(SaveTaskFile(w.Home() + "/Task.ini", {task}, nullptr));
  ASSERT_TRUE(w.Start());
  auto* page = w.Dlg().Tabs()->widget(CRecorderDlg::kSchedulerPage)->findChild<QTreeWidget*>();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->topLevelItemCount(), 1);
  const int announced = w.Log().Find("The task \"Evening news\" will be launched on ");
  ASSERT_GE(announced, 0) << w.Log().Dump();
  EXPECT_LT(announced, w.Log().Find("Finished Initialization.")) << w.Log().Dump();
  EXPECT_EQ(w.Log().Find(" Days ", announced), announced + 1) << w.Log().Dump();
  std::filesystem::remove(w.Home() + "/Task.ini");
  w.Dlg().ExitSequence();
  EXPECT_EQ(LoadTaskFile(w.Home() + "/Task.ini", nullptr).tasks, std::vector<CTask>{task});
}
