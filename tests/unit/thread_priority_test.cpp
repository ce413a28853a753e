// Thread priorities as an ordinary user gets them: each case runs in a child
// process that has given up CAP_SYS_NICE and may neither lower its nice
// value (RLIMIT_NICE 0) nor take a real-time priority of its own
// (RLIMIT_RTPRIO 0). A stand-in for RealtimeKit on a private bus, a thread
// of the child that kept its privileges, really applies what it grants, as
// the service does; the thread under test then reports what it runs at.
#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "EngineRecording.h"
#include "TestSupport.h"
#include "formats/FormatCatalogue.h"
#include "platform/priority/ThreadPriority.h"

namespace tarvexa {
namespace {

// What the stand-in answers: its limits, and whether it refuses.
struct FakeKit {
  int32_t maxRealtimePriority = 20;
  int32_t minNiceLevel = -15;
  int64_t rtTimeUSecMax = 200000;
  bool refuseRealtime = false;
  bool refuseNice = false;
  std::mutex mutex;
  std::vector<std::string> calls;

  void Called(const std::string& call) {
    std::lock_guard<std::mutex> lock(mutex);
    calls.push_back(call);
  }
};

int MakeRealtime(sd_bus_message* m, void* data, sd_bus_error* error) {
  auto* kit = static_cast<FakeKit*>(data);
  uint64_t tid = 0;
  uint32_t priority = 0;
  sd_bus_message_read(m, "tu", &tid, &priority);
  kit->Called("MakeThreadRealtime " + std::to_string(tid) + " " + std::to_string(priority));
  // Like the service: no real-time thread without a CPU limit it accepts.
  rlimit rl{};
  getrlimit(RLIMIT_RTTIME, &rl);
  if (kit->refuseRealtime || rl.rlim_max == RLIM_INFINITY ||
      rl.rlim_max > static_cast<rlim_t>(kit->rtTimeUSecMax) ||
      priority > static_cast<uint32_t>(kit->maxRealtimePriority))
    return sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED, "Operation not permitted");
  sched_param p{};
  p.sched_priority = static_cast<int>(priority);
  if (sched_setscheduler(static_cast<pid_t>(tid), SCHED_RR | SCHED_RESET_ON_FORK, &p) != 0)
    return sd_bus_error_set_errno(error, errno);
  return sd_bus_reply_method_return(m, "");
}

int MakeHighPriority(sd_bus_message* m, void* data, sd_bus_error* error) {
  auto* kit = static_cast<FakeKit*>(data);
  uint64_t tid = 0;
  int32_t nice = 0;
  sd_bus_message_read(m, "ti", &tid, &nice);
  kit->Called("MakeThreadHighPriority " + std::to_string(tid) + " " + std::to_string(nice));
  if (kit->refuseNice || nice < kit->minNiceLevel)
    return sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED, "Operation not permitted");
  if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) != 0)
    return sd_bus_error_set_errno(error, errno);
  return sd_bus_reply_method_return(m, "");
}

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("MaxRealtimePriority", "i", nullptr, offsetof(FakeKit, maxRealtimePriority),
                    SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("MinNiceLevel", "i", nullptr, offsetof(FakeKit, minNiceLevel),
                    SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("RTTimeUSecMax", "x", nullptr, offsetof(FakeKit, rtTimeUSecMax),
                    SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("MakeThreadRealtime", "tu", "", MakeRealtime, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("MakeThreadHighPriority", "ti", "", MakeHighPriority, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

// Serves `kit` on the bus at `address` until stopped.
class FakeKitService {
 public:
  FakeKitService(const std::string& address, FakeKit& kit) {
    thread_ = std::thread([this, address, &kit] {
      sd_bus* bus = nullptr;
      sd_bus_new(&bus);
      sd_bus_set_address(bus, address.c_str());
      sd_bus_set_bus_client(bus, 1);
      sd_bus_slot* slot = nullptr;
      const bool ok =
          sd_bus_start(bus) >= 0 &&
          sd_bus_add_object_vtable(bus, &slot, "/org/freedesktop/RealtimeKit1",
                                   "org.freedesktop.RealtimeKit1", kVtable, &kit) >= 0 &&
          sd_bus_request_name(bus, "org.freedesktop.RealtimeKit1", 0) >= 0;
      ready_ = ok ? 1 : -1;
      while (ok && !stop_) {
        if (sd_bus_process(bus, nullptr) > 0) continue;
        sd_bus_wait(bus, 50000);
      }
      sd_bus_slot_unref(slot);
      sd_bus_flush_close_unref(bus);
    });
    while (ready_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ~FakeKitService() {
    stop_ = true;
    thread_.join();
  }
  bool ok() const { return ready_ == 1; }

 private:
  std::thread thread_;
  std::atomic<int> ready_{0};
  std::atomic<bool> stop_{false};
};

// The calling thread (and every thread it starts from now on) loses
// CAP_SYS_NICE and gets the limits of an ordinary user.
std::string BecomeOrdinaryUser() {
  setpriority(PRIO_PROCESS, 0, 0);  // the process's own nice value is 0
  rlimit none{0, 0};
  if (setrlimit(RLIMIT_NICE, &none) != 0 || setrlimit(RLIMIT_RTPRIO, &none) != 0)
    return "cannot set RLIMIT_NICE/RLIMIT_RTPRIO";
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (syscall(SYS_capget, &header, data) != 0) return "capget failed";
  const unsigned bit = 1u << CAP_SYS_NICE;
  data[0].effective &= ~bit;
  data[0].permitted &= ~bit;
  data[0].inheritable &= ~bit;
  if (syscall(SYS_capset, &header, data) != 0) return "capset failed";
  return {};
}

struct Case {
  const char* name;
  bool service;                    // the stand-in runs (else no bus at all)
  void (*answers)(FakeKit&);       // how it answers
  int level;                       // asked for
  bool realTime;                   // a live capture
  bool granted;                    // expected
  const char* got;                 // expected Got(): what the thread runs at
  std::vector<std::string> calls;  // expected calls ("TID" stands for the thread)
  const char* why;                 // a part of Why() when not granted
};

void Grants(FakeKit&) {}
void RefusesRealtime(FakeKit& k) { k.refuseRealtime = true; }
void NiceDownToMinus2(FakeKit& k) { k.minNiceLevel = -2; }

// clang-format off
const Case kCases[] = {
    {"realtime_through_realtimekit", true, Grants, 2, true, true, "real-time priority 3",
     {"MakeThreadRealtime TID 3"}, ""},
    {"refused_realtime_still_gets_its_nice_value", true, RefusesRealtime, 2, true, true, "nice -10",
     {"MakeThreadRealtime TID 3", "MakeThreadHighPriority TID -10"}, ""},
    {"encoder_asks_for_a_nice_value_only", true, Grants, 1, false, true, "nice -5",
     {"MakeThreadHighPriority TID -5"}, ""},
    {"within_the_services_limit", true, NiceDownToMinus2, 2, false, false, "nice -2",
     {"MakeThreadHighPriority TID -2"}, "grants nice -2 at the most"},
    {"no_service_the_users_own_limit", false, Grants, 2, true, false, "nice 0",
     {}, "RealtimeKit: no connection to the system bus"},
};
// clang-format on

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, from.size(), to);
  return text;
}

TEST(ThreadPriority, AnOrdinaryUserGetsWhatTheKernelOrRealtimeKitGrants) {
  test::PrivateBus bus("thread_priority");
  ASSERT_TRUE(bus.ok());
  for (const Case& c : kCases) {
    const std::string report = test::InChild([&]() -> std::string {
      setenv("DBUS_SYSTEM_BUS_ADDRESS",
             c.service ? bus.address().c_str() : "unix:path=/nonexistent", 1);
      FakeKit kit;
      c.answers(kit);
      std::unique_ptr<FakeKitService> service;
      if (c.service) {
        service = std::make_unique<FakeKitService>(bus.address(), kit);
        if (!service->ok()) return "the stand-in could not own its name";
      }
      if (std::string setup = BecomeOrdinaryUser(); !setup.empty()) return setup;
      std::ostringstream out;
      std::thread([&] {
        const pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
        const ThreadPriority p(c.level, c.realTime);
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
        out << (p.Granted() ? "granted" : "refused") << "|" << p.Got() << "|"
            << (sched_getscheduler(0) & ~SCHED_RESET_ON_FORK) << "|" << nice << "|" << tid << "|"
            << p.Why();
      }).join();
      std::lock_guard<std::mutex> lock(kit.mutex);
      for (const auto& call : kit.calls) out << "\n" << call;
      return out.str();
    });
    std::istringstream in(report);
    std::string line;
    std::getline(in, line);
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string part; std::getline(fields, part, '|');) f.push_back(part);
    ASSERT_GE(f.size(), 5u) << c.name << ": " << report;
    std::vector<std::string> calls;
    while (std::getline(in, line)) calls.push_back(Replace(line, " " + f[4] + " ", " TID "));

    EXPECT_EQ(f[0], c.granted ? "granted" : "refused") << c.name << ": " << report;
    EXPECT_EQ(f[1], c.got) << c.name;
    const bool realTime = std::string(c.got).rfind("real-time", 0) == 0;
    EXPECT_EQ(std::stoi(f[2]), realTime ? SCHED_RR : SCHED_OTHER) << c.name;
    if (!realTime) {
      EXPECT_EQ("nice " + f[3], c.got) << c.name << ": Got() is what runs";
    }
    EXPECT_EQ(calls, c.calls) << c.name;
    const std::string why = f.size() > 5 ? f[5] : "";
    if (c.granted)
      EXPECT_EQ(why, "") << c.name;
    else
      EXPECT_NE(why.find(c.why), std::string::npos) << c.name << ": " << why;
  }
}

TEST(ThreadPriority, ARecordingReportsAPriorityItCannotHaveOncePerThread) {
  const std::string dir = test::ScratchDir("thread_priority_session");
  const std::string input = test::MakeTestWav(dir + "/in.wav", 44100, 2, 3.2);
  const std::string report = test::InChild([&]() -> std::string {
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent", 1);
    if (std::string setup = BecomeOrdinaryUser(); !setup.empty()) return setup;
    Settings s;
    s.OUTPUT.OutputFormat = kFormatWAV;
    s.MISC.RecPro = 5;  // highest
    s.MISC.EncPro = 0;  // default: highest for the encoder
    s.MISC.Split = 1;   // a capture thread per clip
    s.MISC.SplitSec = 1;
    std::string out;
    const test::Recording r = test::RecordFile(s, input, dir + "/out.wav");
    out += std::to_string(r.clips.size()) + " clips\n";
    for (const auto& [text, level] : r.logs)
      if (text.find("priority") != std::string::npos)
        out += std::to_string(level) + " " + text + "\n";
    return out;
  });
  EXPECT_EQ(report.rfind("4 clips\n", 0), 0u) << report;
  const std::string capture =
      "1 Warning: the capture thread cannot have the priority set in the options (Highest); it "
      "runs at nice 0: ";
  const std::string encoder =
      "1 Warning: the encoder thread cannot have the priority set in the options (Highest); it "
      "runs at nice 0: ";
  auto count = [&](const std::string& what) {
    size_t n = 0;
    for (size_t at = 0; (at = report.find(what, at)) != std::string::npos; ++at) ++n;
    return n;
  };
  EXPECT_EQ(count(capture), 1u) << report;
  EXPECT_EQ(count(encoder), 1u) << report;
  EXPECT_EQ(count("priority"), 2u) << report;
}

}  // namespace
}  // namespace tarvexa
