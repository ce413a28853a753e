#include "TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "config/Settings.h"

extern char** environ;

namespace tarvexa::test {

namespace fs = std::filesystem;

std::string ScratchDir(const std::string& name) {
  fs::path p = fs::path(TARVEXA_TEST_WORK) / name;
  std::error_code ec;
  fs::remove_all(p, ec);
  fs::create_directories(p);
  return p.string();
}

void WriteWav(const std::string& path, int rate, int channels,
              const std::vector<int16_t>& samples) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) throw std::runtime_error("cannot create " + path);
  sf_writef_short(f, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
  sf_close(f);
}

std::string MakeTestWav(const std::string& path, int rate, int channels, double seconds,
                        double amplitude) {
  const int64_t frames = static_cast<int64_t>(std::llround(seconds * rate));
  std::vector<int16_t> s(static_cast<size_t>(frames * channels));
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> noise(-64, 64);
  const std::array<double, 2> freq = {440.0, 660.0};
  for (int64_t i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      double v =
          amplitude * 32767.0 * std::sin(2.0 * M_PI * freq[c] * static_cast<double>(i) / rate);
      s[static_cast<size_t>(i * channels + c)] = static_cast<int16_t>(std::lround(v) + noise(rng));
    }
  }
  WriteWav(path, rate, channels, s);
  return path;
}

namespace {

// Reads what libsndfile opens with `info` (zeroed, or describing a
// headerless file); rate 0 when it cannot.
Audio ReadWith(const std::string& path, SF_INFO info) {
  Audio a;
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return a;
  a.rate = info.samplerate;
  a.channels = info.channels;
  a.frames = info.frames;
  a.format = info.format;
  a.samples.resize(static_cast<size_t>(info.frames * info.channels));
  sf_count_t got = sf_readf_short(f, a.samples.data(), info.frames);
  a.samples.resize(static_cast<size_t>(got * info.channels));
  sf_close(f);
  return a;
}

}  // namespace

Audio ReadAudio(const std::string& path) { return ReadWith(path, SF_INFO{}); }

Audio ReadRawAudio(const std::string& path, int format, int rate, int channels) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  return ReadWith(path, info);
}

int Run(const std::string& command, std::string* out) {
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  int status = pclose(p);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveTool(const std::string& name) { return Run("command -v " + Quote(name)) == 0; }

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old, had_ = true;
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (had_)
    setenv(name_.c_str(), old_.c_str(), 1);
  else
    unsetenv(name_.c_str());
}

std::vector<std::string> DumpSettings(const Settings& s) {
  std::vector<std::string> out;
  VisitSettings(
      s, [&](const char* sec, const std::string& key, const auto& field, const auto&, auto...) {
        std::ostringstream os;
        os << sec << '/' << key << '=' << field;
        out.push_back(os.str());
      });
  return out;
}

bool WaitFor(const std::function<bool()>& done, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
            const std::string& output) {
  // An extra entry replaces the inherited one of its name (the first of
  // two is the one getenv finds).
  auto name = [](const std::string& e) { return e.substr(0, e.find('=')); };
  std::vector<std::string> envStrings;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (std::none_of(extraEnv.begin(), extraEnv.end(),
                     [&](const std::string& x) { return name(x) == name(entry); }))
      envStrings.push_back(entry);
  }
  for (const auto& e : extraEnv) envStrings.push_back(e);
  std::vector<char*> envp, argv;
  for (auto& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> a = args;
  for (auto& arg : a) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

void StopChild(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int status;
  waitpid(pid, &status, 0);
  pid = -1;
}

PrivateBus::PrivateBus(const std::string& name) {
  dir_ = ScratchDir(name);
  const std::string socket = dir_ + "/bus";
  address_ = "unix:path=" + socket;
  const std::string conf = dir_ + "/bus.conf";
  WriteFile(conf,
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig>\n  <type>session</type>\n  <listen>" +
                address_ +
                "</listen>\n  <auth>EXTERNAL</auth>\n"
                "  <policy context=\"default\">\n"
                "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n"
                "  </policy>\n</busconfig>\n");
  pid_ = Spawn({"/usr/bin/dbus-daemon", "--nofork", "--nopidfile", "--config-file=" + conf}, {},
               dir_ + "/dbus-daemon.out");
  WaitFor([&] { return ok(); }, 10);
}

PrivateBus::~PrivateBus() { StopChild(pid_); }

bool PrivateBus::ok() const {
  struct stat st {};
  return pid_ > 0 && ::stat((dir_ + "/bus").c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

int ExitStatus(int result) {
  const ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
  if (GTEST_FLAG_GET(list_tests)) return result;
  if (result != 0 || unit.failed_test_count() > 0 || unit.ad_hoc_test_result().Failed()) return 1;
  if (unit.test_to_run_count() == 0) {
    std::printf("FAILED: no test ran\n");
    return 1;
  }
  int skipped = 0;
  for (int i = 0; i < unit.total_test_suite_count(); ++i) {
    const ::testing::TestSuite& suite = *unit.GetTestSuite(i);
    for (int j = 0; j < suite.total_test_count(); ++j) {
      const ::testing::TestInfo& test = *suite.GetTestInfo(j);
      if (!test.should_run() || !test.result()->Skipped()) continue;
      ++skipped;
      std::string why;
      const ::testing::TestResult& r = *test.result();
      for (int k = 0; k < r.total_part_count(); ++k)
        if (r.GetTestPartResult(k).skipped()) why += r.GetTestPartResult(k).message();
      for (char& c : why)
        if (c == '\n' || c == '\r') c = ' ';
      const std::string name = std::string(suite.name()) + "." + test.name();
      const size_t at = why.find(kCannotApplyHere);
      if (at != std::string::npos)
        std::printf("CANNOT APPLY HERE: %s: %s\n", name.c_str(),
                    why.substr(at + std::strlen(kCannotApplyHere)).c_str());
      else
        std::printf("SKIPPED: %s: %s\n", name.c_str(),
                    why.empty() ? "(no reason given)" : why.c_str());
    }
  }
  std::fflush(stdout);
  return skipped > 0 ? kSkipExitCode : 0;
}

}  // namespace tarvexa::test
