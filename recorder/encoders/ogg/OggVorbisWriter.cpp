// The Ogg Vorbis writer.
//
// Page output: the three header packets each go out on pages of their own,
// so the audio starts on a fresh page. Audio pages are written as libogg
// fills them, and a page is forced out whenever a second of audio has piled
// up since the last one (at low bitrates a page holds several seconds), and
// stdio's buffer is flushed after every block that produced a page. A
// recording whose process is killed therefore plays up to the last second or
// so. A short write (disk full, file size limit) is reported and the file
// keeps every complete page written before it.
#include "encoders/ogg/OggVorbisWriter.h"

#include <vorbis/vorbisenc.h>

#include <cerrno>
#include <cstring>

#include "encoders/OggSerial.h"
#include "formats/FormatCatalogue.h"

namespace tarvexa {

namespace {

bool ValidBitrateIndex(int index) {
  return index >= 0 && index < static_cast<int>(BitrateTable.size());
}

int KbpsOf(int index) {
  return ValidBitrateIndex(index) ? BitrateTable[static_cast<size_t>(index)] : 0;
}

float QualityOf(const Settings& s) { return static_cast<float>(s.OGG.QualityCompression * 0.01); }

int VorbisChannelsOf(const Settings& s) { return s.OUTPUT.Chan == 1 ? 1 : 2; }

}  // namespace

OggVorbisMode OggVorbisModeOf(const Settings& s) {
  if (s.OGG.Quality != 0) return OggVorbisMode::Quality;
  if (s.OGG.VBR != 0) return OggVorbisMode::ManagedVbr;
  return OggVorbisMode::Abr;
}

int OggVorbisSetup(vorbis_info* info, const Settings& s) {
  const int channels = VorbisChannelsOf(s);
  const long rate = SampleRateOf(s);
  switch (OggVorbisModeOf(s)) {
    case OggVorbisMode::Quality: return vorbis_encode_init_vbr(info, channels, rate, QualityOf(s));
    case OggVorbisMode::ManagedVbr:
      if (!ValidBitrateIndex(s.OGG.MaxBit) || !ValidBitrateIndex(s.OGG.NomiBit) ||
          !ValidBitrateIndex(s.OGG.MinBit)) {
        return OV_EINVAL;
      }
      return vorbis_encode_init(info, channels, rate, KbpsOf(s.OGG.MaxBit) * 1000L,
                                KbpsOf(s.OGG.NomiBit) * 1000L, KbpsOf(s.OGG.MinBit) * 1000L);
    case OggVorbisMode::Abr:
      if (!ValidBitrateIndex(s.OGG.NomiBit)) return OV_EINVAL;
      return vorbis_encode_init(info, channels, rate, -1, KbpsOf(s.OGG.NomiBit) * 1000L, -1);
  }
  return OV_EINVAL;
}

bool OggVorbisSettingsAccepted(const Settings& s) {
  vorbis_info info;
  vorbis_info_init(&info);
  const int rc = OggVorbisSetup(&info, s);
  vorbis_info_clear(&info);
  return rc == 0;
}

void ResetOggVorbisSettings(Settings& s) { s.OGG = Settings::OggSection{}; }

std::string OggVorbisLabel(const Settings& s) {
  const char* channels = s.OUTPUT.Chan == 2 ? "Stereo" : "Mono";
  const int rate = SampleRateOf(s);
  char text[128];
  switch (OggVorbisModeOf(s)) {
    case OggVorbisMode::Quality:
      std::snprintf(text, sizeof text, "Quality : %.2f; %s; %5d Hz;",
                    static_cast<double>(QualityOf(s)), channels, rate);
      break;
    case OggVorbisMode::ManagedVbr:
      std::snprintf(text, sizeof text, "VBR : Nominate Bitrate %3d kbps; %s; %5d Hz;",
                    KbpsOf(s.OGG.NomiBit), channels, rate);
      break;
    case OggVorbisMode::Abr:
      std::snprintf(text, sizeof text, "ABR : Average Bitrate %3d kbps; %s; %5d Hz;",
                    KbpsOf(s.OGG.NomiBit), channels, rate);
      break;
  }
  return std::string("OGG:  Ogg Vorbis ") + text;
}

// ---------------------------------------------------------------------------

OggVorbisWriter::OggVorbisWriter(const Settings& s) : settings_(s) {}

OggVorbisWriter::~OggVorbisWriter() { Close(); }

std::string OggVorbisWriter::Open(const std::string& path) {
  Close();
  path_ = path;
  error_.clear();
  writeFailed_ = false;
  endOfStream_ = false;
  pagesPending_ = false;
  lastPageGranule_ = 0;
  channels_ = VorbisChannelsOf(settings_);
  rate_ = SampleRateOf(settings_);

  vorbis_info_init(&info_);
  if (OggVorbisSetup(&info_, settings_) != 0) {
    vorbis_info_clear(&info_);
    error_ = kOggInvalidFormatText;
    return error_;
  }

  file_ = std::fopen(path.c_str(), "w+b");
  if (!file_) {
    error_ = "Error creating file " + path + ": " + std::strerror(errno);
    vorbis_info_clear(&info_);
    return error_;
  }

  vorbis_comment_init(&comment_);  // no tags: only the library's vendor string
  vorbis_analysis_init(&dsp_, &info_);
  vorbis_block_init(&dsp_, &block_);
  ogg_stream_init(&stream_, NewOggSerialNumber());
  codecReady_ = true;

  ogg_packet headers[3];
  vorbis_analysis_headerout(&dsp_, &comment_, &headers[0], &headers[1], &headers[2]);
  for (ogg_packet& header : headers) {
    ogg_stream_packetin(&stream_, &header);
    ogg_page page;
    while (ogg_stream_flush(&stream_, &page) != 0) WritePage(page);
  }
  if (!FlushFile()) {
    const std::string error = error_;
    Close();
    error_ = error;
    return error_;
  }
  return {};
}

bool OggVorbisWriter::Write(const int16_t* samples, size_t frames) {
  if (!codecReady_) {
    if (error_.empty()) error_ = "Error writing file " + path_ + ": the file is not open";
    return false;
  }
  if (writeFailed_) return false;
  // Zero frames would tell the library that the stream has ended.
  if (frames == 0) return true;

  constexpr float kScale = 1.0f / 32768.0f;
  float** buffer = vorbis_analysis_buffer(&dsp_, static_cast<int>(frames));
  if (channels_ == 2) {
    float* left = buffer[0];
    float* right = buffer[1];
    for (size_t i = 0; i < frames; ++i) {
      left[i] = samples[2 * i] * kScale;
      right[i] = samples[2 * i + 1] * kScale;
    }
  } else {
    float* mono = buffer[0];
    for (size_t i = 0; i < frames; ++i) mono[i] = samples[i] * kScale;
  }
  vorbis_analysis_wrote(&dsp_, static_cast<int>(frames));
  Drain();
  if (pagesPending_) FlushFile();
  return !writeFailed_;
}

void OggVorbisWriter::Drain() {
  ogg_packet packet;
  ogg_page page;
  while (vorbis_analysis_blockout(&dsp_, &block_) == 1) {
    vorbis_analysis(&block_, nullptr);
    vorbis_bitrate_addblock(&block_);
    while (vorbis_bitrate_flushpacket(&dsp_, &packet) == 1) {
      ogg_stream_packetin(&stream_, &packet);
      while (!endOfStream_ && ogg_stream_pageout(&stream_, &page) != 0) WritePage(page);
      if (!endOfStream_ && packet.granulepos - lastPageGranule_ >= rate_) {
        while (!endOfStream_ && ogg_stream_flush(&stream_, &page) != 0) WritePage(page);
      }
    }
  }
}

void OggVorbisWriter::WritePage(const ogg_page& page) {
  if (ogg_page_eos(&page)) endOfStream_ = true;
  if (writeFailed_) return;
  const size_t head = static_cast<size_t>(page.header_len);
  const size_t body = static_cast<size_t>(page.body_len);
  errno = 0;
  if (std::fwrite(page.header, 1, head, file_) != head ||
      std::fwrite(page.body, 1, body, file_) != body) {
    writeFailed_ = true;
    error_ = "Error writing file " + path_ + ": " +
             (errno != 0 ? std::strerror(errno) : "the data could not be written");
    return;
  }
  const int64_t granule = ogg_page_granulepos(&page);
  if (granule >= 0) lastPageGranule_ = granule;
  pagesPending_ = true;
}

bool OggVorbisWriter::FlushFile() {
  pagesPending_ = false;
  if (writeFailed_) return false;
  errno = 0;
  if (std::fflush(file_) != 0) {
    writeFailed_ = true;
    error_ = "Error writing file " + path_ + ": " +
             (errno != 0 ? std::strerror(errno) : "the data could not be written");
    return false;
  }
  return true;
}

void OggVorbisWriter::ReleaseCodec() {
  if (!codecReady_) return;
  ogg_stream_clear(&stream_);
  vorbis_block_clear(&block_);
  vorbis_dsp_clear(&dsp_);
  vorbis_comment_clear(&comment_);
  vorbis_info_clear(&info_);
  codecReady_ = false;
}

bool OggVorbisWriter::Close() {
  if (!codecReady_) return true;
  const bool failedBefore = writeFailed_;
  if (!writeFailed_) {
    vorbis_analysis_wrote(&dsp_, 0);  // end of stream
    Drain();
    ogg_page page;
    while (!endOfStream_ && ogg_stream_flush(&stream_, &page) != 0) WritePage(page);
    FlushFile();
  }
  ReleaseCodec();
  errno = 0;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!closed && !writeFailed_) {
    writeFailed_ = true;
    error_ = "Error writing file " + path_ + ": " +
             (errno != 0 ? std::strerror(errno) : "the file could not be closed");
  }
  // A failure already reported by Write is not reported again.
  return failedBefore || !writeFailed_;
}

}  // namespace tarvexa
