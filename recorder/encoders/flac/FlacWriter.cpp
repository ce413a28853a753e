// The FLAC writer, native and Ogg.
//
// The writer opens the file itself and hands it to the encoder, so that a
// file that cannot be created is reported as such and so that the stdio
// buffer can be pushed to disk about once a second: FLAC frames are written
// as they are encoded, and a recording whose process is killed decodes up to
// the last second or so (the stream header then gives no total length, which
// decoders accept). A short write ends processing with the system's reason;
// the frames already written stay decodable.
#include "encoders/flac/FlacWriter.h"

#include <cerrno>
#include <cstring>

#include "encoders/OggSerial.h"
#include "formats/FormatCatalogue.h"

namespace tarvexa {

unsigned FlacBlockSizeOf(int index) {
  if (index < 0 || index >= static_cast<int>(kFlacBlockSizes.size())) return 0;
  return kFlacBlockSizes[static_cast<size_t>(index)];
}

std::string FlacLabel(const Settings& s) {
  std::string label = "FLAC: ";
  label += s.FLAC.Native ? " Native Flac; " : " Ogg Flac; ";
  char text[64];
  if (s.FLAC.CompLev == 9) {
    label += "Compression Level Customized;";
  } else {
    std::snprintf(text, sizeof text, "Compression Level %d; ", s.FLAC.CompLev);
    label += text;
  }
  std::snprintf(text, sizeof text, " %d Hz; ", SampleRateOf(s));
  label += text;
  label += s.OUTPUT.Chan == 1 ? " Mono;" : " Stereo;";
  return label;
}

// ---------------------------------------------------------------------------

FlacWriter::FlacWriter(const Settings& s) : settings_(s) {}

FlacWriter::~FlacWriter() { Close(); }

std::string FlacWriter::Open(const std::string& path) {
  Close();
  path_ = path;
  error_.clear();
  writeFailed_ = false;
  framesSinceFlush_ = 0;
  channels_ = ChannelsOf(settings_);
  rate_ = SampleRateOf(settings_);

  encoder_ = FLAC__stream_encoder_new();
  if (!encoder_) {
    error_ = "ERROR: allocating encoder";
    return error_;
  }
  const auto& f = settings_.FLAC;
  FLAC__stream_encoder_set_channels(encoder_, static_cast<unsigned>(channels_));
  FLAC__stream_encoder_set_bits_per_sample(encoder_, 16);
  FLAC__stream_encoder_set_sample_rate(encoder_, static_cast<unsigned>(rate_));
  FLAC__stream_encoder_set_verify(encoder_, f.Verify != 0);
  // The block size does not depend on the level: the level's settings leave
  // it alone, and 0 lets the encoder pick one to suit the level.
  FLAC__stream_encoder_set_blocksize(encoder_, FlacBlockSizeOf(f.BlockSize));
  FLAC__stream_encoder_set_compression_level(encoder_,
                                             static_cast<unsigned>(f.CompLev < 0 ? 0 : f.CompLev));
  const bool native = f.Native != 0;
  if (!native) {
    FLAC__stream_encoder_set_ogg_serial_number(encoder_, NewOggSerialNumber());
  }

  // "w+b": Ogg FLAC reads its first page back to complete the stream header.
  file_ = std::fopen(path.c_str(), "w+b");
  const int createErrno = file_ ? 0 : errno;
  FLAC__StreamEncoderInitStatus status;
  if (file_) {
    // Frames go to disk in large writes rather than stdio's default 4 KiB
    // (half a second of CD audio at most; Write pushes it out every second).
    std::setvbuf(file_, nullptr, _IOFBF, 64 * 1024);
    status = native ? FLAC__stream_encoder_init_FILE(encoder_, file_, nullptr, nullptr)
                    : FLAC__stream_encoder_init_ogg_FILE(encoder_, file_, nullptr, nullptr);
  } else {
    // The encoder tries the path itself, so that a file that cannot be
    // created fails as an initialisation with the encoder's own codes.
    status = native ? FLAC__stream_encoder_init_file(encoder_, path.c_str(), nullptr, nullptr)
                    : FLAC__stream_encoder_init_ogg_file(encoder_, path.c_str(), nullptr, nullptr);
  }
  if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
    // One line per message; the session logs each as an entry of its own.
    error_ = "Error Code: " + std::to_string(static_cast<int>(status)) +
             "\nFail to initialize flac file! ";
    if (status == FLAC__STREAM_ENCODER_INIT_STATUS_ENCODER_ERROR) {
      error_ += "\nFLAC Encoder State Code: " +
                std::to_string(static_cast<int>(FLAC__stream_encoder_get_state(encoder_)));
    }
    // The encoder owns the file from init on and closes it here.
    if (!FLAC__stream_encoder_finish(encoder_)) error_ += "\nFail to finish flac file!";
    if (createErrno != 0)
      error_ += "\nError creating file " + path + ": " + std::strerror(createErrno);
    const bool created = file_ != nullptr;
    file_ = nullptr;
    FLAC__stream_encoder_delete(encoder_);
    encoder_ = nullptr;
    if (created) std::remove(path.c_str());  // nothing was encoded into it
    return error_;
  }
  // Initialisation checks every setting, so the state is OK here unless the
  // library finds otherwise; the recording goes on either way.
  if (FLAC__stream_encoder_get_state(encoder_) != FLAC__STREAM_ENCODER_OK)
    Notice("Invalid FLAC Format!   Please Check the FLAC Encoder Options.", 1);
  wide_.resize(static_cast<size_t>(rate_ / 10 * channels_));
  return {};
}

std::string FlacWriter::FailureText(const char* what, int savedErrno) const {
  std::string text = what;
  const FLAC__StreamEncoderState state = FLAC__stream_encoder_get_state(encoder_);
  if ((state == FLAC__STREAM_ENCODER_CLIENT_ERROR || state == FLAC__STREAM_ENCODER_IO_ERROR) &&
      savedErrno != 0) {
    text += " Error writing file " + path_ + ": " + std::strerror(savedErrno);
  } else if (state != FLAC__STREAM_ENCODER_OK) {
    text += std::string(" ") + FLAC__StreamEncoderStateString[state];
  }
  return text;
}

bool FlacWriter::FlushFile() {
  framesSinceFlush_ = 0;
  if (!file_) return true;  // the encoder opened the file itself
  errno = 0;
  if (std::fflush(file_) == 0) return true;
  writeFailed_ = true;
  error_ = "Fail to process flac file! Error writing file " + path_ + ": " +
           (errno != 0 ? std::strerror(errno) : "the data could not be written");
  return false;
}

bool FlacWriter::Write(const int16_t* samples, size_t frames) {
  if (!encoder_) {
    if (error_.empty()) error_ = "Error writing file " + path_ + ": the file is not open";
    return false;
  }
  if (writeFailed_) return false;
  if (frames == 0) return true;

  const size_t n = frames * static_cast<size_t>(channels_);
  if (wide_.size() < n) wide_.resize(n);
  for (size_t i = 0; i < n; ++i) wide_[i] = samples[i];
  errno = 0;
  if (!FLAC__stream_encoder_process_interleaved(encoder_, wide_.data(),
                                                static_cast<unsigned>(frames))) {
    const int savedErrno = errno;
    writeFailed_ = true;
    error_ = FailureText("Fail to process flac file!", savedErrno);
    return false;
  }
  framesSinceFlush_ += static_cast<int64_t>(frames);
  if (framesSinceFlush_ >= rate_) return FlushFile();
  return true;
}

bool FlacWriter::Close() {
  if (!encoder_) return true;
  const bool failedBefore = writeFailed_;
  errno = 0;
  // Finishing encodes what is left, completes the stream header and closes
  // the file; after a failed write it only closes the file.
  const bool finished = FLAC__stream_encoder_finish(encoder_);
  const int savedErrno = errno;
  if (!finished && !failedBefore) {
    writeFailed_ = true;
    error_ = FailureText("Fail to finish flac file!", savedErrno);
  }
  file_ = nullptr;
  FLAC__stream_encoder_delete(encoder_);
  encoder_ = nullptr;
  // A failure already reported by Write is not reported again.
  return finished || failedBefore;
}

}  // namespace tarvexa
