#pragma once
// Runs a console program as a child process: its standard input is a pipe
// the owner writes into, its standard output and standard error share one
// pipe that a redirect thread of ours reads and hands to WriteStdOut. The
// program gets an argument vector (never a shell), its own process group (a
// Ctrl+C at the terminal reaches the recorder, which then ends the child's
// input, rather than killing the child mid-file), default signal handling,
// and none of our other file descriptors.
//
// SIGPIPE is ignored in this process from the first Open on: a child that
// goes away shows up as a failed write, never as the death of the recorder.
//
// Thread affinity: Open, WriteStdIn, CloseStdIn, Wait, Terminate and Close
// are called by one owner thread; the sinks run on the redirect thread
// (Open's own failure notice on the owner thread). Close may also be called
// from inside a sink: it then only ends the reading.

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarvexa {

// The runner's own notices, as handed to the sinks.
inline constexpr char kChildEndedNotice[] = "\nChild Process Ended\n";
inline constexpr char kReadPipeErrorNotice[] = "Read stdout pipe error\n";
inline constexpr char kRedirectThreadDeadNotice[] = "The redir thread is dead\n";

class ConsoleRedirector {
 public:
  ConsoleRedirector() = default;
  // Closes; a child still running gets its input closed and a short time
  // to finish before it is killed, so no zombie is left behind. A subclass
  // with sinks calls Close in its own destructor, while its sinks still
  // exist.
  virtual ~ConsoleRedirector();
  ConsoleRedirector(const ConsoleRedirector&) = delete;
  ConsoleRedirector& operator=(const ConsoleRedirector&) = delete;

  // Starts argv[0] (a path, or a name looked up on $PATH) with the rest as
  // its arguments, and the redirect thread. False when the program could
  // not be started: "Redirect console error: %x" (the errno in hex) went to
  // WriteStdError and ErrorText() says why in words. A running child is
  // closed first.
  bool Open(const std::vector<std::string>& argv);

  enum class WriteResult { Written, ChildGone, Stalled, Failed };
  // Writes all of data into the child's standard input. A child that takes
  // none of it for stallMs fails the write with Stalled (the child is left
  // running: the caller decides); a child that has closed its input (or
  // exited) gives ChildGone. ErrorText() then says what happened.
  WriteResult WriteStdIn(const void* data, size_t size, int stallMs);
  // Ends the child's input (end of file for it). Nothing when already done.
  void CloseStdIn();

  // Waits for the child to end and reaps it; timeoutMs < 0 waits without
  // limit. True when it has ended; *status (when given) gets its wait status.
  bool Wait(int timeoutMs, int* status = nullptr);
  // Ends the child: SIGTERM to its process group, SIGKILL after graceMs,
  // and reaps it.
  void Terminate(int graceMs);

  // Stops the redirect thread (after it has read what the child left in the
  // pipe) and releases every descriptor; a child that has not been waited
  // for is dealt with as in the destructor. May be called more than once.
  void Close();

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  bool Exited() const { return reaped_; }
  int ExitStatus() const { return status_; }  // wait status, once Exited()
  const std::string& ErrorText() const { return error_; }
  // The last lines the child printed (up to about 2 KiB), whatever the sinks
  // did with them.
  std::string OutputTail() const;
  // The last non-empty line of OutputTail(), progress lines ("\r") cut.
  std::string LastOutputLine() const;

  // "exited with status 1", "was killed by signal 9 (Killed)".
  static std::string DescribeStatus(int status);

  // Poll period of the redirect thread in milliseconds.
  int waitMs = 100;

 protected:
  // The child's output and the runner's notices; default: dropped.
  virtual void WriteStdOut(const std::string& /*text*/) {}
  // The runner's own error notices; default: dropped.
  virtual void WriteStdError(const std::string& /*text*/) {}

 private:
  void RedirectMain();
  void Deliver(const char* data, size_t size);
  void StopThread();
  void CloseFd(int& fd);

  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = 0;
  int stdinWrite_ = -1;
  int stdoutRead_ = -1;     // owned by the redirect thread while it runs
  int wake_[2] = {-1, -1};  // the owner's "stop reading" signal
  std::thread thread_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> closedBySink_{false};
  std::mutex doneMutex_;
  std::condition_variable doneCv_;
  bool threadDone_ = true;
  mutable std::mutex tailMutex_;
  std::string tail_;
  std::string error_;
};

}  // namespace tarvexa
