// Mixer access for the input devices, through ALSA's simple mixer.
//
// The mixers are ALSA's control devices: mixer 0 is "default" (the mixer of
// the default device; under PulseAudio or PipeWire it sets the default
// source), then "hw:0", "hw:1", ... for the sound cards. A control device
// that cannot be opened is not listed. The input lines of a mixer are its
// capture elements (those with a capture volume or a capture switch; an
// element index above 0 is added to the name, as in "Capture 1"). Volume
// and balance are mapped onto the element's capture range and its left and
// right channels (MixerLevels.h).
// Thread affinity: the user-interface thread.
#include <alsa/asoundlib.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PluginSupport.h"
#include "components/MixerLevels.h"
#include "platform/AlsaErrors.h"

namespace {

namespace lv = tarvexa::mixer;

struct SelemIdDeleter {
  void operator()(snd_mixer_selem_id_t* id) const { snd_mixer_selem_id_free(id); }
};
using SelemId = std::unique_ptr<snd_mixer_selem_id_t, SelemIdDeleter>;

struct MixerDeleter {
  void operator()(snd_mixer_t* m) const { snd_mixer_close(m); }
};
using MixerHandle = std::unique_ptr<snd_mixer_t, MixerDeleter>;

struct Line {
  SelemId id;
  std::string name;
  std::optional<int> balance;  // as last set here; else read from the channels
};

struct Mixer {
  std::string name;
  MixerHandle handle;
  std::vector<Line> lines;
  int used = -1;  // the line last made the recording source here
};

// The channels that count as left and as right for the balance.
constexpr snd_mixer_selem_channel_id_t kLeft[] = {
    SND_MIXER_SCHN_FRONT_LEFT, SND_MIXER_SCHN_REAR_LEFT, SND_MIXER_SCHN_SIDE_LEFT};
constexpr snd_mixer_selem_channel_id_t kRight[] = {
    SND_MIXER_SCHN_FRONT_RIGHT, SND_MIXER_SCHN_REAR_RIGHT, SND_MIXER_SCHN_SIDE_RIGHT};

bool IsLeft(snd_mixer_selem_channel_id_t ch) {
  for (auto c : kLeft)
    if (c == ch) return true;
  return false;
}
bool IsRight(snd_mixer_selem_channel_id_t ch) {
  for (auto c : kRight)
    if (c == ch) return true;
  return false;
}

MixerHandle OpenMixer(const std::string& ctl) {
  snd_mixer_t* raw = nullptr;
  if (snd_mixer_open(&raw, 0) < 0 || !raw) return nullptr;
  MixerHandle m(raw);
  if (snd_mixer_attach(raw, ctl.c_str()) < 0) return nullptr;
  if (snd_mixer_selem_register(raw, nullptr, nullptr) < 0) return nullptr;
  if (snd_mixer_load(raw) < 0) return nullptr;
  return m;
}

std::vector<Line> CaptureLines(snd_mixer_t* m) {
  std::vector<Line> lines;
  for (snd_mixer_elem_t* e = snd_mixer_first_elem(m); e; e = snd_mixer_elem_next(e)) {
    if (!snd_mixer_selem_is_active(e) || snd_mixer_selem_is_enumerated(e)) continue;
    if (!snd_mixer_selem_has_capture_volume(e) && !snd_mixer_selem_has_capture_switch(e)) continue;
    snd_mixer_selem_id_t* id = nullptr;
    if (snd_mixer_selem_id_malloc(&id) < 0 || !id) continue;
    Line line;
    line.id.reset(id);
    snd_mixer_selem_get_id(e, id);
    line.name = snd_mixer_selem_get_name(e);
    if (const unsigned index = snd_mixer_selem_get_index(e); index > 0)
      line.name += " " + std::to_string(index);
    lines.push_back(std::move(line));
  }
  return lines;
}

class SndAudioRecord2 final : public tarvexa::plugin::ComponentBase<SndAudioRecord2>,
                              public tarvexa::AudioRecordRole {
 public:
  static constexpr const char* kName = "SndAudioRecord2";
  static constexpr const char* kVersion = "2.1.0";

  void* Query(const char* role) override {
    if (std::strcmp(role, tarvexa::kRoleAudioRecord) == 0)
      return static_cast<tarvexa::AudioRecordRole*>(this);
    return nullptr;
  }

  // ---------------------------------------------------------------- mixers

  int MixerCount() override {
    Enumerate();
    return static_cast<int>(mixers_.size()) - 1;
  }

  bool SelectMixer(int index) override {
    Enumerate();
    mixer_ = nullptr;
    line_ = -1;
    if (index < 0 || index >= static_cast<int>(mixers_.size())) return false;
    mixer_ = &mixers_[static_cast<size_t>(index)];
    Refresh();
    return true;
  }

  bool MixerHasInputLines() override { return mixer_ && !mixer_->lines.empty(); }
  const char* MixerName() override { return mixer_ ? mixer_->name.c_str() : ""; }

  // ----------------------------------------------------------------- lines

  int LineCount() override { return mixer_ ? static_cast<int>(mixer_->lines.size()) - 1 : -1; }

  int CurrentLine() override {
    if (!mixer_ || mixer_->lines.empty()) return 0;
    if (mixer_->used >= 0 && mixer_->used < static_cast<int>(mixer_->lines.size()))
      return mixer_->used;
    for (size_t i = 0; i < mixer_->lines.size(); ++i)
      if (Records(Find(mixer_->lines[i]))) return static_cast<int>(i);
    return 0;
  }

  bool SelectLine(int index) override {
    line_ = -1;
    if (!mixer_ || index < 0 || index >= static_cast<int>(mixer_->lines.size())) return false;
    line_ = index;
    return true;
  }

  bool UseLineForRecording() override {
    snd_mixer_elem_t* e = Element();
    if (!e) return false;
    if (snd_mixer_selem_has_capture_switch(e) && snd_mixer_selem_set_capture_switch_all(e, 1) < 0)
      return false;
    mixer_->used = line_;
    return true;
  }

  const char* LineName() override {
    return mixer_ && line_ >= 0 ? mixer_->lines[static_cast<size_t>(line_)].name.c_str() : "";
  }

  bool LineSelected() override { return Records(Element()); }

  // ---------------------------------------------------------------- levels

  bool VolumePresent() override {
    snd_mixer_elem_t* e = Element();
    return e && snd_mixer_selem_has_capture_volume(e);
  }

  bool BalancePresent() override {
    snd_mixer_elem_t* e = Element();
    if (!e || !snd_mixer_selem_has_capture_volume(e) || snd_mixer_selem_is_capture_mono(e))
      return false;
    bool left = false, right = false;
    for (int ch = 0; ch <= SND_MIXER_SCHN_LAST; ++ch) {
      const auto c = static_cast<snd_mixer_selem_channel_id_t>(ch);
      if (!snd_mixer_selem_has_capture_channel(e, c)) continue;
      left = left || IsLeft(c);
      right = right || IsRight(c);
    }
    return left && right;
  }

  int Volume() override {
    snd_mixer_elem_t* e = Element();
    if (!e || !snd_mixer_selem_has_capture_volume(e)) return 0;
    const auto v = ChannelVolumes(e);
    return lv::VolumeOf(v.left, v.right);
  }

  void SetVolume(int volume) override {
    snd_mixer_elem_t* e = Element();
    if (!e || !snd_mixer_selem_has_capture_volume(e)) return;
    Apply(e, lv::SplitBalance(volume, BalancePresent() ? CurrentBalance(e) : lv::kCentre));
  }

  int Balance() override {
    snd_mixer_elem_t* e = Element();
    if (!e || !BalancePresent()) return lv::kCentre;
    return CurrentBalance(e);
  }

  void SetBalance(int balance) override {
    snd_mixer_elem_t* e = Element();
    if (!e || !BalancePresent()) return;
    balance = std::clamp(balance, 0, 100);
    const auto v = ChannelVolumes(e);
    mixer_->lines[static_cast<size_t>(line_)].balance = balance;
    Apply(e, lv::SplitBalance(lv::VolumeOf(v.left, v.right), balance));
  }

 private:
  void Enumerate() {
    if (enumerated_) return;
    enumerated_ = true;
    // Opening the control devices of absent cards or servers makes ALSA
    // print the reason; an absent mixer is an answer here, not an error.
    tarvexa::QuietAlsaErrors quiet;
    std::vector<std::string> names = {"default"};
    for (int card = -1; snd_card_next(&card) == 0 && card >= 0;)
      names.push_back("hw:" + std::to_string(card));
    for (const std::string& name : names) {
      MixerHandle handle = OpenMixer(name);
      if (!handle) continue;
      Mixer m;
      m.name = name;
      m.lines = CaptureLines(handle.get());
      m.handle = std::move(handle);
      mixers_.push_back(std::move(m));
    }
  }

  // Takes in what other programs changed since the last look.
  void Refresh() {
    if (mixer_) snd_mixer_handle_events(mixer_->handle.get());
  }

  snd_mixer_elem_t* Find(const Line& line) const {
    return mixer_ ? snd_mixer_find_selem(mixer_->handle.get(), line.id.get()) : nullptr;
  }

  snd_mixer_elem_t* Element() {
    if (!mixer_ || line_ < 0) return nullptr;
    Refresh();
    return Find(mixer_->lines[static_cast<size_t>(line_)]);
  }

  // A line records when its capture is switched on on any channel; a line
  // without a capture switch always does.
  static bool Records(snd_mixer_elem_t* e) {
    if (!e) return false;
    if (!snd_mixer_selem_has_capture_switch(e)) return snd_mixer_selem_has_capture_volume(e);
    for (int ch = 0; ch <= SND_MIXER_SCHN_LAST; ++ch) {
      const auto c = static_cast<snd_mixer_selem_channel_id_t>(ch);
      if (!snd_mixer_selem_has_capture_channel(e, c)) continue;
      int on = 0;
      if (snd_mixer_selem_get_capture_switch(e, c, &on) == 0 && on) return true;
    }
    return false;
  }

  // The loudest left and the loudest right channel, as volumes 0..65535; a
  // mono element reports its one channel on both sides.
  lv::StereoVolume ChannelVolumes(snd_mixer_elem_t* e) const {
    long min = 0, max = 0;
    snd_mixer_selem_get_capture_volume_range(e, &min, &max);
    lv::StereoVolume v{-1, -1};
    int other = -1;
    for (int ch = 0; ch <= SND_MIXER_SCHN_LAST; ++ch) {
      const auto c = static_cast<snd_mixer_selem_channel_id_t>(ch);
      if (!snd_mixer_selem_has_capture_channel(e, c)) continue;
      long raw = 0;
      if (snd_mixer_selem_get_capture_volume(e, c, &raw) < 0) continue;
      const int volume = lv::RawToVolume(raw, min, max);
      if (IsLeft(c))
        v.left = std::max(v.left, volume);
      else if (IsRight(c))
        v.right = std::max(v.right, volume);
      else
        other = std::max(other, volume);
    }
    if (v.left < 0 && v.right < 0) v.left = v.right = std::max(other, 0);
    if (v.left < 0) v.left = v.right;
    if (v.right < 0) v.right = v.left;
    return v;
  }

  // The balance the channels show. The one last set here stands while the
  // channels still hold what it made of them: at volume 0 nothing shows it,
  // and on a coarse range the rounded channels would read back a little off.
  int CurrentBalance(snd_mixer_elem_t* e) {
    Line& line = mixer_->lines[static_cast<size_t>(line_)];
    const auto v = ChannelVolumes(e);
    const int volume = lv::VolumeOf(v.left, v.right);
    if (line.balance) {
      if (volume == 0) return *line.balance;
      long min = 0, max = 0;
      snd_mixer_selem_get_capture_volume_range(e, &min, &max);
      const auto expected = lv::SplitBalance(volume, *line.balance);
      auto close = [&](int a, int b) {
        return std::abs(lv::VolumeToRaw(a, min, max) - lv::VolumeToRaw(b, min, max)) <= 1;
      };
      if (close(expected.left, v.left) && close(expected.right, v.right)) return *line.balance;
      line.balance.reset();  // changed elsewhere since
    }
    return lv::BalanceOf(v.left, v.right);
  }

  static void Apply(snd_mixer_elem_t* e, lv::StereoVolume v) {
    long min = 0, max = 0;
    snd_mixer_selem_get_capture_volume_range(e, &min, &max);
    if (snd_mixer_selem_is_capture_mono(e)) {
      snd_mixer_selem_set_capture_volume_all(
          e, lv::VolumeToRaw(lv::VolumeOf(v.left, v.right), min, max));
      return;
    }
    for (int ch = 0; ch <= SND_MIXER_SCHN_LAST; ++ch) {
      const auto c = static_cast<snd_mixer_selem_channel_id_t>(ch);
      if (!snd_mixer_selem_has_capture_channel(e, c)) continue;
      const int volume = IsLeft(c) ? v.left : IsRight(c) ? v.right : lv::VolumeOf(v.left, v.right);
      snd_mixer_selem_set_capture_volume(e, c, lv::VolumeToRaw(volume, min, max));
    }
  }

  bool enumerated_ = false;
  std::vector<Mixer> mixers_;
  Mixer* mixer_ = nullptr;
  int line_ = -1;
};

}  // namespace

TARVEXA_EXPORT_COMPONENT(SndAudioRecord2)
