#pragma once
// Writes Ogg Vorbis (libvorbis/vorbisenc and libogg) in one of three
// rate-control modes: quality (VBR by a quality value), managed VBR with a
// minimum and maximum bitrate, or ABR around a nominal bitrate. Each clip is
// a complete Ogg stream with its own random serial number.
// Also here: the format label, the settings check run when the format is
// applied or the options page is accepted, and the texts of its refusal.
// Thread affinity: the writer lives on the encoder thread; the free
// functions are pure and may be called from any thread.

#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include <cstdio>
#include <string>

#include "encoders/ClipWriter.h"

namespace tarvexa {

// Message box of the options page (error icon) when the settings are refused.
inline constexpr char kOggRefusedBoxText[] =
    "     OGG Audio Format NOT Supported!\nPlease Change the Parameters and Try Again!";
// Its event-log twin, also written when applying the format resets them.
inline constexpr char kOggRefusedLogText[] = "OGG audio format not supported!";
// Logged when a recording starts with settings the library refuses.
inline constexpr char kOggInvalidFormatText[] = "Invalid Ogg Vorbis format.";

enum class OggVorbisMode { Quality, ManagedVbr, Abr };
OggVorbisMode OggVorbisModeOf(const Settings& s);

// Runs the set-up call of the current mode on `info` (freshly initialised
// with vorbis_info_init). Returns the library's result, 0 when accepted.
int OggVorbisSetup(vorbis_info* info, const Settings& s);

// True when libvorbis accepts the current OGG settings at the current rate
// and channel count.
bool OggVorbisSettingsAccepted(const Settings& s);

// Puts the six OGG settings back to their defaults (quality mode, 0.35).
void ResetOggVorbisSettings(Settings& s);

// "OGG:  Ogg Vorbis Quality : 0.35; Stereo; 44100 Hz;" and the like.
std::string OggVorbisLabel(const Settings& s);
inline constexpr char kOggVorbisLogLine[] = "Set audio format: OGG.";

class OggVorbisWriter : public ClipWriter {
 public:
  explicit OggVorbisWriter(const Settings& s);
  ~OggVorbisWriter() override;

  std::string Open(const std::string& path) override;
  bool Write(const int16_t* samples, size_t frames) override;
  bool Close() override;
  std::string ErrorText() const override { return error_; }

 private:
  void Drain();
  void WritePage(const ogg_page& page);
  bool FlushFile();
  void ReleaseCodec();

  Settings settings_;
  std::string path_;
  std::string error_;
  FILE* file_ = nullptr;
  int channels_ = 2;
  int rate_ = 44100;

  bool codecReady_ = false;  // vorbis/ogg state below is initialised
  vorbis_info info_{};
  vorbis_comment comment_{};
  vorbis_dsp_state dsp_{};
  vorbis_block block_{};
  ogg_stream_state stream_{};

  bool endOfStream_ = false;     // the last page has been written
  bool writeFailed_ = false;     // a write came up short; the file takes no more data
  bool pagesPending_ = false;    // pages handed to stdio since the last flush
  int64_t lastPageGranule_ = 0;  // granule position of the last page written
};

}  // namespace tarvexa
