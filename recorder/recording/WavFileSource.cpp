#include "recording/WavFileSource.h"

#include <thread>

namespace tarvexa {

WavFileSource::WavFileSource(std::string path, bool fast) : path_(std::move(path)), fast_(fast) {}

WavFileSource::~WavFileSource() {
  if (file_) sf_close(file_);
}

bool WavFileSource::EnsureOpen(std::string* error) {
  if (file_) return true;
  info_ = SF_INFO{};
  file_ = sf_open(path_.c_str(), SFM_READ, &info_);
  if (!file_) {
    if (error) *error = "Cannot read the input file " + path_ + ": " + sf_strerror(nullptr);
    return false;
  }
  return true;
}

bool WavFileSource::Probe(int* rate, int* channels, int64_t* frames, std::string* error) {
  if (!EnsureOpen(error)) return false;
  if (rate) *rate = info_.samplerate;
  if (channels) *channels = info_.channels;
  if (frames) *frames = info_.frames;
  return true;
}

bool WavFileSource::Open(const OpenOptions& options, int* errorCode, std::string* error) {
  if (errorCode) *errorCode = 0;
  if (!EnsureOpen(error)) return false;
  if (info_.samplerate != options.rate || info_.channels != options.channels) {
    if (error) {
      *error = "The input file " + path_ + " has " + std::to_string(info_.samplerate) + " Hz and " +
               std::to_string(info_.channels) + " channel(s); the recording needs " +
               std::to_string(options.rate) + " Hz and " + std::to_string(options.channels) +
               " channel(s).";
    }
    return false;
  }
  delivered_ = 0;
  clipStart_ = std::chrono::steady_clock::now();
  return true;
}

InputSource::ReadResult WavFileSource::Read(int16_t* dest, int frames, int* got,
                                            std::string* error) {
  *got = 0;
  if (!file_) {
    if (error) *error = "The input file is not open.";
    return ReadResult::Error;
  }
  sf_count_t n = sf_readf_short(file_, dest, frames);
  if (n < 0) n = 0;
  *got = static_cast<int>(n);
  if (!fast_ && n > 0) {
    // Hand the block over no earlier than a sound card would.
    delivered_ += n;
    auto due = clipStart_ + std::chrono::microseconds(delivered_ * 1000000 / info_.samplerate);
    std::this_thread::sleep_until(due);
  }
  if (n < frames) {
    if (sf_error(file_) != SF_ERR_NO_ERROR) {
      if (error) *error = std::string("Error reading the input file: ") + sf_strerror(file_);
      return ReadResult::Error;
    }
    return ReadResult::End;
  }
  return ReadResult::Ok;
}

void WavFileSource::Close() {
  // The file stays open so that the next clip continues from here.
}

}  // namespace tarvexa
