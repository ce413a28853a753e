#pragma once
// Helpers shared by the tests: scratch folders, generated WAV input,
// reading files back through libsndfile and outside tools, plain text files,
// environment variables for a scope, the settings as text, and how a test
// program reports skipped tests.

#include <gtest/gtest.h>

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarvexa {
struct Settings;
}

namespace tarvexa::test {

// A fresh, empty folder under the build's test work area.
std::string ScratchDir(const std::string& name);

// Writes a 16-bit PCM WAV of `seconds` of a deterministic signal: a sine per
// channel (440 Hz left, 660 Hz right) plus low noise, so every block differs.
std::string MakeTestWav(const std::string& path, int rate, int channels, double seconds,
                        double amplitude = 0.5);

// Writes a 16-bit PCM WAV from the given interleaved samples.
void WriteWav(const std::string& path, int rate, int channels, const std::vector<int16_t>& samples);

struct Audio {
  int rate = 0;
  int channels = 0;
  int64_t frames = 0;
  int format = 0;
  std::vector<int16_t> samples;  // interleaved
};
// Reads any file libsndfile can open; rate 0 when it cannot.
Audio ReadAudio(const std::string& path);
// Reads a headerless file, described up front: libsndfile's format word,
// the rate and the channels.
Audio ReadRawAudio(const std::string& path, int format, int rate, int channels);

// Runs a shell command, returns its exit status; output in *out when given.
int Run(const std::string& command, std::string* out = nullptr);

bool HaveTool(const std::string& name);

// Quotes a string for the shell.
std::string Quote(const std::string& s);

// Writes text into a file (replacing it).
void WriteFile(const std::string& path, const std::string& text);
// The whole of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// Sets an environment variable (unsets it for nullptr) until the end of the
// scope, then puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_, old_;
  bool had_ = false;
};

// Every setting as "SECTION/Key=value", in the order the settings are visited.
std::vector<std::string> DumpSettings(const Settings& s);

// Polls `done` every 20 ms for up to `seconds`; its last answer.
bool WaitFor(const std::function<bool()>& done, double seconds);

// Starts a program (args[0] is its path) with extra environment entries
// (each replacing an inherited one of its name);
// its output and errors go to the file `output`. -1 when it cannot start.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
            const std::string& output);
// Ends a program started by Spawn (SIGTERM) and waits for it; pid becomes -1.
void StopChild(pid_t& pid);

// A dbus-daemon of our own, listening on a socket in a scratch folder, that
// lets anyone own any name: the stand-in for the system and session bus of
// the desktop-service tests, so that no test reaches the machine's own.
class PrivateBus {
 public:
  explicit PrivateBus(const std::string& name);
  ~PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;
  bool ok() const;
  const std::string& address() const { return address_; }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_, address_;
  pid_t pid_ = -1;
};

// A skip is not a pass. A test whose tool, device or service is missing
// fails (install it in scripts/install-deps.sh). Only a test that cannot
// apply on this machine at all says so, with the reason:
//
//   if (geteuid() == 0) CANNOT_APPLY_HERE("running as root, which writes anywhere");
//
// The program then prints "CANNOT APPLY HERE: Suite.Test: reason" and exits
// with kSkipExitCode; CTest shows the test as skipped and CI accepts such a
// skip. Any other skip prints "SKIPPED: Suite.Test: ..." and fails CI.
inline constexpr char kCannotApplyHere[] = "cannot apply on this machine: ";
#define CANNOT_APPLY_HERE(why) GTEST_SKIP() << ::tarvexa::test::kCannotApplyHere << why

// The exit status CTest takes for "skipped" (SKIP_RETURN_CODE).
inline constexpr int kSkipExitCode = 77;

// The exit status of a test program after RUN_ALL_TESTS returned `result`:
// 1 when a test failed or none ran, kSkipExitCode when a test skipped (each
// skip listed as above), else 0.
int ExitStatus(int result);

}  // namespace tarvexa::test
