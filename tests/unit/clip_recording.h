#pragma once
// Shared by the Ogg Vorbis and FLAC writer tests: a recording through the
// engine over a file, feeding a writer directly, a child process for the
// crash and disk-full cases, and decoding with FFmpeg.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "encoders/ClipWriter.h"
#include "recording/RecordSession.h"
#include "recording/WavFileSource.h"

namespace tarvexa::test {

struct Recording {
  std::vector<std::string> clips;  // in the order they were finished
  std::vector<std::string> logs;
  bool Logged(const std::string& text) const {
    return std::find(logs.begin(), logs.end(), text) != logs.end();
  }
};

// Records the whole input file (fast file input) into `out` and its clips.
inline Recording RecordFile(const Settings& s, const std::string& input, const std::string& out) {
  using namespace std::chrono_literals;
  RecChannel ch;
  Recording r;
  RecordSession session(ch);
  SessionParams p;
  p.settings = s;
  p.outputPath = out;
  p.source = std::make_shared<WavFileSource>(input, true);
  p.startDelayMs = 0;
  EXPECT_TRUE(session.Start(std::move(p)));
  bool finished = false;
  const auto deadline = std::chrono::steady_clock::now() + 120s;
  auto handle = [&](const RecMessage& m) {
    if (m.type == RecMsg::Log) r.logs.push_back(m.text);
    if (m.type == RecMsg::ClipDone) r.clips.push_back(m.text);
    if (m.type == RecMsg::Finished) finished = true;
  };
  while (!finished && std::chrono::steady_clock::now() < deadline) ch.Pump(handle, 50);
  session.Join();
  ch.Pump(handle);
  return r;
}

// Hands interleaved samples to a writer in 100-ms blocks, as the engine does.
inline bool Feed(ClipWriter& w, const std::vector<int16_t>& samples, int rate, int chan) {
  const size_t block = static_cast<size_t>(rate / 10), frames = samples.size() / chan;
  for (size_t at = 0; at < frames; at += block) {
    if (!w.Write(samples.data() + at * chan, std::min(block, frames - at))) return false;
  }
  return true;
}

// Runs `body` in a child process and returns the text it reports; the child
// may also die on its own (the text is then what it reported until then).
inline std::string InChild(const std::function<std::string()>& body) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const std::string report = body();
    [[maybe_unused]] ssize_t n = write(fds[1], report.data(), report.size());
    _exit(0);
  }
  close(fds[1]);
  std::string report;
  char buf[512];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) report.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return report;
}

// Decodes with FFmpeg into 16-bit PCM; `decoder` picks one of its decoders.
inline Audio DecodeWithFfmpeg(const std::string& path, const std::string& decoder = "") {
  const std::string wav = path + ".ffmpeg.wav";
  const std::string force = decoder.empty() ? "" : "-c:a " + decoder + " ";
  if (Run("ffmpeg -v error -y " + force + "-i " + Quote(path) + " -c:a pcm_s16le " + Quote(wav)) !=
      0) {
    return {};
  }
  return ReadAudio(wav);
}

}  // namespace tarvexa::test
