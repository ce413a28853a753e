#pragma once
// One recording as its clients run it (the main window, the command line,
// the scheduler): it makes the input through the injected factory, starts
// the session, pumps the session's channel on the receiving thread, writes
// the receiver's event-log lines ("Start recording  ...", "Creating
// splitted clip ... ...", "Finished recording...") and the session's own,
// hands every message to its listeners and, at the end, reports what the
// recording did (RecordingOutcome).
// Thread affinity: every method on the receiving thread (the window's, the
// command line's main), except that the wake-up runs on the session's
// threads. Listeners are called on the receiving thread, from Pump.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/ConfigStore.h"
#include "config/Settings.h"
#include "recording/InputSources.h"
#include "recording/RecChannel.h"
#include "recording/RecordSession.h"

namespace tarvexa {

struct ClipResult {
  std::string path;
  int blocks = 0;      // 100-ms input blocks recorded into it
  int64_t frames = 0;  // frames the writer wrote (the DSP stage may change the count)
  int rate = 0;        // the file's frames a second
};

struct RecordingOutcome {
  // Every clip written, in order. A clip that received no audio has no
  // file and is not listed.
  std::vector<ClipResult> clips;
  bool autoStopped = false;   // the auto-stop time ended the recording
  int errors = 0;             // error lines (level 2) the recording logged
  int64_t droppedBlocks = 0;  // blocks lost because the encoder fell behind

  int ClipsWithAudio() const;
  int64_t Blocks() const;
  // At least one clip holds audio and no error was logged.
  bool Succeeded() const;
};

// The after-recording action due at the end of a recording: the action
// chosen in the settings in force (MISC ActAftRec) when the auto-stop time
// ended it, else 0 (nothing to do). A stop by hand, a stop on silence or a
// failure never asks for one.
int AfterRecordingActionFor(const RecordingOutcome& outcome, const Settings& live);

class RecordingListener {
 public:
  virtual ~RecordingListener() = default;
  // The display copy of a captured block (empty when no display wants it).
  virtual void OnBlock(const std::vector<int16_t>& /*display*/) {}
  // The text of the status line ("Recording:  ...", "Recording Manually
  // Paused:  ...").
  virtual void OnStatus(const std::string& /*text*/) {}
  // A split clip begins.
  virtual void OnClipStarted(const std::string& /*path*/) {}
  // A clip's file is closed. The session waits until this returns.
  virtual void OnClipDone(const ClipResult& /*clip*/) {}
  // The recording has ended; IsActive() is false from here. The session
  // waits until this returns: never wait on it or ask the user here.
  virtual void OnFinished(const RecordingOutcome& /*outcome*/) {}
};

class RecordingController {
 public:
  // log: where the event-log lines go (text, level).
  explicit RecordingController(LogSink log);
  ~RecordingController();
  RecordingController(const RecordingController&) = delete;
  RecordingController& operator=(const RecordingController&) = delete;

  // DefaultInputFactory() until set.
  void SetInputFactory(InputFactory factory);
  void AddListener(RecordingListener* listener);
  void RemoveListener(RecordingListener* listener);
  // Called on a session thread after each message, so that a receiver with
  // an event loop can schedule a Pump on its own thread.
  void SetWakeup(std::function<void()> wake);

  struct Request {
    Settings settings;       // the recording's own copy
    std::string outputPath;  // the first file
    InputChoice input;
    // The DSP stage's transform (the window's component; not owned);
    // nullptr: the session's own.
    SampleTransform* transform = nullptr;
  };
  // Makes the input, starts the session and logs "Start recording  " and
  // the path. False, with the reason logged (level 2), when the input or
  // the session could not be started; false without a word while a
  // recording is active.
  bool Start(Request request);
  void TogglePause();
  void Stop();
  // Silence and DSP settings changed while recording.
  void UpdateSilence(const Settings::SilSection& sil);
  void UpdateDsp(const Settings::DspSection& dsp);
  // The process-wide settings (owned by the receiving thread, outliving
  // the controller's use of them). While recording, every Pump hands the
  // ones the recording reads live (silence, DSP with clipping and
  // dithering, the display switches, the naming rule of the next split
  // clip) to the session, so a change reaches it within a block or so.
  // nullptr: the recording keeps the settings it started with.
  void SetLiveSettings(const Settings* live) { live_ = live; }

  // Handles the waiting messages; with waitMs it first waits up to that
  // long for one to arrive. Returns how many were handled.
  int Pump(int waitMs = 0);
  // Waits for the session's thread after the end has been handled.
  void Join();
  // Stops the recording, releases a session thread that waits on a sent
  // message (nothing is handled any more) and waits for it. For the
  // receiver's own end; the controller takes no recording after it.
  void Shutdown();

  // From a successful Start until the end has been handled.
  bool IsActive() const { return active_; }
  bool IsRecording() const { return session_.IsRecording(); }
  bool IsPaused() const { return session_.IsPaused(); }
  // The session's threads still run (the last log lines follow the end).
  bool SessionRunning() const { return session_.IsActive(); }
  int Ticks() const { return session_.Ticks(); }
  int AutoStopTicks() const { return session_.AutoStopTicks(); }
  bool AutoStopOn() const { return session_.AutoStopOn(); }
  std::string OutputPath() const { return session_.OutputPath(); }
  // The settings of the last recording, as the input left them.
  const Settings& RecordingSettings() const { return settings_; }
  // What the last recording did so far (complete once it has ended).
  const RecordingOutcome& Outcome() const { return outcome_; }

 private:
  void Handle(const RecMessage& m);
  void Log(const std::string& text, int level);

  LogSink log_;
  InputFactory factory_;
  std::vector<RecordingListener*> listeners_;
  // The channel outlives the session that sends into it.
  RecChannel channel_;
  RecordSession session_{channel_};
  Settings settings_;
  const Settings* live_ = nullptr;
  RecordingOutcome outcome_;
  bool active_ = false;
  bool shutDown_ = false;
};

}  // namespace tarvexa
