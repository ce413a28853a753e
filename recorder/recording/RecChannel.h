#pragma once
// The one channel from the recording threads to whatever shows the recording
// (the command line, the main window). Messages are either posted (the sender
// goes on at once) or sent (the sender waits until the receiver has handled
// the message). The receiver drains the channel on its own thread.
// Thread affinity: post/send from any thread; Pump from the receiving thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarvexa {

enum class RecMsg : int {
  Block = 100,     // WM_REC_BLOCK: display copy of a captured block (may be empty)
  Log = 101,       // WM_REC_LOG: text + level
  Finished = 102,  // WM_REC_FINISHED: sent once at the end of the session
  Abort = 103,     // WM_REC_ABORT: param 1 capture thread, 2 encoder thread
  NewClip = 104,   // WM_REC_NEWCLIP: text is the new clip's path
  ClipDone = 105,  // WM_REC_CLIPDONE: sent; text is the finished clip's path
  Status = 106,    // text for info line 2 of the main window
};

struct RecMessage {
  RecMsg type = RecMsg::Log;
  int param = 0;  // log level, abort source, or clip length in blocks for ClipDone
  std::string text;
  std::vector<int16_t> samples;
  // ClipDone: the frames the writer took for the clip, at `rate` frames a
  // second (after the DSP stage, which may change the count).
  int64_t frames = 0;
  int rate = 0;
};

class RecChannel {
 public:
  using Handler = std::function<void(const RecMessage&)>;

  // Called (on the sending thread) after each message is queued, so that a
  // receiver with an event loop can schedule a Pump on its own thread.
  void SetWakeup(std::function<void()> wake);

  void Post(RecMessage msg);
  // One Log message per line of text.
  void PostLog(const std::string& text, int level);
  // Queues the message and waits until the receiver has handled it, or the
  // channel is closed. Never call from the receiving thread.
  void Send(RecMessage msg);

  // Handles every queued message in order; returns how many were handled.
  // With a timeout it first waits up to that long for a message to arrive.
  int Pump(const Handler& handler, int waitMs = 0);

  // Releases every sender waiting in Send; later sends return at once.
  void Close();
  void Reopen();

 private:
  struct Item {
    RecMessage msg;
    std::shared_ptr<bool> done;  // set for sent messages
  };
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::condition_variable handled_;
  std::deque<Item> queue_;
  std::function<void()> wake_;
  bool closed_ = false;
};

}  // namespace tarvexa
