#include "encoders/external/ExternalWriter.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <bit>
#include <cstdio>
#include <cstring>

#include "formats/FormatCatalogue.h"
#include "platform/ConsoleRedirector.h"
#include "platform/Paths.h"

namespace tarvexa {

namespace {

constexpr char kNotStartedText[] = "Recording stopped: the external encoder did not start.";
// How long a program that stopped reading gets to report how it ended.
constexpr int kExitGraceMs = 1000;

void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}

bool IsPlainWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::strchr("_@%+=:,./-", c) != nullptr;
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ExitedCleanly(int status) { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }

}  // namespace

std::array<uint8_t, 44> StdinWavHeader(int rate, int channels, uint32_t dataLength) {
  std::array<uint8_t, 44> h{};
  const uint32_t r = static_cast<uint32_t>(rate);
  const uint32_t c = static_cast<uint32_t>(channels);
  std::memcpy(&h[0], "RIFF", 4);
  Put32(&h[4], dataLength + 36u);
  std::memcpy(&h[8], "WAVE", 4);
  std::memcpy(&h[12], "fmt ", 4);
  Put32(&h[16], 16);
  Put16(&h[20], 1);
  Put16(&h[22], c);
  Put32(&h[24], r);
  Put32(&h[28], r * c * 2);
  Put16(&h[32], c * 2);
  Put16(&h[34], 16);
  std::memcpy(&h[36], "data", 4);
  Put32(&h[40], dataLength);
  return h;
}

std::string CommandLineText(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& word : argv) {
    if (!line.empty()) line += ' ';
    bool plain = !word.empty();
    for (char c : word) plain = plain && IsPlainWordChar(c);
    if (plain) {
      line += word;
      continue;
    }
    line += '\'';
    for (char c : word) {
      if (c == '\'')
        line += "'\\''";
      else
        line += c;
    }
    line += '\'';
  }
  return line;
}

// The runner with the two log files of the user's encoder: the program's
// output goes to External.log, our own notices to Error.log, both in the
// data folder, each opened, appended to and closed per piece of text.
class ExternalClipWriter::Console final : public ConsoleRedirector {
 public:
  explicit Console(bool detail)
      : external_(detail ? DataFile("External.log") : std::string()),
        errors_(detail ? DataFile("Error.log") : std::string()) {}
  ~Console() override { Close(); }

 protected:
  void WriteStdOut(const std::string& text) override { Append(external_, text); }
  void WriteStdError(const std::string& text) override { Append(errors_, text); }

 private:
  static void Append(const std::string& file, const std::string& text) {
    if (file.empty()) return;
    if (FILE* f = std::fopen(file.c_str(), "ab")) {
      std::fwrite(text.data(), 1, text.size(), f);
      std::fclose(f);
    }
  }
  const std::string external_;
  const std::string errors_;
};

ExternalClipWriter::ExternalClipWriter(const Settings& s) : settings_(s) {}

// A writer dropped without Close still lets its program finish the file.
ExternalClipWriter::~ExternalClipWriter() { Close(); }

std::string ExternalClipWriter::ProgramName() const {
  return command_.argv.empty() ? std::string() : FileNameOf(command_.argv[0]);
}

std::string ExternalClipWriter::Open(const std::string& path) {
  Close();  // a clip still open is finished, not thrown away
  path_ = path;
  error_.clear();
  failed_ = false;
  channels_ = ChannelsOf(settings_);
  command_ = CommandFor(path);
  if (!command_.error.empty()) {
    Notice(command_.error, 2);
    error_ = kNotStartedText;
    return error_;
  }
  if (command_.announce) {
    Notice(kLaunchNotice, 0);
    Notice(CommandLineText(command_.argv), 0);
  }
  console_ = std::make_unique<Console>(command_.detailLogs);
  if (!console_->Open(command_.argv)) {
    Notice("Error: the external encoder could not be started: " + console_->ErrorText() + ".", 2);
    console_.reset();
    error_ = kNotStartedText;
    return error_;
  }
  if (command_.wavHeader) {
    const auto header = StdinWavHeader(SampleRateOf(settings_), channels_, command_.dataLength);
    const auto r = console_->WriteStdIn(header.data(), header.size(), kEncoderStallMs);
    if (r != ConsoleRedirector::WriteResult::Written) {
      Notice(GiveUp(r), 2);
      Close();
      error_ = kNotStartedText;
      return error_;
    }
  }
  return {};
}

std::string ExternalClipWriter::GiveUp(ConsoleRedirector::WriteResult r) {
  using R = ConsoleRedirector::WriteResult;
  failed_ = true;
  const std::string name = ProgramName();
  const std::string cause = console_->ErrorText();
  console_->CloseStdIn();
  // A program that went away gets a moment to say how it ended; one that
  // stalled or cannot be written to is ended.
  if (r != R::ChildGone || !console_->Wait(kExitGraceMs)) console_->Terminate(kExitGraceMs);
  console_->Close();  // everything it printed has been read
  if (r == R::Stalled) {
    return "Error: the external encoder " + name + " took no audio for " +
           std::to_string(kEncoderStallMs / 1000) + " seconds and was stopped.";
  }
  if (r != R::ChildGone) return "Error: " + cause + ".";
  std::string text = "Error: the external encoder " + name + " stopped reading the audio";
  if (console_->Exited())
    text += " (it " + ConsoleRedirector::DescribeStatus(console_->ExitStatus()) + ")";
  const std::string last = console_->LastOutputLine();
  return text + (last.empty() ? "." : ": " + last);
}

bool ExternalClipWriter::Write(const int16_t* samples, size_t frames) {
  if (!console_ || failed_) {
    if (error_.empty()) error_ = "Error: the external encoder is not running.";
    return false;
  }
  const size_t count = frames * static_cast<size_t>(channels_);
  const void* data = samples;
  if constexpr (std::endian::native != std::endian::little) {
    bytes_.resize(count * 2);
    for (size_t i = 0; i < count; ++i) {
      const auto v = static_cast<uint16_t>(samples[i]);
      bytes_[2 * i] = static_cast<uint8_t>(v);
      bytes_[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    data = bytes_.data();
  }
  const auto r = console_->WriteStdIn(data, count * 2, kEncoderStallMs);
  if (r == ConsoleRedirector::WriteResult::Written) return true;
  error_ = GiveUp(r);
  return false;
}

bool ExternalClipWriter::Close() {
  if (!console_) return true;
  console_->CloseStdIn();
  // The program finishes its file after the end of its input: as long as
  // it takes.
  console_->Wait(-1);
  console_->Close();
  bool ok = true;
  if (!failed_) {
    const int status = console_->ExitStatus();
    if (!ExitedCleanly(status)) {
      error_ = "Error: the external encoder " + ProgramName() + " " +
               ConsoleRedirector::DescribeStatus(status);
      const std::string last = console_->LastOutputLine();
      error_ += last.empty() ? "." : ": " + last;
      ok = false;
    } else if (command_.expectFile && !IsFile(path_)) {
      error_ = "Error: the external encoder " + ProgramName() + " wrote no file " + path_ + ".";
      ok = false;
    }
  }
  console_.reset();
  if (command_.announce) Notice(kTerminatedNotice, 0);
  return ok;
}

}  // namespace tarvexa
