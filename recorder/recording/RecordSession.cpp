#include "recording/RecordSession.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <exception>
#include <filesystem>
#include <vector>

#include "encoders/ClipWriter.h"
#include "formats/FormatCatalogue.h"
#include "formats/FormatFamily.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/priority/ThreadPriority.h"
#include "recording/AudioTransform.h"
#include "recording/BlockQueue.h"
#include "recording/Dsp.h"
#include "recording/NamingRule.h"
#include "recording/SilenceDetector.h"
#include "recovery/RecoveryJournal.h"

namespace tarvexa {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct RecordSession::State {
  RecChannel* channel = nullptr;
  Settings settings;
  std::shared_ptr<InputSource> source;

  std::atomic<int> recording{0};
  std::atomic<int> paused{0};
  std::atomic<int> endCapture{0};
  std::atomic<int> autoStopped{0};
  std::atomic<int> stopRequested{0};
  std::atomic<int> finished{1};
  std::atomic<int> ticks{0};
  std::atomic<int> clipNumber{0};
  int clipTicks = 0;

  int rate = 44100;
  int channels = 2;
  int framesPerBlock = 4410;
  int autoStopTicks = 0;
  int splitTicks = 0;
  ClipWriterFactory makeWriter;

  mutable std::mutex pathMutex;
  std::string outputPath;
  std::string basePath;

  // The settings the threads read live, as the receiver last handed them.
  std::mutex liveMutex;
  Settings::SilSection sil;
  Settings::DspSection dsp;
  Settings::MiscSection misc;  // display switches and the naming rule
  std::atomic<bool> resetDetector{false};
  SilenceDetector detector;

  SampleTransform* transform = nullptr;  // the window's, or ownTransform
  std::unique_ptr<AudioTransform> ownTransform;

  std::unique_ptr<BlockQueue> queue;

  std::thread capture;
  std::atomic<bool> captureRunning{false};
  // A priority that could not be had is reported once per recording and thread.
  std::atomic<bool> capturePriorityReported{false};
  std::atomic<bool> encoderPriorityReported{false};

  // The clip being written. Its file is created with its first block.
  struct Clip {
    std::string path;
    std::unique_ptr<ClipWriter> writer;
    int blocks = 0;
    int64_t frames = 0;  // frames the writer took
    bool failed = false;
  } clip;
  std::vector<int16_t> processed;  // DSP output of the current block
  bool madeFile = false;           // a clip's file was created

  void Log(const std::string& text, int level) { channel->PostLog(text, level); }
  void ReportPriority(const ThreadPriority& priority, const char* thread, int level,
                      std::atomic<bool>& reported);
  void Status(const std::string& text) {
    RecMessage m;
    m.type = RecMsg::Status;
    m.text = text;
    channel->Post(std::move(m));
  }
  std::string Path() const {
    std::lock_guard<std::mutex> lock(pathMutex);
    return outputPath;
  }
  void SetPath(const std::string& p) {
    std::lock_guard<std::mutex> lock(pathMutex);
    outputPath = p;
  }
  Settings::SilSection Sil() {
    std::lock_guard<std::mutex> lock(liveMutex);
    return sil;
  }
  Settings::DspSection Dsp() {
    std::lock_guard<std::mutex> lock(liveMutex);
    return dsp;
  }
  Settings::MiscSection Misc() {
    std::lock_guard<std::mutex> lock(liveMutex);
    return misc;
  }

  // Capture side.
  void StartCapture();
  void JoinCapture();
  void CaptureMain();
  void ReportDrops(int64_t& reported, int64_t& reportedOverflows,
                   std::chrono::steady_clock::time_point& last, bool force);

  // Encoder side.
  void EncoderMain(int startDelayMs);
  void RecordClips();
  FetchResult FetchBlock(int16_t* dest, int* samples);
  bool ClipEnded();
  bool WriteToClip(const int16_t* block, int samples);
  bool WriteSamples(std::span<const int16_t> samples);
  bool OpenClip();
  void FinishClip();
  void NextClip();
};

namespace {
int PriorityLevel(int index, bool encoder) {
  switch (index) {
    case 1: return -2;
    case 2: return -1;
    case 3: return 0;
    case 4: return 1;
    case 5: return 2;
    default: return encoder ? 2 : 0;
  }
}

const char* PriorityName(int level) {
  static const char* const kNames[] = {"Lowest", "Below Normal", "Normal", "Above Normal",
                                       "Highest"};
  return kNames[std::clamp(level, -2, 2) + 2];
}

// The path a split clip is created at. The first file is the user's choice
// (with the save dialog's overwrite question); a split clip's name comes
// from the naming rule, and where a file of that name is already there (a
// clip of an earlier recording into the same folder) the clip takes the
// first free "NAME (2).EXT", "NAME (3).EXT", ..., so that a recording never
// writes over audio it did not make. A name counts as taken by its WavPack
// correction file too (NAME.EXT + "c"), as for a scheduled recording.
std::string UnusedPathFor(const std::string& named) {
  auto taken = [](const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec)) ||
           fs::exists(fs::symlink_status(path + "c", ec));
  };
  if (!taken(named)) return named;
  const std::string stem = StripExtension(named);
  const std::string ext = named.substr(stem.size());
  for (int n = 2; n < 100000; ++n) {
    const std::string path = stem + " (" + std::to_string(n) + ")" + ext;
    if (!taken(path)) return path;
  }
  return named;
}
}  // namespace

// ---------------------------------------------------------------- capture

void RecordSession::State::ReportPriority(const ThreadPriority& priority, const char* thread,
                                          int level, std::atomic<bool>& reported) {
  if (priority.Granted() || reported.exchange(true)) return;
  Log(std::string("Warning: the ") + thread +
          " thread cannot have the priority set in the options (" + PriorityName(level) +
          "); it runs at " + priority.Got() + ": " + priority.Why() + ".",
      1);
}

void RecordSession::State::StartCapture() {
  JoinCapture();
  captureRunning = true;
  capture = std::thread([this] {
    // Real-time scheduling where a late read loses audio: a live input.
    const int level = PriorityLevel(settings.MISC.RecPro, false);
    const ThreadPriority priority(level, source->IsDevice());
    ReportPriority(priority, "capture", level, capturePriorityReported);
    try {
      CaptureMain();
    } catch (const std::exception& e) {
      Log("An error occurred while recording.", 2);
      Log(e.what(), 2);
      RecMessage m;
      m.type = RecMsg::Abort;
      m.param = 1;
      channel->Post(std::move(m));
      recording = 0;
      queue->MarkInputEnded();
    }
    captureRunning = false;
  });
}

void RecordSession::State::JoinCapture() {
  if (capture.joinable()) capture.join();
}

void RecordSession::State::ReportDrops(int64_t& reported, int64_t& reportedOverflows,
                                       std::chrono::steady_clock::time_point& last, bool force) {
  auto now = std::chrono::steady_clock::now();
  if (!force && now - last < 1s) return;
  int64_t dropped = queue->Dropped();
  if (dropped > reported) {
    Log(Printf("Warning: %lld block(s) of audio dropped because the encoder fell behind "
               "(%lld in all).",
               static_cast<long long>(dropped - reported), static_cast<long long>(dropped)),
        1);
    reported = dropped;
    last = now;
  }
  int64_t overflows = source->Overflows();
  if (overflows > reportedOverflows) {
    Log(Printf("Warning: the input device overflowed %lld time(s); some audio was lost "
               "(%lld in all).",
               static_cast<long long>(overflows - reportedOverflows),
               static_cast<long long>(overflows)),
        1);
    reportedOverflows = overflows;
    last = now;
  }
}

// One capture run for the whole recording: the input is opened once and
// read until the recording ends. Splits happen on the encoder side, between
// two blocks of the queue, so the clips join without a gap.
void RecordSession::State::CaptureMain() {
  Status("Recording:  " + Path());
  const int samples = framesPerBlock * channels;

  InputSource::OpenOptions opts;
  opts.rate = rate;
  opts.channels = channels;
  opts.framesPerBlock = framesPerBlock;
  const Settings::DspSection startDsp = Dsp();
  opts.clip = startDsp.Clip != 0;
  opts.dither = startDsp.Dither != 0;
  int code = 0;
  std::string error;
  if (!source->Open(opts, &code, &error)) {
    Log("Fail to open input stream.", 1);
    Log("An error occurred while using the stream.", 1);
    Log(Printf("Error number: %d    Error message: %s.", code, error.c_str()), 1);
    // Nothing can be read from a stream that is not open: end the recording.
    recording = 0;
    queue->MarkInputEnded();
    return;
  }

  std::vector<int16_t> block(static_cast<size_t>(samples));
  const int perMs = rate / 1000;
  const int displayCount = perMs > 0 ? samples * 11 / perMs : samples;
  int64_t reportedDrops = queue->Dropped();
  int64_t reportedOverflows = 0;
  auto lastReport = std::chrono::steady_clock::now() - 2s;
  const bool realTime = source->IsRealTime();
  auto keepWaiting = [this] { return recording.load() == 1; };

  bool ended = false;
  while (recording == 1) {
    // The switches of this moment, for this block.
    const Settings::DspSection dspNow = Dsp();
    source->SetConversion(dspNow.Clip != 0, dspNow.Dither != 0);
    int got = 0;
    auto r = source->Read(block.data(), framesPerBlock, &got, &error);
    if (r == InputSource::ReadResult::Error) {
      Log("An error occurred while recording.", 2);
      Log("Input error: " + error, 2);
      RecMessage m;
      m.type = RecMsg::Abort;
      m.param = 1;
      channel->Post(std::move(m));
      recording = 0;
      break;
    }
    // Paused: the input is read on and what arrives is thrown away, so
    // that nothing of the pause reaches the file (a sound server would
    // otherwise hold it and hand it over at the resume).
    if (got > 0 && !paused) {
      const size_t count = static_cast<size_t>(got) * channels;
      RecMessage m;
      m.type = RecMsg::Block;
      const Settings::MiscSection shown = Misc();
      if ((shown.AmpBar || shown.Vis1 || shown.Vis2) && got == framesPerBlock) {
        m.samples.resize(static_cast<size_t>(displayCount));
        if (displayCount <= samples) {
          std::copy(block.begin(), block.begin() + displayCount, m.samples.begin());
        } else {
          // Low rates: the display wants more than a block holds; repeat
          // the first half-count twice.
          const int half = displayCount / 2;
          std::copy(block.begin(), block.begin() + half, m.samples.begin());
          std::copy(block.begin(), block.begin() + half, m.samples.begin() + half);
        }
      }
      channel->Post(std::move(m));
      if (realTime) {
        queue->PushOrDropOldest(block.data(), count);
      } else {
        queue->PushWait(block.data(), count, keepWaiting);
      }
      ReportDrops(reportedDrops, reportedOverflows, lastReport, false);
    }
    if (r == InputSource::ReadResult::End) {
      ended = true;
      break;
    }
  }
  source->Close();
  ReportDrops(reportedDrops, reportedOverflows, lastReport, true);
  if (ended) queue->MarkInputEnded();
}

// ---------------------------------------------------------------- encoder

FetchResult RecordSession::State::FetchBlock(int16_t* dest, int* samples) {
  *samples = 0;
  const int tick = ++ticks;
  if (settings.MISC.Stop && tick - 1 == autoStopTicks) {
    recording = 0;
    Log("Automatically stop recording.", -1);
    autoStopped = 1;
    return FetchResult::EndOfClip;
  }
  if (paused) {
    std::this_thread::sleep_for(100ms);
    return FetchResult::NoBlock;
  }
  const int n = queue->Pop(dest, 500ms);
  if (n < 0) {
    if (queue->InputEnded() && queue->Empty() && recording) {
      recording = 0;
      Log("End of input reached.", 0);
    }
    return FetchResult::NoBlock;
  }
  if (resetDetector.exchange(false)) detector.Reset();
  const Settings::SilSection s = Sil();
  if (s.Det) {
    auto out = detector.Process(dest, static_cast<size_t>(n), s);
    if (out.log) Log(out.log, out.logLevel);
    if (out.stopRecording) recording = 0;
    if (out.verdict == SilenceDetector::Verdict::Drop) return FetchResult::NoBlock;
    if (out.verdict == SilenceDetector::Verdict::EndClip) {
      endCapture = 1;
      return FetchResult::EndOfClip;
    }
  }
  *samples = n;
  return FetchResult::BlockReady;
}

bool RecordSession::State::ClipEnded() {
  ++clipTicks;
  if (settings.MISC.Split && clipTicks == splitTicks) {
    endCapture = 1;
    return true;
  }
  return false;
}

// Creates the current clip's file, at its first block.
bool RecordSession::State::OpenClip() {
  std::unique_ptr<ClipWriter> writer = makeWriter ? makeWriter(settings) : MakeClipWriter(settings);
  if (!writer) {
    Log(std::string("The ") + FormatTag(settings.OUTPUT.OutputFormat) +
            " format cannot be written by this build.",
        1);
    recording = 0;
    return false;
  }
  writer->SetNoticeSink([this](const std::string& text, int level) { Log(text, level); });
  if (clipNumber > 0) clip.path = UnusedPathFor(clip.path);
  const std::string err = writer->Open(clip.path);
  if (!err.empty()) {
    Log(err, 1);
    recording = 0;
    return false;
  }
  RecoveryJournal::Opened(settings.OUTPUT.OutputFormat, clip.path);
  clip.writer = std::move(writer);
  madeFile = true;
  SetPath(clip.path);
  if (clipNumber > 0) {
    RecMessage m;
    m.type = RecMsg::NewClip;
    m.text = clip.path;
    channel->Post(std::move(m));
  }
  return true;
}

bool RecordSession::State::WriteSamples(std::span<const int16_t> samples) {
  const size_t frames = samples.size() / static_cast<size_t>(channels);
  if (frames == 0) return true;
  if (clip.writer->Write(samples.data(), frames)) {
    clip.frames += static_cast<int64_t>(frames);
    return true;
  }
  Log(clip.writer->ErrorText(), 2);
  Log("Recording stopped: the output file could not be written. It has been closed and "
      "holds the audio up to the failure.",
      2);
  recording = 0;
  clip.failed = true;
  return false;
}

// One fetched block into the current clip, through the DSP stage with the
// settings of this block.
bool RecordSession::State::WriteToClip(const int16_t* block, int samples) {
  if (clip.failed) return false;
  if (!clip.writer && !OpenClip()) return false;
  if (!WriteSamples(ApplyDsp(*transform, Dsp(), {block, static_cast<size_t>(samples)}, processed)))
    return false;
  ++clip.blocks;
  return true;
}

// Closes the current clip. A clip that never received a block has no file
// and is not reported.
void RecordSession::State::FinishClip() {
  if (!clip.writer) return;
  // What the resamplers still hold belongs at the end of this clip.
  if (!clip.failed) WriteSamples(FlushDsp(*transform, processed));
  const bool closed = clip.writer->Close();
  if (!closed) Log(clip.writer->ErrorText(), 2);
  // Blocks that reached the clip but no frame that reached the writer (a
  // resampler still filling, a write refused at once): the file holds no
  // audio and is removed, with whatever else the writer made for it.
  if (clip.frames == 0) {
    clip.writer->RemoveFiles(clip.path);
    clip.writer.reset();
    RecoveryJournal::Closed(clip.path);
    Log("No audio reached " + clip.path + ": the empty file was removed.", 0);
    return;
  }
  clip.writer.reset();
  bool whole = closed && !clip.failed;
  if (!whole) {
    // The writer gave up half-way (a full disk): put the file into the
    // shape its readers expect, with the length that is really in it.
    const FormatFamily* family = FamilyOf(settings.OUTPUT.OutputFormat);
    if (family && family->recover) {
      const RecoveredFile r = family->recover(settings.OUTPUT.OutputFormat, clip.path);
      if (r.ok) {
        whole = true;
        Log("The file " + clip.path + " holds " + RecoveredLengthText(r.seconds) +
                " of audio up to the failure" + (r.changed ? ": " + r.done : std::string()) + ".",
            1);
      } else {
        Log("The file " + clip.path + " could not be repaired: " + r.error + ".", 2);
      }
    } else {
      whole = true;  // nothing more can be done for it now
    }
  }
  if (whole) RecoveryJournal::Closed(clip.path);
  RecMessage done;
  done.type = RecMsg::ClipDone;
  done.text = clip.path;
  done.param = clip.blocks;
  done.frames = clip.frames;
  done.rate = rate;
  channel->Send(std::move(done));
}

// Names the next split clip from the naming rule as it stands now; its file
// is created with its first block.
void RecordSession::State::NextClip() {
  const int number = ++clipNumber;
  endCapture = 0;
  clipTicks = 0;
  const Settings::MiscSection m = Misc();
  const std::string name = ExpandNamingRule(m.RenameStr, FileNameOf(basePath), number, m.Rename,
                                            m.timestamp, std::time(nullptr));
  clip = Clip{};
  clip.path = FolderOf(basePath) + name + FileExtensionFor(settings.OUTPUT.OutputFormat, settings);
}

// The clips of the recording: blocks go into the current clip until split by
// time or silence ends it; the next clip continues with the next block of
// the same queue.
void RecordSession::State::RecordClips() {
  clip = Clip{};
  clip.path = Path();
  clipTicks = 0;
  StartCapture();
  std::vector<int16_t> block(queue->SamplesPerBlock());
  while (recording) {
    int n = 0;
    const FetchResult r = FetchBlock(block.data(), &n);
    if (r == FetchResult::EndOfClip) {
      if (recording && endCapture) {
        FinishClip();
        NextClip();
      }
      continue;
    }
    if (r == FetchResult::NoBlock) continue;
    if (!WriteToClip(block.data(), n)) break;
    if (ClipEnded()) {
      FinishClip();
      NextClip();
    }
  }
  recording = 0;
  JoinCapture();
  // A stop by hand keeps what was already captured: the blocks still queued
  // are written, and the split rule still cuts them into clips. An
  // automatic stop keeps its exact length.
  if (!clip.failed && stopRequested && !autoStopped) {
    int n;
    while ((n = queue->Pop(block.data(), 0ms)) > 0) {
      if (Sil().Det && detector.PausedBySilence()) continue;
      if (!WriteToClip(block.data(), n)) break;
      if (ClipEnded()) {
        FinishClip();
        NextClip();
      }
    }
  }
  FinishClip();
  // The input failed before its first block, or the recording ended at
  // once: the user learns that there is no file.
  if (!madeFile) Log("No audio reached " + Path() + ": no file was made.", 0);
}

void RecordSession::State::EncoderMain(int startDelayMs) {
  const int level = PriorityLevel(settings.MISC.EncPro, true);
  const ThreadPriority priority(level, false);
  ReportPriority(priority, "encoder", level, encoderPriorityReported);
  if (startDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(startDelayMs));
  const LogSink log = [this](const std::string& text, int level) { Log(text, level); };
  bool prepared = false;
  try {
    const int format = settings.OUTPUT.OutputFormat;
    if (format < kFirstFormat || format > kLastFormat) {
      Log("Invalid output format.", 1);
      recording = 0;
    } else if (!PrepareEncoder(settings, log)) {
      recording = 0;
    } else {
      prepared = true;
      RecordClips();
    }
  } catch (const std::exception& e) {
    Log("An error occurred while encoding.", 2);
    Log(e.what(), 2);
    RecMessage m;
    m.type = RecMsg::Abort;
    m.param = 2;
    channel->Post(std::move(m));
    recording = 0;
    // The clip keeps what was written; a failure here leaves it to the
    // journal's repair at the next start.
    clip.failed = true;
    try {
      FinishClip();
    } catch (const std::exception&) {}
  }
  recording = 0;
  JoinCapture();
  // After the last clip, or an error, the encoder lets go of what it prepared.
  if (prepared) FinishEncoder(settings, log);
  // Whatever ended the recording, the receiver goes back to idle.
  RecMessage fin;
  fin.type = RecMsg::Finished;
  channel->Send(std::move(fin));
  Log("Done.", 0);
  finished = 1;
}

// ---------------------------------------------------------------- public

RecordSession::RecordSession(RecChannel& channel) : channel_(channel) {
  st_ = std::make_shared<State>();
  st_->channel = &channel_;
}

RecordSession::~RecordSession() {
  Stop();
  channel_.Close();  // a thread waiting in Send must not wait for us
  if (encoder_.joinable()) encoder_.join();
  channel_.Reopen();
}

bool RecordSession::Start(SessionParams p) {
  if (st_->recording || !st_->finished) return false;
  if (encoder_.joinable()) encoder_.join();
  if (!p.source) return false;

  auto st = std::make_shared<State>();
  st->channel = &channel_;
  st->settings = std::move(p.settings);
  st->source = std::move(p.source);
  st->sil = st->settings.SIL;
  st->dsp = st->settings.DSP;
  st->misc = st->settings.MISC;
  st->rate = SampleRateOf(st->settings);
  st->channels = ChannelsOf(st->settings);
  st->framesPerBlock = st->rate / 10;
  if (p.transform) {
    st->transform = p.transform;
  } else {
    st->ownTransform = std::make_unique<AudioTransform>();
    st->transform = st->ownTransform.get();
  }
  // A fresh signal: no levelling or resampler state from the last recording.
  st->transform->SetChannels(st->channels);
  st->transform->SetSampleRate(st->rate);
  const auto& m = st->settings.MISC;
  st->autoStopTicks = 10 * (m.StopHour * 3600 + m.StopMin * 60 + m.StopSec);
  st->splitTicks = 10 * (m.SplitHour * 3600 + m.SplitMin * 60 + m.SplitSec);
  st->makeWriter = std::move(p.makeWriter);
  st->outputPath = p.outputPath;
  st->basePath = StripExtension(p.outputPath);
  const int blocks = std::max(2, p.queueSeconds * 10);
  st->queue = std::make_unique<BlockQueue>(static_cast<size_t>(blocks),
                                           static_cast<size_t>(st->framesPerBlock * st->channels));
  st->recording = 1;
  st->finished = 0;
  st_ = st;
  // A sound card gets a moment to settle; a file is read at once.
  const int delay = st->source->IsDevice() ? p.startDelayMs : 0;
  encoder_ = std::thread([st, delay] { st->EncoderMain(delay); });
  return true;
}

void RecordSession::TogglePause() {
  if (!st_->recording) return;
  const std::string path = st_->Path();
  if (st_->Sil().Det) st_->resetDetector = true;
  if (!st_->paused) {
    st_->paused = 1;
    st_->Log("Recording manually paused:  " + path, -1);
    st_->Status("Recording Manually Paused:  " + path);
  } else {
    st_->paused = 0;
    st_->Log("Manually resumed recording:  " + path, -1);
    st_->Status("Recording:  " + path);
  }
}

void RecordSession::Stop() {
  if (!st_->recording) return;
  st_->stopRequested = 1;
  st_->recording = 0;
}

void RecordSession::Abort(int source) {
  st_->recording = 0;
  if (source == 0) {
    // Not a fault: the capture thread is waited for as long as it takes.
    while (st_->captureRunning) std::this_thread::sleep_for(10ms);
    st_->Log("Deleted Recording Thread!", 0);
    return;
  }
  // A fault of the capture (1) or encoder (2) thread: two seconds at most.
  auto deadline = std::chrono::steady_clock::now() + 2s;
  while (st_->captureRunning && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
}

void RecordSession::UpdateSilence(const Settings::SilSection& sil) {
  std::lock_guard<std::mutex> lock(st_->liveMutex);
  st_->sil = sil;
}

void RecordSession::UpdateDsp(const Settings::DspSection& dsp) {
  std::lock_guard<std::mutex> lock(st_->liveMutex);
  st_->dsp = dsp;
}

void RecordSession::UpdateSettings(const Settings& live) {
  std::lock_guard<std::mutex> lock(st_->liveMutex);
  st_->sil = live.SIL;
  st_->dsp = live.DSP;
  st_->misc.AmpBar = live.MISC.AmpBar;
  st_->misc.Vis1 = live.MISC.Vis1;
  st_->misc.Vis2 = live.MISC.Vis2;
  st_->misc.RenameStr = live.MISC.RenameStr;
  st_->misc.Rename = live.MISC.Rename;
  st_->misc.timestamp = live.MISC.timestamp;
}

void RecordSession::Join() {
  if (encoder_.joinable()) encoder_.join();
}

bool RecordSession::IsRecording() const { return st_->recording != 0; }
bool RecordSession::IsPaused() const { return st_->paused != 0; }
bool RecordSession::IsActive() const { return !st_->finished; }
bool RecordSession::AutoStopped() const { return st_->autoStopped != 0; }
int RecordSession::Ticks() const { return st_->ticks; }
int RecordSession::AutoStopTicks() const { return st_->autoStopTicks; }
bool RecordSession::AutoStopOn() const { return st_->settings.MISC.Stop != 0; }
int RecordSession::ClipNumber() const { return st_->clipNumber; }
int64_t RecordSession::DroppedBlocks() const { return st_->queue ? st_->queue->Dropped() : 0; }
std::string RecordSession::OutputPath() const { return st_->Path(); }

}  // namespace tarvexa
