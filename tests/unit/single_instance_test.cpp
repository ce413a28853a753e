#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "TestSupport.h"
#include "platform/desktop/SingleInstance.h"

using namespace tarvexa;

namespace {

void EnsureApp() {
  static int argc = 1;
  static char name[] = "single_instance_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  (void)app;
}

// Runs the event loop until `count` reaches `want` or the time is up.
bool PumpUntil(const int& count, int want, int ms = 3000) {
  QElapsedTimer t;
  t.start();
  while (count < want && t.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return count >= want;
}

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApp();
    // A runtime folder of our own, so a recorder running on this machine and
    // the tests never meet.
    runtime_ = test::ScratchDir("single_instance");
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
  }
  std::string runtime_;
};

}  // namespace

TEST_F(SingleInstanceTest, SecondStartIsRefusedAndRaisesTheFirst) {
  SingleInstance first;
  int raised = 0;
  QObject::connect(&first, &SingleInstance::raiseRequested, [&] { ++raised; });
  ASSERT_TRUE(first.TryBecomePrimary("TarvexaSI"));
  EXPECT_TRUE(first.ListenError().isEmpty()) << first.ListenError().toStdString();
  EXPECT_TRUE(first.LockPath().startsWith(QString::fromStdString(runtime_)));

  {
    SingleInstance second;
    EXPECT_FALSE(second.TryBecomePrimary("TarvexaSI"));
  }
  EXPECT_TRUE(PumpUntil(raised, 1)) << "the first instance was not asked to raise";

  // Every later start raises it again; another program name is independent.
  {
    SingleInstance third;
    EXPECT_FALSE(third.TryBecomePrimary("TarvexaSI"));
    SingleInstance other;
    EXPECT_TRUE(other.TryBecomePrimary("TarvexaSIOther"));
  }
  EXPECT_TRUE(PumpUntil(raised, 2));
  QCoreApplication::processEvents(QEventLoop::AllEvents, 200);
  EXPECT_EQ(raised, 2);
}

TEST_F(SingleInstanceTest, SecondProcessIsRefusedAndRaisesTheFirst) {
  SingleInstance first;
  int raised = 0;
  QObject::connect(&first, &SingleInstance::raiseRequested, [&] { ++raised; });
  ASSERT_TRUE(first.TryBecomePrimary("TarvexaSIProc"));

  // Another process, as a second recorder would start.
  std::string out;
  test::Run(std::string(TARVEXA_BIN_DIR) + "/single_instance_child TarvexaSIProc", &out);
  EXPECT_NE(("\n" + out).find("\nsecondary\n"), std::string::npos) << out;
  EXPECT_TRUE(PumpUntil(raised, 1)) << out;
}

TEST_F(SingleInstanceTest, LeftoversOfACrashDoNotBlockANewPrimary) {
  QString lockPath, socketPath;
  {
    SingleInstance probe;
    ASSERT_TRUE(probe.TryBecomePrimary("TarvexaSIStale"));
    lockPath = probe.LockPath();
    socketPath = probe.SocketPath();
  }
  // A clean end releases the lock and removes the socket.
  EXPECT_FALSE(QFile::exists(socketPath));

  // A crash leaves the lock file (unlocked, as the kernel drops the lock with
  // the process) and a socket file nobody listens on.
  ASSERT_TRUE(QFile::exists(lockPath));
  {
    int s = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(socketPath);
    std::strncpy(addr.sun_path, path.constData(), sizeof addr.sun_path - 1);
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(s, 1), 0);
    close(s);
  }
  ASSERT_TRUE(QFile::exists(socketPath));

  SingleInstance fresh;
  int raised = 0;
  QObject::connect(&fresh, &SingleInstance::raiseRequested, [&] { ++raised; });
  ASSERT_TRUE(fresh.TryBecomePrimary("TarvexaSIStale"));
  EXPECT_TRUE(fresh.ListenError().isEmpty()) << fresh.ListenError().toStdString();

  // And it can be raised through the new socket.
  {
    SingleInstance second;
    EXPECT_FALSE(second.TryBecomePrimary("TarvexaSIStale"));
  }
  EXPECT_TRUE(PumpUntil(raised, 1));
}
