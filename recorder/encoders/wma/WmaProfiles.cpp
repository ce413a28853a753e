#include "encoders/wma/WmaProfiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/Paths.h"

namespace tarvexa {

extern const char* const kWmaBuiltInProfileText;  // generated from the shipped file

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool ToInt(std::string_view s, int* out) {
  s = Trim(s);
  if (s.empty()) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
  return ec == std::errc() && end == s.data() + s.size();
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    const size_t bar = line.find('|', start);
    fields.push_back(line.substr(start, bar == std::string_view::npos ? bar : bar - start));
    if (bar == std::string_view::npos) return fields;
    start = bar + 1;
  }
}

// One profile line; "" or what is wrong with it.
std::string ParseLine(std::string_view line, WmaProfile* p) {
  const std::vector<std::string_view> f = SplitFields(line);
  if (f.size() != 7) {
    return "expected 7 fields separated by \"|\", found " + std::to_string(f.size());
  }
  if (!ToInt(f[0], &p->number)) return "the profile number is not a number";
  p->mode = std::string(Trim(f[1]));
  p->codec = std::string(Trim(f[2]));
  p->description = std::string(f[3]);
  if (p->mode.empty() || p->codec.empty()) return "the mode or the codec is empty";
  if (Trim(p->description).empty()) return "the description is empty";
  if (!ToInt(f[4], &p->rate) || p->rate < 1000 || p->rate > 768000)
    return "the sample rate is not a number of Hz";
  if (!ToInt(f[5], &p->channels) || p->channels < 1 || p->channels > 2)
    return "the channel count is not 1 or 2";
  if (!ToInt(f[6], &p->bitrate) || p->bitrate < 0 || p->bitrate > 10'000'000)
    return "the bit rate is not a number of bit/s";
  return {};
}

bool SameGroup(const WmaProfile& a, const WmaProfile& b) {
  return a.mode == b.mode && a.codec == b.codec;
}

}  // namespace

bool WmaProfileSet::Parse(std::string_view text, WmaProfileSet* out, std::string* error) {
  WmaProfileSet set;
  int lineNumber = 0;
  auto fail = [&](const std::string& why) {
    *error = "line " + std::to_string(lineNumber) + ": " + why;
    return false;
  };
  while (!text.empty()) {
    const size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (Trim(line).empty() || Trim(line).front() == '#') continue;

    WmaProfile p;
    if (std::string why = ParseLine(line, &p); !why.empty()) return fail(why);
    const int expected = set.profiles_.empty() ? 1 : set.profiles_.back().number + 1;
    if (p.number != expected) {
      return fail("profile " + std::to_string(p.number) + " where profile " +
                  std::to_string(expected) + " comes next (numbers start at 1, without gaps)");
    }
    if (p.number > 32767) return fail("more than 32767 profiles");
    // The profiles of one mode and codec stand together, so that a profile
    // is numbered by its group's first number plus its place in the group.
    if (!set.profiles_.empty() && !SameGroup(p, set.profiles_.back())) {
      for (const WmaProfile& q : set.profiles_) {
        if (SameGroup(p, q)) {
          return fail("profile " + std::to_string(p.number) + " (" + p.mode + ", " + p.codec +
                      ") is apart from the other profiles of its mode and codec");
        }
      }
    }
    set.profiles_.push_back(std::move(p));
  }
  if (set.profiles_.empty()) {
    *error = "the file holds no profiles";
    return false;
  }
  *out = std::move(set);
  return true;
}

const WmaProfileSet& WmaProfileSet::BuiltIn() {
  static const WmaProfileSet builtIn = [] {
    WmaProfileSet set;
    std::string error;
    // The text is the shipped file, checked by the tests; a fault in it
    // would leave the recorder without profiles rather than crash it.
    Parse(kWmaBuiltInProfileText, &set, &error);
    return set;
  }();
  return builtIn;
}

const WmaProfile* WmaProfileSet::Find(int number) const {
  if (profiles_.empty()) return nullptr;
  const long i = static_cast<long>(number) - profiles_.front().number;
  if (i < 0 || i >= static_cast<long>(profiles_.size())) return nullptr;
  return &profiles_[static_cast<size_t>(i)];
}

std::vector<std::string> WmaProfileSet::Modes() const {
  std::vector<std::string> modes;
  for (const WmaProfile& p : profiles_) {
    if (std::find(modes.begin(), modes.end(), p.mode) == modes.end()) modes.push_back(p.mode);
  }
  return modes;
}

std::vector<std::string> WmaProfileSet::Codecs(int mode) const {
  const std::vector<std::string> modes = Modes();
  std::vector<std::string> codecs;
  if (mode < 0 || mode >= static_cast<int>(modes.size())) return codecs;
  for (const WmaProfile& p : profiles_) {
    if (p.mode == modes[static_cast<size_t>(mode)] &&
        std::find(codecs.begin(), codecs.end(), p.codec) == codecs.end()) {
      codecs.push_back(p.codec);
    }
  }
  return codecs;
}

std::vector<const WmaProfile*> WmaProfileSet::Presets(int mode, int codec) const {
  std::vector<const WmaProfile*> presets;
  const std::vector<std::string> modes = Modes();
  if (mode < 0 || mode >= static_cast<int>(modes.size())) return presets;
  const std::vector<std::string> codecs = Codecs(mode);
  if (codec < 0 || codec >= static_cast<int>(codecs.size())) return presets;
  for (const WmaProfile& p : profiles_) {
    if (p.mode == modes[static_cast<size_t>(mode)] && p.codec == codecs[static_cast<size_t>(codec)])
      presets.push_back(&p);
  }
  return presets;
}

WmaProfilePlace WmaProfileSet::PlaceOf(int number) const {
  const WmaProfile* p = Find(number);
  if (!p) return {};
  WmaProfilePlace place;
  const std::vector<std::string> modes = Modes();
  place.mode = static_cast<int>(std::find(modes.begin(), modes.end(), p->mode) - modes.begin());
  const std::vector<std::string> codecs = Codecs(place.mode);
  place.codec =
      static_cast<int>(std::find(codecs.begin(), codecs.end(), p->codec) - codecs.begin());
  const std::vector<const WmaProfile*> presets = Presets(place.mode, place.codec);
  place.preset = static_cast<int>(std::find(presets.begin(), presets.end(), p) - presets.begin());
  return place;
}

int WmaProfileSet::NumberAt(const WmaProfilePlace& place) const {
  const std::vector<const WmaProfile*> presets = Presets(place.mode, place.codec);
  if (place.preset < 0 || place.preset >= static_cast<int>(presets.size())) return 0;
  return presets.front()->number + place.preset;
}

std::string WmaRefusal(const WmaProfile& p) {
  if (p.codec != kWmaCodec92) {
    return "Only Windows Media Audio 9.2 can be written, not " + p.codec + ".";
  }
  if (p.mode != kWmaModeCbr) {
    return "Only constant bit rates can be written, not " + p.mode + ".";
  }
  if (p.bitrate < 24000) return "Bit rates below 24 kbps cannot be written.";
  if (p.rate > 48000) return "Sample rates above 48000 Hz cannot be written.";
  if (p.rate < 8000) return "Sample rates below 8000 Hz cannot be written.";
  return {};
}

std::string WmaProfileFile() {
  if (const char* file = std::getenv("TARVEXA_WMA_PROFILE"); file && *file) return file;
  return ProgramFolder() + "/Tarvexa Sound Recorder.prx";
}

bool LoadWmaProfileFile(const std::string& path, WmaProfileSet* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot be opened";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    *error = "cannot be read";
    return false;
  }
  return WmaProfileSet::Parse(text.str(), out, error);
}

std::shared_ptr<const WmaProfileSet> WmaProfilesInUse() {
  static std::mutex mutex;
  static std::shared_ptr<const WmaProfileSet> cached;
  static std::string cachedKey;

  const std::string path = WmaProfileFile();
  struct stat st {};
  std::string key;  // path, size and time of the file; "" without one
  if (stat(path.c_str(), &st) == 0) {
    key = path + '\n' + std::to_string(st.st_size) + '\n' + std::to_string(st.st_mtim.tv_sec) +
          '.' + std::to_string(st.st_mtim.tv_nsec);
  }
  std::lock_guard<std::mutex> lock(mutex);
  if (cached && key == cachedKey) return cached;
  auto set = std::make_shared<WmaProfileSet>();
  std::string error;
  if (key.empty() || !LoadWmaProfileFile(path, set.get(), &error)) *set = WmaProfileSet::BuiltIn();
  cached = std::move(set);
  cachedKey = key;
  return cached;
}

}  // namespace tarvexa
