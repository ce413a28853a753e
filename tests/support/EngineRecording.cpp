#include "EngineRecording.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

#include "encoders/ClipWriter.h"
#include "recording/RecordSession.h"
#include "recording/WavFileSource.h"

namespace tarvexa::test {

namespace {
// The format's writer, taking `ms` longer for every block: an encoder that
// cannot keep up.
class SlowWriter : public ClipWriter {
 public:
  SlowWriter(std::unique_ptr<ClipWriter> inner, int ms) : inner_(std::move(inner)), ms_(ms) {}
  std::string Open(const std::string& path) override {
    inner_->SetNoticeSink([this](const std::string& text, int level) { Notice(text, level); });
    return inner_->Open(path);
  }
  bool Write(const int16_t* samples, size_t frames) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms_));
    return inner_->Write(samples, frames);
  }
  bool Close() override { return inner_->Close(); }
  std::string ErrorText() const override { return inner_->ErrorText(); }

 private:
  std::unique_ptr<ClipWriter> inner_;
  int ms_;
};
}  // namespace

bool Recording::Logged(const std::string& text) const {
  return std::any_of(logs.begin(), logs.end(), [&](const auto& l) { return l.first == text; });
}

bool Recording::LoggedPart(const std::string& text) const {
  return std::any_of(logs.begin(), logs.end(),
                     [&](const auto& l) { return l.first.find(text) != std::string::npos; });
}

Recording Record(const Settings& s, std::shared_ptr<InputSource> source, const std::string& out,
                 int queueSeconds, const BlockHook& onBlock, int slowEncoderMs) {
  using namespace std::chrono_literals;
  RecChannel ch;
  Recording r;
  RecordSession session(ch);
  SessionParams p;
  p.settings = s;
  p.outputPath = out;
  p.source = std::move(source);
  p.queueSeconds = queueSeconds;
  p.startDelayMs = 0;
  if (slowEncoderMs > 0) {
    p.makeWriter = [slowEncoderMs](const Settings& settings) -> std::unique_ptr<ClipWriter> {
      std::unique_ptr<ClipWriter> writer = MakeClipWriter(settings);
      if (!writer) return nullptr;
      return std::make_unique<SlowWriter>(std::move(writer), slowEncoderMs);
    };
  }
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(session.Start(std::move(p)));
  int blocksSeen = 0;
  auto handle = [&](const RecMessage& m) {
    switch (m.type) {
      case RecMsg::Log:
        r.logs.emplace_back(m.text, m.param);
        r.logSeconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        break;
      case RecMsg::ClipDone:
        r.clips.push_back(m.text);
        r.clipBlocks.push_back(m.param);
        break;
      case RecMsg::NewClip: r.newClips.push_back(m.text); break;
      case RecMsg::Finished: r.finished = true; break;
      case RecMsg::Block:
        r.displaySamples.push_back(m.samples.size());
        if (onBlock) onBlock(session, ++blocksSeen);
        break;
      default: break;
    }
  };
  const auto deadline = std::chrono::steady_clock::now() + 120s;
  while (!r.finished && std::chrono::steady_clock::now() < deadline) ch.Pump(handle, 50);
  session.Join();
  ch.Pump(handle);  // what came after "finished"
  r.autoStopped = session.AutoStopped();
  r.ticks = session.Ticks();
  r.dropped = session.DroppedBlocks();
  return r;
}

Recording RecordFile(const Settings& s, const std::string& input, const std::string& out) {
  return Record(s, std::make_shared<WavFileSource>(input, true), out);
}

bool Feed(ClipWriter& w, const std::vector<int16_t>& samples, int rate, int chan) {
  const size_t block = static_cast<size_t>(rate / 10), frames = samples.size() / chan;
  for (size_t at = 0; at < frames; at += block) {
    if (!w.Write(samples.data() + at * chan, std::min(block, frames - at))) return false;
  }
  return true;
}

std::string InChild(const std::function<std::string()>& body, int* status) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return "fork failed";
  }
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
  waitpid(pid, status, 0);
  return report;
}

void LimitFileSize(size_t bytes) {
  signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{bytes, bytes};
  setrlimit(RLIMIT_FSIZE, &limit);
}

Audio DecodeWithFfmpeg(const std::string& path, const std::string& decoder) {
  const std::string wav = path + ".ffmpeg.wav";
  const std::string force = decoder.empty() ? "" : "-c:a " + decoder + " ";
  if (Run("ffmpeg -v error -y " + force + "-i " + Quote(path) + " -c:a pcm_s16le " + Quote(wav)) !=
      0) {
    return {};
  }
  return ReadAudio(wav);
}

}  // namespace tarvexa::test
