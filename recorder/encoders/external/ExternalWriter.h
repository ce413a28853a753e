#pragma once
// What every writer that encodes through an outside program shares: per
// output file the program is started with an argument vector, a 44-byte WAV
// header (or none) and then the processed 16-bit samples go into its
// standard input, and closing the file ends that input and waits until the
// program has finished its file and exited.
//
// Failures are never silent: a program that cannot be started, that stops
// reading, that takes none of its input for kEncoderStallMs (it is then
// ended), or that exits with an error status is reported as an error of
// the recording, with the last line the program printed.
// Thread affinity: the encoder thread (the free functions: any thread).

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "encoders/ClipWriter.h"
#include "platform/ConsoleRedirector.h"

namespace tarvexa {

// The stand-in data length of the header, as the programs expect it: the
// real length is unknown while recording.
inline constexpr uint32_t kUnknownDataLength = 0xFFFFFFFF;  // Musepack, the user's encoder
inline constexpr uint32_t kAacHeaderDataLength = 100;

// How long a program may take none of its input before it is given up.
inline constexpr int kEncoderStallMs = 5000;

// The log lines of a writer that announces its program (the user's encoder).
inline constexpr char kLaunchNotice[] = "Launch External Encoder...";
inline constexpr char kTerminatedNotice[] = "External Encoder Terminated.";

// The 44-byte canonical WAV header for 16-bit PCM, little-endian; the RIFF
// size is dataLength + 36 in 32-bit arithmetic (it wraps).
std::array<uint8_t, 44> StdinWavHeader(int rate, int channels, uint32_t dataLength);

// The command as a shell would split it back into the same words (for the
// log); words that need it are single-quoted.
std::string CommandLineText(const std::vector<std::string>& argv);

// One program run for one output file.
struct ExternalCommand {
  std::vector<std::string> argv;  // program first; empty when `error` says why
  std::string error;              // the command could not be made (reported at level 2)
  bool wavHeader = true;          // false: the stream starts with the first sample
  uint32_t dataLength = kUnknownDataLength;
  bool announce = false;    // post kLaunchNotice, the command line and kTerminatedNotice
  bool expectFile = true;   // the program is told the output path and must create it
  bool detailLogs = false;  // its output to External.log, our notices to Error.log
};

class ExternalClipWriter : public ClipWriter {
 public:
  ~ExternalClipWriter() override;

  std::string Open(const std::string& path) final;
  bool Write(const int16_t* samples, size_t frames) final;
  bool Close() final;
  std::string ErrorText() const final { return error_; }

  // The command that encodes into `path` with the writer's settings.
  virtual ExternalCommand CommandFor(const std::string& path) const = 0;

 protected:
  explicit ExternalClipWriter(const Settings& s);
  const Settings& settings() const { return settings_; }

 private:
  class Console;
  // After a failed write: ends the program's input and the program (one
  // that went away gets a moment to report its status) and returns what
  // happened, with the last line the program printed.
  std::string GiveUp(ConsoleRedirector::WriteResult r);
  std::string ProgramName() const;

  Settings settings_;
  std::unique_ptr<Console> console_;
  ExternalCommand command_;
  std::string path_;
  std::string error_;
  int channels_ = 2;
  bool failed_ = false;  // a write failed; already reported
  std::vector<uint8_t> bytes_;
};

}  // namespace tarvexa
