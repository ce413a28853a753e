// The window's commands from the keyboard and the buttons: page selection
// with its wrap-around, keys that must not close the window, record, pause
// and stop through the accelerators, and ConfirmStop.
#include <gtest/gtest.h>

#include <QtCore/QTimer>
#include <QtGui/QContextMenuEvent>
#include <QtTest/QTest>
#include <QtWidgets/QApplication>
#include <QtWidgets/QMenu>
#include <QtWidgets/QMenuBar>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QTabWidget>

#include <filesystem>

#include "GuiTestSupport.h"
#include "TestSupport.h"
#include "app/AboutDlg.h"
#include "platform/Paths.h"

using namespace tarvexa;
using namespace tarvexa::test;
namespace fs = std::filesystem;

namespace {

// Sends a key to whatever has the focus in the window, as a user would.
void Key(CRecorderDlg& dlg, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QWidget* target = QApplication::focusWidget();
  QTest::keyClick(target ? target : &dlg, key, mods);
}

// A recording from a WAV file paced like a sound card, so that it runs
// until it is stopped.
std::string LongInput() {
  static const std::string path =
      MakeTestWav(ScratchDir("commands-input") + "/long.wav", 44100, 2, 60.0);
  return path;
}

}  // namespace

TEST(Commands, FunctionKeysSelectThePagesAndTabWrapsAround) {
  WindowFixture w("pages");
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  for (int page = 0; page < CRecorderDlg::kPageCount; ++page) {
    Key(dlg, static_cast<Qt::Key>(Qt::Key_F2 + page));
    EXPECT_EQ(dlg.CurrentPage(), page) << "F" << page + 2;
    EXPECT_EQ(dlg.Tabs()->tabText(page), CRecorderDlg::PageName(page));
  }
  // On the last page Ctrl+Tab goes round to the first.
  ASSERT_EQ(dlg.CurrentPage(), 7);
  Key(dlg, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(dlg.CurrentPage(), 0);
  Key(dlg, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(dlg.CurrentPage(), 1);
  // Shift+Tab on the first page goes to the last; the key arrives as Backtab.
  Key(dlg, Qt::Key_F2);
  Key(dlg, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(dlg.CurrentPage(), 7);
  Key(dlg, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(dlg.CurrentPage(), 6);
}

TEST(Commands, EscapeAndEnterDoNotCloseTheWindow) {
  WindowFixture w("keys");
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  dlg.RecordButton()->setFocus();
  for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) Key(dlg, key);
  ASSERT_TRUE(HandlePostedEvents());
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_FALSE(dlg.IsSessionActive()) << "Enter on the focused Record button must not record";
  dlg.reject();
  EXPECT_TRUE(dlg.isVisible());
}

TEST(Commands, TheMenusCarryTheCommands) {
  WindowFixture w("menus");
  ASSERT_TRUE(w.Start());
  QStringList menus;
  for (QAction* a : w.Dlg().MenuBar()->actions()) menus << a->text();
  EXPECT_EQ(menus, (QStringList{"&File", "&Action", "&Tools", "&Help"}));
  auto find = [&](const QString& text) -> QAction* {
    for (QAction* a : w.Dlg().MenuBar()->findChildren<QAction*>())
      if (a->text() == text) return a;
    return nullptr;
  };
  for (const char* text : {"Device(s)", "Exit", "Record", "Pause/Resume", "Stop", "Next Tool",
                           "Previous Tool", "Options", "Help Contents", "Tip of the Day",
                           "HomePage", "Email Support", "Online Support", "About"})
    EXPECT_NE(find(text), nullptr) << text;
  EXPECT_EQ(find("Record")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
  EXPECT_EQ(find("Options")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
  EXPECT_EQ(find("Help Contents")->shortcut(), QKeySequence(Qt::Key_F1));
  EXPECT_EQ(w.Dlg().RecordButton()->toolTip(), "Record Sound");
  EXPECT_EQ(w.Dlg().FormatButton()->toolTip(), "Quickly Set the Output Format");
}

TEST(Commands, TheWindowMenuEndsWithAboutTarvexa) {
  WindowFixture w("window-menu");
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  QMenu* menu = dlg.WindowMenu();
  ASSERT_NE(menu, nullptr);
  const QList<QAction*> actions = menu->actions();
  ASSERT_GE(actions.size(), 2);
  EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
  QAction* about = actions.back();
  EXPECT_EQ(about->text(), "&About Tarvexa...");

  // A right click on the window, away from any control, opens it.
  QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2), dlg.mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(&dlg, &click);
  EXPECT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
  menu->close();

  // The item opens the About box.
  bool shown = false;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<AboutDlg*>(QApplication::activeModalWidget())) {
      shown = true;
      box->reject();
    }
  });
  about->trigger();
  EXPECT_TRUE(shown);
}

TEST(Commands, AcceleratorsRecordPauseAndStop) {
  WindowFixture w("accelerators");
  w.UseInputFile(LongInput(), true);
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  dlg.CurrentSettings().OUTPUT.OutputFormat = 1;
  QString askedExtension;
  const std::string out = w.Home() + "/take.wav";
  dlg.SetOutputPathAsker([&](const QString& ext) {
    askedExtension = ext;
    return QString::fromStdString(out);
  });

  // Pause and Stop do nothing while idle.
  Key(dlg, Qt::Key_U, Qt::ControlModifier);
  Key(dlg, Qt::Key_S, Qt::ControlModifier);
  EXPECT_FALSE(dlg.IsSessionActive());
  EXPECT_FALSE(dlg.PauseButton()->isEnabled());

  Key(dlg, Qt::Key_R, Qt::ControlModifier);
  EXPECT_EQ(askedExtension, ".wav");
  ASSERT_TRUE(dlg.IsRecording());
  EXPECT_FALSE(dlg.RecordButton()->isEnabled());
  EXPECT_TRUE(w.Log().Has("Start recording  " + out));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return dlg.StatusText(2) == QString::fromStdString("Recording:  " + out); }, 5000));
  // Record while recording does nothing.
  askedExtension.clear();
  Key(dlg, Qt::Key_R, Qt::ControlModifier);
  EXPECT_TRUE(askedExtension.isEmpty());

  Key(dlg, Qt::Key_U, Qt::ControlModifier);
  EXPECT_TRUE(dlg.Session().IsPaused());
  EXPECT_EQ(dlg.PauseButton()->text(), "Resume");
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return w.Log().Has("Recording manually paused:  " + out); }, 5000));
  Key(dlg, Qt::Key_U, Qt::ControlModifier);
  EXPECT_FALSE(dlg.Session().IsPaused());
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return w.Log().Has("Manually resumed recording:  " + out); }, 5000));

  Key(dlg, Qt::Key_S, Qt::ControlModifier);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.IsSessionActive(); }, 10000));
  EXPECT_TRUE(w.Log().Has("Finished recording" + out)) << w.Log().Dump();
  EXPECT_TRUE(dlg.RecordButton()->isEnabled());
  EXPECT_TRUE(fs::exists(out));
}

TEST(Commands, ConfirmStopAsksOnlyWhileRecording) {
  WindowFixture w("confirm-stop");
  w.UseInputFile(LongInput(), true);
  ASSERT_TRUE(w.Start());
  CRecorderDlg& dlg = w.Dlg();
  dlg.CurrentSettings().OUTPUT.OutputFormat = 1;
  w.Boxes().Clear();

  EXPECT_TRUE(dlg.ConfirmStop());
  EXPECT_TRUE(w.Boxes().Seen().empty()) << "no question while idle";

  ASSERT_TRUE(dlg.StartRecordingTo(QString::fromStdString(w.Home() + "/confirm.wav")));
  w.Boxes().Queue(QMessageBox::No);
  EXPECT_FALSE(dlg.ConfirmStop());
  ASSERT_EQ(w.Boxes().Seen().size(), 1u);
  const MessageBoxRequest& box = w.Boxes().Seen()[0];
  EXPECT_EQ(box.text, "You MUST Stop Recording to Do the Job! Do You Wish to Continue?");
  EXPECT_EQ(box.caption, "Tarvexa Sound Recorder");
  EXPECT_EQ(box.icon, QMessageBox::Warning);
  EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_TRUE(dlg.IsRecording());

  w.Boxes().Queue(QMessageBox::Yes);
  EXPECT_TRUE(dlg.ConfirmStop());
  EXPECT_FALSE(dlg.IsRecording());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.IsSessionActive(); }, 10000));
}

TEST(Commands, HelpAndHomeOpenTheirTargetsThroughTheDesktop) {
  WindowFixture w("help-home");
  ASSERT_TRUE(w.Start());
  // An opener that writes down what it was asked to open.
  const std::string opened = w.Home() + "/opened.txt";
  const std::string opener = w.Home() + "/opener.sh";
  WriteFile(opener, "#!/bin/sh\necho \"$1\" >> '" + opened + "'\n");
  fs::permissions(opener, fs::perms::owner_all);
  setenv("TARVEXA_OPENER", opener.c_str(), 1);

  Key(w.Dlg(), Qt::Key_F1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(opened); }, 5000));
  w.Dlg().OpenHomePage();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return ReadFile(opened).find('\n') != ReadFile(opened).rfind('\n'); }, 5000));
  unsetenv("TARVEXA_OPENER");
  EXPECT_EQ(ReadFile(opened), ProgramFolder() + "/Help.html\n" + kHomePage + "\n");
  EXPECT_TRUE(fs::exists(ProgramFolder() + "/Help.html"))
      << "the help page ships beside the program";
}
