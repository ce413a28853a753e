// The global hotkeys on a private X server (Xvfb, started here and stopped at
// the end): Ctrl+R, Ctrl+U and Ctrl+S typed through XTest record, pause and
// stop, also with Caps Lock or Num Lock on; a key held by another client makes
// the box fail and leaves nothing grabbed; unticking, the exit sequence and
// the window's end release the keys; the saved state comes back at start-up.
// Without any X11 display (or in a Wayland session) ticking the box fails
// with the message.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QtTest/QSignalSpy>
#include <QtTest/QTest>
#include <QtWidgets/QCheckBox>

#include <cstdlib>
#include <string>

#include "GuiTestSupport.h"
#include "TestSupport.h"
#include "app/AdvancedPage.h"
#include "app/HotkeyGroup.h"

// Xlib last: its macros clash with Qt's and GoogleTest's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

using namespace tarvexa;
using namespace tarvexa::test;

namespace {

// ------------------------------------------------------------ the X server

class XvfbServer {
 public:
  // The display name, ":N"; empty when Xvfb cannot be started.
  const std::string& Name() {
    if (!tried_) {
      tried_ = true;
      Start();
    }
    return display_;
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    display_.clear();
    tried_ = false;
  }

 private:
  void Start() {
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string log = ScratchDir("xvfb") + "/xvfb.log";
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
      }
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
             "640x480x24", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
      close(fds[0]);
      return;
    }
    // Xvfb writes the display number it chose once it accepts clients.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&p, 1, 15000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) {
      Stop();
      return;
    }
    display_ = ":" + number;
  }

  bool tried_ = false;
  pid_t pid_ = -1;
  std::string display_;
};

XvfbServer& Server() {
  static XvfbServer server;
  return server;
}

// Stops the server after the last test, when every window is gone.
class ServerEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { Server().Stop(); }
};
[[maybe_unused]] ::testing::Environment* const g_serverEnvironment =
    ::testing::AddGlobalTestEnvironment(new ServerEnvironment);

// Points DISPLAY at the private server; fails the test when there is none.
#define USE_XVFB()                                                         \
  do {                                                                     \
    if (Server().Name().empty()) GTEST_FAIL() << "Xvfb cannot be started"; \
    setenv("DISPLAY", Server().Name().c_str(), 1);                         \
    unsetenv("WAYLAND_DISPLAY");                                           \
  } while (0)

// ------------------------------------------------ another client on the server

int g_clientError = 0;
int OnClientError(::Display*, XErrorEvent* e) {
  g_clientError = e->error_code;
  return 0;
}

// A second X client: types keys through XTest and holds grabs of its own.
class OtherClient {
 public:
  OtherClient() {
    // Xvfb drops a connection now and then when it follows closely on
    // another client's leaving; try again a few times.
    for (int attempt = 0; attempt < 50 && !d_; ++attempt) {
      if (attempt > 0) usleep(20000);
      d_ = XOpenDisplay(Server().Name().c_str());
    }
  }
  ~OtherClient() {
    if (d_) XCloseDisplay(d_);
  }
  bool Connected() const { return d_ != nullptr; }

  // Grabs Ctrl+key on the root window and keeps it; false when refused.
  bool Grab(KeySym key) {
    g_clientError = 0;
    XErrorHandler old = XSetErrorHandler(OnClientError);
    XGrabKey(d_, XKeysymToKeycode(d_, key), ControlMask, DefaultRootWindow(d_), False,
             GrabModeAsync, GrabModeAsync);
    XSync(d_, False);
    XSetErrorHandler(old);
    return g_clientError == 0;
  }

  void Key(KeySym key, bool down) {
    XTestFakeKeyEvent(d_, XKeysymToKeycode(d_, key), down ? True : False, 0);
    XSync(d_, False);
  }

  void Tap(KeySym key) {
    Key(key, true);
    Key(key, false);
  }

  // Control down, key down, held for holdMs (the server repeats it), key
  // up, Control up.
  void TypeCtrl(KeySym key, int holdMs = 0) {
    Key(XK_Control_L, true);
    Key(key, true);
    if (holdMs > 0) QTest::qWait(holdMs);
    Key(key, false);
    Key(XK_Control_L, false);
  }

 private:
  ::Display* d_ = nullptr;
};

// True when a fresh client may grab Ctrl+key: nobody else holds it.
bool KeyIsFree(KeySym key) {
  OtherClient probe;
  if (!probe.Connected()) {
    ADD_FAILURE() << "the X server cannot be reached";
    return false;
  }
  return probe.Grab(key);
}

QCheckBox* HotkeyBox(CRecorderDlg& dlg) { return dlg.GetAdvancedPage()->Hotkeys()->EnableCheck(); }

}  // namespace

TEST(Hotkeys, WithoutAnX11DisplayTickingFailsWithTheMessageAndUnticks) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  WindowFixture w("hotkeys-no-display");
  ASSERT_TRUE(w.Start());
  w.Boxes().Clear();
  QCheckBox* box = HotkeyBox(w.Dlg());
  EXPECT_EQ(box->text(), "Enable Global Hotkeys for Sound Recording");
  EXPECT_FALSE(box->isChecked());

  box->click();
  ASSERT_EQ(w.Boxes().Texts(), std::vector<QString>{"RegisterHotKey failed"});
  EXPECT_EQ(w.Boxes().Seen()[0].icon, QMessageBox::Critical);
  EXPECT_FALSE(box->isChecked());
  EXPECT_EQ(w.Dlg().CurrentSettings().MISC.HotKey, 0);
  EXPECT_EQ(w.Log().LevelOf("Enable global hotkeys."), 0);
  EXPECT_GE(w.Log().Find("Ctrl+R: there is no X11 display"), 0) << w.Log().Dump();
  EXPECT_FALSE(w.Log().Has("Disable global hotkeys."))
      << "the failure unticks without a second line";
}

TEST(Hotkeys, AWaylandSessionIsReportedRatherThanGrabbedUselessly) {
  USE_XVFB();
  setenv("WAYLAND_DISPLAY", "wayland-0", 1);
  WindowFixture w("hotkeys-wayland");
  ASSERT_TRUE(w.Start());
  w.Boxes().Clear();
  HotkeyBox(w.Dlg())->click();
  unsetenv("WAYLAND_DISPLAY");
  EXPECT_TRUE(w.Boxes().Saw("RegisterHotKey failed"));
  EXPECT_FALSE(HotkeyBox(w.Dlg())->isChecked());
  EXPECT_GE(w.Log().Find("Wayland session"), 0) << w.Log().Dump();
  EXPECT_TRUE(KeyIsFree(XK_r));
}

TEST(Hotkeys, CtrlRUAndSFromAnyProgramRecordPauseAndStopWhateverTheLockKeys) {
  USE_XVFB();
  WindowFixture w("hotkeys-record");
  const std::string input = MakeTestWav(ScratchDir("hotkeys-input") + "/in.wav", 44100, 2, 20.0);
  ASSERT_TRUE(w.Start());
  w.UseInputFile(input, true);
  CRecorderDlg& dlg = w.Dlg();
  dlg.CurrentSettings().OUTPUT.OutputFormat = 1;
  const QString out = QString::fromStdString(w.Home() + "/hotkey.wav");
  const QString again = QString::fromStdString(w.Home() + "/again.wav");
  bool ticked = false;  // set when the box is ticked again at the end
  int asked = 0;
  dlg.SetOutputPathAsker([&](const QString&) {
    ++asked;
    return ticked ? again : out;
  });
  w.Boxes().Clear();

  HotkeyBox(dlg)->click();
  EXPECT_TRUE(w.Boxes().Seen().empty()) << w.Log().Dump();
  EXPECT_TRUE(HotkeyBox(dlg)->isChecked());
  EXPECT_TRUE(dlg.GetAdvancedPage()->Hotkeys()->Active());
  EXPECT_EQ(dlg.CurrentSettings().MISC.HotKey, 1);
  EXPECT_EQ(w.Log().LevelOf("Enable global hotkeys."), 0);
  for (KeySym key : {XK_r, XK_u, XK_s}) EXPECT_FALSE(KeyIsFree(key)) << "the recorder holds it";

  OtherClient keyboard;
  ASSERT_TRUE(keyboard.Connected());
  keyboard.TypeCtrl(XK_r);
  ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.IsSessionActive(); }, 5000)) << w.Log().Dump();
  EXPECT_EQ(asked, 1) << "Record asks for the file as the button does";

  // Caps Lock on: still Ctrl+U. Held down for a while it pauses once, not
  // once per repeat.
  QSignalSpy presses(dlg.GetAdvancedPage()->Hotkeys(), &HotkeyGroup::hotkeyPressed);
  keyboard.Tap(XK_Caps_Lock);
  keyboard.TypeCtrl(XK_u, 1500);
  EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.Session().IsPaused(); }, 5000));
  keyboard.Tap(XK_Caps_Lock);
  keyboard.TypeCtrl(XK_u);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg.Session().IsPaused(); }, 5000));
  // The second press has arrived, so every repeat of the first had too.
  EXPECT_EQ(presses.count(), 2);

  // Num Lock on: still Ctrl+S.
  QSignalSpy finished(&dlg, &CRecorderDlg::sessionFinished);
  keyboard.Tap(XK_Num_Lock);
  keyboard.TypeCtrl(XK_s);
  EXPECT_TRUE(finished.wait(10000)) << w.Log().Dump();
  keyboard.Tap(XK_Num_Lock);

  // Unticking releases all three; Ctrl+R then reaches nobody.
  HotkeyBox(dlg)->click();
  EXPECT_EQ(w.Log().LevelOf("Disable global hotkeys."), 0);
  EXPECT_EQ(dlg.CurrentSettings().MISC.HotKey, 0);
  for (KeySym key : {XK_r, XK_u, XK_s}) EXPECT_TRUE(KeyIsFree(key));
  keyboard.TypeCtrl(XK_r);
  // Ticked again, the next Ctrl+R records into again.wav. Once it has, the
  // first Ctrl+R, which came before it, has reached nobody: it would have
  // recorded into hotkey.wav, and the second would then have done nothing.
  ticked = true;
  HotkeyBox(dlg)->click();
  ASSERT_EQ(dlg.CurrentSettings().MISC.HotKey, 1);
  keyboard.TypeCtrl(XK_r);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return w.Log().Has("Start recording  " + again.toStdString()); }, 5000))
      << w.Log().Dump();
  EXPECT_EQ(asked, 2);
  // The input plays in real time for 20 s: Ctrl+S ends it.
  QSignalSpy finishedAgain(&dlg, &CRecorderDlg::sessionFinished);
  keyboard.TypeCtrl(XK_s);
  EXPECT_TRUE(finishedAgain.wait(10000)) << w.Log().Dump();
  EXPECT_FALSE(dlg.IsSessionActive());
}

TEST(Hotkeys, AKeyHeldByAnotherProgramFailsTheBoxAndLeavesNothingGrabbed) {
  USE_XVFB();
  OtherClient holder;
  ASSERT_TRUE(holder.Connected());
  ASSERT_TRUE(holder.Grab(XK_u));

  WindowFixture w("hotkeys-taken");
  ASSERT_TRUE(w.Start());
  w.Boxes().Clear();
  HotkeyBox(w.Dlg())->click();

  ASSERT_EQ(w.Boxes().Texts(), std::vector<QString>{"RegisterHotKey failed"});
  EXPECT_EQ(w.Boxes().Seen()[0].icon, QMessageBox::Critical);
  EXPECT_FALSE(HotkeyBox(w.Dlg())->isChecked());
  EXPECT_EQ(w.Dlg().CurrentSettings().MISC.HotKey, 0);
  EXPECT_FALSE(w.Dlg().GetAdvancedPage()->Hotkeys()->Active());
  EXPECT_GE(w.Log().Find("Ctrl+U is already taken by another program"), 0) << w.Log().Dump();
  // Ctrl+R, granted before Ctrl+U failed, was let go again; Ctrl+S was never tried.
  EXPECT_TRUE(KeyIsFree(XK_r));
  EXPECT_TRUE(KeyIsFree(XK_s));
  EXPECT_EQ(w.Log().Find("Ctrl+S"), -1);
}

TEST(Hotkeys, TheSavedStateIsRestoredAtStartupAndReleasedOnExit) {
  USE_XVFB();
  {
    WindowFixture w("hotkeys-restore");
    WriteFile(w.Home() + "/Config.ini", "[MISC]\nHotKey=1\n");
    ASSERT_TRUE(w.Start());
    EXPECT_FALSE(w.Boxes().Saw("RegisterHotKey failed"));
    EXPECT_TRUE(HotkeyBox(w.Dlg())->isChecked());
    EXPECT_EQ(w.Dlg().CurrentSettings().MISC.HotKey, 1);
    EXPECT_TRUE(w.Dlg().GetAdvancedPage()->Hotkeys()->Active());
    EXPECT_FALSE(KeyIsFree(XK_s));

    // The exit sequence lets the keys go but keeps the setting for next time.
    w.Dlg().ExitSequence();
    EXPECT_TRUE(KeyIsFree(XK_r));
    EXPECT_TRUE(KeyIsFree(XK_s));
    EXPECT_NE(ReadFile(w.Home() + "/Config.ini").find("HotKey=1"), std::string::npos);
  }
  {
    // The page's end releases them too.
    WindowFixture w("hotkeys-page-end");
    WriteFile(w.Home() + "/Config.ini", "[MISC]\nHotKey=1\n");
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(w.Dlg().GetAdvancedPage()->Hotkeys()->Active());
  }
  EXPECT_TRUE(KeyIsFree(XK_r));
  EXPECT_TRUE(KeyIsFree(XK_u));

  // Restored where the keys cannot be had: the same report as a tick.
  OtherClient holder;
  ASSERT_TRUE(holder.Connected());
  ASSERT_TRUE(holder.Grab(XK_r));
  WindowFixture w("hotkeys-restore-fails");
  WriteFile(w.Home() + "/Config.ini", "[MISC]\nHotKey=1\n");
  ASSERT_TRUE(w.Start());
  EXPECT_TRUE(w.Boxes().Saw("RegisterHotKey failed"));
  EXPECT_FALSE(HotkeyBox(w.Dlg())->isChecked());
  EXPECT_EQ(w.Dlg().CurrentSettings().MISC.HotKey, 0);
}
