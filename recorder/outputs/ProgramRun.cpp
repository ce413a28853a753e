#include "outputs/ProgramRun.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace tarvexa {

namespace {

constexpr size_t kMaxOutput = 64 * 1024;

std::vector<std::string> ChildEnvironment(
    const std::vector<std::pair<std::string, std::string>>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const auto& [name, value] : extra)
      if (entry.compare(0, name.size() + 1, name + "=") == 0) replaced = true;
    if (!replaced) env.push_back(entry);
  }
  for (const auto& [name, value] : extra) env.push_back(name + "=" + value);
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> p;
  for (std::string& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

}  // namespace

ProgramRun RunProgram(const std::vector<std::string>& argv,
                      const std::vector<std::pair<std::string, std::string>>& environment) {
  ProgramRun run;
  if (argv.empty()) {
    run.error = "no program given";
    return run;
  }
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    run.error = std::string("cannot create a pipe: ") + std::strerror(errno);
    return run;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // The child starts with default signal handling and an empty mask, whatever
  // this process has done with its own.
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<std::string> args = argv;
  std::vector<std::string> env = ChildEnvironment(environment);
  std::vector<char*> argp = Pointers(args);
  std::vector<char*> envp = Pointers(env);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, args[0].c_str(), &actions, &attr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(pipeFds[1]);
  if (rc != 0) {
    ::close(pipeFds[0]);
    run.error = "cannot run " + argv[0] + ": " + std::strerror(rc);
    return run;
  }
  run.started = true;

  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    const size_t room = kMaxOutput - std::min(kMaxOutput, run.output.size());
    run.output.append(buffer, std::min(room, static_cast<size_t>(n)));
  }
  ::close(pipeFds[0]);

  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      run.error = std::string("cannot wait for ") + argv[0] + ": " + std::strerror(errno);
      return run;
    }
  }
  if (WIFEXITED(status)) {
    run.exitCode = WEXITSTATUS(status);
    if (run.exitCode != 0)
      run.error = argv[0] + " ended with exit status " + std::to_string(run.exitCode);
  } else if (WIFSIGNALED(status)) {
    run.error = argv[0] + " was ended by signal " + std::to_string(WTERMSIG(status));
  }
  return run;
}

}  // namespace tarvexa
