#pragma once
// Keeps ALSA from printing its diagnostics on standard error while it is
// asked about configurations that may not exist on purpose (probing
// devices, rates and mixers): such a configuration is an answer there, not
// an error. The errors still reach the caller through the return values.
// Thread affinity: ALSA's error handler is process-wide; use it on the
// thread that probes, for the length of the probe.

#include <alsa/asoundlib.h>

namespace tarvexa {

class QuietAlsaErrors {
 public:
  QuietAlsaErrors() { snd_lib_error_set_handler(&Quiet); }
  ~QuietAlsaErrors() { snd_lib_error_set_handler(nullptr); }  // back to ALSA's own printer
  QuietAlsaErrors(const QuietAlsaErrors&) = delete;
  QuietAlsaErrors& operator=(const QuietAlsaErrors&) = delete;

 private:
  static void Quiet(const char*, int, const char*, int, const char*, ...) {}
};

}  // namespace tarvexa
