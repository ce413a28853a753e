// When a task starts next, in a real zone with daylight saving (Europe/Berlin:
// 2026-03-29 02:00 CET -> 03:00 CEST, 2026-10-25 03:00 CEST -> 02:00 CET),
// first with the time handed in, then once through the real clock under
// libfaketime, waiting on the scheduler's wall-clock alarm.
#include <gtest/gtest.h>

#include <poll.h>
#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <string>

#include "TestSupport.h"
#include "scheduler/SchedulerClock.h"
#include "scheduler/Task.h"

namespace tarvexa {
namespace {

// "2026-03-29 01:59:58 +0100" -> its instant, without the zone code under test.
std::time_t Instant(const std::string& text) {
  std::tm tm{};
  const char* end = strptime(text.c_str(), "%Y-%m-%d %H:%M:%S %z", &tm);
  EXPECT_TRUE(end && *end == '\0') << text;
  const long offset = tm.tm_gmtoff;
  return timegm(&tm) - offset;
}

std::string Show(std::time_t t) {
  char buf[64];
  std::tm tm{};
  localtime_r(&t, &tm);
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S %z", &tm);
  return buf;
}

class InBerlin : public ::testing::Test {
 protected:
  void SetUp() override { tzset(); }
  void TearDown() override { tzset(); }
  test::ScopedEnv tz{"TZ", "Europe/Berlin"};
};

CTask Task(int mode, int h, int m, int s, int year = 2026, int month = 1, int day = 1) {
  CTask t;
  t.title = "t";
  t.active = 1;
  t.mode = static_cast<uint16_t>(mode);
  t.startYear = static_cast<uint16_t>(year);
  t.startMonth = static_cast<uint16_t>(month);
  t.startDay = static_cast<uint16_t>(day);
  t.startHour = static_cast<uint16_t>(h);
  t.startMinute = static_cast<uint16_t>(m);
  t.startSecond = static_cast<uint16_t>(s);
  return t;
}

struct Case {
  const char* what;
  CTask task;
  const char* now;
  const char* next;
};

TEST_F(InBerlin, CalendarRules) {
  const Case cases[] = {
      {"daily at its second exactly", Task(1, 8, 0, 0), "2026-06-01 08:00:00 +0200",
       "2026-06-01 08:00:00 +0200"},
      {"daily one second after", Task(1, 8, 0, 0), "2026-06-01 08:00:01 +0200",
       "2026-06-02 08:00:00 +0200"},
      {"weekly Mon on a Monday after", Task(3, 8, 0, 0), "2026-06-01 09:00:00 +0200",
       "2026-06-08 08:00:00 +0200"},
      {"weekly Mon on a Monday before", Task(3, 8, 0, 0), "2026-06-01 07:00:00 +0200",
       "2026-06-01 08:00:00 +0200"},
      {"weekly Mon on a Sunday", Task(3, 8, 0, 0), "2026-06-07 23:00:00 +0200",
       "2026-06-08 08:00:00 +0200"},
      {"weekly Sat on a Monday", Task(8, 8, 0, 0), "2026-06-01 07:00:00 +0200",
       "2026-06-06 08:00:00 +0200"},
      {"weekday on Friday after", Task(9, 8, 0, 0), "2026-06-05 09:00:00 +0200",
       "2026-06-08 08:00:00 +0200"},
      {"weekday on Saturday before", Task(9, 8, 0, 0), "2026-06-06 07:00:00 +0200",
       "2026-06-08 08:00:00 +0200"},
      {"weekday on Sunday before", Task(9, 8, 0, 0), "2026-06-07 07:00:00 +0200",
       "2026-06-08 08:00:00 +0200"},
      {"weekday on Wednesday after", Task(9, 8, 0, 0), "2026-06-03 09:00:00 +0200",
       "2026-06-04 08:00:00 +0200"},
      {"weekend on Wednesday", Task(10, 8, 0, 0), "2026-06-03 07:00:00 +0200",
       "2026-06-06 08:00:00 +0200"},
      {"weekend on Sunday after", Task(10, 8, 0, 0), "2026-06-07 09:00:00 +0200",
       "2026-06-13 08:00:00 +0200"},
      {"weekend on Saturday after", Task(10, 8, 0, 0), "2026-06-06 09:00:00 +0200",
       "2026-06-07 08:00:00 +0200"},
      {"monthly 31st on April 5", Task(41, 8, 0, 0), "2026-04-05 09:00:00 +0200",
       "2026-05-31 08:00:00 +0200"},
      {"monthly 30th on January 31 after", Task(40, 8, 0, 0), "2027-01-31 09:00:00 +0100",
       "2027-03-30 08:00:00 +0200"},
      {"monthly 29th, non-leap February", Task(39, 8, 0, 0), "2027-01-30 09:00:00 +0100",
       "2027-03-29 08:00:00 +0200"},
      {"monthly 29th, leap February", Task(39, 8, 0, 0), "2028-01-30 09:00:00 +0100",
       "2028-02-29 08:00:00 +0100"},
      {"monthly over the new year", Task(25, 8, 0, 0), "2026-12-20 09:00:00 +0100",
       "2027-01-15 08:00:00 +0100"},
      {"monthly today before its time", Task(11, 8, 0, 0), "2026-06-01 07:59:59 +0200",
       "2026-06-01 08:00:00 +0200"},
      {"once, in the past", Task(0, 8, 0, 0, 2025, 1, 1), "2026-06-01 09:00:00 +0200",
       "2025-01-01 08:00:00 +0100"},
      {"once, 40 days ahead", Task(0, 8, 0, 0, 2026, 7, 11), "2026-06-01 08:00:00 +0200",
       "2026-07-11 08:00:00 +0200"},
      // Spring forward: 02:00 CET is followed by 03:00 CEST.
      {"daily 03:00 two seconds before the gap", Task(1, 3, 0, 0), "2026-03-29 01:59:58 +0100",
       "2026-03-29 03:00:00 +0200"},
      {"daily 02:30 inside the gap", Task(1, 2, 30, 0), "2026-03-29 01:00:00 +0100",
       "2026-03-29 03:00:00 +0200"},
      {"daily 02:30 after the gap", Task(1, 2, 30, 0), "2026-03-29 03:10:00 +0200",
       "2026-03-30 02:30:00 +0200"},
      {"daily 08:00 across the short night", Task(1, 8, 0, 0), "2026-03-28 09:00:00 +0100",
       "2026-03-29 08:00:00 +0200"},
      {"weekly Sun 02:30 a week before", Task(2, 2, 30, 0), "2026-03-22 03:00:00 +0100",
       "2026-03-29 03:00:00 +0200"},
      // Fall back: 02:00-03:00 is lived twice; the task starts at the first.
      {"daily 02:30 before the doubled hour", Task(1, 2, 30, 0), "2026-10-25 01:00:00 +0200",
       "2026-10-25 02:30:00 +0200"},
      {"daily 02:30 just after its first start", Task(1, 2, 30, 0), "2026-10-25 02:30:05 +0200",
       "2026-10-26 02:30:00 +0100"},
      {"daily 02:30 in the second pass", Task(1, 2, 30, 0), "2026-10-25 02:10:00 +0100",
       "2026-10-26 02:30:00 +0100"},
      {"daily 08:00 across the long night", Task(1, 8, 0, 0), "2026-10-24 09:00:00 +0200",
       "2026-10-25 08:00:00 +0100"},
  };
  for (const Case& c : cases) {
    const std::time_t now = Instant(c.now);
    const std::optional<std::time_t> next = GetNextStartTime(c.task, now);
    ASSERT_TRUE(next) << c.what;
    EXPECT_EQ(Show(*next), c.next) << c.what;
    EXPECT_EQ(SecondsUntilStart(c.task, now), *next - now) << c.what;
  }
  // The spans are real seconds: 2 s before the spring gap, not an hour more;
  // 23 h and 25 h across the short and the long night.
  EXPECT_EQ(SecondsUntilStart(Task(1, 3, 0, 0), Instant("2026-03-29 01:59:58 +0100")), 2);
  EXPECT_EQ(SecondsUntilStart(Task(1, 8, 0, 0), Instant("2026-03-28 08:00:01 +0100")),
            23 * 3600 - 1);
  EXPECT_EQ(SecondsUntilStart(Task(1, 8, 0, 0), Instant("2026-10-24 08:00:01 +0200")),
            25 * 3600 - 1);
}

TEST_F(InBerlin, TasksThatNeverStart) {
  const std::time_t now = Instant("2026-06-01 09:00:00 +0200");
  EXPECT_FALSE(GetNextStartTime(Task(42, 8, 0, 0), now)) << "mode beyond the table";
  EXPECT_FALSE(GetNextStartTime(Task(65535, 8, 0, 0), now));
  EXPECT_FALSE(GetNextStartTime(Task(0, 8, 0, 0, 2026, 2, 30), now)) << "February 30";
  EXPECT_FALSE(GetNextStartTime(Task(1, 24, 0, 0), now)) << "hour 24";
  EXPECT_FALSE(GetNextStartTime(Task(41, 8, 60, 0), now)) << "minute 60";
  EXPECT_EQ(SecondsUntilStart(Task(42, 8, 0, 0), now), 0);
}

TEST(ModeLabels, ListAndEditorSpacing) {
  EXPECT_EQ(ModeListLabel(3) + "|" + ModeEditorLabel(3), "Weekly, Mon|Weekly,   Mon");
  EXPECT_EQ(ModeListLabel(10) + "|" + ModeEditorLabel(10), "Weekend, Sat-Sun|Weekend,  Sat-Sun");
  EXPECT_EQ(ModeListLabel(12) + "|" + ModeEditorLabel(12), "Monthly,  2ed|Monthly,   2ed");
  EXPECT_EQ(ModeListLabel(41) + "|" + ModeEditorLabel(33), "Monthly, 31th|Monthly,  23rd");
}

// Runs inside faketime only (started by the test below): the real clock
// stands two seconds before the spring gap.
TEST(RealClock, DISABLED_SpringGapUnderFaketime) {
  tzset();
  SystemClock clock;
  const std::time_t now = clock.Now();
  ASSERT_GE(now, Instant("2026-03-29 01:59:58 +0100"));
  ASSERT_LT(now, Instant("2026-03-29 01:59:59 +0100") + 1) << "faketime is not in effect";
  const CTask task = Task(1, 3, 0, 0);
  const std::optional<std::time_t> next = GetNextStartTime(task, now);
  ASSERT_TRUE(next);
  ASSERT_EQ(Show(*next), "2026-03-29 03:00:00 +0200");

  // The wall-clock alarm rings at the start, two seconds away, not in an hour.
  SchedulerClock alarm(clock, true);
  ASSERT_GE(alarm.WakeFd(), 0);
  alarm.Arm({task.title, 0, *next});
  const auto started = std::chrono::steady_clock::now();
  std::optional<SchedulerClock::Fired> fired;
  while (!fired && std::chrono::steady_clock::now() - started < std::chrono::seconds(10)) {
    pollfd p{alarm.WakeFd(), POLLIN, 0};
    ::poll(&p, 1, static_cast<int>(alarm.MsUntilCheck()));
    fired = alarm.Check();
  }
  ASSERT_TRUE(fired);
  EXPECT_LT(fired->lateMs, 1000);
  EXPECT_GE(clock.Now(), *next);
  std::printf("fired %lld ms late\n", static_cast<long long>(fired->lateMs));
}

TEST(RealClock, SpringGapThroughFaketime) {
  ASSERT_TRUE(test::HaveTool("faketime")) << "faketime is installed by scripts/install-deps.sh";
  std::string out;
  // faketime preloads its library ahead of everything, AddressSanitizer's
  // runtime too, which that runtime refuses unless told the order is fine
  // (faketime wraps only the clock functions).
  const int status = test::Run(
      "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0\" "
      "TZ=Europe/Berlin faketime '2026-03-29 01:59:58' /proc/" +
          std::to_string(::getpid()) +
          "/exe --gtest_also_run_disabled_tests "
          "--gtest_filter=RealClock.DISABLED_SpringGapUnderFaketime 2>&1",
      &out);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
  EXPECT_NE(out.find("ms late"), std::string::npos) << out;
}

}  // namespace
}  // namespace tarvexa
