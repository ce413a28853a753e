#pragma once
// The day of scheduled recordings that the window and the scheduler service
// are both put through, seconds after t0:
//   T+3   "First"   once, its own settings (WAV, stop after 0:0:4), into show.wav
//   T+5   "Skipped" daily, due while "First" records: skipped
//   T+9   "Global"  once, the global settings (the test makes them FLAC, 0:0:5)
//   T+16  "Again"   once, its own settings, into show.wav again: a second file
// Each recording ends nearly two seconds before the next start, room for a
// slow (sanitizer) build to finish its file.
// and then "Skipped" is announced for tomorrow.
// Header only: the window and the engine tests both include it.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "config/Settings.h"
#include "formats/FormatCatalogue.h"
#include "scheduler/LocalTime.h"
#include "scheduler/Task.h"

namespace tarvexa::test {

struct ScheduledTimeline {
  // start: the first whole second from which the offsets count.
  ScheduledTimeline(const std::string& dir, std::time_t start) : t0(start), folder(dir) {}

  std::time_t t0;
  std::string folder;

  std::time_t At(int offset) const { return t0 + offset; }

  // A task due at t0 + offset, confirmation off.
  CTask Task(const std::string& title, int mode, int offset, const std::string& file,
             int ownStopSeconds) const {
    CTask t = NewTask(Settings{}, ToLocal(At(offset)));
    t.title = title;
    t.mode = static_cast<uint16_t>(mode);
    t.confirm = 0;
    t.outputFile = folder + "/" + file;
    if (ownStopSeconds > 0) {
      t.override = 1;
      t.format = kFormatWAV;
      t.freqIndex = 7;  // 44100 Hz
      t.channels = 2;
      t.split = 0;
      t.stopAfter = 1;
      t.stopHour = 0;
      t.stopMinute = 0;
      t.stopSecond = static_cast<uint16_t>(ownStopSeconds);
      t.afterRecording = 0;
    }
    return t;
  }

  std::vector<CTask> Tasks() const {
    return {
        Task("First", kModeOnce, 3, "show.mp3", 4), Task("Skipped", kModeDaily, 5, "other.mp3", 4),
        Task("Global", kModeOnce, 9, "global.mp3", 0), Task("Again", kModeOnce, 16, "show.mp3", 4)};
  }
  // The global settings the test gives Config.ini.
  static constexpr const char* kConfig =
      "[OUTPUT]\nOutputFormat=6\nFreq=7\nChan=2\n[MISC]\nStop=1\nStopHour=0\nStopMin=0\nStopSec=5\n"
      "Split=0\nActAftRec=0\nPowerAlwOn=0\nDispAlwOn=0\n";

  // What the day leaves: each recording's file, its exact length in frames
  // and the length the output list shows for it. `again`: the path "Again"
  // recorded to, which carries its start time.
  struct Recorded {
    std::string path;
    int64_t frames;
    std::string duration;
  };
  std::vector<Recorded> Recordings(const std::string& again) const {
    return {{folder + "/show.wav", 4 * 44100, "00:00:04"},
            {folder + "/global.flac", 5 * 44100, "00:00:05"},
            {again, 4 * 44100, "00:00:04"}};
  }

  // "Mon DD, YYYY, HH:MM:SS" of t0 + offset + days, as the announcement
  // writes it.
  std::string Announced(int offset, int days = 0) const {
    return FormatLocal(*ToInstant(AddDays(ToLocal(At(offset)), days)), "%b %d, %Y, %H:%M:%S");
  }
};

}  // namespace tarvexa::test
