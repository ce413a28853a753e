#pragma once
// A private virtual capture device (tests/support/virtual-audio.sh) for one
// test program, started before its first test and stopped after its last.
// It is never a device exported by the caller: these tests change the
// device's mixer levels, which a device shared with other programs must not
// see. Register it with
//
//   const auto* const gAudio =
//       ::testing::AddGlobalTestEnvironment(new PrivateVirtualAudio("name"));
//
// and fail with PrivateVirtualAudio::why when available is false. Header
// only: unit and window tests both include it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "TestSupport.h"

namespace tarvexa::test {

class PrivateVirtualAudio : public ::testing::Environment {
 public:
  explicit PrivateVirtualAudio(std::string name) : name_(std::move(name)) {}

  static inline bool available = false;
  static inline std::string why;

  static std::string Script() {
    return std::string(TARVEXA_SOURCE_DIR) + "/tests/support/virtual-audio.sh";
  }

  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    dir_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/tarvexa-audio-" + std::to_string(getuid()) +
           "-" + name_;
    setenv("TARVEXA_AUDIO_DIR", dir_.c_str(), 1);
    std::string out;
    const int rc = Run(Script() + " start", &out);
    // The output mixes the script's messages in; only the export lines count.
    std::istringstream lines(out);
    int exported = 0;
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("export ", 0) != 0) continue;
      const auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      const std::string var = line.substr(7, eq - 7);
      std::string value = line.substr(eq + 1);
      if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'')
        value = value.substr(1, value.size() - 2);
      setenv(var.c_str(), value.c_str(), 1);
      ++exported;
    }
    if (rc != 0 || exported == 0) {
      why = "the virtual capture device (PulseAudio) could not start:\n" + out;
      return;
    }
    started_ = true;
    available = true;
  }

  void TearDown() override {
    if (started_) Run("TARVEXA_AUDIO_DIR=" + Quote(dir_) + " " + Script() + " stop");
  }

 private:
  std::string name_;
  std::string dir_;
  bool started_ = false;
};

}  // namespace tarvexa::test
