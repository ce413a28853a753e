#include "outputs/TempTag.h"

#include <cstdio>
#include <vector>

namespace tarvexa {

namespace {

// A single-line value: a line break inside it would shift every later line.
std::string OneLine(std::string s) {
  for (char& c : s)
    if (c == '\n' || c == '\r') c = ' ';
  return s;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

std::string Number(long long v) { return v > 0 ? std::to_string(v) : std::string(); }

}  // namespace

std::string ClockText(long long seconds) {
  if (seconds < 0) seconds = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                seconds % 60);
  return text;
}

std::string FormatTempTag(TagFamily family, const StreamValues& s, const TagFields& f) {
  std::vector<std::string> lines;
  if (family == TagFamily::Plain) {
    lines = {ClockText(s.seconds), Number(s.kbps),   Number(s.rate),   Number(s.channels),
             OneLine(f.year),      OneLine(f.track), OneLine(f.title), OneLine(f.artist),
             OneLine(f.album),     OneLine(f.genre)};
  } else {
    // The MPEG-4 captions carry no blank or unit of their own.
    lines = {ClockText(s.seconds),
             s.kbps > 0 ? " " + std::to_string(s.kbps) + " kbps" : std::string(),
             s.rate > 0 ? " " + std::to_string(s.rate) + " Hz" : std::string(),
             OneLine(f.title),
             OneLine(f.artist),
             OneLine(f.year),
             OneLine(f.album),
             OneLine(f.track),
             OneLine(f.genre)};
  }
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  if (!f.comment.empty()) {
    for (const std::string& l : Lines(f.comment)) text += l + "\n";
  }
  return text;
}

TagSheet ParseTempTag(TagFamily family, const std::string& text) {
  TagSheet sheet;
  const std::vector<std::string> lines = Lines(text);
  auto line = [&](size_t n, auto&& use) {  // n counts from 1
    if (lines.size() >= n) use(lines[n - 1]);
  };
  TagFields& f = sheet.fields;
  size_t commentFrom = 0;
  if (family == TagFamily::Plain) {
    line(1, [&](const std::string& v) { sheet.duration = "Duration: " + v; });
    line(2, [&](const std::string& v) { sheet.bitrate = "Bitrate: " + v + " kbps"; });
    line(3, [&](const std::string& v) { sheet.samplerate = "Samplerate: " + v + " Hz"; });
    line(4, [&](const std::string& v) { sheet.channel = "Channel: " + v; });
    line(5, [&](const std::string& v) { f.year = v; });
    line(6, [&](const std::string& v) { f.track = v; });
    line(7, [&](const std::string& v) { f.title = v; });
    line(8, [&](const std::string& v) { f.artist = v; });
    line(9, [&](const std::string& v) { f.album = v; });
    line(10, [&](const std::string& v) { f.genre = v; });
    commentFrom = 11;
  } else {
    line(1, [&](const std::string& v) { sheet.duration = "Duration: " + v; });
    line(2, [&](const std::string& v) { sheet.bitrate = "Bitrate:" + v; });
    line(3, [&](const std::string& v) { sheet.samplerate = "Samplerate:" + v; });
    line(4, [&](const std::string& v) { f.title = v; });
    line(5, [&](const std::string& v) { f.artist = v; });
    line(6, [&](const std::string& v) { f.year = v; });
    line(7, [&](const std::string& v) { f.album = v; });
    line(8, [&](const std::string& v) { f.track = v; });
    line(9, [&](const std::string& v) { f.genre = v; });
    commentFrom = 10;
  }
  // The comment keeps its line breaks.
  for (size_t n = commentFrom; n <= lines.size(); ++n) {
    if (n > commentFrom) f.comment += '\n';
    f.comment += lines[n - 1];
  }
  return sheet;
}

}  // namespace tarvexa
