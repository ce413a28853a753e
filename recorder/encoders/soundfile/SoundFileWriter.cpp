// The libsndfile writer: AIFF, formats 13..30, and WAV in the sub-encodings
// that WavWriter leaves to it (the ADPCM, GSM and G721 codecs).
//
// Beyond handing blocks to libsndfile the writer does three things for the
// safety of long or interrupted recordings:
//  - WAVEX (the extensible WAV) in a PCM or floating-point sub-encoding is
//    opened as RF64 with automatic downgrade, so a file that stays below
//    4 GiB is closed as an extensible RIFF/WAVE file and a longer one as
//    RF64 instead of a broken WAV;
//  - the header is rewritten after about every second of audio, so a file
//    left behind by a crash or a killed process is readable up to then;
//  - a short write (disk full, file size limit, drive gone) is reported and
//    the file is closed with what made it to disk.
#include "encoders/soundfile/SoundFileWriter.h"

#include <cerrno>
#include <cstring>

#include "formats/FormatCatalogue.h"

namespace tarvexa {

namespace {

// Sub-encodings that RF64 can carry as well as the extensible WAV.
bool HasRf64Variant(int formatWord) {
  if ((formatWord & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAVEX) return false;
  switch (formatWord & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW: return true;
    default: return false;
  }
}

// Opens `path` as RF64 that falls back to a RIFF header while the file stays
// small enough; nullptr when the library cannot do that for this description.
SNDFILE* OpenDowngradableRf64(const std::string& path, const SF_INFO& wav) {
  SF_INFO info = wav;
  info.format = SF_FORMAT_RF64 | (wav.format & SF_FORMAT_SUBMASK);
  if (!sf_format_check(&info)) return nullptr;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return nullptr;
  // The flag travels in the size argument.
  if (sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE) != SF_TRUE) {
    sf_close(file);
    return nullptr;
  }
  return file;
}

}  // namespace

SoundFileWriter::SoundFileWriter(const Settings& s) : settings_(s) {}

SoundFileWriter::~SoundFileWriter() {
  if (file_) sf_close(file_);
}

std::string SoundFileWriter::Open(const std::string& path) {
  if (file_) {
    sf_close(file_);
    file_ = nullptr;
  }
  path_ = path;
  error_.clear();
  writeFailed_ = false;
  framesSinceHeader_ = 0;
  rate_ = SampleRateOf(settings_);
  channels_ = ChannelsOf(settings_);

  SF_INFO info{};
  info.samplerate = rate_;
  info.channels = channels_;
  info.format = SndfileFormatCode(settings_);
  if (!sf_format_check(&info)) {
    error_ = "Invalid format!";
    return error_;
  }

  if (HasRf64Variant(info.format)) file_ = OpenDowngradableRf64(path, info);
  if (!file_) file_ = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file_) {
    error_ = "Error : could not open file : " + path;
    return error_;
  }
  return {};
}

bool SoundFileWriter::Write(const int16_t* samples, size_t frames) {
  if (!file_) {
    if (error_.empty()) error_ = "Error writing file " + path_ + ": the file is not open";
    return false;
  }
  if (writeFailed_) return false;
  if (frames == 0) return true;

  const sf_count_t wanted = static_cast<sf_count_t>(frames);
  errno = 0;
  const sf_count_t written = sf_writef_short(file_, samples, wanted);
  const int savedErrno = errno;
  if (written != wanted) {
    writeFailed_ = true;
    std::string cause;
    if (sf_error(file_) != SF_ERR_NO_ERROR)
      cause = sf_strerror(file_);
    else if (savedErrno != 0)
      cause = std::strerror(savedErrno);
    else
      cause = "only " + std::to_string(written) + " of " + std::to_string(wanted) +
              " frames were written";
    error_ = "Error writing file " + path_ + ": " + cause;
    return false;
  }

  framesSinceHeader_ += written;
  if (framesSinceHeader_ >= rate_) {
    sf_command(file_, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    framesSinceHeader_ = 0;
  }
  return true;
}

bool SoundFileWriter::Close() {
  if (!file_) return true;
  const int rc = sf_close(file_);
  file_ = nullptr;
  framesSinceHeader_ = 0;
  if (rc != SF_ERR_NO_ERROR) {
    if (error_.empty()) error_ = "Error closing file " + path_ + ": " + sf_error_number(rc);
    return false;
  }
  return true;
}

}  // namespace tarvexa
