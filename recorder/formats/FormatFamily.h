#pragma once
// A format family: the output formats one writer writes (the eighteen
// sound-file formats with WAV and AIFF, MP3, FLAC, ...) and everything the
// recorder asks of them: the label and log line of a chosen format, the
// rate/channel pairs it allows, the check of its encoder settings, the work
// before a recording and the writer of each clip. Each family describes
// itself in one FormatFamily in its own folder under encoders/, and the
// table (encoders/FamilyTable.cpp) lists them; the catalogue and the
// recording find a format's family there.
// Thread affinity: the descriptors are constants; their functions are pure
// over a Settings value (any thread) except prepare, makeWriter and finish,
// which run on the recording's encoder thread, and recover, which runs on
// the thread that repairs (the encoder thread after a failed write, the
// starting program for a file its last run left unfinished).

#include <memory>
#include <string>
#include <vector>

#include "config/ConfigStore.h"
#include "config/Settings.h"
#include "formats/FormatCatalogue.h"

namespace tarvexa {

class ClipWriter;  // encoders/ClipWriter.h

// What the window shows and logs for a chosen format.
struct FormatText {
  std::string label;    // the third information line
  std::string logLine;  // "" logs nothing
};

// What the repair of a file that was not closed properly did.
struct RecoveredFile {
  bool ok = false;       // the file now reads to its end
  bool changed = false;  // something had to be repaired
  std::string done;      // for the log: "cut back to its last whole frame; ..."
  double seconds = -1;   // the audio it holds; < 0 when not known
  std::string error;     // why not, when !ok
};

struct FormatFamily {
  // For messages about the family ("MP3", "sound file").
  const char* name = "";
  // The OutputFormat codes it writes.
  std::vector<int> codes;

  // Label and log line of one of its codes with the settings in force.
  FormatText (*describe)(int format, const Settings& s) = nullptr;

  // The rate/channel pairs the format allows by itself; nullptr: all 24.
  RateChannelMatrix (*allowedPairs)(int format, const Settings& s) = nullptr;

  // The check of the encoder settings when the format is applied: "" when
  // the encoder takes them, else the refusal to log (level 1); the settings
  // are then put back with resetSettings (to their defaults, or to the
  // nearest the encoder takes) and refusedBoxText (if any) is shown by the
  // window. nullptr: the settings are taken as they are.
  std::string (*settingsRefused)(const Settings& s) = nullptr;
  void (*resetSettings)(Settings& s) = nullptr;
  const char* refusedBoxText = nullptr;

  // Once per recording, before the first clip (binding an encoder library,
  // checking an outside program). What it has to say goes to `log`, each
  // line at its own level; false ends the recording before any file is
  // made (the reason has been logged). nullptr: nothing to prepare.
  bool (*prepare)(const Settings& s, const LogSink& log) = nullptr;

  // Once per recording, after the last clip has been closed, when prepare
  // succeeded (letting go of the library it bound). nullptr: nothing.
  void (*finish)(const LogSink& log) = nullptr;

  // The writer of one clip, configured from the settings. Notes of its own
  // go to its notice sink (ClipWriter::SetNoticeSink), which the recording
  // sets before Open. nullptr: the family has no writer in this build.
  std::unique_ptr<ClipWriter> (*makeWriter)(const Settings& s) = nullptr;

  // Repairs a file of `format` that its writer could not finish: the
  // process was killed or lost power, or the disk filled up. Leaves the
  // file as its readers expect a finished one (lengths, end marks, no
  // partial frame at the end), never adding data, so that it also works on
  // a full disk, and leaves a file that is already whole as it is.
  // nullptr: the family's files need no repair, or it has none yet.
  RecoveredFile (*recover)(int format, const std::string& path) = nullptr;
};

// For a prepare that only checks: true when `refusal` is empty, else logs
// it at `level` and returns false.
inline bool AcceptOrLog(const std::string& refusal, const LogSink& log, int level = 1) {
  if (refusal.empty()) return true;
  if (log) log(refusal, level);
  return false;
}

// Every family of this build, each once, in the order of their first code.
const std::vector<const FormatFamily*>& FormatFamilies();

// The family that writes `format`; nullptr for a code no family writes.
const FormatFamily* FamilyOf(int format);

}  // namespace tarvexa
