#include "app/CommandLine.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/SchedulerService.h"
#include "config/ConfigStore.h"
#include "formats/FormatCatalogue.h"
#include "formats/FormatFamily.h"
#include "formats/FormatNames.h"
#include "platform/AudioSystem.h"
#include "platform/EventLog.h"
#include "platform/Paths.h"
#include "recording/DeviceProbe.h"
#include "recording/RecordingController.h"
#include "recording/WavFileSource.h"
#include "recovery/RecoveryJournal.h"
#include "soundserver/SourceWatcher.h"

namespace tarvexa {

namespace {

std::atomic<int> g_interrupts{0};
std::atomic<int> g_pauseToggles{0};

void OnSignal(int) { g_interrupts.fetch_add(1); }
void OnPauseSignal(int) { g_pauseToggles.fetch_add(1); }

const char* kUsageHead =
    "Usage: TarvexaSoundRecorder --record OUTPUT [options]\n"
    "       TarvexaSoundRecorder --scheduler\n"
    "       TarvexaSoundRecorder --list-devices\n"
    "\n"
    "Records from a sound-card input (or a sound file) into OUTPUT, in the\n"
    "output format of Config.ini unless told otherwise. Ctrl+C stops cleanly;\n"
    "the signal SIGUSR1 (kill -USR1 PID) pauses and resumes.\n"
    "\n"
    "Options:\n"
    "  --record OUTPUT       the first output file (split clips go beside it)\n"
    "  --input-file FILE     read FILE (any file libsndfile reads) instead of a\n"
    "                        sound card, paced in real time\n"
    "  --fast                with --input-file: read as fast as the encoder takes it\n"
    "  --format NAME         the output format by name, in any case (see below),\n"
    "                        or by its code 1..31\n"
    "  --rate HZ             8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100,\n"
    "                        48000, 88200, 96000 or 192000\n"
    "  --channels 1|2        mono or stereo\n"
    "  --stop-after H:M:S    stop automatically after this time\n"
    "  --split-every H:M:S   start a new clip after this length\n"
    "  --device N|NAME       input device index, or the name of a sound-server\n"
    "                        source (see --list-devices)\n"
    "  --list-devices        list the input devices and sound-server sources and exit\n"
    "  --scheduler           launch the scheduled tasks of Task.ini without a window,\n"
    "                        until Ctrl+C or SIGTERM (see tarvexa-scheduler.service)\n"
    "  --help                show this text\n"
    "\n";

const char* kUsageTail =
    "Without --format, an extension of OUTPUT that only one format writes\n"
    "chooses that format (.flac, .w64, .caf, ...); without an extension, the\n"
    "format's own is added.\n"
    "\n"
    "With --input-file, the recording keeps the file's own sample rate and\n"
    "channel count where the format allows them (a rate the recorder does not\n"
    "offer becomes the nearest one). Where the recording needs another rate or\n"
    "channel count (the format's limits, --rate, --channels), the file is\n"
    "resampled and its channels mixed or duplicated. With a sound card, a rate\n"
    "and channel count the device cannot record are replaced by one it can,\n"
    "unless --rate or --channels asked for them.\n"
    "\n"
    "Settings not given come from Config.ini in the data folder\n"
    "($TARVEXA_HOME when set).\n";

// The names of the formats, wrapped, as --format takes them.
std::string NameList(bool written) {
  std::string out, line = " ";
  for (int f = kFirstFormat; f <= kLastFormat; ++f) {
    const FormatFamily* family = FamilyOf(f);
    if ((family && family->makeWriter) != written) continue;
    std::string name = FormatTag(f);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (line.size() + name.size() + 1 > 76) {
      out += line + "\n";
      line = " ";
    }
    line += " " + name;
  }
  return line == " " ? out : out + line + "\n";
}

std::string Usage() {
  const std::string missing = NameList(false);
  return std::string(kUsageHead) + "Output formats this build writes (--format NAME):\n" +
         NameList(true) + (missing.empty() ? "" : "Not built yet:\n" + missing) +
         "FLAC is native (.flac) or in Ogg (.ogg), as OUTPUT or Config.ini says.\n\n" + kUsageTail;
}

// The rate of the table nearest to `rate` (the higher one of two as near).
int NearestRateIndex(int rate) {
  int best = 0;
  for (int i = 1; i < static_cast<int>(SampleRateTable.size()); ++i)
    if (std::abs(SampleRateTable[static_cast<size_t>(i)] - rate) <=
        std::abs(SampleRateTable[static_cast<size_t>(best)] - rate))
      best = i;
  return best;
}

struct Options {
  std::string output;
  std::string inputFile;
  bool fast = false;
  int format = 0;
  int rate = 0;
  int channels = 0;
  bool stopGiven = false;
  int stopH = 0, stopM = 0, stopS = 0;
  bool splitGiven = false;
  int splitH = 0, splitM = 0, splitS = 0;
  bool deviceGiven = false;
  int device = -1;
  std::string deviceSource;  // a sound-server source name given to --device
  bool listDevices = false;
  bool scheduler = false;
  bool help = false;
};

bool ParseInt(const char* text, int* out) {
  if (!text || !*text) return false;
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (*end != '\0' || v < -1000000 || v > 1000000) return false;
  *out = static_cast<int>(v);
  return true;
}

bool ParseTime(const char* text, int* h, int* m, int* s) {
  if (!text) return false;
  int a = 0, b = 0, c = 0;
  char tail = 0;
  int n = std::sscanf(text, "%d:%d:%d%c", &a, &b, &c, &tail);
  if (n != 3 || a < 0 || a > 23 || b < 0 || b > 59 || c < 0 || c > 59) return false;
  *h = a;
  *m = b;
  *s = c;
  return true;
}

// Returns an error text, or "" when the arguments are fine.
std::string ParseArgs(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)name;
      return argv[++i];
    };
    if (a == "--record") {
      const char* v = value("--record");
      if (!v || !*v) return "--record needs an output file.";
      o->output = v;
    } else if (a == "--input-file") {
      const char* v = value("--input-file");
      if (!v || !*v) return "--input-file needs a file.";
      o->inputFile = v;
    } else if (a == "--fast") {
      o->fast = true;
    } else if (a == "--format") {
      const char* v = value("--format");
      o->format = v ? FormatByName(v) : 0;
      if (o->format == 0)
        return "--format needs a format name or a code from 1 to 31 (see --help).";
    } else if (a == "--rate") {
      if (!ParseInt(value("--rate"), &o->rate)) return "--rate needs a sample rate in Hz.";
      if (RateIndexOf(o->rate) < 0)
        return "--rate must be one of the rates the recorder offers (see --help).";
    } else if (a == "--channels") {
      if (!ParseInt(value("--channels"), &o->channels) || (o->channels != 1 && o->channels != 2))
        return "--channels must be 1 or 2.";
    } else if (a == "--stop-after") {
      if (!ParseTime(value("--stop-after"), &o->stopH, &o->stopM, &o->stopS))
        return "--stop-after needs H:M:S (hours 0-23, minutes and seconds 0-59).";
      o->stopGiven = true;
    } else if (a == "--split-every") {
      if (!ParseTime(value("--split-every"), &o->splitH, &o->splitM, &o->splitS))
        return "--split-every needs H:M:S (hours 0-23, minutes and seconds 0-59).";
      o->splitGiven = true;
    } else if (a == "--device") {
      const char* v = value("--device");
      if (!v || !*v) return "--device needs a device index or a source name (see --list-devices).";
      if (!ParseInt(v, &o->device))
        o->deviceSource = v;
      else if (o->device < -1)
        return "--device needs a device index (see --list-devices).";
      o->deviceGiven = true;
    } else if (a == "--list-devices") {
      o->listDevices = true;
    } else if (a == "--scheduler") {
      o->scheduler = true;
    } else if (a == "--help" || a == "-h") {
      o->help = true;
    } else {
      return "Unknown argument: " + a;
    }
  }
  if (o->scheduler && (argc != 2)) return "--scheduler takes no other argument.";
  if (!o->help && !o->listDevices && !o->scheduler && o->output.empty())
    return "Nothing to do: give --record OUTPUT.";
  if (o->fast && o->inputFile.empty()) return "--fast goes with --input-file.";
  if (o->stopGiven && o->stopH == 0 && o->stopM == 0 && o->stopS < 5)
    return "Minimum Auto Stop Time is 5 Secs!";
  if (o->splitGiven && o->splitH == 0 && o->splitM == 0 && o->splitS < 5)
    return "Minimum Split Time is 5 Secs!";
  return {};
}

// The amplitude-bar rule: mean absolute value of every 128th sample of the
// display block, as 20 log10(mean + 1).
int LevelOf(const std::vector<int16_t>& s) {
  if (s.empty()) return 0;
  int64_t sum = 0;
  int64_t count = 0;
  for (size_t i = 0; i < s.size(); i += 128) {
    sum += std::abs(static_cast<int>(s[i]));
    ++count;
  }
  return static_cast<int>(20.0 * std::log10(static_cast<double>(sum / count) + 1.0));
}

// What the terminal shows of a recording: the level of the last block and
// the clip being written, for the progress line.
struct ProgressPrinter : RecordingListener {
  void OnBlock(const std::vector<int16_t>& display) override { level = LevelOf(display); }
  void OnClipStarted(const std::string& path) override { current = path; }
  void OnFinished(const RecordingOutcome&) override { finished = true; }

  int level = 0;
  std::string current;
  bool finished = false;
};

int ListDevices() {
  std::string error;
  if (!AudioSystem::Initialize(nullptr, &error)) {
    std::fprintf(stderr, "Cannot initialise the audio input library: %s\n", error.c_str());
    return 1;
  }
  auto devices = AudioSystem::ListInputDevices();
  const int def = AudioSystem::DefaultInputDevice();
  if (devices.empty()) std::printf("No input device found.\n");
  for (const auto& d : devices) {
    std::printf("%3d%s %s  [%s, %d channel(s), %.0f Hz]\n", d.index, d.index == def ? "*" : " ",
                d.name.c_str(), d.hostApi.c_str(), d.maxInputChannels, d.defaultSampleRate);
  }
  AudioSystem::Terminate();

  // The sound server's sources, by the names --device takes.
  std::vector<SoundServerSource> sources;
  std::string defaultSource;
  if (!ListSoundServerSources(&sources, &defaultSource, &error)) {
    std::printf("No sound server: %s\n", error.c_str());
    return 0;
  }
  std::printf("Sound-server sources (--device NAME):\n");
  if (sources.empty()) std::printf("  none\n");
  for (const auto& s : sources) {
    std::printf("  %s %s  [%s, %d channel(s), %d Hz]\n", s.name == defaultSource ? "*" : " ",
                s.name.c_str(), s.description.c_str(), s.channels, s.rate);
  }
  return 0;
}

}  // namespace

void PrintEventLog(EventLog& log, bool* progressShown) {
  log.AddListener([progressShown](const std::string& stamp, const std::string& msg, int level) {
    if (progressShown && *progressShown) {
      std::fputs("\r\033[K", stderr);
      *progressShown = false;
    }
    const char* tag = level >= 2 ? "ERROR " : level == 1 ? "WARN  " : "";
    std::printf("%s %s%s\n", stamp.c_str(), tag, msg.c_str());
    std::fflush(stdout);
  });
}

bool WantsCommandLine(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--", 0) == 0 && a != "--platform") return true;
    if (a == "-h") return true;
  }
  return false;
}

int RunCommandLine(int argc, char** argv) {
  Options o;
  std::string err = ParseArgs(argc, argv, &o);
  if (o.help) {
    std::fputs(Usage().c_str(), stdout);
    return 0;
  }
  if (!err.empty()) {
    std::fprintf(stderr, "%s\n\n%s", err.c_str(), Usage().c_str());
    return 2;
  }
  if (o.listDevices) return ListDevices();

  EventLog log;
  const bool tty = isatty(STDERR_FILENO);
  bool progressShown = false;
  PrintEventLog(log, &progressShown);
  if (o.scheduler) return RunSchedulerService(log);

  Settings settings;
  ConfigStore store(DataFile("Config.ini"));
  auto sink = [&](const std::string& t, int l) { log.Write(t, l); };
  if (std::filesystem::exists(store.Path())) store.Load(settings, sink);
  log.SetFile(DataFile("Tarvexa Sound Recorder.log"));
  log.SetWriteLog(settings.MISC.WriteLog != 0);

  // The format: --format, else the one format that writes OUTPUT's
  // extension; the extension choice of the format follows OUTPUT, so that
  // split clips keep its extension.
  if (o.format) {
    settings.OUTPUT.OutputFormat = static_cast<int16_t>(o.format);
  } else if (const std::vector<int> named = FormatsForExtension(o.output); named.size() == 1) {
    settings.OUTPUT.OutputFormat = static_cast<int16_t>(named[0]);
  } else if (!named.empty() &&
             std::find(named.begin(), named.end(), settings.OUTPUT.OutputFormat) == named.end()) {
    std::string names;
    for (int f : named) names += std::string(names.empty() ? "" : ", ") + FormatTag(f);
    std::fprintf(stderr,
                 "The extension of %s is written by several formats (%s): choose one with "
                 "--format.\n",
                 o.output.c_str(), names.c_str());
    return 2;
  }
  ChooseExtension(settings.OUTPUT.OutputFormat, o.output, settings);

  InputChoice input;
  int fileRate = 0, fileChannels = 0;
  RateChannelMatrix device = RateChannelMatrix::All();
  if (!o.inputFile.empty()) {
    int64_t frames = 0;
    std::string perr;
    if (!WavFileSource(o.inputFile, o.fast).Probe(&fileRate, &fileChannels, &frames, &perr)) {
      std::fprintf(stderr, "%s\n", perr.c_str());
      return 1;
    }
    // The file's own rate and channels, as near as the recorder offers them.
    settings.OUTPUT.Freq = static_cast<int16_t>(NearestRateIndex(fileRate));
    settings.OUTPUT.Chan = static_cast<int16_t>(fileChannels == 1 ? 1 : 2);
    // A file recording ends with the file unless a stop time is given.
    if (!o.stopGiven) settings.MISC.Stop = 0;
    input.file = o.inputFile;
    input.fast = o.fast;
  } else {
    // A sound-server source: the one named on the command line, else the
    // saved one; a saved one that is gone gives way to the default device.
    const std::string wanted = o.deviceGiven ? o.deviceSource : settings.MISC.InputSourceName;
    if (!wanted.empty()) {
      std::vector<SoundServerSource> sources;
      std::string serr;
      ListSoundServerSources(&sources, nullptr, &serr);
      const int at = FindSource(sources, wanted);
      if (at >= 0) {
        input.source = wanted;
        input.sourceDescription = sources[static_cast<size_t>(at)].description;
      } else if (o.deviceGiven) {
        std::fprintf(stderr, "No input device or sound-server source is called \"%s\"%s%s.\n",
                     wanted.c_str(), serr.empty() ? "" : "; sound server: ", serr.c_str());
        return 1;
      } else {
        log.Write(MissingSourceLine(wanted), 1);
      }
    }
  }
  if (o.inputFile.empty() && input.source.empty()) {
    std::string perr;
    if (!AudioSystem::Initialize(nullptr, &perr)) {
      log.Write("An error occurred while using the stream.", 1);
      log.Write(perr, 1);
      return 1;
    }
    // The saved device, unless the device list has changed under it.
    input.device = o.deviceGiven ? o.device : SavedInputDevice(settings.MISC.InputDevice);
    if (input.device < 0) input.device = AudioSystem::DefaultInputDevice();
    // The pairs the device records.
    if (input.device >= 0) device = ProbeDeviceMatrix(PortAudioDevices(), input.device);
  }

  if (o.rate) settings.OUTPUT.Freq = static_cast<int16_t>(RateIndexOf(o.rate));
  if (o.channels) settings.OUTPUT.Chan = static_cast<int16_t>(o.channels);
  if (o.stopGiven) {
    settings.MISC.Stop = 1;
    settings.MISC.StopHour = static_cast<int16_t>(o.stopH);
    settings.MISC.StopMin = static_cast<int16_t>(o.stopM);
    settings.MISC.StopSec = static_cast<int16_t>(o.stopS);
  }
  if (o.splitGiven) {
    settings.MISC.Split = 1;
    settings.MISC.SplitHour = static_cast<int16_t>(o.splitH);
    settings.MISC.SplitMin = static_cast<int16_t>(o.splitM);
    settings.MISC.SplitSec = static_cast<int16_t>(o.splitS);
  }

  // A rate or channel count asked for on the command line is recorded as
  // asked or not at all; one from Config.ini or the input file gives way to
  // what the format and the device record.
  const int wantRate = SampleRateOf(settings);
  const int wantChannels = ChannelsOf(settings);
  if (o.rate || o.channels) {
    Settings check = settings;
    if (RateChannelRule(check, RateChannelMatrix::All()).changed) {
      std::fprintf(stderr, "The %s format cannot record %d Hz with %d channel(s).\n",
                   FormatTag(settings.OUTPUT.OutputFormat), wantRate, wantChannels);
      return 1;
    }
    if (RateChannelRule(check, device).changed) {
      std::fprintf(stderr, "The input device cannot record %d Hz with %d channel(s).\n", wantRate,
                   wantChannels);
      return 1;
    }
  }
  FormatApplied applied = ApplyOutputFormat(settings, device);
  if (!applied.logLine.empty()) log.Write(applied.logLine, 0);
  for (const auto& [text, level] : applied.extraLog) log.Write(text, level);
  if (fileRate && (fileRate != SampleRateOf(settings) || fileChannels != ChannelsOf(settings))) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "The input file's %d Hz, %d channel(s) are converted to %d Hz, %d channel(s).",
                  fileRate, fileChannels, SampleRateOf(settings), ChannelsOf(settings));
    log.Write(text, 0);
  }

  std::string output = o.output;
  const std::string ext = FileExtensionFor(settings.OUTPUT.OutputFormat, settings);
  if (StripExtension(FileNameOf(output)) == FileNameOf(output)) output += ext;

  RecordingController recorder([&](const std::string& t, int l) { log.Write(t, l); });
  ProgressPrinter progress;
  progress.current = output;
  recorder.AddListener(&progress);
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGXFSZ, SIG_IGN);  // a size limit shows up as a write error
  std::signal(SIGUSR1, OnPauseSignal);

  log.WriteBanner(std::time(nullptr));
  // Files an earlier run left unfinished (a crash, a kill, a power loss).
  RecoverUnfinishedRecordings(sink);
  log.Write("Format: " + applied.label, 0);
  RecordingController::Request request;
  request.settings = settings;
  request.outputPath = output;
  request.input = input;
  if (!recorder.Start(std::move(request))) return 1;  // it has said why

  int handledInterrupts = 0;
  int handledPauses = 0;
  while (!progress.finished) {
    recorder.Pump(100);
    // SIGUSR1: the Pause button; the session logs what the window logs.
    const int pauses = g_pauseToggles.load();
    for (; handledPauses != pauses; ++handledPauses) recorder.TogglePause();
    const int interrupts = g_interrupts.load();
    if (interrupts != handledInterrupts) {
      handledInterrupts = interrupts;
      if (recorder.IsRecording()) {
        log.Write("Stopping (interrupted).", 0);
        recorder.Stop();
      }
    }
    if (tty && !progress.finished && recorder.IsRecording()) {
      const int t = recorder.Ticks();
      std::fprintf(stderr, "\r\033[K%02d:%02d:%02d.%d  level %2d  %s", t / 36000, (t / 600) % 60,
                   (t / 10) % 60, t % 10, progress.level, progress.current.c_str());
      std::fflush(stderr);
      progressShown = true;
    }
  }
  recorder.Join();
  recorder.Pump();  // what came after the end
  if (progressShown) std::fputs("\r\033[K", stderr);
  log.WriteExitGap();
  if (o.inputFile.empty()) AudioSystem::Terminate();

  const RecordingOutcome& outcome = recorder.Outcome();
  std::printf("Recorded %d clip(s), %lld block(s) of 100 ms; %lld block(s) dropped.\n",
              outcome.ClipsWithAudio(), static_cast<long long>(outcome.Blocks()),
              static_cast<long long>(outcome.droppedBlocks));
  if (!outcome.Succeeded()) {
    std::fprintf(stderr, "The recording could not be made; see the messages above.\n");
    return 1;
  }
  return 0;
}

}  // namespace tarvexa
