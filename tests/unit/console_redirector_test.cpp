// The child-process runner with real programs: arguments reach the child
// word for word with no shell in between, its output and errors arrive on
// one pipe, a child that goes away or stops reading fails the write instead
// of killing or hanging the recorder, and the child gets none of our files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <mutex>

#include "TestSupport.h"
#include "platform/ConsoleRedirector.h"

namespace tarvexa {
namespace {

using Clock = std::chrono::steady_clock;

// Keeps what the sinks were given; optionally closes itself from a sink.
class Recorder final : public ConsoleRedirector {
 public:
  ~Recorder() override { Close(); }
  std::string Out() {
    std::lock_guard<std::mutex> lock(m_);
    return out_;
  }
  std::string Err() {
    std::lock_guard<std::mutex> lock(m_);
    return err_;
  }
  bool closeInSink = false;

 protected:
  void WriteStdOut(const std::string& t) override {
    {
      std::lock_guard<std::mutex> lock(m_);
      out_ += t;
    }
    if (closeInSink) Close();
  }
  void WriteStdError(const std::string& t) override {
    std::lock_guard<std::mutex> lock(m_);
    err_ += t;
  }

 private:
  std::mutex m_;
  std::string out_, err_;
};

int ExitCode(const ConsoleRedirector& r) {
  return WIFEXITED(r.ExitStatus()) ? WEXITSTATUS(r.ExitStatus()) : -1;
}

TEST(ConsoleRedirector, ArgumentsInputAndMergedOutputRoundTrip) {
  // Words a shell would have expanded or split arrive as they are.
  Recorder r;
  ASSERT_TRUE(r.Open({"sh", "-c", "printf '[%s]' \"$@\"; cat; echo oops >&2; exit 3", "sh", "a b",
                      "it's", "$HOME", "*", "x;y"}))
      << r.ErrorText();
  const std::string input = std::string(200000, 'z') + "\n";  // more than a pipe holds
  EXPECT_EQ(r.WriteStdIn(input.data(), input.size(), 5000),
            ConsoleRedirector::WriteResult::Written);
  r.CloseStdIn();
  ASSERT_TRUE(r.Wait(10000));
  r.Close();
  EXPECT_EQ(ExitCode(r), 3);
  EXPECT_EQ(r.Out(), "[a b][it's][$HOME][*][x;y]" + input + "oops\n" + kChildEndedNotice);
  EXPECT_EQ(r.LastOutputLine(), "oops");
  EXPECT_EQ(ConsoleRedirector::DescribeStatus(r.ExitStatus()), "exited with status 3");
}

TEST(ConsoleRedirector, AMissingProgramIsReportedNotStarted) {
  Recorder r;
  EXPECT_FALSE(r.Open({"/nonexistent/encoder", "-"}));
  EXPECT_FALSE(r.Started());
  EXPECT_EQ(r.Err(), "Redirect console error: 2\n");
  EXPECT_NE(r.ErrorText().find("/nonexistent/encoder"), std::string::npos);
  EXPECT_EQ(r.WriteStdIn("x", 1, 100), ConsoleRedirector::WriteResult::ChildGone);
}

TEST(ConsoleRedirector, AChildThatGoesAwayOrStopsReadingFailsTheWrite) {
  std::string block(1 << 20, 'a');
  {
    // Exits at once: the write fails with a broken pipe and this process
    // lives on (SIGPIPE is ignored).
    Recorder r;
    ASSERT_TRUE(r.Open({"true"}));
    ASSERT_TRUE(r.Wait(5000));
    EXPECT_EQ(r.WriteStdIn(block.data(), block.size(), 2000),
              ConsoleRedirector::WriteResult::ChildGone);
  }
  {
    // Never reads: the write gives up after the stall time, not later.
    Recorder r;
    ASSERT_TRUE(r.Open({"sleep", "30"}));
    const auto start = Clock::now();
    EXPECT_EQ(r.WriteStdIn(block.data(), block.size(), 300),
              ConsoleRedirector::WriteResult::Stalled);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    r.Terminate(500);
    EXPECT_TRUE(r.Exited());
    EXPECT_TRUE(WIFSIGNALED(r.ExitStatus()));
  }
}

TEST(ConsoleRedirector, TheChildRunsApartAndGetsNoneOfOurFiles) {
  const std::string dir = test::ScratchDir("redirector-fds");
  const int ours = ::open((dir + "/ours").c_str(), O_CREAT | O_WRONLY, 0644);  // inheritable
  ASSERT_GE(ours, 3);
  Recorder r;
  ASSERT_TRUE(r.Open({"sh", "-c", "ls -l /proc/$$/fd; echo pgid $(ps -o pgid= -p $$)"}));
  r.CloseStdIn();
  ASSERT_TRUE(r.Wait(5000));
  r.Close();
  ::close(ours);
  EXPECT_EQ(r.Out().find(dir + "/ours"), std::string::npos) << r.Out();
  // Its own process group: a Ctrl+C at our terminal does not reach it.
  const size_t at = r.Out().find("pgid ");
  ASSERT_NE(at, std::string::npos) << r.Out();
  EXPECT_EQ(std::atoi(r.Out().c_str() + at + 5), r.Pid()) << r.Out();
}

TEST(ConsoleRedirector, CloseWorksFromASinkAndAgainFromTheOwner) {
  Recorder r;
  r.closeInSink = true;
  ASSERT_TRUE(r.Open({"sh", "-c", "echo first; sleep 1; echo second"}));
  ASSERT_TRUE(r.Wait(10000));
  r.Close();
  r.Close();
  EXPECT_EQ(r.Out(), "first\n") << "nothing is read after a sink closed the runner";
}

}  // namespace
}  // namespace tarvexa
