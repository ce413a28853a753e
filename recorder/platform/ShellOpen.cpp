#include "platform/ShellOpen.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

extern char** environ;

namespace tarvexa {

namespace {

std::vector<std::string> SplitWords(const std::string& s) {
  std::istringstream in(s);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

void CloseFrom(int first, int keep) {
  // Between fork and exec only async-signal-safe calls are allowed, hence the
  // raw system call; the loop is for kernels older than close_range (5.9).
#ifdef SYS_close_range
  if (keep < first) {
    if (syscall(SYS_close_range, first, ~0U, 0) == 0) return;
  } else if (syscall(SYS_close_range, first, keep - 1, 0) == 0 &&
             syscall(SYS_close_range, keep + 1, ~0U, 0) == 0) {
    return;
  }
#endif
  for (int fd = first; fd < 4096; ++fd)
    if (fd != keep) close(fd);
}

}  // namespace

std::string FindProgram(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos)
    return access(name.c_str(), X_OK) == 0 ? name : std::string();
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t colon = dirs.find(':', start);
    if (colon == std::string::npos) colon = dirs.size();
    std::string candidate = colon > start ? dirs.substr(start, colon - start) : std::string(".");
    candidate += '/';
    candidate += name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = colon + 1;
  }
  return {};
}

bool ShellOpen(const std::string& fileFolderOrUrl, std::string* error) {
  // Choose the opener and build every string before forking: the child of a
  // threaded program may not allocate.
  std::vector<std::string> command;
  if (const char* custom = std::getenv("TARVEXA_OPENER"); custom && *custom) {
    command = SplitWords(custom);
    if (command.empty()) {
      SetError(error, "TARVEXA_OPENER names no program");
      return false;
    }
    std::string program = FindProgram(command[0]);
    if (program.empty()) {
      SetError(error, "The opener \"" + command[0] +
                          "\" (TARVEXA_OPENER) was not found or is not executable");
      return false;
    }
    command[0] = program;
  } else if (std::string xdg = FindProgram("xdg-open"); !xdg.empty()) {
    command = {xdg};
  } else if (std::string gio = FindProgram("gio"); !gio.empty()) {
    command = {gio, "open"};
  } else {
    SetError(error,
             "No program to open files and links was found (install xdg-utils for xdg-open)");
    return false;
  }
  command.push_back(fileFolderOrUrl);
  return StartDetached(std::move(command), error);
}

bool StartDetached(std::vector<std::string> command, std::string* error) {
  if (command.empty() || command[0].empty()) {
    SetError(error, "No program to start");
    return false;
  }
  std::vector<char*> argv;
  for (auto& s : command) argv.push_back(s.data());
  argv.push_back(nullptr);

  // The grandchild reports a failed exec through this pipe; a successful exec
  // closes it (close-on-exec), so the parent reads end-of-file.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    SetError(error, "Cannot start " + command[0] + ": " + std::strerror(errno));
    return false;
  }

  const pid_t child = fork();
  if (child < 0) {
    int e = errno;
    close(report[0]);
    close(report[1]);
    SetError(error, "Cannot start " + command[0] + ": " + std::strerror(e));
    return false;
  }
  if (child == 0) {
    // Intermediate child: start the program in a new session and leave at
    // once, so the program is adopted by init and never becomes our zombie.
    close(report[0]);
    setsid();
    const pid_t grandchild = fork();
    if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);

    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGQUIT})
      sigaction(sig, &dfl, nullptr);
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0 && devnull != STDIN_FILENO) {
      dup2(devnull, STDIN_FILENO);
      close(devnull);
    }
    // Handles of ours (recording files, inhibitor locks) must not live on in
    // the started program.
    CloseFrom(3, report[1]);
    execve(argv[0], argv.data(), environ);
    int e = errno;
    ssize_t ignored = write(report[1], &e, sizeof e);
    (void)ignored;
    _exit(127);
  }

  close(report[1]);
  // Reap the intermediate child, which exits right after its fork. When the
  // program reaps children itself (SIGCHLD handler or SIG_IGN) it may be gone
  // already: ECHILD is fine.
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}

  int execErrno = 0;
  ssize_t n;
  do {
    n = read(report[0], &execErrno, sizeof execErrno);
  } while (n < 0 && errno == EINTR);
  close(report[0]);

  if (n == static_cast<ssize_t>(sizeof execErrno)) {
    SetError(error, "Cannot start " + command[0] + ": " + std::strerror(execErrno));
    return false;
  }
  if (n == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 1) {
    SetError(error, "Cannot start " + command[0] + ": fork failed");
    return false;
  }
  return true;
}

}  // namespace tarvexa
