#pragma once
// temp.tag, the text through which the tag reader programs hand a file's
// stream properties and tag to the recorder: one value per line, in the
// order of the program family, the comment's lines last. Both sides use
// these functions: the programs to write it, the tag editor to read it.
// Depends on nothing but the C++ library.
// Thread affinity: any thread.

#include <string>

namespace tarvexa {

// The seven fields of the tag editor.
struct TagFields {
  std::string title, artist, album, genre, track, year, comment;
  bool operator==(const TagFields&) const = default;
};

// What the editor shows: the fields and the four caption lines.
struct TagSheet {
  TagFields fields;
  std::string duration = "Duration:";
  std::string bitrate = "Bitrate:";
  std::string samplerate = "Samplerate:";
  std::string channel = "Channel:";
};

// tagreader (MP3, Ogg, FLAC, Musepack, WavPack, TTA) or Mpeg4tagreader.
enum class TagFamily { Plain, Mpeg4 };

// A file's stream properties as the reader programs print them.
struct StreamValues {
  long long seconds = 0;
  int kbps = 0;
  int rate = 0;
  int channels = 0;
};

std::string FormatTempTag(TagFamily family, const StreamValues& stream, const TagFields& fields);

// Reads temp.tag text into a sheet; a missing line leaves its default.
TagSheet ParseTempTag(TagFamily family, const std::string& text);

// "HH:MM:SS" of a length in seconds (the hours count on past 24).
std::string ClockText(long long seconds);

}  // namespace tarvexa
