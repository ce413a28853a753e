#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "TestSupport.h"
#include "platform/ShellOpen.h"

using namespace tarvexa;
using tarvexa::test::ReadFile;
using tarvexa::test::ScopedEnv;
using Clock = std::chrono::steady_clock;

namespace {

std::string WriteScript(const std::string& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body;
  chmod(path.c_str(), 0755);
  return path;
}

// Waits until `path` holds a complete line.
std::string WaitForLine(const std::string& path, double seconds) {
  auto end = Clock::now() + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) {
    std::string text = ReadFile(path);
    if (!text.empty() && text.back() == '\n') return text;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return ReadFile(path);
}

}  // namespace

TEST(ShellOpen, StartsTheOpenerDetachedWithTheTarget) {
  std::string dir = test::ScratchDir("shell_open");
  std::string record = dir + "/args.txt";
  // The opener records its arguments, then lingers as a real application would.
  std::string opener = WriteScript(
      dir + "/opener", "printf '%s|' \"$@\" > " + test::Quote(record + ".tmp") + "\necho >> " +
                           test::Quote(record + ".tmp") + "\nmv " + test::Quote(record + ".tmp") +
                           " " + test::Quote(record) + "\nexec sleep 3 >/dev/null 2>&1\n");
  ScopedEnv env("TARVEXA_OPENER", opener.c_str());

  const std::string target = dir + "/My Take (1).mp3";
  std::string error;
  auto start = Clock::now();
  ASSERT_TRUE(ShellOpen(target, &error)) << error;
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 1.0)
      << "ShellOpen waited for the opener";

  // One argument, blanks and parentheses intact.
  EXPECT_EQ(WaitForLine(record, 5), target + "|\n");

  // Nothing of the opener is left as a child of ours (no zombie to reap).
  int status;
  errno = 0;
  EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST(ShellOpen, OpenerWithItsOwnArgumentsAndUrls) {
  std::string dir = test::ScratchDir("shell_open_args");
  std::string record = dir + "/args.txt";
  std::string opener = WriteScript(
      dir + "/opener", "printf '%s|' \"$@\" > " + test::Quote(record + ".tmp") + "\necho >> " +
                           test::Quote(record + ".tmp") + "\nmv " + test::Quote(record + ".tmp") +
                           " " + test::Quote(record) + "\n");
  ScopedEnv env("TARVEXA_OPENER", (opener + " open --new-window").c_str());
  std::string error;
  ASSERT_TRUE(ShellOpen("https://example.org/a?b=1&c=2", &error)) << error;
  EXPECT_EQ(WaitForLine(record, 5), "open|--new-window|https://example.org/a?b=1&c=2|\n");
}

TEST(ShellOpen, MissingOrBrokenOpenerFailsWithAReason) {
  std::string dir = test::ScratchDir("shell_open_missing");
  std::string error;
  {
    ScopedEnv env("TARVEXA_OPENER", (dir + "/no-such-opener").c_str());
    EXPECT_FALSE(ShellOpen("/tmp", &error));
    EXPECT_NE(error.find("no-such-opener"), std::string::npos) << error;
  }
  {
    // Found and executable, but the kernel cannot run it: the failed start
    // must be reported, not lost in the detached child.
    std::string bad = dir + "/bad-interpreter";
    std::ofstream(bad) << "#!/no/such/interpreter\n";
    chmod(bad.c_str(), 0755);
    ScopedEnv env("TARVEXA_OPENER", bad.c_str());
    error.clear();
    EXPECT_FALSE(ShellOpen("/tmp", &error));
    EXPECT_NE(error.find("bad-interpreter"), std::string::npos) << error;
  }
  {
    // No override and neither xdg-open nor gio on the search path.
    ScopedEnv env("TARVEXA_OPENER", nullptr);
    ScopedEnv path("PATH", dir.c_str());
    error.clear();
    EXPECT_FALSE(ShellOpen("/tmp", &error));
    EXPECT_NE(error.find("xdg-open"), std::string::npos) << error;
  }
}
