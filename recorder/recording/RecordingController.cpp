#include "recording/RecordingController.h"

#include <algorithm>

namespace tarvexa {

int RecordingOutcome::ClipsWithAudio() const {
  return static_cast<int>(
      std::count_if(clips.begin(), clips.end(), [](const ClipResult& c) { return c.blocks > 0; }));
}

int64_t RecordingOutcome::Blocks() const {
  int64_t blocks = 0;
  for (const ClipResult& c : clips) blocks += c.blocks;
  return blocks;
}

bool RecordingOutcome::Succeeded() const { return ClipsWithAudio() > 0 && errors == 0; }

int AfterRecordingActionFor(const RecordingOutcome& outcome, const Settings& live) {
  return outcome.autoStopped ? live.MISC.ActAftRec : 0;
}

RecordingController::RecordingController(LogSink log)
    : log_(std::move(log)), factory_(DefaultInputFactory()) {}

RecordingController::~RecordingController() { Shutdown(); }

void RecordingController::SetInputFactory(InputFactory factory) {
  factory_ = factory ? std::move(factory) : DefaultInputFactory();
}

void RecordingController::AddListener(RecordingListener* listener) {
  if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
    listeners_.push_back(listener);
}

void RecordingController::RemoveListener(RecordingListener* listener) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void RecordingController::SetWakeup(std::function<void()> wake) {
  channel_.SetWakeup(std::move(wake));
}

void RecordingController::Log(const std::string& text, int level) {
  if (log_) log_(text, level);
}

bool RecordingController::Start(Request request) {
  if (active_ || shutDown_) return false;
  // The last recording's end has been handled; its thread may still be on
  // its last lines.
  session_.Join();
  std::string error;
  std::shared_ptr<InputSource> source = factory_(request.input, request.settings, &error);
  if (!source) {
    Log(error.empty() ? std::string("The input could not be made.") : error, 2);
    return false;
  }
  // What the source has to say while it runs goes to the log like the
  // session's own lines.
  source->SetNotices([this](const std::string& text, int level) { channel_.PostLog(text, level); });
  SessionParams p;
  p.settings = request.settings;
  p.outputPath = request.outputPath;
  p.source = std::move(source);
  p.transform = request.transform;
  if (!session_.Start(std::move(p))) {
    Log("The recording could not be started.", 2);
    return false;
  }
  settings_ = std::move(request.settings);
  outcome_ = RecordingOutcome{};
  active_ = true;
  Log("Start recording  " + request.outputPath, -1);
  return true;
}

void RecordingController::TogglePause() { session_.TogglePause(); }
void RecordingController::Stop() { session_.Stop(); }
void RecordingController::UpdateSilence(const Settings::SilSection& sil) {
  session_.UpdateSilence(sil);
}
void RecordingController::UpdateDsp(const Settings::DspSection& dsp) { session_.UpdateDsp(dsp); }

int RecordingController::Pump(int waitMs) {
  const int handled = channel_.Pump([this](const RecMessage& m) { Handle(m); }, waitMs);
  if (live_ && active_) session_.UpdateSettings(*live_);
  return handled;
}

void RecordingController::Join() { session_.Join(); }

void RecordingController::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  session_.Stop();
  channel_.SetWakeup(nullptr);
  channel_.Close();  // a thread waiting in a sent message goes on
  session_.Join();
}

void RecordingController::Handle(const RecMessage& m) {
  // Listeners may remove themselves while being called.
  const std::vector<RecordingListener*> listeners = listeners_;
  switch (m.type) {
    case RecMsg::Block:
      for (RecordingListener* l : listeners) l->OnBlock(m.samples);
      break;
    case RecMsg::Log:
      if (m.param >= 2) ++outcome_.errors;
      Log(m.text, m.param);
      break;
    case RecMsg::Status:
      for (RecordingListener* l : listeners) l->OnStatus(m.text);
      break;
    case RecMsg::NewClip:
      Log("Creating splitted clip " + m.text + " ...", -1);
      Log("Start recording  " + m.text, -1);
      for (RecordingListener* l : listeners) l->OnClipStarted(m.text);
      break;
    case RecMsg::ClipDone: {
      Log("Finished recording" + m.text, -1);
      outcome_.clips.push_back({m.text, m.param, m.frames, m.rate});
      const ClipResult clip = outcome_.clips.back();
      for (RecordingListener* l : listeners) l->OnClipDone(clip);
      break;
    }
    case RecMsg::Abort:
      // At most two seconds: the capture thread never waits on the receiver.
      session_.Abort(m.param);
      break;
    case RecMsg::Finished:
      active_ = false;
      outcome_.autoStopped = session_.AutoStopped();
      outcome_.droppedBlocks = session_.DroppedBlocks();
      for (RecordingListener* l : listeners) l->OnFinished(outcome_);
      break;
  }
}

}  // namespace tarvexa
