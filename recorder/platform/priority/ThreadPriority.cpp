#include "platform/priority/ThreadPriority.h"

#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>

#include "platform/priority/RealtimeKit.h"

namespace tarvexa {

namespace {

constexpr int kNiceOffset[] = {10, 5, 0, -5, -10};
constexpr int kRealTimePriority[] = {1, 3};  // above normal, highest

pid_t CurrentTid() { return static_cast<pid_t>(syscall(SYS_gettid)); }

int NiceOf(pid_t tid) {
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  return errno == 0 ? nice : 0;
}

bool SetNice(pid_t tid, int nice) {
  return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0;
}

bool RunsRealTime() {
  const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
  return policy == SCHED_RR || policy == SCHED_FIFO;
}

// Threads that run real-time under RealtimeKit's CPU limit. SIGXCPU comes at
// the soft limit; it returns them to normal scheduling before the hard limit
// (SIGKILL) is reached.
std::atomic<pid_t> g_watched[8];

void OnCpuLimit(int) {
  const int saved = errno;
  for (auto& slot : g_watched) {
    const pid_t tid = slot.load();
    if (tid <= 0) continue;
    sched_param normal{};
    syscall(SYS_sched_setscheduler, tid, SCHED_OTHER, &normal);
  }
  errno = saved;
}

// Installs the handler once; false when SIGXCPU is someone else's.
bool CpuLimitHandled() {
  static std::once_flag once;
  static bool ours = false;
  std::call_once(once, [] {
    struct sigaction old {};
    if (sigaction(SIGXCPU, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) ||
        old.sa_handler != SIG_DFL)
      return;
    struct sigaction sa {};
    sa.sa_handler = OnCpuLimit;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ours = sigaction(SIGXCPU, &sa, nullptr) == 0;
  });
  return ours;
}

bool Watch(pid_t tid) {
  for (auto& slot : g_watched) {
    pid_t empty = 0;
    if (slot.compare_exchange_strong(empty, tid)) return true;
  }
  return false;
}

void Unwatch(pid_t tid) {
  for (auto& slot : g_watched) {
    pid_t mine = tid;
    slot.compare_exchange_strong(mine, 0);
  }
}

// RealtimeKit's limit on CPU time without blocking: the hard limit the
// service asks for, the soft limit at half of it.
bool LimitRealTimeCpu(int64_t usecMax) {
  rlimit rl{};
  if (getrlimit(RLIMIT_RTTIME, &rl) != 0) return false;
  const rlim_t max = static_cast<rlim_t>(std::max<int64_t>(usecMax, 2));
  if (rl.rlim_max == RLIM_INFINITY || rl.rlim_max > max) rl.rlim_max = max;
  rl.rlim_cur = rl.rlim_max / 2;
  return setrlimit(RLIMIT_RTTIME, &rl) == 0;
}

void Append(std::string& why, const std::string& text) {
  if (!why.empty()) why += "; ";
  why += text;
}

}  // namespace

// One connection to RealtimeKit, opened when first needed and shared by the
// real-time and the nice request of one thread.
class RealtimeKitSession {
 public:
  RealtimeKit& Kit() {
    if (!kit_) {
      kit_ = std::make_unique<RealtimeKit>();
      if (kit_->Connected()) kit_->ReadLimits(&limits_);  // the defaults when it does not say
    }
    return *kit_;
  }
  const RealtimeKit::Limits& Limits() {
    Kit();
    return limits_;
  }

 private:
  std::unique_ptr<RealtimeKit> kit_;
  RealtimeKit::Limits limits_;
};

bool ThreadPriority::TryRealTime(int priority, RealtimeKitSession& session) {
  sched_param param{};
  param.sched_priority = priority;
  if (sched_setscheduler(0, SCHED_RR | SCHED_RESET_ON_FORK, &param) == 0) {
    rtPriority_ = priority;
    return true;
  }
  RealtimeKit& kit = session.Kit();
  if (!kit.Connected()) {
    Append(why_, "RealtimeKit: " + kit.Error());
    return false;
  }
  const RealtimeKit::Limits& limits = session.Limits();
  priority = std::min(priority, limits.maxRealtimePriority);
  if (priority < 1) {
    Append(why_, "RealtimeKit grants no real-time priority");
    return false;
  }
  if (!CpuLimitHandled() || !LimitRealTimeCpu(limits.rtTimeUSecMax) || !Watch(tid_)) {
    Append(why_, "the real-time CPU limit RealtimeKit asks for cannot be set");
    return false;
  }
  watched_ = true;
  if (!kit.MakeThreadRealtime(tid_, priority)) {
    Append(why_, "RealtimeKit: " + kit.Error());
    return false;
  }
  if (!RunsRealTime()) {
    Append(why_, "RealtimeKit answered, but the thread is not real-time");
    return false;
  }
  rtPriority_ = priority;
  return true;
}

bool ThreadPriority::TryNice(int nice, RealtimeKitSession& session) {
  const int before = NiceOf(tid_);
  if (SetNice(tid_, nice)) return true;
  Append(why_, "nice " + std::to_string(nice) + " is not permitted (" +
                   "it needs CAP_SYS_NICE or a nice limit, RLIMIT_NICE, of " +
                   std::to_string(20 - nice) + ")");

  int best = before;
  RealtimeKit& kit = session.Kit();
  if (kit.Connected()) {
    const int asked = std::max(nice, session.Limits().minNiceLevel);
    if (asked < before) {
      if (!kit.MakeThreadHighPriority(tid_, asked))
        Append(why_, "RealtimeKit: " + kit.Error());
      else if (NiceOf(tid_) != asked)
        Append(why_, "RealtimeKit answered, but the nice value did not change");
      else
        best = asked;
      if (asked > nice && best == asked)
        Append(why_, "RealtimeKit grants nice " + std::to_string(asked) + " at the most");
    }
  } else {
    Append(why_, "RealtimeKit: " + kit.Error());
  }
  // The best the user's own limit allows, when that is better still.
  for (int n = nice; n < best; ++n) {
    if (SetNice(tid_, n)) {
      best = n;
      break;
    }
  }
  return best <= nice;
}

ThreadPriority::ThreadPriority(int level, bool realTime) : tid_(CurrentTid()) {
  level = std::clamp(level, -2, 2);
  const int base = NiceOf(getpid());  // the process's own nice value
  const int nice = std::clamp(base + kNiceOffset[level + 2], -20, 19);
  RealtimeKitSession kit;
  if (realTime && level > 0 && TryRealTime(kRealTimePriority[level - 1], kit)) {
    realTime_ = true;
    granted_ = true;
    why_.clear();
    return;
  }
  if (watched_) {
    Unwatch(tid_);
    watched_ = false;
  }
  const bool niceGranted = TryNice(nice, kit);
  nice_ = NiceOf(tid_);
  granted_ = niceGranted || nice_ <= nice;
  if (granted_) why_.clear();
}

ThreadPriority::~ThreadPriority() {
  if (watched_) Unwatch(tid_);
}

std::string ThreadPriority::Got() const {
  if (realTime_) return "real-time priority " + std::to_string(rtPriority_);
  return "nice " + std::to_string(nice_);
}

}  // namespace tarvexa
