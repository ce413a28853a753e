// Power actions and keep-awake locks against fake_logind on a private bus.
// The system bus address of this process always points at that private bus
// (or at nothing), so no test can reach the machine's real logind.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtCore/QCoreApplication>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "platform/desktop/KeepAwake.h"
#include "platform/desktop/PowerControl.h"

using namespace tarvexa;
using Clock = std::chrono::steady_clock;

namespace {

double SecondsSince(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

void EnsureApp() {
  static int argc = 1;
  static char name[] = "power_control_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  (void)app;
}

using test::ReadFile;
using test::ScopedEnv;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

using test::PrivateBus;
using test::Spawn;
using test::WaitFor;
const auto Stop = test::StopChild;

class PowerControlTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    EnsureApp();
    bus_ = new PrivateBus("power_control");
    if (!bus_->ok()) return;
    log_ = bus_->dir() + "/calls.log";
    control_ = bus_->dir() + "/control";
    std::ofstream(control_) << "";
    fake_ = Spawn({std::string(TARVEXA_BIN_DIR) + "/fake_logind", log_, control_},
                  {"DBUS_SYSTEM_BUS_ADDRESS=" + bus_->address()}, bus_->dir() + "/fake_logind.out");
    ready_ = WaitFor([] { return ReadFile(log_).find("READY\n") != std::string::npos; }, 10);
  }
  static void TearDownTestSuite() {
    Stop(fake_);
    delete bus_;
    bus_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(bus_ && bus_->ok()) << "dbus-daemon could not be started";
    ASSERT_TRUE(ready_) << "fake_logind did not start: "
                        << ReadFile(bus_->dir() + "/fake_logind.out");
    system_ = std::make_unique<ScopedEnv>("DBUS_SYSTEM_BUS_ADDRESS", bus_->address());
    session_ = std::make_unique<ScopedEnv>("DBUS_SESSION_BUS_ADDRESS", bus_->address());
    SetControl("");
    std::ofstream(log_, std::ios::trunc) << "";
  }
  void TearDown() override {
    session_.reset();
    system_.reset();
  }

  static void SetControl(const std::string& text) {
    std::ofstream(control_, std::ios::trunc) << text;
  }
  static std::vector<std::string> Calls() { return Lines(ReadFile(log_)); }
  static bool Logged(const std::string& line) {
    for (const auto& l : Calls())
      if (l == line) return true;
    return false;
  }

  static PrivateBus* bus_;
  static pid_t fake_;
  static bool ready_;
  static std::string log_, control_;
  std::unique_ptr<ScopedEnv> system_, session_;
};

PrivateBus* PowerControlTest::bus_ = nullptr;
pid_t PowerControlTest::fake_ = -1;
bool PowerControlTest::ready_ = false;
std::string PowerControlTest::log_;
std::string PowerControlTest::control_;

using CallList = std::vector<std::string>;

}  // namespace

TEST_F(PowerControlTest, EachActionAsksLogindFirstThenCallsItsMethodNonInteractively) {
  const struct {
    PowerAction action;
    CallList calls;
  } cases[] = {
      {PowerAction::Suspend, {"CanSuspend", "Suspend interactive=false"}},
      {PowerAction::Hibernate, {"CanHibernate", "Hibernate interactive=false"}},
      {PowerAction::Reboot, {"CanReboot", "Reboot interactive=false"}},
      {PowerAction::PowerOff, {"CanPowerOff", "PowerOff interactive=false"}},
  };
  for (const auto& c : cases) {
    std::ofstream(log_, std::ios::trunc) << "";
    std::string error;
    EXPECT_TRUE(RunPowerAction(c.action, &error)) << PowerActionName(c.action) << ": " << error;
    EXPECT_EQ(Calls(), c.calls) << PowerActionName(c.action);
  }
}

TEST_F(PowerControlTest, LogOffAsksTheDesktopsSessionManagerAndFallsBackToLogindSayingSo) {
  const std::string noBus = "unix:path=" + bus_->dir() + "/no-such-bus";
  const struct {
    const char* managers;  // the session managers on the session bus
    const char* control;
    bool sessionBus;
    bool ok;
    CallList calls;
    const char* said;  // a part of the error, or of the note before logind
  } cases[] = {
      {"gnome", "", true, true, {"org.gnome.SessionManager Logout 1"}, nullptr},
      {"kde", "", true, true, {"org.kde.Shutdown logout"}, nullptr},
      {"ksmserver", "", true, true, {"org.kde.KSMServerInterface logout 0 0 0"}, nullptr},
      {"xfce", "", true, true, {"org.xfce.Session.Manager Logout false true"}, nullptr},
      {"mate", "", true, true, {"org.mate.SessionManager Logout 1"}, nullptr},
      {"cinnamon", "", true, true, {"org.cinnamon.SessionManager Logout 1"}, nullptr},
      // A session manager that refuses or does not answer in time: nothing
      // is forced.
      {"gnome",
       "LogoutError=org.gnome.SessionManager.NotInRunning\n",
       true,
       false,
       {"org.gnome.SessionManager Logout 1"},
       "org.gnome.SessionManager.NotInRunning"},
      {"xfce",
       "Hang=Logout\n",
       true,
       false,
       {"org.xfce.Session.Manager Logout false true"},
       "Xfce"},
      // None there: logind ends the session, and the log hears of it first.
      {"", "", true, true, {"TerminateSession 7"}, "no session manager"},
      {"", "", false, true, {"TerminateSession 7"}, "no session bus"},
  };
  ScopedEnv id("XDG_SESSION_ID", std::string("7"));
  for (const auto& c : cases) {
    SetControl(c.control);
    pid_t managers = -1;
    if (*c.managers) {
      std::ofstream(log_, std::ios::trunc) << "";
      managers =
          Spawn({std::string(TARVEXA_BIN_DIR) + "/fake_logind", log_, control_, c.managers},
                {"DBUS_SESSION_BUS_ADDRESS=" + bus_->address()}, bus_->dir() + "/managers.out");
      ASSERT_TRUE(WaitFor([&] { return Logged(std::string("READY ") + c.managers); }, 10))
          << ReadFile(bus_->dir() + "/managers.out");
    }
    std::ofstream(log_, std::ios::trunc) << "";
    ScopedEnv session("DBUS_SESSION_BUS_ADDRESS", c.sessionBus ? bus_->address() : noBus);
    std::string error;
    std::vector<std::string> notes;
    const bool ok = RunPowerAction(PowerAction::LogOff, &error,
                                   [&](const std::string& n) { notes.push_back(n); });
    Stop(managers);
    EXPECT_EQ(ok, c.ok) << c.managers << ": " << error;
    EXPECT_EQ(Calls(), c.calls) << c.managers;
    if (!c.ok) {
      EXPECT_NE(error.find(c.said), std::string::npos) << error;
      EXPECT_TRUE(notes.empty());
    } else if (c.said) {
      ASSERT_EQ(notes.size(), 1u) << c.managers;
      EXPECT_NE(notes[0].find("logind"), std::string::npos) << notes[0];
      EXPECT_NE(notes[0].find(c.said), std::string::npos) << notes[0];
    } else {
      EXPECT_TRUE(notes.empty()) << notes[0];
    }
  }

  // Without XDG_SESSION_ID logind's session is looked up by our process id.
  ScopedEnv noId("XDG_SESSION_ID", nullptr);
  std::ofstream(log_, std::ios::trunc) << "";
  std::string error;
  ASSERT_TRUE(RunPowerAction(PowerAction::LogOff, &error)) << error;
  EXPECT_EQ(Calls(),
            (CallList{"GetSessionByPID " + std::to_string(getpid()), "TerminateSession c42"}));
}

TEST_F(PowerControlTest, RefusedWhenLogindSaysItCannot) {
  for (const char* answer : {"na", "no"}) {
    SetControl(std::string("CanHibernate=") + answer + "\n");
    std::ofstream(log_, std::ios::trunc) << "";
    std::string error;
    EXPECT_FALSE(RunPowerAction(PowerAction::Hibernate, &error));
    EXPECT_EQ(Calls(), (CallList{"CanHibernate"})) << "hibernated although logind said " << answer;
    EXPECT_NE(error.find(std::string("\"") + answer + "\""), std::string::npos) << error;
    EXPECT_NE(error.find("hibernate"), std::string::npos) << error;
  }
  // "challenge" means allowed with authentication: the call is made and
  // logind decides.
  SetControl("CanReboot=challenge\n");
  std::ofstream(log_, std::ios::trunc) << "";
  std::string error;
  EXPECT_TRUE(RunPowerAction(PowerAction::Reboot, &error)) << error;
  EXPECT_TRUE(Logged("Reboot interactive=false"));
}

TEST_F(PowerControlTest, NoBusNoLogindOrNoAnswerFailInsteadOfHanging) {
  std::string error;
  {
    ScopedEnv none("DBUS_SYSTEM_BUS_ADDRESS", std::string("unix:path=/nonexistent"));
    auto start = Clock::now();
    EXPECT_FALSE(RunPowerAction(PowerAction::PowerOff, &error));
    EXPECT_LT(SecondsSince(start), 2.0);
    EXPECT_NE(error.find("system bus"), std::string::npos) << error;

    ScopedEnv noSession("DBUS_SESSION_BUS_ADDRESS", nullptr);
    KeepAwake awake;
    error.clear();
    start = Clock::now();
    EXPECT_FALSE(awake.Acquire(true, true, &error));
    EXPECT_LT(SecondsSince(start), 2.0);
    EXPECT_NE(error.find("system bus"), std::string::npos) << error;
    EXPECT_EQ(awake.InhibitorFd(), -1);
  }
  {
    // A bus on which nobody owns org.freedesktop.login1.
    PrivateBus empty("power_control_empty");
    ASSERT_TRUE(empty.ok());
    ScopedEnv bare("DBUS_SYSTEM_BUS_ADDRESS", empty.address());
    auto start = Clock::now();
    error.clear();
    EXPECT_FALSE(RunPowerAction(PowerAction::Suspend, &error));
    EXPECT_LT(SecondsSince(start), 3.0);
    EXPECT_NE(error.find("org.freedesktop.login1"), std::string::npos) << error;
  }
  {
    // logind takes the call and never answers: the short call timeout ends it.
    SetControl("Hang=PowerOff\n");
    auto start = Clock::now();
    error.clear();
    EXPECT_FALSE(RunPowerAction(PowerAction::PowerOff, &error));
    EXPECT_LT(SecondsSince(start), 10.0);
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(Logged("PowerOff interactive=false"));
  }
}

TEST_F(PowerControlTest, KeepAwakeHoldsTheInhibitorUntilRelease) {
  KeepAwake awake;
  std::string error;
  ASSERT_TRUE(awake.Acquire(true, true, &error)) << error;
  EXPECT_TRUE(Logged("Inhibit sleep:idle|Tarvexa Sound Recorder|Recording|block"));
  EXPECT_TRUE(Logged("ScreenSaver.Inhibit Tarvexa Sound Recorder|Recording"));
  const int fd = awake.InhibitorFd();
  ASSERT_GE(fd, 0);
  EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << "programs we start would inherit the lock";
  EXPECT_TRUE(awake.ScreenSaverInhibited());

  // Held: logind has not seen the lock go. Two calls that return once
  // logind has handled them: a lock that had ended before them would have
  // been noticed by then.
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(test::Run("dbus-send --system --print-reply --dest=org.freedesktop.login1 "
                        "/org/freedesktop/login1 org.freedesktop.login1.Manager.CanPowerOff"),
              0);
  }
  EXPECT_TRUE(Logged("CanPowerOff"));
  EXPECT_FALSE(Logged("InhibitorClosed sleep:idle"));

  awake.Release();
  EXPECT_EQ(awake.InhibitorFd(), -1);
  EXPECT_FALSE(awake.ScreenSaverInhibited());
  EXPECT_TRUE(WaitFor([] { return Logged("InhibitorClosed sleep:idle"); }, 5))
      << "the lock is still held after Release";
  EXPECT_TRUE(Logged("ScreenSaver.UnInhibit 7"));
  awake.Release();  // twice is harmless
}

TEST_F(PowerControlTest, KeepAwakeTakesOnlyWhatIsAsked) {
  std::string error;
  {
    KeepAwake awake;
    ASSERT_TRUE(awake.Acquire(true, false, &error)) << error;
    EXPECT_EQ(Calls(), (CallList{"Inhibit sleep|Tarvexa Sound Recorder|Recording|block"}));
  }  // the destructor lets go
  EXPECT_TRUE(WaitFor([] { return Logged("InhibitorClosed sleep"); }, 5));

  std::ofstream(log_, std::ios::trunc) << "";
  {
    // Display only, on a desktop without a session bus: logind's idle lock.
    ScopedEnv noSession("DBUS_SESSION_BUS_ADDRESS", nullptr);
    ScopedEnv noRuntime("XDG_RUNTIME_DIR", bus_->dir() + "/no-such-runtime-dir");
    KeepAwake awake;
    ASSERT_TRUE(awake.Acquire(false, true, &error)) << error;
    EXPECT_EQ(Calls(), (CallList{"Inhibit idle|Tarvexa Sound Recorder|Recording|block"}));
    EXPECT_FALSE(awake.ScreenSaverInhibited());

    // Acquiring again replaces the old lock rather than leaking it.
    ASSERT_TRUE(awake.Acquire(true, false, &error)) << error;
    EXPECT_TRUE(WaitFor([] { return Logged("InhibitorClosed idle"); }, 5));
  }  // the destructor lets go of the sleep lock taken second
  // The fake notices the closed lock asynchronously: wait for it before the
  // log is cleared, or its line would land in the next part.
  EXPECT_TRUE(WaitFor([] { return Logged("InhibitorClosed sleep"); }, 5));

  std::ofstream(log_, std::ios::trunc) << "";
  {
    KeepAwake awake;
    EXPECT_TRUE(awake.Acquire(false, false, &error));
    EXPECT_TRUE(Calls().empty());
  }
}
