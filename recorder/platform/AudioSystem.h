#pragma once
// The process-wide audio input library (PortAudio): initialised once, before
// the first device is listed or opened, and terminated once at exit.
// Thread affinity: Initialize and Terminate on the user-interface thread (or
// the command line's main thread) while no stream is open; the listing
// functions on any thread once initialised.

#include <string>
#include <vector>

namespace tarvexa {

struct InputDeviceInfo {
  int index = -1;  // PortAudio device index
  std::string name;
  std::string hostApi;  // name of the host API ("ALSA", "JACK Audio Connection Kit", ...)
  int maxInputChannels = 0;
  double defaultSampleRate = 0.0;
};

class AudioSystem {
 public:
  // Initialises PortAudio. Once it has succeeded, later calls do nothing
  // until Terminate; after a failure the next call tries again. While the library probes the
  // devices the diagnostics that ALSA and JACK print for every unusable configuration entry are
  // silenced; errors still reach the caller through PortAudio. On failure returns false with the
  // PortAudio error number and text.
  static bool Initialize(int* errorCode = nullptr, std::string* error = nullptr);

  // Terminates PortAudio if Initialize succeeded; a later Initialize scans
  // the devices afresh.
  static void Terminate();

  static bool IsInitialized();

  // Every device with at least one input channel, in PortAudio's order.
  // Empty when not initialised.
  static std::vector<InputDeviceInfo> ListInputDevices();

  // PortAudio's default input device, or -1 when there is none (or when not
  // initialised).
  static int DefaultInputDevice();
};

// Initialises on construction and, if it was the one that initialised,
// terminates on destruction; for main() and tests. Whether the library came
// up is in ok(), with the error in error().
class AudioSystemScope {
 public:
  AudioSystemScope();
  ~AudioSystemScope();
  AudioSystemScope(const AudioSystemScope&) = delete;
  AudioSystemScope& operator=(const AudioSystemScope&) = delete;

  bool ok() const { return ok_; }
  int errorCode() const { return errorCode_; }
  const std::string& error() const { return error_; }

 private:
  bool ok_ = false;
  bool owner_ = false;
  int errorCode_ = 0;
  std::string error_;
};

}  // namespace tarvexa
