#pragma once
// The input of a recording: what the client asks for (a sound-card input or
// a sound file) and the factory that makes the InputSource for it. The
// recording controller calls the factory at every start. The window, the
// command line and the scheduler use DefaultInputFactory; tests,
// benchmarks and screenshots inject their own (FileInsteadOfDevice).
// Thread affinity: the factories run on the thread that starts the
// recording; SavedInputDevice wherever PortAudio may be asked.

#include <functional>
#include <memory>
#include <string>

#include "config/ConfigStore.h"
#include "config/Settings.h"
#include "recording/InputSource.h"

namespace tarvexa {

struct InputChoice {
  int device = -1;                // PortAudio device index; -1: PortAudio's default input
  std::string file;               // a sound file to record instead of a device; "" for a device
  bool fast = false;              // the file as fast as the encoder takes it, else in real time
  std::string source;             // a sound-server source by name; "" for a device or a file
  std::string sourceDescription;  // what the log calls that source
};

// Makes the input of one recording. It may adapt the recording's settings
// to the input (a file's rate and channel count). On failure it returns
// nullptr and says why in *error.
using InputFactory = std::function<std::shared_ptr<InputSource>(
    const InputChoice& choice, Settings& recording, std::string* error)>;

// A device: PortAudio's input stream. A sound-server source: its stream
// from the server. A file: the file, converted to the recording's rate and
// channel count where they differ from its own.
InputFactory DefaultInputFactory();

// The sound file at `path` in place of whatever is chosen, with the
// recording's rate and channel count taken from the file.
InputFactory FileInsteadOfDevice(std::string path, bool fast);

// The input saved in the settings, for a recording started without anyone
// to choose (a scheduled one without a window): the sound-server source
// (MISC InputSourceName) when the server has it, else, with a line saying
// it is missing, PortAudio's saved device (SavedInputDevice). Initialises
// PortAudio for a device; false with the reason when it cannot.
bool ChooseSavedInput(const Settings& settings, const LogSink& log, InputChoice* choice,
                      std::string* error);

// The saved device index (MISC InputDevice) when PortAudio still lists that
// device, else PortAudio's default input (-1 when there is none).
int SavedInputDevice(int saved);

}  // namespace tarvexa
