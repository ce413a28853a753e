#include "platform/ConsoleRedirector.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <mutex>

#include "platform/ShellOpen.h"
#include "platform/Text.h"

extern char** environ;

namespace tarvexa {

namespace {

constexpr size_t kTailBytes = 2048;
constexpr size_t kReadBytes = 4096;
constexpr int kCloseGraceMs = 2000;

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// A pipe whose ends are close-on-exec and numbered 3 or above, so that
// placing them on the child's 0, 1 and 2 never lands a descriptor on itself.
bool MakePipe(int fds[2]) {
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  for (int i = 0; i < 2; ++i) {
    if (fds[i] > 2) continue;
    const int moved = fcntl(fds[i], F_DUPFD_CLOEXEC, 3);
    const int e = errno;
    ::close(fds[i]);
    fds[i] = moved;
    if (moved < 0) {
      ::close(fds[1 - i]);
      errno = e;
      return false;
    }
  }
  return true;
}

// The redirector whose output reader runs on this thread. A sink that calls
// Close() is told apart by this, not by thread_, which Open may still be
// assigning on the owner's thread when the reader's first line arrives.
thread_local const ConsoleRedirector* tReaderOf = nullptr;

void IgnoreSigpipeOnce() {
  static std::once_flag once;
  std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

}  // namespace

ConsoleRedirector::~ConsoleRedirector() { Close(); }

void ConsoleRedirector::CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

bool ConsoleRedirector::Open(const std::vector<std::string>& argv) {
  Close();
  error_.clear();
  {
    std::lock_guard<std::mutex> lock(tailMutex_);
    tail_.clear();
  }
  reaped_ = false;
  status_ = 0;
  pid_ = -1;
  IgnoreSigpipeOnce();

  auto fail = [this](int code, const std::string& why) {
    WriteStdError(Printf("Redirect console error: %x\n", static_cast<unsigned>(code)));
    error_ = why;
    return false;
  };
  if (argv.empty() || argv[0].empty()) return fail(ENOENT, "No program to start");
  const std::string program = FindProgram(argv[0]);
  if (program.empty()) {
    return fail(ENOENT, argv[0] + ": no such program, or it may not be executed");
  }

  int in[2] = {-1, -1};
  int out[2] = {-1, -1};
  if (!MakePipe(in)) return fail(errno, std::string("Cannot make a pipe: ") + std::strerror(errno));
  if (!MakePipe(out)) {
    const int e = errno;
    CloseFd(in[0]);
    CloseFd(in[1]);
    return fail(e, std::string("Cannot make a pipe: ") + std::strerror(e));
  }
  if (!MakePipe(wake_)) {
    const int e = errno;
    for (int* fd : {&in[0], &in[1], &out[0], &out[1]}) CloseFd(*fd);
    return fail(e, std::string("Cannot make a pipe: ") + std::strerror(e));
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
  // Recording files and other descriptors of ours stay ours.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD, SIGXFSZ})
    sigaddset(&defaults, sig);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

  std::vector<char*> args;
  std::string path = program;
  args.push_back(path.data());
  std::vector<std::string> rest(argv.begin() + 1, argv.end());
  for (auto& a : rest) args.push_back(a.data());
  args.push_back(nullptr);

  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, path.c_str(), &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  CloseFd(in[0]);
  CloseFd(out[1]);
  if (spawned != 0) {
    CloseFd(in[1]);
    CloseFd(out[0]);
    CloseFd(wake_[0]);
    CloseFd(wake_[1]);
    return fail(spawned, "Cannot start " + program + ": " + std::strerror(spawned));
  }
  pid_ = pid;
  stdinWrite_ = in[1];
  stdoutRead_ = out[0];
  fcntl(stdinWrite_, F_SETFL, fcntl(stdinWrite_, F_GETFL) | O_NONBLOCK);
  fcntl(stdoutRead_, F_SETFL, fcntl(stdoutRead_, F_GETFL) | O_NONBLOCK);

  stopRequested_ = false;
  closedBySink_ = false;
  {
    std::lock_guard<std::mutex> lock(doneMutex_);
    threadDone_ = false;
  }
  try {
    thread_ = std::thread([this] { RedirectMain(); });
  } catch (const std::system_error& e) {
    {
      std::lock_guard<std::mutex> lock(doneMutex_);
      threadDone_ = true;
    }
    Terminate(0);
    CloseFd(stdinWrite_);
    CloseFd(stdoutRead_);
    CloseFd(wake_[0]);
    CloseFd(wake_[1]);
    return fail(static_cast<unsigned>(e.code().value()),
                std::string("Cannot start the output reader: ") + e.what());
  }
  return true;
}

ConsoleRedirector::WriteResult ConsoleRedirector::WriteStdIn(const void* data, size_t size,
                                                             int stallMs) {
  if (stdinWrite_ < 0) {
    error_ = "The encoder's input is closed";
    return WriteResult::ChildGone;
  }
  const char* p = static_cast<const char*>(data);
  size_t left = size;
  auto deadline = Clock::now() + std::chrono::milliseconds(stallMs);
  while (left > 0) {
    const ssize_t n = ::write(stdinWrite_, p, left);
    if (n > 0) {
      p += n;
      left -= static_cast<size_t>(n);
      deadline = Clock::now() + std::chrono::milliseconds(stallMs);  // progress
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      const int wait = MsLeft(deadline);
      if (wait == 0) {
        error_ =
            Printf("The encoder has not read its input for %d seconds", (stallMs + 500) / 1000);
        return WriteResult::Stalled;
      }
      pollfd pfd{stdinWrite_, POLLOUT, 0};
      if (poll(&pfd, 1, wait) < 0 && errno != EINTR) {
        error_ = std::string("Cannot wait for the encoder's input: ") + std::strerror(errno);
        return WriteResult::Failed;
      }
      continue;
    }
    if (n < 0 && errno == EPIPE) {
      error_ = "The encoder stopped reading its input";
      return WriteResult::ChildGone;
    }
    error_ = std::string("Cannot write to the encoder's input: ") +
             (n < 0 ? std::strerror(errno) : "nothing was written");
    return WriteResult::Failed;
  }
  return WriteResult::Written;
}

void ConsoleRedirector::CloseStdIn() { CloseFd(stdinWrite_); }

bool ConsoleRedirector::Wait(int timeoutMs, int* status) {
  if (pid_ <= 0) return false;
  if (!reaped_) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
      int st = 0;
      const pid_t r = waitpid(pid_, &st, timeoutMs < 0 ? 0 : WNOHANG);
      if (r == pid_) {
        reaped_ = true;
        status_ = st;
        break;
      }
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) {
        // Reaped elsewhere (a SIGCHLD handler of the program): count it as
        // ended, status unknown.
        reaped_ = true;
        status_ = 0;
        break;
      }
      const int left = MsLeft(deadline);
      if (left == 0) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(left < 10 ? left : 10));
    }
  }
  if (status) *status = status_;
  return true;
}

void ConsoleRedirector::Terminate(int graceMs) {
  if (pid_ <= 0 || reaped_) return;
  ::kill(-pid_, SIGTERM);
  ::kill(pid_, SIGTERM);
  if (Wait(graceMs)) return;
  ::kill(-pid_, SIGKILL);
  ::kill(pid_, SIGKILL);
  Wait(-1);
}

void ConsoleRedirector::StopThread() {
  if (tReaderOf == this) {
    // From a sink: the thread ends when the sink returns.
    closedBySink_ = true;
    return;
  }
  stopRequested_ = true;
  if (wake_[1] >= 0) {
    const char c = 1;
    ssize_t ignored = ::write(wake_[1], &c, 1);
    (void)ignored;
  }
  {
    std::unique_lock<std::mutex> lock(doneMutex_);
    if (!doneCv_.wait_for(lock, std::chrono::milliseconds(1000), [this] { return threadDone_; })) {
      lock.unlock();
      // Only a sink can hold the thread this long (a log file on a hung
      // disk); a thread cannot be ended safely from outside, so wait on.
      WriteStdError(kRedirectThreadDeadNotice);
    }
  }
  if (thread_.joinable()) thread_.join();
}

void ConsoleRedirector::Close() {
  if (tReaderOf == this) {
    StopThread();
    return;
  }
  CloseFd(stdinWrite_);
  if (pid_ > 0 && !reaped_ && !Wait(kCloseGraceMs)) Terminate(500);
  StopThread();
  CloseFd(stdoutRead_);
  CloseFd(wake_[0]);
  CloseFd(wake_[1]);
}

void ConsoleRedirector::Deliver(const char* data, size_t size) {
  std::string text(data, size);
  {
    std::lock_guard<std::mutex> lock(tailMutex_);
    tail_ += text;
    if (tail_.size() > kTailBytes) tail_.erase(0, tail_.size() - kTailBytes);
  }
  WriteStdOut(text);
}

void ConsoleRedirector::RedirectMain() {
  tReaderOf = this;
  char buffer[kReadBytes];
  // Reads what is there now: 1 more may come, 0 end of output (or a sink
  // closed the runner), -1 error.
  auto readAvailable = [&]() -> int {
    for (;;) {
      const ssize_t n = ::read(stdoutRead_, buffer, sizeof buffer);
      if (n > 0) {
        Deliver(buffer, static_cast<size_t>(n));
        if (closedBySink_) return 0;
        continue;
      }
      if (n == 0) {
        WriteStdOut(kChildEndedNotice);
        return 0;
      }
      if (errno == EINTR) continue;
      if (errno == EAGAIN) return 1;
      WriteStdError(kReadPipeErrorNotice);
      return -1;
    }
  };

  for (;;) {
    pollfd fds[2] = {{stdoutRead_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    const int r = poll(fds, 2, waitMs);
    if (r < 0 && errno != EINTR) {
      WriteStdError(kReadPipeErrorNotice);
      break;
    }
    if (stopRequested_) {
      // The owner stops the reading: first take what the child left.
      readAvailable();
      break;
    }
    if (r > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && readAvailable() <= 0) break;
    if (closedBySink_) break;
  }
  std::lock_guard<std::mutex> lock(doneMutex_);
  threadDone_ = true;
  doneCv_.notify_all();
}

std::string ConsoleRedirector::OutputTail() const {
  std::lock_guard<std::mutex> lock(tailMutex_);
  return tail_;
}

std::string ConsoleRedirector::LastOutputLine() const {
  const std::string tail = OutputTail();
  size_t end = tail.size();
  while (end > 0) {
    while (end > 0 && (tail[end - 1] == '\n' || tail[end - 1] == '\r' || tail[end - 1] == ' '))
      --end;
    size_t start = end;
    while (start > 0 && tail[start - 1] != '\n' && tail[start - 1] != '\r') --start;
    if (end > start) return tail.substr(start, end - start);
    end = start;
  }
  return {};
}

std::string ConsoleRedirector::DescribeStatus(int status) {
  if (WIFEXITED(status)) return Printf("exited with status %d", WEXITSTATUS(status));
  if (WIFSIGNALED(status)) {
    const int sig = WTERMSIG(status);
    const char* name = strsignal(sig);
    return Printf("was killed by signal %d (%s)", sig, name ? name : "unknown");
  }
  return Printf("ended with wait status %d", status);
}

}  // namespace tarvexa
