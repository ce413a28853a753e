#include "BenchSupport.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "config/ConfigStore.h"
#include "platform/Paths.h"

namespace tarvexa::bench {

void PrintMachine() {
  std::ifstream in("/proc/cpuinfo");
  std::string line, model = "unknown";
  while (std::getline(in, line)) {
    if (line.rfind("model name", 0) == 0) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  double load[3] = {0, 0, 0};
  const int n = getloadavg(load, 3);
  std::printf("Machine: %s, %u cores online; load average %.2f %.2f %.2f%s\n", model.c_str(),
              std::thread::hardware_concurrency(), load[0], load[1], load[2],
              n == 3 ? "" : " (unknown)");
}

std::string MakeInput(const std::string& dir, double seconds) {
  std::filesystem::create_directories(dir);
  char name[64];
  std::snprintf(name, sizeof name, "/input-%.0fs.wav", seconds);
  std::string path = dir + name;
  if (std::filesystem::exists(path)) return path;
  const int rate = 44100;
  const int64_t frames = static_cast<int64_t>(seconds * rate);
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return {};
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 0.02);
  std::vector<int16_t> buf(2 * 4410);
  const double tones[] = {220.0, 277.18, 329.63, 440.0, 1318.5};
  for (int64_t start = 0; start < frames; start += 4410) {
    const int64_t n = std::min<int64_t>(4410, frames - start);
    for (int64_t i = 0; i < n; ++i) {
      const double t = static_cast<double>(start + i) / rate;
      const double env = 0.5 + 0.5 * std::sin(2 * M_PI * 0.25 * t);
      double l = 0, r = 0;
      for (int k = 0; k < 5; ++k) {
        const double v = std::sin(2 * M_PI * tones[k] * t + k);
        l += v * (k % 2 ? env : 1 - env);
        r += v * (k % 2 ? 1 - env : env);
      }
      buf[2 * i] =
          static_cast<int16_t>(std::lround(std::clamp(0.15 * l + noise(rng), -1.0, 1.0) * 32000));
      buf[2 * i + 1] =
          static_cast<int16_t>(std::lround(std::clamp(0.15 * r + noise(rng), -1.0, 1.0) * 32000));
    }
    sf_writef_short(f, buf.data(), n);
  }
  sf_close(f);
  return path;
}

ChildUsage RunChild(const std::vector<std::string>& argv) {
  ChildUsage u;
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    dup2(devnull, 2);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  auto t1 = std::chrono::steady_clock::now();
  u.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  u.wallSeconds = std::chrono::duration<double>(t1 - t0).count();
  u.cpuSeconds = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec +
                 ru.ru_stime.tv_usec / 1e6;
  u.maxRssKb = ru.ru_maxrss;
  return u;
}

bool RunCapturing(const std::vector<std::string>& argv, std::string* out) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  out->clear();
  char buf[256];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) out->append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Best(int runs, const std::function<double()>& timeOnce) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    const double t = timeOnce();
    if (t < 0) return -1;
    best = std::min(best, t);
  }
  return best;
}

ChildUsage RunRecorder(const Settings& s, const std::string& input, const std::string& output,
                       const std::string& dir, bool fast) {
  const std::string home = dir + "/recorder-home";
  std::filesystem::create_directories(home);
  if (!ConfigStore(home + "/Config.ini").Save(s, [](const std::string&, int) {})) return {};
  setenv("TARVEXA_HOME", home.c_str(), 1);
  std::vector<std::string> argv = {ProgramFolder() + "/TarvexaSoundRecorder", "--record", output,
                                   "--input-file", input};
  if (fast) argv.push_back("--fast");
  std::filesystem::remove(output);
  ChildUsage u = RunChild(argv);
  unsetenv("TARVEXA_HOME");
  return u;
}

long long DecodedFrames(const std::string& path) {
  std::string quoted = "'";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quoted += "'";
  std::string channels;
  if (!RunCapturing(
          {"/bin/sh", "-c",
           "ffprobe -v error -select_streams a:0 -show_entries stream=channels -of csv=p=0 " +
               quoted},
          &channels))
    return -1;
  const int chan = std::atoi(channels.c_str());
  if (chan <= 0) return -1;
  FILE* p =
      popen(("ffmpeg -v error -i " + quoted + " -map 0:a:0 -f s16le -c:a pcm_s16le - 2>/dev/null")
                .c_str(),
            "r");
  if (!p) return -1;
  long long bytes = 0;
  char buf[1 << 16];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) bytes += static_cast<long long>(n);
  const int status = pclose(p);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return bytes / (2LL * chan);
}

long long SoundFileFrames(const std::string& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return -1;
  sf_close(f);
  return info.frames;
}

bool PrintRow(const std::string& name, double audioSeconds, double ours, double tool,
              const std::string& toolName) {
  const double rtfOurs = ours > 0 ? audioSeconds / ours : 0;
  const double rtfTool = tool > 0 ? audioSeconds / tool : 0;
  const bool met = rtfTool > 0 && rtfOurs / rtfTool >= 0.9;
  std::printf("%-22s recorder %8.1fx real time (%6.3f s)   %-8s %8.1fx (%6.3f s)   ratio %.2f %s\n",
              name.c_str(), rtfOurs, ours, toolName.c_str(), rtfTool, tool,
              rtfTool > 0 ? rtfOurs / rtfTool : 0.0,
              met ? "(target >= 0.90 met)" : "(target >= 0.90 MISSED)");
  std::fflush(stdout);
  return met;
}

}  // namespace tarvexa::bench
