#pragma once
// One recording from "Record" to the last closed file. An encoder thread and
// a capture thread run for the whole recording. The capture thread opens the
// input once and reads 100 ms blocks from it into the session's block
// queue until the recording ends, so that nothing is lost between clips;
// while paused it keeps reading and discards what arrives. The encoder
// thread fetches each block, counts it for auto-stop and split, runs
// silence detection and the DSP stage, and writes it into the current
// clip, cutting the clips from the queue. A clip's file is created with its
// first block: a clip that never receives one leaves no file. Both threads
// report only through the RecChannel.
// Thread affinity: the public methods are called from the user-interface
// thread (the command line's main); the threads are internal.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "config/Settings.h"
#include "recording/InputSource.h"
#include "recording/RecChannel.h"
#include "recording/SampleTransform.h"

namespace tarvexa {

enum class FetchResult { BlockReady = 0, NoBlock = 1, EndOfClip = 2 };

class ClipWriter;  // encoders/ClipWriter.h
// Makes the writer of one clip from the recording's settings.
using ClipWriterFactory = std::function<std::unique_ptr<ClipWriter>(const Settings&)>;

struct SessionParams {
  Settings settings;                    // copied at "Record"
  std::string outputPath;               // the first file
  std::shared_ptr<InputSource> source;  // the input of every clip
  int queueSeconds = 8;                 // hand-off queue length
  int startDelayMs = 200;               // pause before the encoder starts (a device only)
  ClipWriterFactory makeWriter;         // empty: the format's writer (MakeClipWriter)
  // The transform the DSP stage runs on (the window's audio transform
  // component); nullptr: the session's own. Told the format at Start, used
  // by the encoder thread until the recording has finished.
  SampleTransform* transform = nullptr;
};

class RecordSession {
 public:
  explicit RecordSession(RecChannel& channel);
  ~RecordSession();
  RecordSession(const RecordSession&) = delete;
  RecordSession& operator=(const RecordSession&) = delete;

  // Starts the recording. Returns false (and does nothing) while a
  // recording is running or has not yet finished.
  bool Start(SessionParams params);
  // Pause or resume; nothing unless recording.
  void TogglePause();
  // Ends the recording; the threads finish by themselves and the channel
  // receives Finished. Nothing unless recording.
  void Stop();
  // After an Abort message from a thread's fault (source 1 capture, 2
  // encoder): stop, and give the capture thread up to 2 s. Source 0 is a
  // tear-down without a fault: it waits for the capture thread however long
  // it takes and logs "Deleted Recording Thread!".
  void Abort(int source);
  // Silence settings take effect at the next block.
  void UpdateSilence(const Settings::SilSection& sil);
  // DSP settings likewise take effect at the next block ("Clipping" and
  // "Dithering" at the next block read from the input).
  void UpdateDsp(const Settings::DspSection& dsp);
  // Every setting the threads read live, from the process-wide settings:
  // silence, DSP, the display switches (AmpBar, Vis1, Vis2) and the naming
  // rule (RenameStr, Rename, timestamp) of the next split clip.
  void UpdateSettings(const Settings& live);
  // Waits until the encoder thread has ended (after Finished was handled).
  void Join();

  bool IsRecording() const;
  bool IsPaused() const;
  bool IsActive() const;  // from Start until the encoder thread has finished
  bool AutoStopped() const;
  int Ticks() const;
  int AutoStopTicks() const;
  bool AutoStopOn() const;
  int ClipNumber() const;
  int64_t DroppedBlocks() const;
  std::string OutputPath() const;

  struct State;

 private:
  RecChannel& channel_;
  std::shared_ptr<State> st_;
  std::thread encoder_;
};

}  // namespace tarvexa
