// The notification-area icon: its tooltip and icon through a recording,
// its menu, and Minimise and Close going to the tray only while the setting
// is on and an icon is there to come back from. The offscreen platform has
// no notification area, so each test says whether there is one.
#include <gtest/gtest.h>

#include <QtGui/QAction>
#include <QtTest/QSignalSpy>
#include <QtTest/QTest>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QMenu>

#include <memory>

#include "GuiTestSupport.h"
#include "TestSupport.h"
#include "app/MiscPage.h"
#include "app/SystemTray.h"

using namespace tarvexa;
using namespace tarvexa::test;

namespace {

const QString kIdleTip = "Tarvexa Sound Recorder\nDouble click here to restore";

// Starts the window with or without a notification area; the answer can
// change later through the returned flag.
std::shared_ptr<bool> StartWithTray(WindowFixture& w, bool available) {
  auto flag = std::make_shared<bool>(available);
  w.Dlg().Tray()->SetAvailabilityProbe([flag] { return *flag; });
  EXPECT_TRUE(w.Start());
  EXPECT_EQ(w.Dlg().TrayCreated(), available);
  w.Boxes().Clear();
  return flag;
}

QCheckBox* MiscCheck(CRecorderDlg& dlg, const QString& text) {
  for (QCheckBox* box : dlg.GetMiscPage()->findChildren<QCheckBox*>())
    if (box->text() == text) return box;
  ADD_FAILURE() << "no check box " << text.toStdString();
  return nullptr;
}

QAction* MenuItem(CSystemTray* tray, const QString& text) {
  for (QAction* a : tray->Menu()->actions())
    if (a->text() == text) return a;
  ADD_FAILURE() << "no menu item " << text.toStdString();
  return nullptr;
}

bool WaitHidden(CRecorderDlg& dlg) {
  return QTest::qWaitFor([&] { return !dlg.isVisible(); }, 3000);
}

bool WaitShownNormal(CRecorderDlg& dlg) {
  return QTest::qWaitFor([&] { return dlg.isVisible() && !dlg.isMinimized(); }, 3000);
}

}  // namespace

TEST(Tray, TooltipAndIconFollowIdleRecordingAndPaused) {
  WindowFixture w("tray-tips");
  const std::string input = MakeTestWav(ScratchDir("tray-tips-input") + "/in.wav", 44100, 2, 20.0);
  StartWithTray(w, true);
  w.UseInputFile(input, true);
  CRecorderDlg& dlg = w.Dlg();
  CSystemTray* tray = dlg.Tray();
  dlg.CurrentSettings().OUTPUT.OutputFormat = 1;

  ASSERT_NE(tray->TrayIcon(), nullptr);
  EXPECT_EQ(tray->TooltipText(), kIdleTip);
  EXPECT_EQ(tray->TrayIcon()->toolTip(), kIdleTip) << "the tip reaches the icon itself";
  const qint64 idleIcon = tray->Icon().cacheKey();
  EXPECT_EQ(idleIcon, dlg.windowIcon().cacheKey());

  QSignalSpy finished(&dlg, &CRecorderDlg::sessionFinished);
  ASSERT_TRUE(dlg.StartRecordingTo(QString::fromStdString(w.Home() + "/tray.wav")));
  EXPECT_EQ(tray->TrayIcon()->toolTip(), "Recording");
  const qint64 recordingIcon = tray->Icon().cacheKey();
  EXPECT_NE(recordingIcon, idleIcon);
  EXPECT_EQ(recordingIcon, dlg.windowIcon().cacheKey());
  EXPECT_EQ(tray->TrayIcon()->icon().cacheKey(), recordingIcon);

  dlg.TogglePause();
  ASSERT_TRUE(dlg.Session().IsPaused());
  EXPECT_EQ(tray->TrayIcon()->toolTip(), "Recording Paused");
  EXPECT_NE(tray->Icon().cacheKey(), recordingIcon);
  EXPECT_EQ(tray->Icon().cacheKey(), dlg.windowIcon().cacheKey());

  dlg.TogglePause();
  EXPECT_EQ(tray->TrayIcon()->toolTip(), "Recording");

  dlg.StopRecording();
  ASSERT_TRUE(finished.wait(20000));
  EXPECT_EQ(tray->TrayIcon()->toolTip(), kIdleTip);
  EXPECT_EQ(tray->Icon().cacheKey(), dlg.windowIcon().cacheKey());
}

TEST(Tray, MinimiseToTrayHidesAndResoreOrADoubleClickBringsTheWindowBack) {
  WindowFixture w("tray-minimise");
  StartWithTray(w, true);
  CRecorderDlg& dlg = w.Dlg();
  CSystemTray* tray = dlg.Tray();
  QSignalSpy finished(&dlg, &QDialog::finished);

  // The menu: "Resore" (the program's own caption) by default, and "Exit".
  const QList<QAction*> items = tray->Menu()->actions();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0]->text(), "Resore");
  EXPECT_EQ(items[1]->text(), "Exit");
  EXPECT_EQ(tray->Menu()->defaultAction(), items[0]);

  // The Misc page's box is the setting.
  QCheckBox* minToTray = MiscCheck(dlg, "Minimize to System Tray");
  ASSERT_TRUE(minToTray);
  minToTray->click();
  EXPECT_EQ(dlg.CurrentSettings().MISC.MinToTray, 1);

  dlg.showMinimized();
  ASSERT_TRUE(WaitHidden(dlg));
  EXPECT_TRUE(tray->IsWindowHidden());
  EXPECT_EQ(tray->Menu()->defaultAction(), items[0]);

  // A double click on the icon runs the default item.
  emit tray->TrayIcon()->activated(QSystemTrayIcon::DoubleClick);
  ASSERT_TRUE(WaitShownNormal(dlg));
  EXPECT_TRUE(QTest::qWaitForWindowActive(&dlg));
  EXPECT_FALSE(tray->IsWindowHidden());

  // Again, back through "Resore" in the menu.
  dlg.showMinimized();
  ASSERT_TRUE(WaitHidden(dlg));
  MenuItem(tray, "Resore")->trigger();
  ASSERT_TRUE(WaitShownNormal(dlg));
  EXPECT_FALSE(tray->IsWindowHidden());

  // On a window in view, a double click only activates it.
  emit tray->TrayIcon()->activated(QSystemTrayIcon::DoubleClick);
  ASSERT_TRUE(HandlePostedEvents());
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_FALSE(dlg.isMinimized());

  // With the setting off, Minimise is a plain minimise.
  minToTray->click();
  EXPECT_EQ(dlg.CurrentSettings().MISC.MinToTray, 0);
  dlg.showMinimized();
  ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.isMinimized(); }, 3000));
  ASSERT_TRUE(HandlePostedEvents());  // a hide to the tray would be queued by now
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_FALSE(tray->IsWindowHidden());
  dlg.BringToFront();

  EXPECT_EQ(finished.count(), 0);
  EXPECT_FALSE(w.Log().Has("Exiting..."));
}

TEST(Tray, CloseGoesToTheTrayOnlyWithCloseToTrayAndExitEndsTheProgram) {
  {
    WindowFixture w("tray-close-on");
    StartWithTray(w, true);
    CRecorderDlg& dlg = w.Dlg();
    QSignalSpy finished(&dlg, &QDialog::finished);
    MiscCheck(dlg, "Close to System Tray")->click();
    ASSERT_EQ(dlg.CurrentSettings().MISC.CloseToTray, 1);

    EXPECT_FALSE(dlg.close()) << "the close is refused, the window goes to the tray";
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(dlg.Tray()->IsWindowHidden());
    EXPECT_EQ(finished.count(), 0);
    EXPECT_FALSE(w.Log().Has("Exiting..."));

    // "Exit" from the tray menu runs the exit sequence.
    MenuItem(dlg.Tray(), "Exit")->trigger();
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished[0][0].toInt(), 1);
    EXPECT_TRUE(w.Log().Has("Exiting..."));
  }
  {
    WindowFixture w("tray-close-off");
    StartWithTray(w, true);
    QSignalSpy finished(&w.Dlg(), &QDialog::finished);
    ASSERT_EQ(w.Dlg().CurrentSettings().MISC.CloseToTray, 0);
    w.Dlg().close();
    ASSERT_EQ(finished.count(), 1);
    EXPECT_TRUE(w.Log().Has("Exiting..."));
    EXPECT_FALSE(w.Dlg().Tray()->IsWindowHidden());
  }
}

TEST(Tray, WithoutANotificationAreaMinimiseAndCloseKeepTheirNormalMeaning) {
  {
    WindowFixture w("tray-none");
    StartWithTray(w, false);
    CRecorderDlg& dlg = w.Dlg();
    QSignalSpy finished(&dlg, &QDialog::finished);
    EXPECT_GE(w.Log().Find("notification area"), 0) << "start-up says the icon is missing";
    EXPECT_EQ(dlg.Tray()->TooltipText(), kIdleTip) << "kept for an icon that may come later";

    dlg.CurrentSettings().MISC.MinToTray = 1;
    dlg.CurrentSettings().MISC.CloseToTray = 1;
    dlg.showMinimized();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w.Log().Find("there is no notification area to minimize to") >= 0; }, 3000))
        << w.Log().Dump();
    EXPECT_EQ(w.Log().LevelOf("there is no notification area to minimize to"), 1);
    ASSERT_TRUE(HandlePostedEvents());
    EXPECT_TRUE(dlg.isMinimized());
    EXPECT_TRUE(dlg.isVisible()) << "a hidden window with no icon could never come back";
    EXPECT_FALSE(dlg.Tray()->IsWindowHidden());

    dlg.BringToFront();
    dlg.close();
    EXPECT_EQ(w.Log().LevelOf("there is no notification area to close to"), 1);
    ASSERT_EQ(finished.count(), 1) << "Close exits as it would without the setting";
    EXPECT_TRUE(w.Log().Has("Exiting..."));
  }
  {
    // The notification area goes away while the recorder runs, and comes back.
    WindowFixture w("tray-gone");
    auto available = StartWithTray(w, true);
    CRecorderDlg& dlg = w.Dlg();
    dlg.CurrentSettings().MISC.MinToTray = 1;
    *available = false;
    dlg.showMinimized();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w.Log().Find("there is no notification area to minimize to") >= 0; }, 3000))
        << w.Log().Dump();
    ASSERT_TRUE(HandlePostedEvents());
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(dlg.Tray()->IsWindowHidden());

    *available = true;
    dlg.BringToFront();
    ASSERT_TRUE(WaitShownNormal(dlg));
    dlg.showMinimized();
    ASSERT_TRUE(WaitHidden(dlg));
    EXPECT_TRUE(dlg.Tray()->IsWindowHidden());
  }
}
