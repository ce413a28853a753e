#include "platform/Threads.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tarvexa {

bool SetCurrentThreadPriority(int level) {
  static const int kNice[] = {10, 5, 0, -5, -10};
  if (level < -2) level = -2;
  if (level > 2) level = 2;
  const pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
  return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), kNice[level + 2]) == 0;
}

}  // namespace tarvexa
